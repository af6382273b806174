#include "output/hdf5_export.h"

#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "index/scan_reader.h"
#include "output/columns.h"
#include "output/points.h"
#include "scan_fixture.h"

namespace {

// Read-back helpers: each opens the file, reads one thing and closes it.
struct H5File {
  hid_t id;
  explicit H5File(const std::string& path) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    id = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  }
  ~H5File() {
    if (id >= 0) H5Fclose(id);
  }
  bool has(const std::string& path) const {
    return H5Lexists(id, path.c_str(), H5P_DEFAULT) > 0 &&
           H5Oexists_by_name(id, path.c_str(), H5P_DEFAULT) > 0;
  }
  std::vector<double> doubles(const std::string& path) const {
    hid_t d = H5Dopen2(id, path.c_str(), H5P_DEFAULT);
    if (d < 0) return {};
    hid_t space = H5Dget_space(d);
    std::vector<double> v(size_t(H5Sget_simple_extent_npoints(space)));
    if (!v.empty()) H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
    H5Sclose(space);
    H5Dclose(d);
    return v;
  }
  // A string attribute of the object at `path`; "(none)" when missing.
  std::string attr(const std::string& path, const char* name) const {
    if (H5Aexists_by_name(id, path.c_str(), name, H5P_DEFAULT) <= 0) return "(none)";
    hid_t a = H5Aopen_by_name(id, path.c_str(), name, H5P_DEFAULT, H5P_DEFAULT);
    hid_t t = H5Aget_type(a);
    char* s = nullptr;
    H5Aread(a, t, &s);
    std::string v = s ? s : "";
    H5free_memory(s);
    H5Tclose(t);
    H5Aclose(a);
    return v;
  }
  // The strings of a string dataset (scalar or 1-D), joined by '|'.
  std::string strings(const std::string& path) const {
    hid_t d = H5Dopen2(id, path.c_str(), H5P_DEFAULT);
    if (d < 0) return "(none)";
    hid_t t = H5Dget_type(d), space = H5Dget_space(d);
    std::vector<char*> v(size_t(H5Sget_simple_extent_npoints(space)));
    if (!v.empty()) H5Dread(d, t, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
    std::string out;
    for (size_t i = 0; i < v.size(); i++) {
      out += (i ? "|" : "") + std::string(v[i] ? v[i] : "");
      H5free_memory(v[i]);
    }
    H5Sclose(space);
    H5Tclose(t);
    H5Dclose(d);
    return out;
  }
  // The names in a group, joined by '|', in name order.
  std::string names(const std::string& path) const {
    hid_t g = H5Gopen2(id, path.c_str(), H5P_DEFAULT);
    if (g < 0) return "(none)";
    H5G_info_t info;
    H5Gget_info(g, &info);
    std::string out;
    for (hsize_t k = 0; k < info.nlinks; k++) {
      char name[256];
      H5Lget_name_by_idx(g, ".", H5_INDEX_NAME, H5_ITER_INC, k, name, sizeof name, H5P_DEFAULT);
      out += (k ? "|" : "") + std::string(name);
    }
    H5Gclose(g);
    return out;
  }
};

bool same(double a, double b) {
  return std::isnan(a) ? std::isnan(b) : memcmp(&a, &b, sizeof a) == 0;
}

// Every value of every column of the scan at `ref` equals what the column
// reader gives for that line (NaN where the line has no such column).
void expect_columns_exact(ScanFixture& f, const H5File& h5, int ref, const std::string& group) {
  scanRef& r = f.t.Index[size_t(ref)];
  std::vector<std::vector<double>> want;
  ScanReader in(f.t.inf, r.vseek);
  std::string_view line;
  int ncol = 0;
  while (int64_t(want.size()) < r.lines && in.next(&line)) {
    ColumnLine cl;
    cl.parse(line);
    if (line[0] == '#' || cl.values.empty()) continue;
    if (want.empty()) ncol = get_ncol(cl, r);
    std::vector<double> row;
    for (int c = 1; c <= 40; c++) {
      int err;
      row.push_back(getdouble(cl, c, ncol, &err));
    }
    want.push_back(row);
  }
  std::vector<std::string> names;
  std::string all = h5.names(group + "/measurement");
  for (size_t at = 0, bar; at <= all.size(); at = bar + 1) {
    bar = all.find('|', at);
    if (bar == std::string::npos) bar = all.size();
    names.push_back(all.substr(at, bar - at));
  }
  ASSERT_FALSE(want.empty());
  for (size_t c = 0; c < names.size(); c++) {
    // Column datasets are named by label; the test files say which column
    // each is in its label ("c3" or "col3").
    std::string n = names[c];
    int col = atoi(n.c_str() + n.find_first_of("0123456789"));
    std::vector<double> got = h5.doubles(group + "/measurement/" + n);
    ASSERT_EQ(got.size(), want.size()) << n;
    for (size_t i = 0; i < got.size(); i++)
      EXPECT_TRUE(same(got[i], want[i][size_t(col - 1)]))
          << group << " " << n << " row " << i << ": " << got[i] << " vs "
          << want[i][size_t(col - 1)];
  }
}

const char kTricky[] =
    "#F tricky\n"
    "#O0 Two Theta  Theta  Chi\n"
    "\n"
    "#S 57  ascan  th 0 1 4 1\n"
    "#D Thu Feb 21 14:41:54 2002\n"
    "#P0 1.25 -3 7e-1\n"
    "#N 3\n"
    "#L c1  c2  c3\n"
    "\n"               // a blank line before the numbers
    "0.1 1e-320 -0\n"  // denormal, negative zero
    "#C a comment among the data\n"
    "0x1.8p1 1.5-2 nan\n"          // hex float, numbers without a blank
    "abc\n"                        // text: not a row
    "-inf 3\n"                     // a column short
    "0.30000000000000004 2 3 4\n"  // a column more
    "#C after the data\n"
    "#S 57  second 57\n"
    "#N 2\n"
    "#L col1  col2\n"
    "1 2\n";

TEST(Hdf5Export, EveryValueAsTheColumnReaderReadsIt) {
  ScanFixture f(kTricky);
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  scan_hdf5(f.t, f.st, f.con(), 1, "out.h5");
  H5File h5(f.dir.file("out.h5"));
  ASSERT_GE(h5.id, 0) << f.out();
  EXPECT_EQ(h5.names("/"), "57.1|57.2");
  expect_columns_exact(f, h5, 0, "57.1");
  expect_columns_exact(f, h5, 1, "57.2");
  // The fourth value of the last line makes a fourth column, NaN before.
  EXPECT_EQ(h5.names("57.1/measurement"), "c1|c2|c3|col4");
  EXPECT_EQ(h5.doubles("57.1/measurement/col4").size(), 4u);
  EXPECT_EQ(h5.strings("57.1/instrument/specfile/comments"),
            "#C a comment among the data|#C after the data");
}

TEST(Hdf5Export, EntryLayoutAndNexusAttributes) {
  ScanFixture f(kTricky);
  f.st.normalize = 1;  // columns x=1 y=-1 monitor=-2 resolve to c1, c3, c2
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  EXPECT_EQ(f.out(),
            " writing HDF5 for (i=1, s=57) on 'out.h5' as 57.1\n"
            " HDF5 file 'out.h5': 1 scan(s) written\n");
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.attr("/", "NX_class"), "NXroot");
  EXPECT_EQ(h5.attr("/", "creator"), "kurvatab");
  EXPECT_EQ(h5.attr("/", "scan_file"), f.path);
  EXPECT_EQ(h5.attr("/", "default"), "57.1");
  EXPECT_EQ(h5.attr("57.1", "NX_class"), "NXentry");
  EXPECT_EQ(h5.attr("57.1", "default"), "plot");
  EXPECT_EQ(h5.strings("57.1/title"), "ascan  th 0 1 4 1");
  EXPECT_EQ(h5.strings("57.1/start_time"), "2002-02-21T14:41:54");
  EXPECT_EQ(h5.strings("57.1/instrument/specfile/scan_header"),
            "#S 57  ascan  th 0 1 4 1|#D Thu Feb 21 14:41:54 2002|#P0 1.25 -3 7e-1|#N 3|"
            "#L c1  c2  c3");
  EXPECT_EQ(h5.attr("57.1/plot", "NX_class"), "NXdata");
  EXPECT_EQ(h5.attr("57.1/plot", "signal"), "c3");
  EXPECT_EQ(h5.attr("57.1/plot", "axes"), "c1");
  EXPECT_EQ(h5.names("57.1/plot"), "c1|c2|c3");
  EXPECT_EQ(h5.attr("57.1/measurement/c3", "target"), "/57.1/measurement/c3");
  EXPECT_EQ(h5.attr("57.1/monitor", "NX_class"), "NXmonitor");
  EXPECT_EQ(h5.doubles("57.1/monitor/data").size(), 4u);
  EXPECT_EQ(h5.names("57.1/instrument/positioners"), "Chi|Theta|Two Theta");
  EXPECT_EQ(h5.doubles("57.1/instrument/positioners/Two Theta"), std::vector<double>{1.25});
  EXPECT_EQ(h5.doubles("57.1/instrument/positioners/Chi"), std::vector<double>{0.7});
}

