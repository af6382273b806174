#include "analysis/file_check.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <string>
#include <tuple>

#include "base/interrupt.h"
#include "index/index_testing.h"
#include "output/listing.h"
#include "read/columns.h"

using namespace std::string_literals;

namespace {

struct Checked {
  std::string findings;
  CheckSummary sum;
};

std::string summary(const CheckSummary& s) {
  MemOut out;
  write_check_summary(out.f(), "c.dat", s);
  return out.str();
}

Checked check(const std::string& content, int xcol = 1, const char* xlabel = "") {
  ColumnChoice cols;
  cols.xcol = xcol;
  cols.xlabel = xlabel;
  const MemoryScanFile f(content);
  MemOut out;
  Checked c;
  c.sum = check_file(&f, cols, out.f());
  c.findings = out.str();
  return c;
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
      "#S 9 not finite\n#N 2\n1 nan\n2 inf\n3 1e999\n@A 1\n"
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
            " scan 9 (i=9) line 46: spectrum after the last data line: the scan ended before its "
            "point\n"
            " scan 10 (i=10) line 50: no line feed at the end of the file: the scan is still "
            "being written\n");
  for (int k = 0; k < kCheckKinds; k++) EXPECT_EQ(1, c.sum.count(CheckKind(k))) << k;
  EXPECT_EQ(summary(c.sum).substr(0, 101),
            " checked c.dat: 10 scans, 50 lines, 11 findings\n"
            "      1  scans whose #N differs from their #L labels\n");
  c.sum.bytes = 10;  // less read than the file held: not checked in full
  c.sum.length = 20;
  EXPECT_EQ(0u, summary(c.sum).find(" read 10 of the 20 bytes the file had: it was shortened or "
                                    "could not be read\n checked c.dat: 10 scans"));
  note_signal(SIGINT);  // Ctrl-C: the check stops and says where
  c = check("#S 1 a\n1 2\n");
  clear_interrupt();
  EXPECT_EQ(c.findings + summary(c.sum),
            " check stopped by Ctrl-C before line 1 (byte 0 of 11)\n"
            " checked c.dat: 0 scans, 0 lines, no findings\n");
}

// A row of a mesh scan: each point after a spectrum of three lines.
std::string mesh_row(const std::string& y) {
  std::string row;
  for (const char* x : {"0", "1", "2"})
    row += "@A 0 0\\\r\n 0 0\\\r\n 0 0\r\n" + std::string(x) + " " + y + " 5\r\n";
  return row;
}

