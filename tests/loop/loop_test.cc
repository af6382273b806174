#include "loop/loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "output/listing.h"
#include "testutil.h"

namespace {

// Renders what a loop text says, so a failure shows every field at once.
std::string show(const char* text) {
  LoopSpec p = parse_loop(text);
  const char* start[] = {"invalid", "scan", "index", "current"};
  std::string r = start[static_cast<int>(p.start)];
  if (p.has_start) r += " " + std::to_string(p.start_number);
  r += p.has_end ? " end " + std::to_string(p.i_end) : " noend";
  r += " cmd " + (p.e ? std::string(1, p.e) : std::string("none"));
  r += " rest '" + p.after_letter + "'";
  if (!p.redirect.empty()) r += " > " + p.redirect;
  return r;
}

TEST(LoopParse, AllForms) {
  // Grouped: the start forms; blanks where they are allowed; missing
  // numbers; a text that ends where the letter should stand; the redirect.
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", "invalid noend cmd none rest ''"},
      {"\ti2,3,c)", "invalid noend cmd none rest ''"},  // only blanks are skipped
      {"i99999999999,-99999999999,p)", "index 2147483647 end -2147483647 cmd p rest ')'"},

      {" i 2,3,c)", "index 2 end 3 cmd c rest ')'"},
      {"i2, 4 , p)", "index 2 end 4 cmd p rest ')'"},
      {"s -3,7,p)", "scan -3 end 7 cmd p rest ')'"},
      // A blank before the end's comma: no end; the comma is stepped over.
      {"3 ,5,w)", "scan 3 noend cmd 5 rest ',w)'"},

      {"i,4,p)", "index end 4 cmd p rest ')'"},
      {"3,,w)", "scan 3 noend cmd , rest 'w)'"},
      {"i2p", "index 2 noend cmd p rest ''"},

      {"1,3", "scan 1 end 3 cmd none rest ''"},
      {"i", "index noend cmd none rest ''"},
      {",", "current noend cmd none rest ''"},

      {"i2,4,p)out", "index 2 end 4 cmd p rest ')out' > out"},
      {"i2,4,p)\tout\tmore", "index 2 end 4 cmd p rest ')\tout\tmore' > out"},
      {"i2,4,p) ", "index 2 end 4 cmd p rest ') '"},
      {"i2,4,p out", "index 2 end 4 cmd p rest ' out'"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, show(c.text)) << c.text;
}

// A file of ten scans numbered 1 to 10, one data line each ("<n> 1000 <10n>").
std::string ten_scans() {
  std::string f = "#F ten\n";
  for (int n = 1; n <= 10; n++) {
    f += "\n#S " + std::to_string(n) + "  scan\n#C c" + std::to_string(n) +
         "\n#N 3\n#L x  mon  det\n";
    f += std::to_string(n) + " 1000 " + std::to_string(10 * n) + "\n";
  }
  return f;
}

// The data lines of scans `from` to `to` of ten_scans().
std::string lines(int from, int to) {
  std::string s;
  for (int n = from; n <= to; n++)
    s += std::to_string(n) + " 1000 " + std::to_string(10 * n) + "\n";
  return s;
}

// Loops whose command is `p`, on ten_scans() in a temporary folder, which is
// the working directory while the fixture lives. Listings go to `listing`.
class LoopRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    path_ = dir_.write("scans.dat", ten_scans());
    con_ = tc_.con;
    con_.my_stdout = tc_.listing.f();
    ASSERT_EQ(index_open(t_, con_, path_.c_str()), 1);
    index_file(t_, con_);
    tc_.out.str(true);
  }
  void TearDown() override { ASSERT_EQ(chdir(cwd_), 0); }

  int run(int ref, const char* text) {
    return loop(t_, con_, ref, text, [this](char letter) {
      LoopAction a;
      if (letter == 'p') a.run = [this](int k) { scan_print(t_, con_, k); };
      return a;
    });
  }

  char cwd_[4096];
  TempDir dir_;
  std::string path_;
  TestConsole tc_;
  IndexTable t_;
  Console con_;
};