TEST(Hdf5Export, LabelsBecomeDatasetNames) {
  ScanFixture f(
      "#S 1 t\n#N 4\n#L I/I0  det  det  Two Theta\n1 2 3 4\n"
      "#S 2 u\n#N 2\n1 2\n"
      "#S 3 v\n#D not a date\n#N 2\n#L a  b\n");
  Hdf5Export job(f.t, f.st, f.con());
  ASSERT_TRUE(job.begin("out.h5"));
  for (int ref = 0; ref < 3; ref++) ASSERT_TRUE(job.add(ref));
  ASSERT_TRUE(job.commit());
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.names("1.1/measurement"), "I_I0|Two Theta|det|det_2");
  EXPECT_EQ(h5.attr("1.1/measurement/I_I0", "long_name"), "I/I0");
  EXPECT_EQ(h5.attr("1.1/measurement/det_2", "long_name"), "det");
  EXPECT_EQ(h5.attr("1.1/measurement/det", "long_name"), "(none)");
  EXPECT_EQ(h5.doubles("1.1/measurement/det_2"), std::vector<double>{3});
  EXPECT_EQ(h5.names("2.1/measurement"), "col1|col2");
  EXPECT_EQ(h5.attr("2.1/plot", "signal"), "col2");
  // A scan without data: empty columns from its labels, the date as written.
  EXPECT_EQ(h5.names("3.1/measurement"), "a|b");
  EXPECT_EQ(h5.doubles("3.1/measurement/b").size(), 0u);
  EXPECT_EQ(h5.strings("3.1/start_time"), "not a date");
  EXPECT_EQ(h5.attr("3.1/plot", "signal"), "b");
}

