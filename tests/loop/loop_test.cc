#include "loop/loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "output/listing.h"
#include "testutil.h"

namespace {

// Renders what a loop text says, so a failure shows every field at once.
std::string show(const char* text) {
  LoopSpec p = parse_loop(text);
  const char* start = "invalid";
  switch (p.start) {
    case LoopStart::kScan:
      start = "scan";
      break;
    case LoopStart::kIndex:
      start = "index";
      break;
    case LoopStart::kCurrent:
      start = "current";
      break;
    case LoopStart::kInvalid:
      break;
  }
  std::string r = start;
  if (p.has_start) r += " " + std::to_string(p.start_number);
  r += p.has_end ? " end " + std::to_string(p.i_end) : " noend";
  r += " cmd ";
  r += p.e ? std::string(1, p.e) : std::string("none");
  r += " rest '" + p.after_letter + "'";
  if (!p.redirect.empty()) r += " > " + p.redirect;
  return r;
}

struct ParseCase {
  const char* text;
  const char* expected;
};

// Grouped: the start forms; blanks where they are allowed; missing numbers;
// a text that ends where the letter should stand; the redirect word.
const ParseCase kParseCases[] = {
    {"3,5,w)", "scan 3 end 5 cmd w rest ')'"},
    {"s4,7,v)", "scan 4 end 7 cmd v rest ')'"},
    {",6,e)", "current end 6 cmd e rest ')'"},
    {"i5,2,p)", "index 5 end 2 cmd p rest ')'"},
    {"i1,99,h)", "index 1 end 99 cmd h rest ')'"},
    {"5,3,p)", "scan 5 end 3 cmd p rest ')'"},
    {"x1,2,p)", "invalid noend cmd none rest ''"},
    {"", "invalid noend cmd none rest ''"},
    {"\ti2,3,c)", "invalid noend cmd none rest ''"},  // only blanks are skipped

    {" i 2,3,c)", "index 2 end 3 cmd c rest ')'"},
    {"i2, 4 , p)", "index 2 end 4 cmd p rest ')'"},
    {"s -3,7,p)", "scan -3 end 7 cmd p rest ')'"},
    // A blank before the end's comma: no end; the comma is stepped over.
    {"3 ,5,w)", "scan 3 noend cmd 5 rest ',w)'"},

    {"i,4,p)", "index end 4 cmd p rest ')'"},
    {"s,7,v)", "scan end 7 cmd v rest ')'"},
    {"3,w)", "scan 3 noend cmd w rest ')'"},
    {"3,,w)", "scan 3 noend cmd , rest 'w)'"},
    {"i2p", "index 2 noend cmd p rest ''"},

    {"1,3,", "scan 1 end 3 cmd none rest ''"},
    {"1,3", "scan 1 end 3 cmd none rest ''"},
    {"i", "index noend cmd none rest ''"},
    {",", "current noend cmd none rest ''"},
    {"1,3,q)", "scan 1 end 3 cmd q rest ')'"},

    {"i2,4,p)out", "index 2 end 4 cmd p rest ')out' > out"},
    {"i2,4,p) out more", "index 2 end 4 cmd p rest ') out more' > out"},
    {"i2,4,p)\tout\tmore", "index 2 end 4 cmd p rest ')\tout\tmore' > out"},
    {"i2,4,p) ", "index 2 end 4 cmd p rest ') '"},
    {"i2,4,p)", "index 2 end 4 cmd p rest ')'"},
    {"i2,4,p out", "index 2 end 4 cmd p rest ' out'"},
};

TEST(LoopParse, AllForms) {
  for (const ParseCase& c : kParseCases) EXPECT_EQ(show(c.text), c.expected) << c.text;
}

TEST(LoopParse, HugeNumbersAreClamped) {
  LoopSpec p = parse_loop("i99999999999,-99999999999,p)");
  EXPECT_EQ(p.start_number, INT_MAX);
  EXPECT_EQ(p.i_end, INT_MIN + 1);
  EXPECT_EQ(p.e, 'p');
}

TEST(LoopStops, BothModes) {
  EXPECT_FALSE(loop_stops(true, 3, 0, 4));
  EXPECT_TRUE(loop_stops(true, 4, 0, 4));
  EXPECT_TRUE(loop_stops(true, 5, 0, 2));
  EXPECT_FALSE(loop_stops(false, 4, 3, 5));
  EXPECT_TRUE(loop_stops(false, 1, 5, 5));
  EXPECT_FALSE(loop_stops(false, 4, 6, 5));  // no ordering test in scan mode
}

// The loop's commands as a lookup that knows `p` only.
LoopLookup list_only(IndexTable& t, Console& con) {
  return [&t, &con](char letter) {
    LoopAction a;
    if (letter == 'p') a.run = [&t, &con](int ref) { scan_print(t, con, ref); };
    return a;
  };
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

// A session on a scan file in a temporary folder, which is the working
// directory while the fixture lives. Listings go to `tc.listing`.
class LoopRun : public ::testing::Test {
 protected:
  void open(const std::string& content) {
    path_ = dir_.write("scans.dat", content);
    con_ = tc_.con;
    con_.my_stdout = tc_.listing.f();
    ASSERT_EQ(index_open(t_, con_, path_.c_str()), 1);
    index_file(t_, con_);
    tc_.out.str(true);
  }
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(cwd_), 0); }