// x by column (from the end by #N or the first line) or by each scan's
// label; what the index does not read is not examined.
TEST(CheckFile, FindingsTable) {
  const std::string data = "3 1 0\n2 2 1\n1 3 0\n";
  const std::tuple<int, const char*, std::string, std::string> cases[] = {
      {1, "",
       kDemoFile + "#S 3  single blanks, tabs, CR\n#N 3\n#L Two Theta  Monitor\tDet\n"
                   "3 1000 1\r\n2 1000 5\r\n\n1 1000 2\n#S 4\n#N 2\n#L x y\n1 2\n"s,
       ""},
      {-2, "", "#S 1\n#N 3\n" + data, ""},
      {-2, "", "#S 1\n" + data, ""},
      {-1, "", "#S 1\n" + data, " scan 1 (i=1) line 4: x 0 after 1 in a scan whose x rises\n"},
      {1, "", "#S 1\n" + data, ""},
      {1, "th",
       "#S 1\n#N 2\n#L th  y\n1 3\n2 1\n#S 2\n#N 2\n#L y  th\n3 1\n1 2\n2 3\n"
       "#S 3\n#N 2\n#L a  b\n1 3\n3 1\n2 2\n",
       ""},
      {1, "y", "#S 1\n#N 2\n#L th  y\n1 3\n2 1\n3 2\n",
       " scan 1 (i=1) line 6: x 2 after 1 in a scan whose x falls\n"},
      {1, "", "junk\n1 2 3\n#S 1\n#N 2\n1 2\n\0\nmore text\n#S 2\n#N 2\n1 2\n"s,
       " scan 1 (i=1) line 6: line begins with a NUL byte\n"},
      {1, "", "#S 1\n#N 2\n#L a  b\n1 2\n#L a  b  c\n3 4\n", ""},  // only the header's #L
      // The word at the very end of a file still being written.
      {1, "", "#S 1\n#N 2\n1 5\n#C abort",
       " scan 1 (i=1) line 4: a comment says the scan was aborted\n"
       " scan 1 (i=1) line 4: no line feed at the end of the file: the scan is still being "
       "written\n"},
      // x that stays, or is not a number, steps neither way.
      {1, "", "#S 1\n#N 2\n1 5\n2 6\n2 7\nnan 8\n1 9\n",
       " scan 1 (i=1) line 6: value nan is not finite\n"
       " scan 1 (i=1) line 7: x 1 after 2 in a scan whose x rises\n"},
      // Spectra are no data; what is not whole of them is named. A mesh scan's x steps back
      // once per row, after a spectrum.
      {1, "", kSpectrumFile,
       " scan 1 (i=1) line 5: data line without the spectra the other points have\n"
       " scan 1 (i=1) line 12: spectrum cut short: its line ends in a backslash, no line "
       "continues it\n"
       " scan 1 (i=1) line 13: a comment says the scan was aborted\n"},
      {1, "", "#S 1\n#N 2\n#@CHANN 3 0 2 1\n@A 1 2 3\n1 5\n@A 1 2\n2 6\n@A 1 2 3 4\n3 7\n",
       " scan 1 (i=1) line 6: spectrum of 2 values where #@CHANN says 3 (first of 2 such spectra "
       "in this scan)\n"},
      {1, "",
       "#S 1  mesh\r\n#N 3\r\n#@MCA 16C\r\n#@CHANN 6 0 5 1\r\n#L x  y  det\r\n" + mesh_row("0") +
           mesh_row("1") + mesh_row("2"),
       " scan 1 (i=1) line 21: x 0 after 2 in a scan whose x rises (first of 2 such steps in this "
       "scan)\n"},
      {1, "", "#S 1\n#N 0\n#L a  b  c\n",
       " scan 1 (i=1) line 1: no data lines\n scan 1 (i=1) line 3: #N says 0 columns, #L names "
       "3\n"},
      {1, "", "#S 1\n#L a  b  c\n", " scan 1 (i=1) line 1: no data lines\n"},
      // A comment glued to a data line by a lost line feed.
      {1, "",
       "#S 1\n#N 2\n1 5\n24.4121 48916#C Wed Jun 18 22:07:51 2014.  Scan aborted after 19 "
       "points.\n",
       " scan 1 (i=1) line 4: a data line cut short by a comment that says the scan was aborted\n"},
      {1, "", "#S 1\n#N 2\n1 5 #C a note\n2 6#C Scan aborted\n3 7 aborted\n",
       " scan 1 (i=1) line 3: text among the data (first of 2 such lines in this scan)\n"
       " scan 1 (i=1) line 4: a data line cut short by a comment that says the scan was aborted\n"},
      // Labels apart by single blanks, #N one more; x by such a label.
      {1, "Phi", "#S 1\n#N 7\n#L EPOCH Phi CESR IC1 IC2 DIODE\n1 3 0 0 0 0 0\n2 2\n3 4\n",
       " scan 1 (i=1) line 3: #N says 7 columns, #L names 6\n"
       " scan 1 (i=1) line 5: 2 values where #N says 7 (first of 2 such lines in this scan)\n"
       " scan 1 (i=1) line 6: x 4 after 2 in a scan whose x falls\n"},
  };
  for (const auto& [xcol, xlabel, file, findings] : cases) {
    EXPECT_EQ(findings, check(file, xcol, xlabel).findings) << file;
  }
}

// One data-line rule: the indexer counts lines holding a number, the listing stops
// there, the check calls other lines text and never reports a line read in full.
TEST(DataLine, IndexListingCheckAndColumnReaderAgree) {
  // clang-format off
  const std::string lines[] = {
      "1 2 3", "1.5-2", "-.5 +.5e3", "1e5x", "1e+", "0x1p3 0x", "0x.", "0x 1", "-x", "+inf",
      "nan inf -INFINITY", "infi 2", "1,2,3", " \t7\v8\f9", "5e-3 .e5", "+ 1", "1e400 2",
      "0x1p99999", "1.e 3", "007 -0", "abc", "1e-400 -1e308 -1.8e308", "1 2\0 3"s};
  // clang-format on
  for (const std::string& line : lines) {
    ColumnLine cl;
    cl.parse(line);
    Indexed f("#S 1\n" + line + "\n9\n#S 2\n");
    EXPECT_EQ(cl.values.empty() ? 1 : 2, f.t.Index[0].lines) << line;
    f.tc.con.my_stdout = f.tc.listing.f();
    scan_print(f.t, f.tc.con, 0);
    EXPECT_EQ(line + "\n9\n", f.tc.listing.str()) << line;

    Checked c = check("#S 1\n#N " + std::to_string(cl.values.size()) + "\n" + line + "\n");
    int not_finite = 0;
    for (double v : cl.values) not_finite += std::isfinite(v) ? 0 : 1;
    const bool text = c.sum.count(CheckKind::kText) == 1 && c.sum.count(CheckKind::kEmpty) == 1;
    EXPECT_TRUE(text || !cl.values.empty()) << line << c.findings;  // and a scan without data
    EXPECT_EQ(0, c.sum.count(CheckKind::kColumns)) << line << c.findings;
    EXPECT_EQ(not_finite ? 1 : 0, c.sum.count(CheckKind::kNotFinite)) << line << c.findings;
    const std::string first_of = "first of " + std::to_string(not_finite);
    EXPECT_TRUE(not_finite < 2 || c.findings.find(first_of) != std::string::npos) << line;
  }
}

}  // namespace
