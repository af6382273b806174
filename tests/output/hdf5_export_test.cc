// The HDF5 export read back with the library (whole layout: tests/e2e/test_hdf5.py).
#include "output/hdf5_export.h"

#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "scan_fixture.h"

namespace {

// Reads back what a test looks at, as text; "(none)" when it is missing.
struct H5File {
  hid_t id;
  explicit H5File(const std::string& path) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    id = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  }
  ~H5File() {
    if (id >= 0) H5Fclose(id);
  }
  // A float dataset as "a|b|c" (%.17g), so a failure shows all of it.
  std::string values(const std::string& path) const {
    hid_t d = H5Dopen2(id, path.c_str(), H5P_DEFAULT), space = H5Dget_space(d);
    if (d < 0) return "(none)";
    std::vector<double> v(size_t(H5Sget_simple_extent_npoints(space)));
    if (!v.empty()) H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
    H5Sclose(space);
    H5Dclose(d);
    std::string s;
    char b[40];
    for (double x : v) s += (s.empty() ? "" : "|") + std::string(b, snprintf(b, 40, "%.17g", x));
    return s;
  }
  // The bytes a dataset stores for each value.
  size_t value_size(const std::string& path) const {
    hid_t d = H5Dopen2(id, path.c_str(), H5P_DEFAULT), t = H5Dget_type(d);
    size_t n = H5Tget_size(t);
    H5Tclose(t);
    H5Dclose(d);
    return n;
  }
  // The strings of a string dataset, or of its attribute `attr`, joined by '|'.
  std::string strings(const std::string& path, const char* attr = nullptr) const {
    hid_t o = attr ? H5Aopen_by_name(id, path.c_str(), attr, H5P_DEFAULT, H5P_DEFAULT)
                   : H5Dopen2(id, path.c_str(), H5P_DEFAULT);
    if (o < 0) return "(none)";
    hid_t t = attr ? H5Aget_type(o) : H5Dget_type(o);
    hid_t space = attr ? H5Aget_space(o) : H5Dget_space(o);
    std::vector<char*> v(size_t(H5Sget_simple_extent_npoints(space)));
    if (!v.empty()) attr ? H5Aread(o, t, v.data()) : H5Dread(o, t, 0, 0, 0, v.data());
    std::string out;
    for (char* x : v) out += (out.empty() ? "" : "|") + std::string(x ? x : "");
    H5Dvlen_reclaim(t, space, H5P_DEFAULT, v.data());
    H5Sclose(space);
    H5Tclose(t);
    attr ? H5Aclose(o) : H5Dclose(o);
    return out;
  }
  // The names in a group, joined by '|', in name order.
  std::string names(const std::string& path) const {
    std::string out;
    auto add = [](hid_t, const char* name, const H5L_info_t*, void* to) {
      std::string* s = static_cast<std::string*>(to);
      *s += (s->empty() ? "" : "|") + std::string(name);
      return herr_t(0);
    };
    hsize_t at = 0;
    return H5Literate_by_name(id, path.c_str(), H5_INDEX_NAME, H5_ITER_INC, &at, add, &out,
                              H5P_DEFAULT) < 0
               ? "(none)"
               : out;
  }
};

