#include <gtest/gtest.h>

#include "output/export.h"
#include "scan_fixture.h"

namespace {

const char kDemoComments1[] = "#F demo\n#S 1  first scan\n#N 3\n#L x  mon  det\n#D stopped\n";

TEST(ScanPrintf, DemoFileWithDefaults) {
  ScanFixture f(kDemoFile);
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.out(),
            " writing data on 'out.dat'\n writing data for (i=1, s=1) on 'out.dat'\n"
            " printing 2 column(s) \"1 -1\" with format \"%8.4lf %8.4lf\n\"\n");
  EXPECT_EQ(f.file("out.dat"), std::string(kDemoComments1) +
                                   "#\n#kurvatab extracted columns \"1 -1\"\n"
                                   "  0.0000  12.0000\n  1.0000  15.0000\n");
}

TEST(ScanPrintf, BackslashNBecomesBlankAndLineFeed) {
  ScanFixture f(kDemoFile);
  f.st.comments = 0;
  f.st.wformat = "%g\\n%g\\n";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "0 \n12 \n1 \n15 \n");
  f.st.wformat = "%.1f;";  // the format alone decides about line ends
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "0.0;1.0;");
}

TEST(ScanPrintf, ColumnListOrderAndLimit) {
  ScanFixture f("#S 1 a\n1 2 3\n#C between\n4 5 6\n");
  f.st.comments = 0;
  f.st.wcolumns = "3 1 2";
  f.st.wformat = "%g %g %g\n";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "3 1 2\n6 4 5\n");
  EXPECT_NE(f.out().find(" printing 3 column(s) \"3 1 2\" with format"), std::string::npos);
  f.st.wcolumns = "1 2 3 1 2 3 1 2 3 1 2 3 1 2 3 1 2 3 1 2 3 3 3 3 3";
  f.st.wformat = "%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g%g\n";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "12312312312312312312\n45645645645645645645\n");
  EXPECT_NE(f.out().find(" printing 20 column(s)"), std::string::npos);
}

TEST(ScanPrintf, ConversionsBeyondTheListWriteNan) {
  ScanFixture f(kDemoFile);
  f.st.comments = 0;
  f.st.wcolumns = "-1";
  f.st.wformat = "%g %g %5.1f|\n";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "12 nan   nan|\n15 nan   nan|\n");
}

TEST(ScanPrintf, CommentLinesAmongTheDataInPlace) {
  ScanFixture f("#S 1 a\n1 2 3\n#C between\n4 5 6\n");
  f.st.wformat = "%g\n";
  f.st.wcolumns = "2";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"),
            "#S 1 a\n#C between\n#\n#kurvatab extracted columns \"2\"\n2\n#C between\n5\n");
}

TEST(ScanPrintf, MissingColumnEndsTheExport) {
  ScanFixture f("#S 1 a\n1 2 3\n4 5\n7 8 9\n");
  f.st.comments = 0;
  f.st.wcolumns = "1 3";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.file("out.dat"), "  1.0000   3.0000\n");
  EXPECT_NE(f.out().find(" writing data on 'out.dat' stopped at line 3 of " + f.path +
                         ": 1 of 3 data lines written\n"),
            std::string::npos);
}

TEST(ScanPrintf, EmptyOrWordyColumnListsAreRefused) {
  ScanFixture f(kDemoFile);
  f.st.wcolumns = "   ";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(
      f.out(),
      " printing failed ; -1 column(s) < 0, column(s)  \"   \", format \"%8.4lf %8.4lf\n\"\n");
  f.st.wcolumns = ",1";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.out(),
            " printing failed ; no column number or label in column(s) \",1\", format "
            "\"%8.4lf %8.4lf\n\"\n");
  EXPECT_FALSE(f.exists("out.dat"));
}

TEST(ScanPrintf, FormatsThatReadAnythingButDoublesAreRefused) {
  ScanFixture f(kDemoFile);
  const char* cases[][2] = {
      {"%s\n", "%s"},   {"x %n", "%n"},       {"%8.4lf %d\n", "%d"}, {"%c", "%c"},  {"%*f", "%*"},
      {"%1$f", "%1$"},  {"%f %", "%"},        {"%Lf", "%L"},         {"%hf", "%h"}, {"%.*f", "%.*"},
      {"%ll f", "%ll"}, {"%5000f", "%5000f"}, {"%-%", "%-%"},
  };
  for (auto& c : cases) {
    f.st.wformat = c[0];
    scan_printf(f.t, f.st, f.con(), 0, "out.dat");
    EXPECT_EQ(f.out(), std::string(" printing failed ; conversion \"") + c[1] +
                           "\" not allowed in format \"" + c[0] +
                           "\" (only %e %E %f %F %g %G %a %A and %%)\n");
  }
  f.st.wformat = "%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f";
  scan_printf(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(f.out(),
            " printing failed ; more than 20 conversions in format \"" + f.st.wformat + "\"\n");
  EXPECT_FALSE(f.exists("out.dat"));
}

TEST(WFormat, AllowedConversions) {
  WFormat wf;
  std::string bad;
  ASSERT_TRUE(wf.parse("a%-+ #012.3lE %% %a %.f%G%F%A%e\\n", &bad));
  EXPECT_EQ(wf.conversions, 7);
  std::string s;
  for (auto& p : wf.pieces) s += (p.arg < 0 ? "[" + p.text + "]" : "<" + p.text + ">");
  EXPECT_EQ(s, "[a]<%-+ #012.3E>[ % ]<%a>[ ]<%.f><%G><%F><%A><%e>[ \n]");
}

TEST(ScanPrintf, SameGeneratedNameAsTheColumnExport) {
  ScanFixture f(kDemoFile);
  f.st.comments = 0;
  scan_write(f.t, f.st, f.con(), 1, "");
  scan_printf(f.t, f.st, f.con(), 1, "");
  EXPECT_EQ(f.file("scan002.002"), " -1.0000   3.0000\n  1.0000   4.0000\n");
}

TEST(ScanPrintf, UnwritableOutputAndNoData) {
  ScanFixture f(kDemoFile);
  scan_printf(f.t, f.st, f.con(), 1, " /dev/full");
  EXPECT_EQ(f.out(),
            " writing data on ' /dev/full'\n"
            " writing data for (i=2, s=2) on '/dev/full'\n"
            " printing 2 column(s) \"1 -1\" with format \"%8.4lf %8.4lf\n\"\n"
            " error writing data on '/dev/full': No space left on device\n");
  scan_printf(f.t, f.st, f.con(), 7, "out.dat");
  EXPECT_EQ(f.out(), " 7 is not a valid index\n");
  ScanFixture g("#S 1 a\n");
  scan_printf(g.t, g.st, g.con(), 0, "out.dat");
  EXPECT_EQ(g.out(), " No data to write = 0\n");
  EXPECT_FALSE(g.exists("out.dat"));
}

}  // namespace
