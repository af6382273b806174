#include "index/index_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "index/scan_reader.h"
#include "index_testing.h"

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

TEST(IndexFile, WorkedExampleRecordByRecord) {
  Indexed x(kDemoFile + "#S 3 no data\n"s);
  EXPECT_EQ(
      "Indexed=3 IndexSize=512 length=148\n1 3 3 9 46 0 78 3 2 22 first scan\n"
      "2 3 3 78 116 46 135 10 2 23 second scan\n3 0 0 135 0 116 148 15 0 0 no data\n",
      render_table(x.t));
  EXPECT_EQ("\n current file is : " + x.fname + " with 3 entries\n" +
                "    1  Scan    1  Lines    2 N   3 (3) first scan\n"
                "    2  Scan    2  Lines    2 N   3 (10) second scan\n"
                "    3  Scan    3  Lines    0 N   0 (15)\n",  // no data: no text
            x.seen);
}

// Files and their tables: scans without data, NUL lines, #N rules, which
// lines are data, #S forms, a last line without its line feed, spectra.
TEST(IndexFile, TableOfEdgeCases) {
  const std::pair<std::string, std::string> cases[] = {
      // file, table after "Indexed="
      {"", "0 IndexSize=512 length=0\n"},
      {"#F only a header\n1 2 3\n", "0 IndexSize=512 length=23\n"},
      {"#S 1 a\n1 2\n2 3\n#S 2 b\n#S 3 c\n5 6\n#S 4 d\n",
       "4 IndexSize=512 length=40\n1 0 0 0 7 0 15 1 2 0 a\n2 0 0 15 0 7 22 4 0 0 b\n"
       "3 0 0 22 29 7 33 5 1 0 c\n4 0 0 33 0 29 40 7 0 0 d\n"},
      {"#S 1 a\n1 2\n\0junk\n3 4\n#S 2 b\n#N 2\n5 6\n"s,  // a NUL line ends the data
       "2 IndexSize=512 length=37\n1 0 0 0 7 0 21 1 1 0 a\n2 2 2 21 33 11 37 5 1 0 b\n"},
      {"#S 1\n#N 4\n#N 6\n1 2\n#N 9\n2 3\n#S 2\n#N x\n1\n",  // the last #N before the data
       "2 IndexSize=512 length=40\n1 6 6 0 15 0 28 1 2 0 \n2 0 0 28 38 15 40 7 1 0 \n"},
      {"#S 1 a\n#N 2\n\n1 2\n  3 4\nabc\n.5 1\n-x\n+inf\nnan 1\n0x 1\n0x1p2\n",  // blank 1st
       "1 IndexSize=512 length=57\n1 2 2 0 12 0 57 1 6 0 a\n"},
      {"#S12 text\n#S 7\n#Sx\n#S -3  neg\n#S 99999999999 big\n",
       "5 IndexSize=512 length=49\n12 0 0 0 0 0 10 1 0 0 text\n7 0 0 10 0 0 15 2 0 0 \n"
       "0 0 0 15 0 0 19 3 0 0 x\n-3 0 0 19 0 0 30 4 0 0 -3  neg\n"
       "2147483647 0 0 30 0 0 49 5 0 0 big\n"},
      {"#S 1 a\n1 2\n#S 2 last",
       "2 IndexSize=512 length=20\n1 0 0 0 7 0 11 1 1 0 a\n2 0 0 11 0 7 20 3 0 0 last\n"},
      {"#S 1 a\n1 2\n3 4", "1 IndexSize=512 length=14\n1 0 0 0 7 0 14 1 2 0 a\n"},
      {kSpectrumFile,
       "2 IndexSize=512 length=213\n1 3 3 0 49 0 176 1 4 34 with spectra\n"
       "2 0 0 176 209 49 213 15 1 0 spectrum first\n"},
  };
  for (const auto& [file, table] : cases) {
    EXPECT_EQ("Indexed=" + table, render_table(Indexed(file).t)) << file;
  }
}

TEST(IndexFile, ManyScansAndLinesLongerThanReadBlocks) {
  std::string f;
  for (int k = 1; k <= 1100; k++) f += "#S " + std::to_string(k) + " s\n1\n";
  Indexed many(f);
  ASSERT_EQ(1100, many.t.Indexed);
  EXPECT_EQ(1536, many.t.IndexSize);
  EXPECT_EQ(1100, many.t.Index[1099].scan);
  EXPECT_EQ(many.t.Index[512].hseek, many.t.Index[511].eseek);

  const std::string big(3 << 20, 'x'), blanks(3 << 20, ' ');
  std::string wide = "@A";
  while (wide.size() < (1u << 20)) wide += " 12";
  f = "#S 1 " + big + "\n#N 2\n" + blanks + "1 2\n" + big + "\n" + blanks + "5\n" + wide +
      " \\ \n 3 4\n#S 2 b\n";
  Indexed x(f);
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_EQ(kMaxScanText, strlen(x.t.Index[0].txt));
  EXPECT_EQ(2, x.t.Index[0].lines);  // the spectrum's continuation is not data
  EXPECT_EQ(8, x.t.Index[1].lpos);
  EXPECT_EQ(static_cast<int64_t>(f.size()) - 7, x.t.Index[1].hseek);
}

