#include "index/index_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "testutil.h"

namespace {

std::string render(const scanRef& r) {
  char buf[256];
  snprintf(buf, sizeof buf,
           "scan=%d h=%lld v=%lld c=%lld e=%lld lpos=%lld lines=%lld ncol=%d txt=", r.scan,
           (long long)r.hseek, (long long)r.vseek, (long long)r.cseek, (long long)r.eseek,
           (long long)r.lpos, (long long)r.lines, r.ncol);
  return buf + std::string(r.txt ? r.txt : "(null)");
}

// Indexes `content` written to a fresh file; the table stays open on it.
struct Indexed {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  std::string path;
  explicit Indexed(const std::string& content) {
    path = dir.write("scan.dat", content);
    EXPECT_EQ(1, index_open(t, tc.con, path.c_str()));
    index_file(t, tc.con);
  }
};

TEST(IndexFile, WorkedExampleRecordByRecord) {
  Indexed x(kDemoFile);
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_EQ(135, x.t.IndexFileLength);
  EXPECT_EQ("scan=1 h=9 v=46 c=0 e=78 lpos=3 lines=2 ncol=3 txt=first scan\n",
            render(x.t.Index[0]));
  EXPECT_EQ("scan=2 h=78 v=116 c=46 e=135 lpos=10 lines=2 ncol=3 txt=second scan\n",
            render(x.t.Index[1]));
  EXPECT_EQ("\n current file is : " + x.path + " with 2 entries\n", x.tc.out.str(true));

  index_print(x.t, x.tc.con);
  EXPECT_EQ(
      "    1  Scan    1  Lines    2 N   3 (3) first scan\n"
      "    2  Scan    2  Lines    2 N   3 (10) second scan\n",
      x.tc.out.str());
}

TEST(IndexFile, EmptyFileAndFileWithoutScans) {
  Indexed empty("");
  EXPECT_EQ(0, empty.t.Indexed);
  EXPECT_EQ(0, empty.t.IndexFileLength);
  Indexed header("#F only a header\n1 2 3\n");
  EXPECT_EQ(0, header.t.Indexed);
  EXPECT_EQ(23, header.t.IndexFileLength);
  EXPECT_EQ("\n current file is : " + header.path + " with 0 entries\n", header.tc.out.str());
}

TEST(IndexFile, ScanWithoutDataAndLastLineScan) {
  Indexed x("#S 1 a\n1 2\n2 3\n#S 2 b\n#S 3 c\n5 6\n#S 4 d\n");
  ASSERT_EQ(4, x.t.Indexed);
  // Scan 2 has no data; scan 3's comments start where scan 1's data did.
  EXPECT_EQ("scan=2 h=15 v=0 c=7 e=22 lpos=4 lines=0 ncol=0 txt=b\n", render(x.t.Index[1]));
  EXPECT_EQ("scan=3 h=22 v=29 c=7 e=33 lpos=5 lines=1 ncol=0 txt=c\n", render(x.t.Index[2]));
  EXPECT_EQ("scan=4 h=33 v=0 c=29 e=40 lpos=7 lines=0 ncol=0 txt=d\n", render(x.t.Index[3]));
  index_print(x.t, x.tc.con);
  // A scan without data lines is listed without its text.
  EXPECT_NE(std::string::npos, x.tc.out.str().find("    2  Scan    2  Lines    0 N   0 (4)\n"));
}

TEST(IndexFile, NulLineEndsScanData) {
  std::string f = "#S 1 a\n1 2\n";
  f += std::string("\0junk\n", 6);
  f += "3 4\n#S 2 b\n#N 2\n5 6\n";
  Indexed x(f);
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_EQ(1, x.t.Index[0].lines);  // the line after the NUL line is not counted
  EXPECT_EQ(21, x.t.Index[0].eseek);
  EXPECT_EQ(11, x.t.Index[1].cseek);  // lseek moved to the NUL line
  EXPECT_EQ(2, x.t.Index[1].ncol);
}

TEST(IndexFile, ColumnCountRules) {
  Indexed x("#S 1\n#N 4\n#N 6\n1 2\n#N 9\n2 3\n#S 2\n#N x\n1\n");
  EXPECT_EQ(6, x.t.Index[0].ncol);  // the later #N counts; one after the data is ignored
  EXPECT_EQ(2, x.t.Index[0].lines);
  EXPECT_EQ(0, x.t.Index[1].ncol);  // no number after #N
}

TEST(IndexFile, BlankFirstDataLineIsNotCounted) {
  Indexed x("#S 1 a\n#N 2\n\n1 2\n  3 4\nabc\n.5 1\n-x\n+inf\nnan 1\n0x 1\n0x1p2\n");
  EXPECT_EQ(12, x.t.Index[0].vseek);
  // Counted: "1 2", "  3 4", ".5 1", "+inf", "nan 1", "0x1p2"; not "0x 1" (as sscanf).
  EXPECT_EQ(6, x.t.Index[0].lines);
}

TEST(IndexFile, ScanLineForms) {
  Indexed x("#S12 text\n#S 7\n#Sx\n#S -3  neg\n#S 99999999999 big\n");
  ASSERT_EQ(5, x.t.Indexed);
  EXPECT_EQ(12, x.t.Index[0].scan);
  EXPECT_STREQ("text\n", x.t.Index[0].txt);
  EXPECT_EQ(7, x.t.Index[1].scan);
  EXPECT_STREQ("\n", x.t.Index[1].txt);
  EXPECT_EQ(0, x.t.Index[2].scan);
  EXPECT_STREQ("x\n", x.t.Index[2].txt);
  EXPECT_EQ(-3, x.t.Index[3].scan);
  EXPECT_STREQ("-3  neg\n", x.t.Index[3].txt);
  EXPECT_EQ(2147483647, x.t.Index[4].scan);  // clamped
}

TEST(IndexFile, LastLineWithoutNewlineKeepsItsText) {
  Indexed x("#S 1 a\n1 2\n#S 2 last");
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_STREQ("last\n", x.t.Index[1].txt);
  Indexed y("#S 1 a\n1 2\n3 4");
  EXPECT_EQ(2, y.t.Index[0].lines);
  EXPECT_EQ(14, y.t.Index[0].eseek);
}

TEST(IndexFile, GrowsPast512Scans) {
  std::string f;
  for (int k = 1; k <= 1100; k++)
    f += "#S " + std::to_string(k) + " s\n" + std::to_string(k) + " 1\n";
  Indexed x(f);
  ASSERT_EQ(1100, x.t.Indexed);
  EXPECT_EQ(1536, x.t.IndexSize);
  for (int k = 0; k < 1100; k++) ASSERT_EQ(k + 1, x.t.Index[k].scan);
  EXPECT_EQ(x.t.Index[512].hseek, x.t.Index[511].eseek);
}

TEST(IndexFile, LinesLongerThanReadBlocks) {
  // Lines that span the indexer's read blocks are still one line each.
  std::string big(3 << 20, 'x');
  std::string spaces(3 << 20, ' ');
  std::string f =
      "#S 1 " + big + "\n#N 2\n" + spaces + "1 2\n" + big + "\n" + spaces + "5\n#S 2 b\n";
  Indexed x(f);
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_EQ(kMaxScanText, strlen(x.t.Index[0].txt));
  EXPECT_EQ(2, x.t.Index[0].lines);  // the two space-led number lines
  EXPECT_EQ(6, x.t.Index[1].lpos);
  EXPECT_EQ(static_cast<int64_t>(f.size()) - 7, x.t.Index[1].hseek);
}

TEST(IndexFile, SpectrumLinesAreNotData) {
  Indexed x(kSpectrumFile);
  ASSERT_EQ(2, x.t.Indexed);
  EXPECT_EQ("scan=1 h=0 v=49 c=0 e=176 lpos=1 lines=4 ncol=3 txt=with spectra\n",
            render(x.t.Index[0]));
  // A spectrum before the first data line is not that line.
  EXPECT_EQ("scan=2 h=176 v=209 c=49 e=213 lpos=15 lines=1 ncol=0 txt=spectrum first\n",
            render(x.t.Index[1]));
  // A spectrum line longer than a read block still continues on the next line.
  std::string wide = "@A";
  while (wide.size() < (1u << 20)) wide += " 12";
  Indexed y("#S 1 a\n1 2\n" + wide + " \\ \n 3 4\n5 6\n");
  EXPECT_EQ(2, y.t.Index[0].lines);
}

TEST(IndexFile, NoOpenFileGivesNoFileState) {
  TestConsole tc;
  IndexTable t;
  EXPECT_EQ(0, index_file(t, tc.con));
  EXPECT_EQ("NO FILE", t.inf_name);
  EXPECT_EQ("\n current file is : NO FILE with 0 entries\n", tc.out.str());
}

TEST(IndexOpen, NamesAndFailures) {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  dir.write("a.dat", kDemoFile);
  std::string saved_home = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", dir.path().c_str(), 1);
  EXPECT_EQ(1, index_open(t, tc.con, "  ~/a.dat\n"));
  EXPECT_EQ("~/a.dat", t.inf_name);
  EXPECT_EQ("", tc.out.str(true));
  EXPECT_EQ(2, index_file(t, tc.con));
  tc.out.str(true);

  EXPECT_EQ(0, index_open(t, tc.con, "~/missing"));
  EXPECT_EQ(" file " + dir.path() + "/missing not found\n", tc.out.str(true));
  EXPECT_EQ("NO FILE", t.inf_name);
  EXPECT_EQ(0, t.Indexed);
  EXPECT_EQ(nullptr, t.inf);

  EXPECT_EQ(0, index_open(t, tc.con, ""));
  EXPECT_EQ(" file  not found\n", tc.out.str(true));

  EXPECT_EQ(0, index_open(t, tc.con, dir.path().c_str()));
  EXPECT_EQ(" file " + dir.path() + " can't be read: Is a directory\n", tc.out.str(true));

  unsetenv("HOME");
  EXPECT_EQ(0, index_open(t, tc.con, "~/a.dat"));
  EXPECT_EQ(" file ~/a.dat not found\n", tc.out.str(true));
  if (!saved_home.empty()) setenv("HOME", saved_home.c_str(), 1);
}

TEST(IndexOpen, KeepsTheAbsolutePathUntilClosed) {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  dir.write("a.dat", kDemoFile);
  char* old = getcwd(nullptr, 0);
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  char* here = getcwd(nullptr, 0);
  EXPECT_EQ(1, index_open(t, tc.con, "a.dat"));
  EXPECT_EQ("a.dat", t.inf_name);
  EXPECT_EQ(std::string(here) + "/a.dat", t.inf_path);
  EXPECT_EQ(0, chdir(old));
  EXPECT_EQ(std::string(here) + "/a.dat", t.inf_path);  // a later chdir changes nothing
  EXPECT_EQ(0, index_open(t, tc.con, "a.dat"));
  EXPECT_EQ("", t.inf_path);
  free(old);
  free(here);
}

TEST(IndexDir, ChangesAndPrintsTheDirectory) {
  TempDir dir;
  TestConsole tc;
  char* old = getcwd(nullptr, 0);
  index_dir(tc.con, ("  " + dir.path()).c_str());
  char* now = getcwd(nullptr, 0);
  EXPECT_EQ("current working dir : " + std::string(now) + "\n", tc.out.str(true));
  index_dir(tc.con, "/no/such/dir");
  EXPECT_EQ("current working dir : " + std::string(now) + "\n", tc.out.str(true));
  EXPECT_EQ(0, chdir(old));
  free(old);
  free(now);
}

TEST(CheckIndex, ValidatesAndReindexesAtTheEnd) {
  Indexed x(kDemoFile);
  x.tc.out.str(true);
  EXPECT_EQ(1, check_index(x.t, x.tc.con, 0));
  EXPECT_EQ(1, check_index(x.t, x.tc.con, 1));
  EXPECT_EQ(0, check_index(x.t, x.tc.con, 2));
  EXPECT_EQ(0, check_index(x.t, x.tc.con, -1));
  EXPECT_EQ(" 2 is not a valid index\n -1 is not a valid index\n", x.tc.out.str(true));

  append_file(x.path, "#S 3 third\n5 6\n");
  EXPECT_EQ(1, check_index(x.t, x.tc.con, 0));  // an earlier scan never reindexes
  EXPECT_EQ(2, x.t.Indexed);
  EXPECT_EQ(1, check_index(x.t, x.tc.con, 2));
  EXPECT_EQ("reindexing\n\n current file is : " + x.path + " with 3 entries\n", x.tc.out.str());
}

TEST(GetIndex, SearchesOnwardThenWraps) {
  Indexed x(kDemoFile);
  x.tc.out.str(true);
  EXPECT_EQ(1, get_index(x.t, x.tc.con, 0, 2));
  EXPECT_EQ(0, get_index(x.t, x.tc.con, 1, 1));
  EXPECT_EQ(1, get_index(x.t, x.tc.con, 1, 2));
  EXPECT_EQ("", x.tc.out.str(true));
  EXPECT_EQ(0, get_index(x.t, x.tc.con, 0, 7));
  EXPECT_EQ(" scan 7 not found in the index_table, ???\n", x.tc.out.str(true));

  append_file(x.path, "#S 3 third\n5 6\n");
  EXPECT_EQ(2, get_index(x.t, x.tc.con, 1, 3));
  EXPECT_EQ(" scan 3 not found in the index_table, reindexing\n\n current file is : " + x.path +
                " with 3 entries\n",
            x.tc.out.str(true));
}

TEST(GetIndex, RepeatedNumbersAndEmptyTable) {
  Indexed x("#S 1\n1\n#S 2\n1\n#S 1\n1\n");
  EXPECT_EQ(2, get_index(x.t, x.tc.con, 0, 1));
  EXPECT_EQ(0, get_index(x.t, x.tc.con, 2, 1));
  EXPECT_EQ(1, get_index(x.t, x.tc.con, 2147483647, 2));  // invalid current: whole table
  TestConsole tc;
  IndexTable empty;
  EXPECT_EQ(-1, get_index(empty, tc.con, 0, 1));
  EXPECT_EQ("", tc.out.str());
}

TEST(GetIndex, ShrunkFileSearchesNothingNew) {
  Indexed x(kDemoFile);
  FILE* f = fopen(x.path.c_str(), "w");
  fputs("#S 5 x\n1 2\n", f);
  fclose(f);
  x.tc.out.str(true);
  EXPECT_EQ(1, get_index(x.t, x.tc.con, 1, 5));
  EXPECT_EQ(1, x.t.Indexed);
}

}  // namespace
