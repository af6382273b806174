#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/export.h"
#include "scan_fixture.h"

namespace {

const char kDemoComments1[] = "#F demo\n#S 1  first scan\n#N 3\n#L x  mon  det\n#D stopped\n";
const char kTitle[] = "#\n#kurvatab extracted columns 1, -1 -2\n";
const char kLegendPlain[] = "#\n#  x    y    n   \n#\n";
const char kDemoData1[] =
    "        0.00000              12            1000\n"
    "        1.00000              15            1000\n";

// Columns x, monitor, y: monitor 4 and y 100 on the first line; a monitor
// below 1 on the second, exactly 1 on the third; y 0, 0.5 and 1 after.
const char kFlagsFile[] =
    "#S 5 flags\n#N 3\n#L x mon y\n1 4 100\n2 0.5 100\n3 1 4\n4 4 0\n5 4 0.5\n6 4 1\n";

TEST(ScanWrite, DemoFileWithDefaults) {
  ScanFixture f(kDemoFile);
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.out(), " writing data on 'out.dat'\n writing data for (i=1, s=1) on 'out.dat'\n");
  EXPECT_EQ(f.file("out.dat"), std::string(kDemoComments1) + kTitle + kLegendPlain + kDemoData1);
  EXPECT_EQ(f.t.ncol, 3);
}

TEST(ScanWrite, SecondDemoScanCommentBlockStartsAtThePreviousData) {
  ScanFixture f(kDemoFile);
  scan_write(f.t, f.st, f.con(), 1, "out.dat");
  EXPECT_EQ(f.file("out.dat"),
            std::string("#D stopped\n#S 2  second scan\n#N 3\n#L x  mon  det\n") + kTitle +
                kLegendPlain +
                "       -1.00000               3            1000\n"
                "        1.00000               4            1000\n");
}

TEST(ScanWrite, CommentsOffWritesDataOnly) {
  ScanFixture f(kDemoFile);
  f.st.comments = 0;
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), kDemoData1);
}

TEST(ScanWrite, ErrorbarAndNormalize) {
  ScanFixture f(kFlagsFile);
  f.st.comments = 0;
  f.st.errorbar = 1;
  f.st.normalize = 1;
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"),
            "        1.00000             100              10               4              25       "
            " 12.74755\n"
            "        2.00000             100              10             0.5\n"
            "        3.00000               4               2               1               4       "
            " 4.472136\n"
            "        4.00000               0               1               4               0       "
            "     0.25\n"
            "        5.00000             0.5               1               4           0.125       "
            "0.2576941\n"
            "        6.00000               1               1               4            0.25       "
            "0.2795085\n");
  // The point left as it is, said after the export.
  EXPECT_EQ(f.out(),
            " writing data on 'out.dat'\n writing data for (i=1, s=5) on 'out.dat'\n"
            " 1 of 6 points of (i=1, s=5) left unnormalised: monitor below 1\n");
}

TEST(ScanWrite, ErrorbarOnlyAndNormalizeOnly) {
  ScanFixture f(kFlagsFile);
  f.st.comments = 0;
  f.st.errorbar = 1;
  scan_write(f.t, f.st, f.con(), 0, "e.dat");
  EXPECT_EQ(f.file("e.dat").substr(0, 128),
            "        1.00000             100              10               4\n"
            "        2.00000             100              10             0.5\n");
  f.st.errorbar = 0;
  f.st.normalize = 1;
  scan_write(f.t, f.st, f.con(), 0, "n.dat");
  EXPECT_EQ(f.file("n.dat").substr(0, 176),
            "        1.00000             100               4              25\n"
            "        2.00000             100             0.5\n"
            "        3.00000               4               1               4\n");
}