// The table as "%4d  Scan %4d  Lines %4lld N %3d (%lld)" and the text print it:
// widths overflowed, negative and extreme numbers, a text cut at a NUL, and
// enough rows to be written in several pieces.
TEST(IndexPrint, RowsAsPrintfWritesThem) {
  struct Row {
    int scan;
    int64_t lines;
    int ncol;
    int64_t lpos;
    std::string txt;
  };
  std::vector<Row> rows = {
      {1, 2, 3, 4, "first\n"},
      {-12, 0, 0, 1, "no data: no text\n"},
      {INT_MIN, INT64_MAX, -7, INT64_MIN, "extremes\n"},
      {123456, -5, 12345, 0, "before\0after\n"s},
      {7, 1, 0, 9, std::string(kMaxScanText - 1, 't') + "\n"},
  };
  for (int k = 0; k < 60; k++)
    rows.push_back({k, k, k % 3, k * 1000, std::string(3000, 'a') + "\n"});
  IndexTable t;
  std::string want;
  for (size_t k = 0; k < rows.size(); k++) {
    const Row& r = rows[k];
    scanRef& rec = t.add_record();
    rec.scan = r.scan;
    rec.lines = r.lines;
    rec.ncol = r.ncol;
    rec.lpos = r.lpos;
    rec.txt = t.texts.add(r.txt.data(), r.txt.size());
    char b[160];
    snprintf(b, sizeof b, " %4d  Scan %4d  Lines %4lld N %3d (%lld)", int(k + 1), r.scan,
             (long long)r.lines, r.ncol, (long long)r.lpos);
    want += b;
    want += r.lines != 0 ? " " + std::string(r.txt.c_str()) : "\n";
  }
  TestConsole tc;
  index_print(t, tc.con);
  EXPECT_EQ(want, tc.out.str(true));
}

// A failed open leaves no file; a relative name is kept absolute across a change of folder.
TEST(IndexOpen, FailuresAndTheAbsolutePath) {
  Indexed x(kDemoFile);
  IndexTable& t = x.t;
  const std::string d = x.path();
  std::string said;
  for (const std::string& bad : {d + "/missing", d, std::string("/dev/null")}) {
    EXPECT_TRUE(index_open(t, x.fname.c_str()).ok() && index_file(t, x.tc.con) == 2);
    said += index_open(t, bad.c_str()).message();
    EXPECT_TRUE(t.inf_name == "NO FILE" && t.Indexed == 0 && !t.inf && t.inf_path.empty());
  }
  EXPECT_EQ(
      " file " + d + "/missing not found\n file " + d +
          " can't be read: Is a directory\n file /dev/null can't be read: not a regular file\n",
      said);
  const fs::path old = fs::current_path();
  index_dir(x.tc.con, d.c_str());
  EXPECT_TRUE(index_open(t, "  scan.dat\n").ok());
  const std::string here = fs::current_path();
  fs::current_path(old);
  EXPECT_TRUE(t.inf_name == "scan.dat" && t.inf_path == here + "/scan.dat");
  ScopedEnv home("HOME", d.c_str());  // ~ is the home folder
  EXPECT_TRUE(index_open(t, "~/scan.dat").ok() && t.inf_path == here + "/scan.dat");
}

TEST(CheckAndGetIndex, ValidateSearchOnwardThenWrapAndReindexAtTheEnd) {
  Indexed x("#S 1\n1\n#S 2\n1\n#S 1\n1\n");
  // As the interpreter prints them.
  auto check = [&x](int i) { return int(check_index(x.t, x.tc.con, i).report(x.tc.con.out)); };
  auto get = [&x](IndexTable& t, int i0, int s) {
    int found;
    get_index(t, x.tc.con, i0, s, &found).report(x.tc.con.out);
    return found;
  };
  EXPECT_EQ(2, check(0) + check(2));
  EXPECT_EQ(0, check(3) + check(-1));
  const int cases[][3] = {{0, 1, 2}, {2, 1, 0}, {1, 2, 1}, {2147483647, 2, 1}, {0, 7, 0}};
  for (const auto& c : cases) EXPECT_EQ(c[2], get(x.t, c[0], c[1])) << c[1];
  EXPECT_EQ(
      " 3 is not a valid index\n -1 is not a valid index\n"
      " scan 7 not found in the index_table, ???\n",
      x.tc.out.str(true));
  append_file(x.fname, "#S 3 third\n5 6\n");
  EXPECT_TRUE(check(1) == 1 && x.t.Indexed == 3);  // not the last: no reindex
  EXPECT_TRUE(check(2) == 1 && x.t.Indexed == 4);
  append_file(x.fname, "#S 4 fourth\n5 6\n");
  EXPECT_EQ(4, get(x.t, 1, 4));
  EXPECT_EQ("reindexing\n\n current file is : " + x.fname + " with 4 entries\n" +
                " scan 4 not found in the index_table, reindexing\n\n current file is : " +
                x.fname + " with 5 entries\n",
            x.tc.out.str(true));
  IndexTable empty;
  EXPECT_EQ(-1, get(empty, 0, 1));
}

// '#' lines read on from the first line, whatever the size of the file's
// reads: a '#' inside a line is no line start; a line that begins a read is.
TEST(ScanReader, NextBeginningWithFindsLineStartsAcrossReads) {
  const std::string text = "#S 1\n12 34\n#C b\nxx#y\n5\n#C c\n7 #z\n#C d";
  for (size_t step = 1; step <= text.size(); step++) {
    MemoryScanFile f(text);
    f.set_read_step(step);
    ScanReader in(&f, 0);
    std::string got;
    std::string_view l;
    for (bool more = in.next(&l); more; more = in.next_beginning_with('#', 1000, &l)) {
      got += std::string(l) + "|";
    }
    EXPECT_EQ(got, "#S 1\n|#C b\n|#C c\n|#C d|") << step;
  }
}

}  // namespace
