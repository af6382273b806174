#include "output/listing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "scan_fixture.h"

namespace {

// Listings go to my_stdout, kept apart from the messages here.
struct Listing : ScanFixture {
  explicit Listing(const std::string& content) : ScanFixture(content) {
    tc.con.my_stdout = tc.listing.f();
  }
  std::string listed() { return tc.listing.str(true); }
};

TEST(ScanHeader, DemoFileHeaders) {
  Listing f(kDemoFile);
  scan_header(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "#S 1  first scan\n#N 3\n#L x  mon  det\n");
  scan_header(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "#S 2  second scan\n#N 3\n#L x  mon  det\n");
  EXPECT_EQ(f.out(), "");
}

TEST(ScanHeader, ScanWithoutDataRunsIntoTheNextHeader) {
  Listing f("#S 1 a\n#S 2 b\n#N 2\n1 2\n");
  scan_header(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "#S 1 a\n#S 2 b\n#N 2\n");
}

TEST(ScanComment, DemoFileComments) {
  Listing f(kDemoFile);
  scan_comment(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "#F demo\n\n#S 1  first scan\n#N 3\n#L x  mon  det\n#D stopped\n\n");
  scan_comment(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "#D stopped\n\n#S 2  second scan\n#N 3\n#L x  mon  det\n");
}

TEST(ScanPrint, DemoFileData) {
  Listing f(kDemoFile);
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "0 1000 12\n1 1000 15\n");
  scan_print(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "-1 1000 3\n1 1000 4\n");
}

TEST(ScanPrint, ScanWithoutData) {
  Listing f("#S 1 a\n#S 2 b\n1 2\n");
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), " No data to plot lines = 0\n");
}

TEST(ScanPrint, LinesAmongTheDataAreListedInPlaceAndNotCounted) {
  Listing f("#S 1 a\n1 2\n2 3\n#C pause\n\n3 4\n4 5\n#C end\n#S 2 b\n1 1\n");
  ASSERT_EQ(f.t.Index[0].lines, 4);
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "1 2\n2 3\n#C pause\n\n3 4\n4 5\n");
}

TEST(ScanPrint, BlankFirstDataLineKeepsTheLastDataLine) {
  Listing f("#S 1 a\n\n1 2\n2 3\n");
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "\n1 2\n2 3\n");
}

TEST(ScanPrint, PassesOverSpectrumLines) {
  Listing f(kSpectrumFile);
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(),
            "1 100 10\n2 100 20\n3 100 30\n#C aborted: a # line ends the spectrum\n4 100 40\n");
  scan_print(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "5 6\n");
}

// The listing counts data lines by the indexer's rule: if the two differed
// on any of these lines, the listing would stop before the last data line
// or run on into the next scan.
TEST(ScanPrint, CountsDataLinesAsTheIndexerDoes) {
  const std::string data =
      "1 2\n  3\n\t.5\n-.5\n+1\n-0\nnan 1\n-Inf\n0x1p3\n0x z\nx 1\n\n \r\n1e\n. 1\n-\n"
      "0\n,1\n@A 1 2\\\n 3 4\\\n5 6\n@B\n\x01 1\n+.\n99 99\n";
  Listing f("#S 1 a\n" + data + "#S 2 b\n1 1\n");
  scan_print(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(),
            "1 2\n  3\n\t.5\n-.5\n+1\n-0\nnan 1\n-Inf\n0x1p3\n0x z\nx 1\n\n \r\n1e\n. 1\n-\n"
            "0\n,1\n\x01 1\n+.\n99 99\n");
}

TEST(Listings, FileCutShortAfterIndexing) {
  Listing f(kDemoFile);
  ASSERT_EQ(truncate(f.path.c_str(), 121), 0);  // in line 13
  scan_print(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "-1 10");
  scan_comment(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "#D stopped\n\n#S 2  second scan\n#N 3\n#L x  mon  det\n");
  ASSERT_EQ(truncate(f.path.c_str(), 40), 0);  // in line 5
  scan_header(f.t, f.con(), 0);
  EXPECT_EQ(f.listed(), "#S 1  first scan\n#N 3\n#L x  mon");
  scan_print(f.t, f.con(), 1);
  scan_comment(f.t, f.con(), 1);
  EXPECT_EQ(f.listed(), "");
}

TEST(Listings, LongLinesAreCopiedWhole) {
  std::string big(5u << 20, 'y');
  std::string content = "#S 1 a\n#C " + big + "\n1 " + big + "\n2 3\n";
  Listing f(content);
  scan_header(f.t, f.con(), 0);
  EXPECT_TRUE(f.listed() == "#S 1 a\n#C " + big + "\n");
  scan_comment(f.t, f.con(), 0);
  EXPECT_TRUE(f.listed() == "#S 1 a\n#C " + big + "\n");
  scan_print(f.t, f.con(), 0);
  EXPECT_TRUE(f.listed() == "1 " + big + "\n2 3\n");
}

TEST(Listings, PositionOutsideTheTableListsNothing) {
  Listing f(kDemoFile);
  scan_header(f.t, f.con(), 2);
  scan_comment(f.t, f.con(), -1);
  scan_print(f.t, f.con(), 5);
  EXPECT_EQ(f.listed(), "");
}

}  // namespace