TEST(Hdf5Export, PlotFollowsLabelsPerScan) {
  // Detector is column 2, then 3; the third scan has none: its data are
  // written, without a plot.
  ScanFixture f(
      "#S 1 a\n#N 3\n#L th  Detector  Monitor\n1 2 3\n"
      "#S 2 b\n#N 4\n#L th  tth  Detector  Monitor\n1 2 3 4\n"
      "#S 3 c\n#N 2\n#L th  Diode\n1 2\n");
  f.st.ylabel = "Detector";
  Hdf5Export job(f.t, f.st, f.con());
  ASSERT_TRUE(job.begin("out.h5"));
  for (int ref = 0; ref < 3; ref++) ASSERT_TRUE(job.add(ref));
  ASSERT_TRUE(job.commit());
  EXPECT_NE(std::string::npos,
            f.out().find(" scan 3 (i=3) has no label \"Detector\"; its labels are \"th\" "
                         "\"Diode\"\n"));
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.attr("1.1/plot", "signal"), "Detector");
  EXPECT_EQ(h5.attr("2.1/plot", "signal"), "Detector");
  EXPECT_EQ(h5.doubles("2.1/plot/Detector"), std::vector<double>{3});
  EXPECT_EQ(h5.names("3.1/measurement"), "Diode|th");
  EXPECT_FALSE(h5.has("3.1/plot"));
}