TEST(ScanWrite, LegendFollowsTheFlags) {
  ScanFixture f(kFlagsFile);
  const std::string head =
      "#S 5 flags\n#N 3\n#L x mon y\n#\n#kurvatab extracted columns 1, -1 -2\n";
  auto starts = [&](const char* name, const std::string& legend) {
    std::string want = head + legend;
    scan_write(f.t, f.st, f.con(), 0, name);
    EXPECT_EQ(f.file(name).substr(0, want.size()), want);
  };
  f.st.errorbar = 1;
  starts("a.dat", "#\n#  x    y   s(y) n   \n#\n");
  f.st.normalize = 1;
  starts("b.dat", "#\n#  x    y   s(y) n  y/n s(y/n)\n#\n");
  f.st.errorbar = 0;
  starts("c.dat", "#\n#  x    y    n  y/n \n#\n");
}

TEST(ScanWrite, OutputNames) {
  ScanFixture f(kDemoFile);
  f.st.comments = 0;
  scan_write(f.t, f.st, f.con(), 1, "");
  EXPECT_EQ(f.out(), " writing data on ''\n writing data for (i=2, s=2) on 'scan002.002'\n");
  EXPECT_TRUE(f.exists("scan002.002"));
  scan_write(f.t, f.st, f.con(), 0, "   ");
  EXPECT_EQ(f.out(), " writing data on '   '\n writing data for (i=1, s=1) on 'scan001.001'\n");
  EXPECT_EQ(f.file("scan001.001"), kDemoData1);
  ASSERT_EQ(unlink(f.dir.file("scan001.001").c_str()), 0);
  scan_write(f.t, f.st, f.con(), 0, " *other");
  EXPECT_EQ(f.out(), " writing data on ' *other'\n writing data for (i=1, s=1) on 'scan001.001'\n");
  EXPECT_TRUE(f.exists("scan001.001"));
  scan_write(f.t, f.st, f.con(), 0, "  out.dat  \r\n");
  EXPECT_EQ(f.out(),
            " writing data on '  out.dat  \r\n'\n"
            " writing data for (i=1, s=1) on 'out.dat'\n");
  EXPECT_EQ(f.file("out.dat"), kDemoData1);
}

TEST(ScanWrite, GeneratedNameWidensForLargeNumbers) {
  ScanFixture f("#S 12345 a\n1 2 3\n");
  scan_write(f.t, f.st, f.con(), 0, "");
  EXPECT_TRUE(f.exists("scan12345.001"));
}

TEST(ScanWrite, DashWritesToTheListingStreamAndLeavesItOpen) {
  ScanFixture f(kDemoFile);
  f.tc.con.my_stdout = f.tc.listing.f();
  f.st.comments = 0;
  scan_write(f.t, f.st, f.con(), 0, "  -anything");
  EXPECT_EQ(f.out(), " writing data on '  -anything'\n writing data for (i=1, s=1) on 'stdout'\n");
  EXPECT_EQ(f.tc.listing.str(true), kDemoData1);
  scan_write(f.t, f.st, f.con(), 0, "-");
  EXPECT_EQ(f.tc.listing.str(true), kDemoData1);
}

TEST(ScanWrite, CommentLineAmongTheDataIsWrittenTwice) {
  ScanFixture f("#S 1 a\n1 2 3\n#C mid\n2 3 4\n");
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), std::string("#S 1 a\n#C mid\n") + kTitle + kLegendPlain +
                                   "        1.00000               3               2\n"
                                   "#C mid\n"
                                   "        2.00000               4               3\n");
}

TEST(ScanWrite, NoDataOpensNothing) {
  ScanFixture f("#S 1 a\n#S 2 b\n1 2\n");
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.out(), " No data to write = 0\n");
  EXPECT_FALSE(f.exists("out.dat"));
}

TEST(ScanWrite, PositionOutsideTheTableIsRefused) {
  ScanFixture f(kDemoFile);
  scan_write(f.t, f.st, f.con(), 2, "out.dat");
  scan_write(f.t, f.st, f.con(), -1, "out.dat");
  EXPECT_EQ(f.out(), " 2 is not a valid index\n -1 is not a valid index\n");
  EXPECT_FALSE(f.exists("out.dat"));
}

