// Messages and errors of w and W (bytes: tests/e2e/cases/output_export_bytes).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "output/export.h"
#include "scan_fixture.h"

namespace {

// The export's failure printed where the command prints it; true on success.
bool said(ScanFixture& f, const Status& s) { return s.report(f.con().out); }

// A line without x ends the export (said where); a missing y or monitor is nan;
// monitors below 1 are counted after; blanks around the output's name are dropped.
TEST(ScanWrite, StopsAtALineWithoutXAndCountsUnnormalisedPoints) {
  ScanFixture f("#S 1 a\n#N 3\n1 4 2\n2 0.5 3\n7\nx 1 2\n8 1 1\n");
  f.st.comments = 0;
  f.st.normalize = 1;
  said(f, scan_write(f.t, f.st, f.con(), 0, "  out.dat \r\n"));
  EXPECT_EQ(f.file("out.dat"),
            "        1.00000               2               4             0.5\n"
            "        2.00000               3             0.5\n"
            "        7.00000             nan             nan\n");
  EXPECT_EQ(f.out(),
            " writing data on '  out.dat \r\n'\n writing data for (i=1, s=1) on 'out.dat'\n"
            " writing data on 'out.dat' stopped at line 6 of " +
                f.path +
                ": 3 of 4 data lines written\n 2 of 3 points of (i=1, s=1) left "
                "unnormalised: monitor below 1\n");
}

// An output that cannot be opened or written: one line naming it and the
// reason, after the lines that named it, and nothing more.
TEST(Export, UnwritableOutput) {
  ScanFixture f(kDemoFile);
  const char kTooLarge[] = " error writing data on 'big': File too large\n";
  struct {
    bool w_format;
    const char* name;
    const char* error;
  } cases[] = {
      {false, "big", kTooLarge},
      {true, "big", kTooLarge},
      {false, "/dev/full", " unable to write data on '/dev/full': not a regular file\n"},
      {false, "nodir/x", " unable to write data on 'nodir/x': No such file or directory\n"},
      {true, "scan.dat", " unable to write data on 'scan.dat': it is the scan file being read\n"}};
  // Writes stop at 10 bytes, with an error instead of the signal.
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  const struct rlimit small = {10, old.rlim_max};
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  for (const auto& c : cases) {
    setrlimit(RLIMIT_FSIZE, &small);
    said(f, (c.w_format ? scan_printf : scan_write)(f.t, f.st, f.con(), 0, c.name));
    setrlimit(RLIMIT_FSIZE, &old);
    std::string printing = c.w_format && c.error == kTooLarge
                               ? " printing 2 column(s) \"1 -1\" with format \"%8.4lf %8.4lf\n\"\n"
                               : "";
    EXPECT_EQ(f.out(), std::string(" writing data on '") + c.name +
                           "'\n writing data for (i=1, s=1) on '" + c.name + "'\n" + printing +
                           c.error);
  }
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(f.file("scan.dat"), kDemoFile);
}

TEST(Export, NoDataOrNoScanOpensNothing) {
  ScanFixture f("#S 1 a\n#S 2 b\n1 2\n");
  for (auto fn : {scan_write, scan_printf}) {
    for (int ref : {0, 2, -1}) EXPECT_FALSE(said(f, fn(f.t, f.st, f.con(), ref, "out.dat")));
    EXPECT_EQ(f.out(),
              " No data to write = 0\n 2 is not a valid index\n -1 is not a valid index\n");
  }
  EXPECT_FALSE(f.exists("out.dat"));
}

// Refused column lists and formats: one line, nothing opened.
TEST(ScanPrintf, RefusedListsAndFormats) {
  ScanFixture f(kDemoFile);
  const char* formats[][2] = {
      {"%s\n", "%s"},   {"x %n", "%n"},       {"%8.4lf %d\n", "%d"}, {"%c", "%c"},  {"%*f", "%*"},
      {"%1$f", "%1$"},  {"%f %", "%"},        {"%Lf", "%L"},         {"%hf", "%h"}, {"%.*f", "%.*"},
      {"%ll f", "%ll"}, {"%5000f", "%5000f"}, {"%-%", "%-%"}};
  for (auto& c : formats) {
    f.st.wformat = c[0];
    said(f, scan_printf(f.t, f.st, f.con(), 0, "out.dat"));
    EXPECT_EQ(f.out(), " printing failed ; conversion \"" + std::string(c[1]) +
                           "\" not allowed in format \"" + c[0] +
                           "\" (only %e %E %f %F %g %G %a %A and %%)\n");
  }
  f.st.wformat = "%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f%f";
  said(f, scan_printf(f.t, f.st, f.con(), 0, "out.dat"));
  EXPECT_EQ(f.out(),
            " printing failed ; more than 20 conversions in format \"" + f.st.wformat + "\"\n");
  f.st.wformat = "%g\n";
  f.st.wcolumns = "   ";
  said(f, scan_printf(f.t, f.st, f.con(), 0, "out.dat"));
  EXPECT_EQ(f.out(), " printing failed ; -1 column(s) < 0, column(s)  \"   \", format \"%g\n\"\n");
  f.st.wcolumns = ",1";
  said(f, scan_printf(f.t, f.st, f.con(), 0, "out.dat"));
  EXPECT_EQ(f.out(),
            " printing failed ; no column number or label in column(s) \",1\", format "
            "\"%g\n\"\n");
  EXPECT_FALSE(f.exists("out.dat"));
}

// Conversions beyond the listed columns write nan; a listed column a line
// lacks ends the export there. A name beginning with '*' is generated.
TEST(ScanPrintf, ColumnsBeyondTheListAndTheLine) {
  ScanFixture f("#S 1 a\n1 2 3\n4 5\n7 8 9\n");
  f.st.comments = 0;
  f.st.wcolumns = "-1 1";
  f.st.wformat = "%g %g %5.1f|\\n";
  said(f, scan_printf(f.t, f.st, f.con(), 0, " *x"));
  EXPECT_EQ(f.file("scan001.001"), "3 1   nan| \n");
  EXPECT_EQ(f.out(),
            " writing data on ' *x'\n writing data for (i=1, s=1) on 'scan001.001'\n"
            " printing 2 column(s) \"-1 1\" with format \"" +
                f.st.wformat + "\"\n writing data on 'scan001.001' stopped at line 3 of " + f.path +
                ": 1 of 3 data lines written\n");
}

// With a label chosen, the export's header names the columns it writes; a
// scan without the label is one line and opens nothing.
TEST(Export, LabelsPickTheColumnAndNameIt) {
  ScanFixture f(kMixedLabels);
  f.st.ylabel = "Detector";
  f.st.zlabel = "Monitor";
  f.st.errorbar = f.st.normalize = 1;
  EXPECT_TRUE(said(f, scan_write(f.t, f.st, f.con(), 1, "w.dat")));
  f.out();
  Status skipped = scan_write(f.t, f.st, f.con(), 2, "three.dat");
  EXPECT_TRUE(skipped.is_not_found() && !said(f, skipped));
  EXPECT_EQ(f.out(),
            " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" \"Seconds\" "
            "\"Monitor\" \"Diode\"\n");
  f.st.wcolumns = "Theta \"Two Theta\" Detector -1";
  f.st.wformat = "%g %g %g %g\n";
  EXPECT_TRUE(said(f, scan_printf(f.t, f.st, f.con(), 1, "W.dat")));
  f.out();
  skipped = scan_printf(f.t, f.st, f.con(), 0, "one.dat");
  EXPECT_TRUE(skipped.is_not_found() && !said(f, skipped));
  EXPECT_EQ(f.out(),
            " scan 1 (i=1) has no label \"Two Theta\"; its labels are \"Theta\" \"Epoch\" "
            "\"Seconds\" \"Monitor\" \"Detector\"\n");
  const std::string w = f.file("w.dat");
  EXPECT_EQ(w.substr(w.find("#k"), w.find("\n   ") - w.find("#k")),
            "#kurvatab extracted columns 1, 6 5\n#\n#  x    y   s(y) n  y/n s(y/n)\n#\n"
            "#L Theta  Detector  s(Detector)  Monitor  Detector/Monitor  s(Detector/Monitor)");
  EXPECT_EQ(f.file("W.dat").substr(f.file("W.dat").find("#k")),
            "#kurvatab extracted columns \"Theta \"Two Theta\" Detector -1\"\n"
            "#L Theta  Two Theta  Detector  Detector\n10 20 50 50\n11 22 70 70\n");
  EXPECT_FALSE(f.exists("three.dat") || f.exists("one.dat"));
}

}  // namespace