  // Data lines listed by the loop, joined.
  std::string listed() { return tc_.listing.str(true); }

  char cwd_[4096];
  TempDir dir_;
  std::string path_;
  TestConsole tc_;
  IndexTable t_;
  Console con_;

  // Runs a loop whose only command is `p`.
  int run(int ref, const char* text) { return loop(t_, con_, ref, text, list_only(t_, con_)); }
};

TEST_F(LoopRun, IndexModeWithRedirect) {
  open(ten_scans());
  EXPECT_EQ(run(10, "i2,4,p)out"), 4);
  EXPECT_EQ(tc_.out.str(),
            " Redirecting stdout to out\n"
            " loop '(i2,4,p)out' from (i=2, s=2) to 'index' 4 command=p\n");
  EXPECT_EQ(listed(), "");
  EXPECT_EQ(read_file(dir_.file("out")), "2 1000 20\n3 1000 30\n4 1000 40\n");
  EXPECT_EQ(con_.my_stdout, tc_.listing.f());

  EXPECT_EQ(run(1, "i2,3,p) more words"), 3);
  EXPECT_EQ(read_file(dir_.file("more")), "2 1000 20\n3 1000 30\n");
}

TEST_F(LoopRun, IndexModeRanges) {
  open(ten_scans());
  EXPECT_EQ(run(1, "i5,2,p)"), 5);
  EXPECT_EQ(listed(), "5 1000 50\n");

  tc_.out.str(true);
  EXPECT_EQ(run(1, "i1,99,p)"), 10);
  std::string all;
  for (int n = 1; n <= 10; n++) all += std::to_string(n) + " 1000 " + std::to_string(10 * n) + "\n";
  EXPECT_EQ(listed(), all);
  EXPECT_EQ(tc_.out.str(),
            " loop '(i1,99,p)' from (i=1, s=1) to 'index' 99 command=p\n"
            " 10 is not a valid index\n");

  // An invalid start runs from the last scan.
  tc_.out.str(true);
  EXPECT_EQ(run(3, "i42,99,p)"), 10);
  EXPECT_EQ(listed(), "10 1000 100\n");
  EXPECT_EQ(tc_.out.str(),
            " 41 is not a valid index\n"
            " loop '(i42,99,p)' from (i=10, s=10) to 'index' 99 command=p\n"
            " 10 is not a valid index\n");
}

TEST_F(LoopRun, ScanModeRanges) {
  open(ten_scans());
  EXPECT_EQ(run(1, "3,5,p)"), 5);
  EXPECT_EQ(listed(), "3 1000 30\n4 1000 40\n5 1000 50\n");
  EXPECT_EQ(run(8, ",9,p)"), 9);
  EXPECT_EQ(listed(), "8 1000 80\n9 1000 90\n");
  // An end below the start runs to the end of the table.
  EXPECT_EQ(run(1, "s8,3,p)"), 10);
  EXPECT_EQ(listed(), "8 1000 80\n9 1000 90\n10 1000 100\n");
  // A start scan that is not there: the current index.
  tc_.out.str(true);
  EXPECT_EQ(run(6, "77,7,p)"), 7);
  EXPECT_EQ(listed(), "6 1000 60\n7 1000 70\n");
  EXPECT_EQ(tc_.out.str(),
            " scan 77 not found in the index_table, ???\n"
            " loop '(77,7,p)' from (i=6, s=6) to 'scan' 7 command=p\n");
}

