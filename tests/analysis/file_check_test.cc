#include "analysis/file_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "index/index_testing.h"
#include "output/columns.h"
#include "output/listing.h"
#include "testutil.h"

using namespace std::string_literals;

namespace {

struct Checked {
  std::string findings;
  CheckSummary sum;
};

Checked check(const std::string& content, ColumnChoice cols = ColumnChoice()) {
  TempDir dir;
  FILE* f = fopen(dir.write("c.dat", content).c_str(), "r");
  MemOut out;
  Checked c;
  c.sum = check_file(f, cols, out.f());
  fclose(f);
  c.findings = out.str();
  return c;
}

std::string summary(const CheckSummary& s) {
  MemOut out;
  write_check_summary(out.f(), "c.dat", s);
  return out.str();
}

TEST(CheckFile, OneOfEachFinding) {
  Checked c = check(
      "#F findings\n"
      "#S 1 labels differ\n#N 3\n#L x  mon\n1 10 5\n2 10 6\n"
      "#S 2 columns\n#N 3\n#L x  mon  det\n1 10 5\n2 10\n3 10\n4 10 7\n"
      "#S 3 text\n#N 2\n1 5\nbad line\n2 6\n"
      "#S 4 nul\n#N 2\n1 5\n\0\0\n"
      "#S 5 empty\n#N 2\n#L x  y\n"
      "#S 6 aborted\n#N 2\n1 5\n2 6\n#C Scan aborted by user\n"
      "#S 6 repeated\n#N 2\n1 5\n2 6\n"
      "#S 8 x order\n#N 2\n1 5\n2 6\n1.5 7\n3 8\n"
      "#S 9 not finite\n#N 2\n1 nan\n2 inf\n3 1e999\n"
      "#S 10 unfinished\n#N 2\n1 5\n2 6"s);
  EXPECT_EQ(c.findings,
            " scan 1 (i=1) line 4: #N says 3 columns, #L names 2\n"
            " scan 2 (i=2) line 11: 2 values where #N says 3 (first of 2 such lines in this scan)\n"
            " scan 3 (i=3) line 17: text among the data\n"
            " scan 4 (i=4) line 22: line begins with a NUL byte\n"
            " scan 5 (i=5) line 23: no data lines\n"
            " scan 6 (i=6) line 30: a comment says the scan was aborted\n"
            " scan 6 (i=7) line 31: scan number used before, at i=6 (line 26)\n"
            " scan 8 (i=8) line 39: x 1.5 after 2 in a scan whose x rises\n"
            " scan 9 (i=9) line 43: value nan is not finite (first of 3 such values in this scan)\n"
            " scan 10 (i=10) line 49: no line feed at the end of the file: the scan is still "
            "being written\n");
  EXPECT_EQ(summary(c.sum),
            " checked c.dat: 10 scans, 49 lines, 10 findings\n"
            "      1  scans whose #N differs from their #L labels\n"
            "      1  scans with data lines of another number of values\n"
            "      1  scans with text among the data\n"
            "      1  scans with NUL lines\n"
            "      1  scans without data\n"
            "      1  scans said to be aborted\n"
            "      1  last scan still being written\n"
            "      1  repeated scan numbers\n"
            "      1  scans whose x is not monotonic\n"
            "      1  scans with values that are not finite\n");
}

TEST(CheckFile, CleanFileHasNoFindings) {
  Checked c = check(std::string(kDemoFile) +
                    "#S 3  labels with single blanks, tabs, CR line ends\n#N 3\n"
                    "#L Two Theta  Monitor\tDet\n3 1000 1\r\n2 1000 5\r\n\n1 1000 2\n"
                    "#S 4 single-blank labels\n#N 2\n#L x y\n1 2\n");
  EXPECT_EQ(c.findings, "");
  EXPECT_EQ(summary(c.sum), " checked c.dat: 4 scans, 25 lines, no findings\n");
}

// A file shortened while it is read, or one that cannot be read to its
// end, is not reported as checked in full.
TEST(CheckFile, SaysWhenLessWasReadThanTheFileHeld) {
  CheckSummary s;
  s.scans = 1;
  s.lines = 3;
  s.bytes = 10;
  s.length = 20;
  EXPECT_EQ(summary(s),
            " read 10 of the 20 bytes the file had: it was shortened or could not be read\n"
            " checked c.dat: 1 scans, 3 lines, no findings\n");
}

// One rule decides what a data line is: the indexer counts the lines that
// hold a number, the listing stops after that many, and the check calls
// every other line text among the data. The check counts the values of a
// line as the column reader reads them, so a line the column reader reads in
// full is never reported.
TEST(DataLine, IndexListingCheckAndColumnReaderAgree) {
  // clang-format off
  const std::string lines[] = {
      "1 2 3", "1.5-2", "-.5 +.5e3", "1e5x", "1e+", "0x1p3 0x", "0x.", "0x 1", "-x", "+inf",
      "nan inf -INFINITY", "infi 2", "1,2,3", " \t7\v8\f9", "5e-3 .e5", "+ 1", "1e400 2",
      "0x1p99999", "1.e 3", "007 -0", "abc", "1e-400 -1e308 -1.8e308", std::string("1 2\0 3", 6)};
  // clang-format on
  for (const std::string& line : lines) {
    ColumnLine cl;
    cl.parse(line);
    TempDir dir;
    OpenedFile f(dir.write("l.dat", "#S 1\n" + line + "\n9\n#S 2\n"));
    EXPECT_EQ(cl.values.empty() ? 1 : 2, f.t.Index[0].lines) << line;
    f.tc.con.my_stdout = f.tc.listing.f();
    scan_print(f.t, f.tc.con, 0);
    EXPECT_EQ(line + "\n9\n", f.tc.listing.str()) << line;

    Checked c = check("#S 1\n#N " + std::to_string(cl.values.size()) + "\n" + line + "\n");
    if (cl.values.empty()) {
      // Text among the data, and a scan without data.
      EXPECT_EQ(1, c.sum.count(CheckKind::kText)) << line << c.findings;
      EXPECT_EQ(1, c.sum.count(CheckKind::kEmpty)) << line << c.findings;
      continue;
    }
    int not_finite = 0;
    for (double v : cl.values) not_finite += std::isfinite(v) ? 0 : 1;
    EXPECT_EQ(0, c.sum.count(CheckKind::kColumns)) << line << c.findings;
    EXPECT_EQ(not_finite ? 1 : 0, c.sum.count(CheckKind::kNotFinite)) << line << c.findings;
    if (not_finite > 1) {
      EXPECT_NE(c.findings.find("first of " + std::to_string(not_finite)), std::string::npos)
          << line << c.findings;
    }
  }
}

TEST(CheckFile, XColumnCountsFromTheEndByNOrTheFirstLine) {
  const std::string data = "3 1 0\n2 2 1\n1 3 0\n";
  ColumnChoice cols;
  cols.xcol = -2;  // the middle column: rises
  EXPECT_EQ(check("#S 1\n#N 3\n" + data, cols).findings, "");
  EXPECT_EQ(check("#S 1\n" + data, cols).findings, "");
  cols.xcol = -1;  // the last column: goes back
  EXPECT_EQ(check("#S 1\n" + data, cols).findings,
            " scan 1 (i=1) line 4: x 0 after 1 in a scan whose x rises\n");
  cols.xcol = 1;  // falls all the way
  EXPECT_EQ(check("#S 1\n" + data, cols).findings, "");
}

TEST(CheckFile, XChosenByLabelIsEachScansColumn) {
  // "th" is column 1, then column 2, where column 1 goes back and forth;
  // the third scan has no "th", and no x to follow.
  ColumnChoice cols;
  cols.xlabel = "th";
  EXPECT_EQ(check("#S 1\n#N 2\n#L th  y\n1 3\n2 1\n"
                  "#S 2\n#N 2\n#L y  th\n3 1\n1 2\n2 3\n"
                  "#S 3\n#N 2\n#L a  b\n1 3\n3 1\n2 2\n",
                  cols)
                .findings,
            "");
  cols.xlabel = "y";
  EXPECT_EQ(check("#S 1\n#N 2\n#L th  y\n1 3\n2 1\n3 2\n", cols).findings,
            " scan 1 (i=1) line 6: x 2 after 1 in a scan whose x falls\n");
}

TEST(CheckFile, WhatTheIndexIgnoresIsNotReported) {
  // Lines before the first scan, and lines after a NUL line that ends the
  // data (the index does not read them), are not examined.
  Checked c = check("junk before\n1 2 3\n#S 1\n#N 2\n1 2\n\0\nmore text\n#S 2\n#N 2\n1 2\n"s);
  EXPECT_EQ(c.findings, " scan 1 (i=1) line 6: line begins with a NUL byte\n");
  // Only #N and #L in the header count: a #L among the data does not.
  c = check("#S 1\n#N 2\n#L a  b\n1 2\n#L a  b  c\n3 4\n");
  EXPECT_EQ(c.findings, "");
}

}  // namespace