TEST(Hdf5Export, LongScanAcrossChunksAndLateColumns) {
  std::string text = "#S 1 long\n#N 2\n#L c1  c2\n";
  const int rows = 40000;
  for (int i = 0; i < rows; i++) {
    text += std::to_string(i) + " " + std::to_string(i * 0.001);
    if (i >= 30000) text += " " + std::to_string(-i);  // a third column appears
    text += "\n";
  }
  ScanFixture f(text);
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  H5File h5(f.dir.file("out.h5"));
  expect_columns_exact(f, h5, 0, "1.1");
  std::vector<double> c3 = h5.doubles("1.1/measurement/col3");
  ASSERT_EQ(c3.size(), size_t(rows));
  EXPECT_TRUE(std::isnan(c3[29999]));
  EXPECT_EQ(c3[30000], -30000);
}

TEST(Hdf5Export, MoreColumnsThanTheLimitAreReported) {
  std::string line;
  for (int c = 1; c <= 1030; c++) line += std::to_string(c) + " ";
  ScanFixture f("#S 1 wide\n" + line + "\n");
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  EXPECT_NE(f.out().find(" scan 1.1: only the first 1024 columns exported\n"), std::string::npos);
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.doubles("1.1/measurement/col1024"), std::vector<double>{1024});
  EXPECT_FALSE(h5.has("1.1/measurement/col1025"));
}

TEST(Hdf5Export, MotorNamesFromTheHeaderBeforeEachScan) {
  ScanFixture f(
      "#F one\n#O0 A  B\n\n#S 1 s\n#P0 1 2\n#N 1\n5\n"
      "#S 2 s\n#P0 3 4\n#N 1\n6\n"
      "#F restarted\n#O0 C\n#O1 D  E\n\n#S 3 s\n#P0 7 8\n#P1 9\n#N 1\n7\n"
      "#S 4 s\n#P0 1 2 3 4\n#N 1\n8\n");  // four positions, three names: none
  Hdf5Export job(f.t, f.st, f.con());
  ASSERT_TRUE(job.begin("all.h5"));
  for (int ref = 0; ref < 4; ref++) ASSERT_TRUE(job.add(ref));
  ASSERT_TRUE(job.commit());
  scan_hdf5(f.t, f.st, f.con(), 2, "one.h5");  // alone, searched from the scan back
  H5File all(f.dir.file("all.h5")), one(f.dir.file("one.h5"));
  EXPECT_EQ(all.names("1.1/instrument/positioners"), "A|B");
  EXPECT_EQ(all.names("2.1/instrument/positioners"), "A|B");
  EXPECT_EQ(all.names("3.1/instrument/positioners"), "C|D|E");
  EXPECT_EQ(all.doubles("3.1/instrument/positioners/E"), std::vector<double>{9});
  EXPECT_FALSE(all.has("4.1/instrument/positioners"));
  EXPECT_EQ(one.names("3.1/instrument/positioners"), "C|D|E");
}

