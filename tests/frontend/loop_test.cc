#include "frontend/loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "output/listing.h"
#include "testutil.h"

namespace {

// The data lines of scans `from` to `to`, one each: "<n> 1000 <10n>".
std::string lines(int from, int to) {
  std::string s;
  for (int n = from; n <= to; n++)
    s += std::to_string(n) + " 1000 " + std::to_string(10 * n) + "\n";
  return s;
}

std::string scan(int n) { return "#S " + std::to_string(n) + " s\n#N 3\n" + lines(n, n); }

// Loops of `p` over scans 1 to 10 in a temporary folder; listings apart from messages.
class LoopRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 10; n++) ten_ += scan(n);
    path_ = dir_.write("scans.dat", ten_);
    con_ = tc_.con;
    con_.my_stdout = tc_.listing.f();
    con_.err = tc_.out.f();
    ASSERT_TRUE(index_open(t_, path_.c_str()).ok());
    index_file(t_, con_);
    tc_.out.str(true);
  }

  int run(int ref, const char* text, bool grow = false, bool* failed = nullptr) {
    return loop(
        t_, con_, ref, text,
        [this, grow](char letter) {
          LoopAction a;
          if (letter == 'p')
            a.run = [this, grow](int k) {
              scan_print(t_, con_, k);
              if (grow && k == 9) append_file(path_, scan(11));
              return true;
            };
          return a;
        },
        failed);
  }
  std::string said() { return tc_.out.str(true); }

  TempDir dir_;
  InDir in_dir_{dir_.path()};
  std::string ten_, path_;
  TestConsole tc_;
  IndexTable t_;
  Console con_;
};

TEST_F(LoopRun, RangesOfPositionsAndScans) {
  const struct {
    int ref;
    const char* text;
    int result, from, to;  // the position after it, the scans listed
    bool failed;           // running off the table's end is no failure
    std::string said;
  } cases[] = {
      {1, " i 2, 4 , p) ", 4, 2, 4, false,
       " loop '( i 2, 4 , p) ' from (i=2, s=2) to 'index' 4 command=p\n"},
      {1, "i1,99,p)", 10, 1, 10, false,
       " loop '(i1,99,p)' from (i=1, s=1) to 'index' 99 command=p\n 10 is not a valid index\n"},
      // A start outside the table: the last scan; numbers are clamped.
      {3, "i99999999999,-99999999999,p)", 10, 10, 10, true,
       " 2147483646 is not a valid index\n loop '(i99999999999,-99999999999,p)' from (i=10, s=10)"
       " to 'index' -2147483647 command=p\n"},
      {1, "3,5,p)", 5, 3, 5, false, " loop '(3,5,p)' from (i=3, s=3) to 'scan' 5 command=p\n"},
      {8, ",9,p)", 9, 8, 9, false, " loop '(,9,p)' from (i=8, s=8) to 'scan' 9 command=p\n"},
      {3, "i,4,p out", 4, 3, 4, false,
       " loop '(i,4,p out' from (i=3, s=3) to 'index' 4 command=p\n"},
      // In scan mode an end below the start runs to the end of the table.
      {1, "s8,3,p)", 10, 8, 10, false,
       " loop '(s8,3,p)' from (i=8, s=8) to 'scan' 3 command=p\n 10 is not a valid index\n"},
      // A start scan that is not there: the current index.
      {6, "s -3,7,p)", 7, 6, 7, true,
       " scan -3 not found in the index_table, ???\n"
       " loop '(s -3,7,p)' from (i=6, s=6) to 'scan' 7 command=p\n"},
      // Without an end, the start alone.
      {4, "i6p", 6, 6, 6, false, " loop '(i6p' from (i=6, s=6) to 'index' 6 command=p\n"},
      {4, "7,p)", 7, 7, 7, false, " loop '(7,p)' from (i=7, s=7) to 'scan' 7 command=p\n"},
      {0, ",3,p)", 0, 1, 0, true,
       " loop '(,3,p)' from (i=0, s=0) to 'scan' 3 command=p\n -1 is not a valid index\n"},
      {5, "x1,2,p)", 0, 1, 0, true,
       " Unable to interpret loop 'x1,2,p)' not starting with scan or index!\n"},
      // A letter that is not a loop command: a message for each scan.
      {5, "1,2,q)", 2, 1, 0, true,
       " loop '(1,2,q)' from (i=1, s=1) to 'scan' 2 command=q\n"
       " Unable to interpret loop '1,2,q)' invalid command ')'!\n"
       " Unable to interpret loop '1,2,q)' invalid command ')'!\n"},
      // A blank before the end's comma: no end; the comma is stepped over.
      {5, "3 ,5,w)", 3, 1, 0, true,
       " loop '(3 ,5,w)' from (i=3, s=3) to 'scan' 3 command=5\n"
       " Unable to interpret loop '3 ,5,w)' invalid command ',w)'!\n"},
      {5, "1,1", 1, 1, 0, true,
       " loop '(1,1' from (i=1, s=1) to 'scan' 1 command=\n"
       " Unable to interpret loop '1,1' invalid command ''!\n"},
  };
  for (const auto& c : cases) {
    bool failed;
    EXPECT_EQ(c.result, run(c.ref, c.text, false, &failed)) << c.text;
    EXPECT_EQ(c.failed, failed) << c.text;
    EXPECT_EQ(lines(c.from, c.to), tc_.listing.str(true)) << c.text;
    EXPECT_EQ(c.said, said()) << c.text;
  }
}

TEST_F(LoopRun, RunsIntoScansAppendedMeanwhile) {
  EXPECT_EQ(11, run(9, "9,11,p)", true));
  EXPECT_EQ(lines(9, 11), tc_.listing.str(true));
}

TEST_F(LoopRun, RedirectTakesTheListingsOrIsReported) {
  const struct {
    const char* text;
    int result;
    std::string said;
  } cases[] = {
      {"i2,3,p)\tout\tmore", 3,
       " Redirecting stdout to out\n loop '(i2,3,p)\tout\tmore' from (i=2, s=2) to 'index' 3 "
       "command=p\n"},
      {"i1,3,p)no/such/dir/out", 5,
       " Redirecting stdout to no/such/dir/out\n unable to write loop listings on "
       "'no/such/dir/out': No such file or directory; loop abandoned\n"},
      {"i1,3,p)scans.dat", 5,
       " Redirecting stdout to scans.dat\n unable to write loop listings on 'scans.dat': it is "
       "the scan file being read; loop abandoned\n"},
      // Listings go to regular files only (a FIFO would hold the loop up).
      {"i1,1,p)/dev/full", 5,
       " Redirecting stdout to /dev/full\n unable to write loop listings on '/dev/full': not a "
       "regular file; loop abandoned\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, run(5, c.text)) << c.text;
    EXPECT_EQ(c.said, said()) << c.text;
  }
  EXPECT_EQ(lines(2, 3), read_file(dir_.file("out")));
  EXPECT_EQ(ten_, read_file(path_));
  EXPECT_EQ("", tc_.listing.str());
  EXPECT_EQ(con_.my_stdout, tc_.listing.f());
}

}  // namespace