TEST(ScanWrite, BlankFirstDataLineGivesNoDataLines) {
  ScanFixture f("#S 1 a\n\n1 2 3\n");
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), std::string("#S 1 a\n") + kTitle + kLegendPlain);
}

TEST(ScanWrite, UnreadableXEndsTheExportUnreadableYWritesNan) {
  ScanFixture f("#S 1 a\n#N 3\n1 2\n7\nx 1 2\n8 1 1\n");
  f.st.comments = 0;
  f.st.ycol = 2;
  f.st.zcol = 3;
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"),
            "        1.00000               2             nan\n"
            "        7.00000             nan             nan\n");
  EXPECT_EQ(f.out(),
            " writing data on 'out.dat'\n writing data for (i=1, s=1) on 'out.dat'\n"
            " writing data on 'out.dat' stopped at line 5 of " +
                f.path + ": 2 of 3 data lines written\n");
  // A complete export, all normalised, says nothing more.
  ScanFixture g("#S 1 a\n1 2 3\n4 5 6\n");
  g.st.normalize = 1;
  g.st.zcol = 1;
  scan_write(g.t, g.st, g.con(), 0, "out.dat");
  EXPECT_EQ(g.out(), " writing data on 'out.dat'\n writing data for (i=1, s=1) on 'out.dat'\n");
}

TEST(ScanWrite, UnwritableOutputs) {
  ScanFixture f(kDemoFile);
  scan_write(f.t, f.st, f.con(), 0, "/dev/full");
  EXPECT_EQ(f.out(),
            " writing data on '/dev/full'\n"
            " writing data for (i=1, s=1) on '/dev/full'\n"
            " error writing data on '/dev/full': No space left on device\n");
  scan_write(f.t, f.st, f.con(), 0, "nodir/out.dat");
  EXPECT_EQ(f.out(),
            " writing data on 'nodir/out.dat'\n"
            " writing data for (i=1, s=1) on 'nodir/out.dat'\n"
            " unable to write data on 'nodir/out.dat': No such file or directory\n");
  scan_write(f.t, f.st, f.con(), 0, "scan.dat");
  EXPECT_EQ(f.out(),
            " writing data on 'scan.dat'\n"
            " writing data for (i=1, s=1) on 'scan.dat'\n"
            " unable to write data on 'scan.dat': it is the scan file being read\n");
  EXPECT_EQ(f.file("scan.dat"), kDemoFile);
}

TEST(ScanWrite, ReadOnlyFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  ScanFixture f(kDemoFile);
  ASSERT_EQ(mkdir(f.dir.file("ro").c_str(), 0555), 0);
  scan_write(f.t, f.st, f.con(), 0, "ro/out.dat");
  EXPECT_EQ(f.out(),
            " writing data on 'ro/out.dat'\n"
            " writing data for (i=1, s=1) on 'ro/out.dat'\n"
            " unable to write data on 'ro/out.dat': Permission denied\n");
  chmod(f.dir.file("ro").c_str(), 0755);
}

TEST(ScanWrite, FileCutShortAfterIndexing) {
  ScanFixture f(kDemoFile);
  ASSERT_EQ(truncate(f.path.c_str(), 60), 0);  // in line 7
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), std::string("#F demo\n#S 1  first scan\n#N 3\n#L x  mon  det\n") +
                                   kTitle + kLegendPlain +
                                   "        0.00000              12            1000\n"
                                   "        1.00000             nan              10\n");
  ASSERT_EQ(truncate(f.path.c_str(), 0), 0);
  scan_write(f.t, f.st, f.con(), 1, "out2.dat");
  EXPECT_EQ(f.file("out2.dat"), std::string(kTitle) + kLegendPlain);
}

}  // namespace