TEST_F(LoopRun, MissingPartsRunTheStartAlone) {
  open(ten_scans());
  EXPECT_EQ(run(4, "s,8,p)"), 8);  // no number: from the current scan
  EXPECT_EQ(listed(), "4 1000 40\n5 1000 50\n6 1000 60\n7 1000 70\n8 1000 80\n");
  tc_.out.str(true);
  EXPECT_EQ(run(4, "i6,p)"), 6);
  EXPECT_EQ(listed(), "6 1000 60\n");
  EXPECT_EQ(tc_.out.str(), " loop '(i6,p)' from (i=6, s=6) to 'index' 6 command=p\n");
  tc_.out.str(true);
  EXPECT_EQ(run(4, "7,p)"), 7);
  EXPECT_EQ(listed(), "7 1000 70\n");
  EXPECT_EQ(tc_.out.str(), " loop '(7,p)' from (i=7, s=7) to 'scan' 7 command=p\n");
}

TEST_F(LoopRun, InvalidStartAndLetter) {
  open(ten_scans());
  EXPECT_EQ(run(5, "x1,2,p)"), 0);
  EXPECT_EQ(tc_.err.str(true),
            " Unable to interpret loop 'x1,2,p)' not starting with scan or index!\n");
  EXPECT_EQ(tc_.out.str(), "");

  EXPECT_EQ(run(5, "1,3,q)"), 3);
  std::string one = " Unable to interpret loop '1,3,q)' invalid command ')'!\n";
  EXPECT_EQ(tc_.err.str(true), one + one + one);

  tc_.out.str(true);
  EXPECT_EQ(run(5, "1,2,"), 2);
  EXPECT_EQ(tc_.err.str(true),
            " Unable to interpret loop '1,2,' invalid command ''!\n"
            " Unable to interpret loop '1,2,' invalid command ''!\n");
  EXPECT_EQ(tc_.out.str(), " loop '(1,2,' from (i=1, s=1) to 'scan' 2 command=\n");
}

TEST_F(LoopRun, RedirectThatCannotOpenRunsNothing) {
  open(ten_scans());
  EXPECT_EQ(run(5, "i1,3,p)no/such/dir/out"), 5);
  EXPECT_EQ(tc_.out.str(),
            " Redirecting stdout to no/such/dir/out\n"
            " unable to write loop listings on 'no/such/dir/out': No such file or directory;"
            " loop abandoned\n");
  EXPECT_EQ(listed(), "");
  EXPECT_EQ(con_.my_stdout, tc_.listing.f());

  tc_.out.str(true);
  EXPECT_EQ(run(5, "i1,3,p)scans.dat"), 5);
  EXPECT_EQ(tc_.out.str(),
            " Redirecting stdout to scans.dat\n"
            " unable to write loop listings on 'scans.dat': it is the scan file being read;"
            " loop abandoned\n");
  EXPECT_EQ(read_file(path_), ten_scans());
}

TEST_F(LoopRun, GrowingFileIsFollowed) {
  open(ten_scans().substr(0, ten_scans().find("\n#S 9")));
  ASSERT_EQ(t_.Indexed, 8);
  append_file(path_, ten_scans().substr(ten_scans().find("\n#S 9")));
  EXPECT_EQ(run(1, "7,10,p)"), 10);
  EXPECT_EQ(listed(), "7 1000 70\n8 1000 80\n9 1000 90\n10 1000 100\n");
}

TEST(LoopEmpty, NothingIndexed) {
  TestConsole tc;
  IndexTable t;
  EXPECT_EQ(loop(t, tc.con, 0, ",3,p)", list_only(t, tc.con)), 0);
  EXPECT_EQ(tc.out.str(),
            " loop '(,3,p)' from (i=0, s=0) to 'scan' 3 command=p\n"
            " -1 is not a valid index\n");
  EXPECT_EQ(loop(t, tc.con, 0, "4,3,p)", list_only(t, tc.con)), 0);
}

}  // namespace