// Values as the column reader reads them, groups by occurrence; a second export adds.
TEST(Hdf5Export, ValuesGroupsAndReexport) {
  ScanFixture f(
      "#F tricky\n#O0 Two Theta  Theta  Chi\n\n"
      "#S 57  ascan  th 0 1 4 1\n#D Thu Feb 21 14:41:54 2002\n#P0 1.25 -3 7e-1\n#N 3\n"
      "#L c1  c2  c3\n\n0.1 1e-320 -0\n#C a comment among the data\n0x1.8p1 1.5-2 nan\nabc\n"
      "-inf 3\n0.30000000000000004 2 3 4\n#C after the data\n"
      "#S 57  second 57\n#N 2\n#L col1  col2\n16777216 16777217\n");
  scan_hdf5(f.t, f.st, f.con(), 0, "  ");  // the scan file's name with .h5
  scan_hdf5(f.t, f.st, f.con(), 1, "scan.dat.h5");
  chmod(f.dir.file("scan.dat.h5").c_str(), 0640);  // kept when scans are added
  f.out();
  f.st.ycol = 2;  // exported again, a scan replaces its group
  scan_hdf5(f.t, f.st, f.con(), 0, "scan.dat.h5");
  EXPECT_EQ(f.out(),
            " writing HDF5 for (i=1, s=57) on 'scan.dat.h5' as 57.1\n"
            " HDF5 file 'scan.dat.h5': 1 scan(s) written, 1 kept from the earlier file\n");
  EXPECT_EQ(system(("test $(ls -A " + f.dir.path() + " | wc -l) -eq 2").c_str()), 0);
  struct stat st;
  EXPECT_TRUE(stat(f.dir.file("scan.dat.h5").c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
  H5File h5(f.dir.file("scan.dat.h5"));
  EXPECT_EQ(h5.names("/"), "57.1|57.2");
  EXPECT_EQ(h5.names("57.1/plot") + " " + h5.names("57.2/plot"), "c1|c2 col1|col2");
  EXPECT_EQ(h5.values("57.2/plot/col2"), "16777217");  // the copy keeps its links
  // A blank line and text are no rows; a value more makes a column more.
  EXPECT_EQ(h5.names("57.1/measurement"), "c1|c2|c3|col4");
  EXPECT_EQ(h5.values("57.1/measurement/c1"), "0.10000000000000001|3|-inf|0.30000000000000004");
  EXPECT_EQ(h5.values("57.1/measurement/c2"), "9.9998886718268301e-321|1.5|3|2");
  EXPECT_EQ(h5.values("57.1/measurement/c3"), "-0|-2|nan|3");
  EXPECT_EQ(h5.values("57.1/measurement/col4"), "nan|nan|nan|4");
  // float32 where every value reads back the same (NaN and -0 too), else float64.
  std::string sizes;
  for (const char* c : {"57.1/measurement/c1", "57.1/measurement/c2", "57.1/measurement/c3",
                        "57.1/measurement/col4", "57.2/measurement/col1", "57.2/measurement/col2"})
    sizes += std::to_string(h5.value_size(c));
  EXPECT_EQ(sizes, "884448");
  EXPECT_EQ(h5.strings("57.1/instrument/specfile/comments"),
            "#C a comment among the data|#C after the data");
  EXPECT_EQ(h5.strings("57.1/start_time"), "2002-02-21T14:41:54");
  EXPECT_EQ(h5.names("57.1/instrument/positioners"), "Chi|Theta|Two Theta");
  EXPECT_EQ(h5.values("57.1/instrument/positioners/Chi"), "0.69999999999999996");
}

// A header written with CR LF after a restarted file header, dated in seconds, with
// a spectrum before the first data line.
TEST(Hdf5Export, HeaderFieldsOfAnInstrumentFile) {
  ScopedEnv tz("TZ", "UTC");
  tzset();
  ScanFixture f(
      "#F first\r\n#O0 a  b\r\n\r\n#S 1 one\r\n#P0 1 2\r\n#N 1\r\n1\r\n"
      "#F restarted\r\n#O0 TwoTheta  Theta\r\n#O1 zet\r\n\r\n"
      "#S 2  ascan  th 0 1\r\n#D 1505495021.0\r\n#P0 1 2\r\n#P1 3\r\n#N 7\r\n#@MCA 16C\r\n"
      "#L EPOCH Phi CESR IC1 IC2 DIODE\r\n@A 0 0\\\r\n 0 0\r\n1 2 3 4 5 6 7\r\n#C done\r\n");
  scan_hdf5(f.t, f.st, f.con(), 1, "out.h5");
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.names("2.1/instrument/positioners"), "Theta|TwoTheta|zet");
  EXPECT_EQ(h5.strings("2.1/start_time"), "2017-09-15T17:03:41");
  EXPECT_EQ(h5.strings("2.1/title"), "ascan  th 0 1");
  EXPECT_EQ(h5.strings("2.1/instrument/specfile/scan_header"),
            "#S 2  ascan  th 0 1|#D 1505495021.0|#P0 1 2|#P1 3|#N 7|#@MCA 16C|"
            "#L EPOCH Phi CESR IC1 IC2 DIODE");
  EXPECT_EQ(h5.strings("2.1/instrument/specfile/comments"), "#C done");
  EXPECT_EQ(h5.names("2.1/measurement"), "CESR|DIODE|EPOCH|IC1|IC2|Phi|col7|mca_0");
  // Without motor names (#O), their mnemonics (#o) name the positions.
  ScanFixture m("#o0 tth  th\n#o1 z\n#S 1 a\n#P0 1 2\n#P1 3\n1\n");
  scan_hdf5(m.t, m.st, m.con(), 0, "out.h5");
  EXPECT_EQ(H5File(m.dir.file("out.h5")).names("1.1/instrument/positioners"), "th|tth|z");
}

// Labels name the datasets ('/' replaced, repeats numbered) and choose each scan's y.
TEST(Hdf5Export, LabelsBecomeDatasetNamesAndPickThePlot) {
  std::string wide;  // more columns than are exported
  for (int c = 1; c <= 1030; c++) wide += std::to_string(c) + " ";
  ScanFixture f(
      "#S 1 t\n#N 5\n#L I/I0  det  det  Two Theta  Detector\n1 2 3 4 5\n"
      "#S 2 u\n#N 3\n#L th  Detector  Monitor\n1 2 3\n"
      "#S 3 v\n#D not a date\n#L a  b\n"
      "#S 4 wide\n" +
      wide + "\n#S 5 nothing\n");
  f.st.ylabel = "Detector";
  const mode_t mask = umask(077);  // read for the new file's mode, and left as it was
  for (int ref : {0, 1, 2, 3, 4}) scan_hdf5(f.t, f.st, f.con(), ref, "out.h5");
  EXPECT_EQ(077u, umask(mask));
  const std::string out = f.out();
  EXPECT_NE(out.find(" scan 4.1: only the first 1024 columns exported\n"), std::string::npos);
  EXPECT_NE(out.find(" scan 3 (i=3) has no label \"Detector\"; its labels are \"a\" \"b\"\n"),
            std::string::npos);
  H5File h5(f.dir.file("out.h5"));
  EXPECT_EQ(h5.names("1.1/measurement"), "Detector|I_I0|Two Theta|det|det_2");
  EXPECT_EQ(h5.strings("1.1/measurement/I_I0", "long_name"), "I/I0");
  EXPECT_EQ(h5.strings("1.1/measurement/det_2", "long_name"), "det");
  EXPECT_EQ(h5.strings("1.1/measurement/det", "long_name"), "(none)");
  EXPECT_EQ(h5.values("1.1/measurement/det_2"), "3");
  EXPECT_EQ(h5.strings("1.1/plot", "signal"), "Detector");
  EXPECT_EQ(h5.values("2.1/plot/Detector"), "2");
  // A scan without data: empty columns from its labels, the date as written.
  EXPECT_EQ(h5.names("3.1"), "instrument|measurement|start_time|title");
  EXPECT_EQ(h5.values("3.1/measurement/b"), "");
  EXPECT_EQ(h5.strings("3.1/start_time"), "not a date");
  EXPECT_EQ(h5.values("4.1/measurement/col1024") + h5.values("4.1/measurement/col1025"),
            "1024(none)");
  EXPECT_EQ(h5.names("5.1/measurement"), "");
}

// A failed write leaves the earlier file; then a long scan with a late column spans chunks.
TEST(Hdf5Export, FailedWriteLeavesTheEarlierFile) {
  std::string text = std::string(kDemoFile) + "#S 1 long\n#N 2\n#L c1  c2\n", col3;
  for (int i = 0; i < 40000; i++) {
    const std::string x = std::to_string(i), z = std::to_string(-i);
    text += x + " " + std::to_string(i % 7) + (i >= 30000 ? " " + z : "") + "\n";
    col3 += (i ? "|" : "") + (i >= 30000 ? z : "nan");
  }
  ScanFixture f(text);
  scan_hdf5(f.t, f.st, f.con(), 0, "out.h5");
  const std::string before = f.file("out.h5");
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small = {before.size() + 4096, old.rlim_max};
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  f.out();
  Hdf5Export job(f.t, f.st, f.con());
  ASSERT_TRUE(job.begin("out.h5").ok());
  job.add(2).report(f.con().out);  // the scan that meets the failure says so
  job.discard();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(f.out(),
            " writing HDF5 for (i=3, s=1) on 'out.h5' as 1.2\n"
            " unable to write HDF5 on 'out.h5': File too large\n");
  EXPECT_TRUE(f.file("out.h5") == before);
  EXPECT_EQ(system(("test $(ls -A " + f.dir.path() + " | wc -l) -eq 2").c_str()), 0);
  scan_hdf5(f.t, f.st, f.con(), 2, "out.h5");
  H5File h5(f.dir.file("out.h5"));
  EXPECT_TRUE(h5.values("1.2/measurement/col3") == col3);
}

TEST(Hdf5Export, RefusalsLeaveTheTargetAsItWas) {
  ScanFixture f(kDemoFile);
  std::string other = f.dir.write("other.dat", kDemoFile);
  f.dir.write("text.h5", "not hdf5\n");
  hid_t h = H5Fcreate(f.dir.file("fixed.h5").c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  hid_t type = H5Tcopy(H5T_C_S1), space = H5Screate(H5S_SCALAR);
  H5Tset_size(type, 4);  // a string of fixed length, as other writers make
  hid_t a = H5Acreate2(h, "scan_file", type, space, H5P_DEFAULT, H5P_DEFAULT);
  H5Awrite(a, type, "x.da"), H5Aclose(a), H5Sclose(space), H5Tclose(type), H5Fclose(h);
  IndexTable t2;
  index_open(t2, other.c_str());
  index_file(t2, f.con());
  scan_hdf5(t2, f.st, f.con(), 0, "other.h5");
  f.dir.write("cut.h5", f.file("fixed.h5").substr(0, 100));  // the library says what is wrong
  f.out();
  const std::string cases[][2] = {
      {"scan.dat", "it is the scan file being read"},
      {"text.h5", "not an HDF5 file"},
      {"fixed.h5", "its root's scan_file is not a string"},
      {"cut.h5", "truncated file: eof = 100, sblock->base_addr = 0, stored_eof = 880"},
      {"other.h5", "it was made from another scan file, " + other},
      {"nodir/x.h5", "No such file or directory"}};
  for (const auto& c : cases) {
    std::string before = f.exists(c[0]) ? f.file(c[0]) : "";
    EXPECT_FALSE(scan_hdf5(f.t, f.st, f.con(), 0, c[0].c_str()).report(f.con().out));
    EXPECT_EQ(f.out(), " unable to write HDF5 on '" + c[0] + "': " + c[1] + "\n");
    EXPECT_TRUE((f.exists(c[0]) ? f.file(c[0]) : "") == before) << c[0];
  }
  EXPECT_EQ(scan_hdf5(f.t, f.st, f.con(), 5, "x.h5").message(), " 5 is not a valid index\n");
}

}  // namespace