TEST(Hdf5Export, SecondExportAddsAndReexportReplaces) {
  ScanFixture f(kDemoFile);
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  scan_hdf5(f.t, f.st, f.con(), 1, "out.h5");
  f.out();
  f.st.ycol = 2;
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  EXPECT_EQ(f.out(),
            " writing HDF5 for (i=1, s=1) on 'out.h5' as 1.1\n"
            " HDF5 file 'out.h5': 1 scan(s) written, 1 kept from the earlier file\n");
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.names("/"), "1.1|2.1");
  EXPECT_EQ(h5.attr("1.1/plot", "signal"), "mon");
  EXPECT_EQ(h5.attr("2.1/plot", "signal"), "det");
  EXPECT_EQ(h5.names("2.1/plot"), "det|x");  // the copy keeps its links
  EXPECT_EQ(h5.doubles("2.1/plot/det"), (std::vector<double>{3, 4}));
  // No temporary file is left behind.
  EXPECT_EQ(system(("test $(ls -A " + f.dir.path() + " | wc -l) -eq 2").c_str()), 0);
}

TEST(Hdf5Export, DefaultNameIsTheScanFilesWithH5) {
  ScanFixture f(kDemoFile);
  scan_hdf5(f.t, f.st, f.con(), 1, "  ");
  EXPECT_TRUE(f.exists("scan.dat.h5")) << f.out();
}

TEST(Hdf5Export, RefusalsLeaveTheTargetAsItWas) {
  ScanFixture f(kDemoFile);
  std::string other = f.dir.write("other.dat", kDemoFile);
  f.dir.write("text.h5", "not hdf5\n");
  // A file made from another scan file.
  {
    IndexTable t2;
    index_open(t2, f.con(), other.c_str());
    index_file(t2, f.con());
    scan_hdf5(t2, f.st, f.con(), 0, "other.h5");
  }
  std::string made_from_other = f.file("other.h5");
  f.out();
  struct Case {
    const char* name;
    const char* message;
  } cases[] = {
      {"scan.dat", " unable to write HDF5 on 'scan.dat': it is the scan file being read\n"},
      {"text.h5", " unable to write HDF5 on 'text.h5': not an HDF5 file\n"},
      {"other.h5", nullptr},
      {"nodir/x.h5", " unable to write HDF5 on 'nodir/x.h5': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::string before = f.exists(c.name) ? f.file(c.name) : "";
    scan_hdf5(f.t, f.st, f.con(), 0, c.name);
    std::string msg = f.out();
    if (c.message) {
      EXPECT_EQ(msg, c.message);
    } else {
      EXPECT_EQ(msg, " unable to write HDF5 on 'other.h5': it was made from another scan file, " +
                         other + "\n");
    }
    EXPECT_EQ(f.exists(c.name) ? f.file(c.name) : "", before) << c.name;
  }
  EXPECT_EQ(f.file("other.h5"), made_from_other);
  scan_hdf5(f.t, f.st, f.con(), 5, "x.h5");
  EXPECT_EQ(f.out(), " 5 is not a valid index\n");
}

TEST(Hdf5Export, FailedRunLeavesNoTemporaryFile) {
  ScanFixture f(kDemoFile);
  {
    Hdf5Export job(f.t, f.st, f.con());
    ASSERT_TRUE(job.begin("out.h5"));
    ASSERT_TRUE(job.add(0));
  }  // never committed
  EXPECT_FALSE(f.exists("out.h5"));
  EXPECT_EQ(system(("test $(ls -A " + f.dir.path() + " | wc -l) -eq 1").c_str()), 0);
}

TEST(PointReader, SkipsLinesWithoutNumbersWhenAsked) {
  ScanFixture f("#S 1 t\n#N 1\n\n1\ntext\n#C c\n2\n3\n");
  ASSERT_EQ(f.t.Index[0].lines, 3);
  for (bool skip : {false, true}) {
    PointReader points(f.t, f.t.Index[0], f.st);
    if (skip) points.skip_lines_without_numbers();
    std::string seen;
    for (PointReader::Step s; (s = points.next()) != PointReader::kEnd;)
      seen += s == PointReader::kComment ? "#" : std::to_string(points.values().values.size());
    EXPECT_EQ(seen, skip ? "1#11" : "010") << skip;
  }
}

}  // namespace
