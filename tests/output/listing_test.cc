#include "output/listing.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "base/interrupt.h"
#include "scan_fixture.h"

namespace {

using List = int (*)(IndexTable&, Console&, int);

// What `list` writes to my_stdout for the scan at `ref`; messages must stay empty.
std::string listed(ScanFixture& f, List list, int ref) {
  f.tc.con.my_stdout = f.tc.listing.f();
  list(f.t, f.con(), ref);
  EXPECT_EQ(f.out(), "");
  return f.tc.listing.str(true);
}

TEST(Listings, HeadersCommentsAndData) {
  const std::string kCounted =  // lines that count as data by the indexer's rule, and others
      "1 2\n  3\n\t.5\n-.5\n+1\n-0\nnan 1\n-Inf\n0x1p3\n0x z\nx 1\n\n \r\n1e\n. 1\n-\n0\n,1\n";
  struct {
    std::string file;
    List list;
    int ref;
    std::string want;
  } cases[] = {
      {kDemoFile, scan_header, 1, "#S 2  second scan\n#N 3\n#L x  mon  det\n"},
      {"#S 1 a\n#S 2 b\n#N 2\n1 2\n", scan_header, 0, "#S 1 a\n#S 2 b\n#N 2\n"},
      {kDemoFile, scan_comment, 0,
       "#F demo\n\n#S 1  first scan\n#N 3\n#L x  mon  det\n#D stopped\n\n"},
      {kDemoFile, scan_comment, 1, "#D stopped\n\n#S 2  second scan\n#N 3\n#L x  mon  det\n"},
      {"#S 1 a\n#S 2 b\n1 2\n", scan_print, 0, " No data to plot lines = 0\n"},
      {"#S 1 a\n1 2\n#C pause\n\n3 4\n#C end\n#S 2 b\n1 1\n", scan_print, 0,
       "1 2\n#C pause\n\n3 4\n"},
      {"#S 1 a\n\n1 2\n2 3\n", scan_print, 0, "\n1 2\n2 3\n"},
      {kSpectrumFile, scan_print, 0,
       "1 100 10\n2 100 20\n3 100 30\n#C aborted: a # line ends the spectrum\n4 100 40\n"},
      {"#S 1 a\n" + kCounted + "@A 1 2\\\n 3 4\\\n5 6\n@B\n\x01 1\n+.\n99 99\n#S 2 b\n1 1\n",
       scan_print, 0, kCounted + "\x01 1\n+.\n99 99\n"},
      {kDemoFile, scan_print, 2, ""},
      {kDemoFile, scan_comment, -1, ""},
      {kDemoFile, scan_header, 5, ""}};
  for (const auto& c : cases) {
    ScanFixture f(c.file);
    EXPECT_EQ(listed(f, c.list, c.ref), c.want) << c.file;
  }
}

TEST(Listings, LongLinesAreCopiedWhole) {
  const std::string big(5u << 20, 'y');
  ScanFixture f("#S 1 a\n#C " + big + "\n1 " + big + "\n2 3\n");
  EXPECT_TRUE(listed(f, scan_header, 0) == "#S 1 a\n#C " + big + "\n");
  EXPECT_TRUE(listed(f, scan_comment, 0) == "#S 1 a\n#C " + big + "\n");
  EXPECT_TRUE(listed(f, scan_print, 0) == "1 " + big + "\n2 3\n");
}

TEST(Listings, CtrlCStopsAfterALineAndSaysWhere) {
  ScanFixture f(kDemoFile);
  f.tc.con.my_stdout = f.tc.listing.f();
  note_signal(SIGINT);
  scan_print(f.t, f.con(), 0);
  clear_interrupt();
  EXPECT_EQ(f.tc.listing.str() + f.out(),
            "0 1000 12\n listing of scan 1 stopped by Ctrl-C at byte 56 of " + f.path + "\n");
}

}  // namespace