TEST_F(LoopRun, RangesOfPositionsAndScans) {
  const std::string all = lines(1, 10);
  const struct {
    int ref;
    const char* text;
    int result;
    std::string listed, messages, errors = "";
  } cases[] = {
      // An end before the start: the start alone.
      {1, "i5,2,p)", 5, lines(5, 5), " loop '(i5,2,p)' from (i=5, s=5) to 'index' 2 command=p\n"},
      {1, "i1,99,p)", 10, all,
       " loop '(i1,99,p)' from (i=1, s=1) to 'index' 99 command=p\n 10 is not a valid index\n"},
      // A start outside the table: the last scan.
      {3, "i42,99,p)", 10, lines(10, 10),
       " 41 is not a valid index\n loop '(i42,99,p)' from (i=10, s=10) to 'index' 99 command=p\n"
       " 10 is not a valid index\n"},
      {1, "3,5,p)", 5, lines(3, 5), " loop '(3,5,p)' from (i=3, s=3) to 'scan' 5 command=p\n"},
      {8, ",9,p)", 9, lines(8, 9), " loop '(,9,p)' from (i=8, s=8) to 'scan' 9 command=p\n"},
      // In scan mode an end below the start runs to the end of the table.
      {1, "s8,3,p)", 10, lines(8, 10),
       " loop '(s8,3,p)' from (i=8, s=8) to 'scan' 3 command=p\n 10 is not a valid index\n"},
      // A start scan that is not there: the current index.
      {6, "77,7,p)", 7, lines(6, 7),
       " scan 77 not found in the index_table, ???\n"
       " loop '(77,7,p)' from (i=6, s=6) to 'scan' 7 command=p\n"},
      {4, "i6,p)", 6, lines(6, 6), " loop '(i6,p)' from (i=6, s=6) to 'index' 6 command=p\n"},
      {4, "7,p)", 7, lines(7, 7), " loop '(7,p)' from (i=7, s=7) to 'scan' 7 command=p\n"},
      {5, "x1,2,p)", 0, "", "",
       " Unable to interpret loop 'x1,2,p)' not starting with scan or index!\n"},
      // A letter that is not a loop command: a message for each scan.
      {5, "1,2,q)", 2, "", " loop '(1,2,q)' from (i=1, s=1) to 'scan' 2 command=q\n",
       " Unable to interpret loop '1,2,q)' invalid command ')'!\n"
       " Unable to interpret loop '1,2,q)' invalid command ')'!\n"},
      {5, "1,1,", 1, "", " loop '(1,1,' from (i=1, s=1) to 'scan' 1 command=\n",
       " Unable to interpret loop '1,1,' invalid command ''!\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, run(c.ref, c.text)) << c.text;
    EXPECT_EQ(c.listed, tc_.listing.str(true)) << c.text;
    EXPECT_EQ(c.messages, tc_.out.str(true)) << c.text;
    EXPECT_EQ(c.errors, tc_.err.str(true)) << c.text;
  }
}

TEST_F(LoopRun, RedirectTakesTheListingsAndIsPutBack) {
  EXPECT_EQ(3, run(10, "i2,3,p) out more"));
  EXPECT_EQ(
      " Redirecting stdout to out\n"
      " loop '(i2,3,p) out more' from (i=2, s=2) to 'index' 3 command=p\n",
      tc_.out.str(true));
  EXPECT_EQ(lines(2, 3), read_file(dir_.file("out")));
  EXPECT_EQ("", tc_.listing.str());
  EXPECT_EQ(con_.my_stdout, tc_.listing.f());
}

TEST_F(LoopRun, RedirectThatFailsIsReported) {
  EXPECT_EQ(5, run(5, "i1,3,p)no/such/dir/out"));
  EXPECT_EQ(
      " Redirecting stdout to no/such/dir/out\n"
      " unable to write loop listings on 'no/such/dir/out': No such file or directory;"
      " loop abandoned\n",
      tc_.out.str(true));
  EXPECT_EQ(5, run(5, "i1,3,p)scans.dat"));
  EXPECT_EQ(
      " Redirecting stdout to scans.dat\n"
      " unable to write loop listings on 'scans.dat': it is the scan file being read;"
      " loop abandoned\n",
      tc_.out.str(true));
  EXPECT_EQ(ten_scans(), read_file(path_));
  // A write that fails once the listings are written.
  EXPECT_EQ(1, run(5, "i1,1,p)/dev/full"));
  EXPECT_EQ(
      " Redirecting stdout to /dev/full\n"
      " loop '(i1,1,p)/dev/full' from (i=1, s=1) to 'index' 1 command=p\n"
      " unable to write loop listings on '/dev/full': No space left on device\n",
      tc_.out.str(true));
  EXPECT_EQ("", tc_.listing.str());
  EXPECT_EQ(con_.my_stdout, tc_.listing.f());
}

TEST(Loop, NothingIndexedRunsNothing) {
  TestConsole tc;
  IndexTable t;
  auto none = [](char) { return LoopAction(); };
  EXPECT_EQ(0, loop(t, tc.con, 0, ",3,p)", none));
  EXPECT_EQ(
      " loop '(,3,p)' from (i=0, s=0) to 'scan' 3 command=p\n"
      " -1 is not a valid index\n",
      tc.out.str());
  EXPECT_EQ(0, loop(t, tc.con, 0, "4,3,p)", none));
  EXPECT_EQ("", tc.err.str());
}

}  // namespace
