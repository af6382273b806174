#include "output/column_choice.h"

#include <gtest/gtest.h>

#include "output/export.h"
#include "scan_fixture.h"

namespace {

// Scans of different types: every motor moved adds a column before the
// counters, so Detector is column 5, then 6; scan 3 has no Detector, scan 4
// holds a label twice when case is ignored, scan 5 has no #L line, and
// scan 6 has neither #N nor two blanks between its labels.
const char kMixed[] =
    "#S 1  ascan th\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 100 1 1000 5\n11 101 1 1000 7\n"
    "#S 2  a2scan th tth\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 102 1 2000 50\n11 22 103 1 2000 70\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n104 1 1000 3\n105 1 1000 4\n"
    "#S 4  odd\n#N 3\n#L Theta  DET  det\n1 2 3\n"
    "#S 5  bare\n#N 2\n1 2\n"
    "#S 6  old\n#L Theta Monitor Detector\n1 1000 9\n";

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += "[" + x + "]";
  return s;
}

std::string resolved(ScanFixture& f, int k, const ColumnChoice& want) {
  ColumnChoice got;
  std::string why;
  if (!resolve_columns(f.t, f.t.Index[size_t(k)], want, &got, &why)) return why;
  return std::to_string(got.xcol) + " " + std::to_string(got.ycol) + " " +
         std::to_string(got.zcol) + " " + join({got.xlabel, got.ylabel, got.zlabel});
}

TEST(ResolveColumns, EachScanItsOwnColumn) {
  ScanFixture f(kMixed);
  ColumnChoice want;
  want.ylabel = "Detector";
  want.zlabel = "monitor";
  EXPECT_EQ("1 5 4 [Theta][Detector][Monitor]", resolved(f, 0, want));
  EXPECT_EQ("1 6 5 [Theta][Detector][Monitor]", resolved(f, 1, want));
  EXPECT_EQ(
      " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" \"Seconds\" \"Monitor\" "
      "\"Diode\"\n",
      resolved(f, 2, want));
  EXPECT_EQ("1 3 2 [Theta][Detector][Monitor]", resolved(f, 5, want));
  want.zlabel.clear();
  EXPECT_EQ(" scan 5 (i=5) has no label \"Detector\": it has no #L line\n", resolved(f, 4, want));
  want.ylabel = "Det";
  EXPECT_EQ(" scan 4 (i=4): label \"Det\" is ambiguous, columns 2 \"DET\" and 3 \"det\"\n",
            resolved(f, 3, want));
  // A column chosen by number is named by its label, or by its number.
  want.ylabel = "det";
  want.xcol = 7;
  EXPECT_EQ("7 3 -2 [col7][det][DET]", resolved(f, 3, want));

  // Numbers only: nothing is read, nothing is named.
  ColumnChoice numbers;
  numbers.ycol = 6;
  EXPECT_EQ("1 6 -2 [][][]", resolved(f, 4, numbers));
}

TEST(ReadColumnList, NumbersAsBeforeAndLabels) {
  struct Case {
    const char* text;
    int n;
    const char* want;
  } cases[] = {
      {"1 -1", 2, "1 -1"},
      {"1-1+2", 3, "1 -1 2"},
      {"1,2", 1, "1"},   // a comma is no separator
      {"3x 4", 1, "3"},  // a label starts only after white space
      {",1", 0, ""},
      {"   ", -1, ""},
      {"Theta Detector -1", 3, "<Theta> <Detector> -1"},
      // Unquoted, 2theta is the number 2, as it always was.
      {" 1 \"Two Theta\" \"2theta\" 2theta", 4, "1 <Two Theta> <2theta> 2"},
      {"1 \"\" 2", 1, "1"},
      {"_a \xce\xb8 \"open", 3, "<_a> <\xce\xb8> <open>"},
  };
  for (const Case& c : cases) {
    std::vector<ListedColumn> list;
    EXPECT_EQ(c.n, read_column_list(c.text, &list)) << c.text;
    std::string got;
    for (const ListedColumn& e : list) {
      got += (got.empty() ? "" : " ") +
             (e.label.empty() ? std::to_string(e.number) : "<" + e.label + ">");
    }
    EXPECT_EQ(c.want, got) << c.text;
  }
  std::vector<ListedColumn> list;
  bool more = false;
  EXPECT_EQ(
      20, read_column_list("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21", &list, &more));
  EXPECT_TRUE(more);
  EXPECT_EQ(20,
            read_column_list("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 ", &list, &more));
  EXPECT_FALSE(more);
}

TEST(ScanWrite, LabelsPickTheColumnAndNameItInTheHeader) {
  ScanFixture f(kMixed);
  f.st.ylabel = "Detector";
  f.st.zlabel = "Monitor";
  f.st.errorbar = 1;
  f.st.normalize = 1;
  EXPECT_EQ(1, scan_write(f.t, f.st, f.con(), 1, "out.dat"));
  EXPECT_EQ(
      "#S 2  a2scan th tth\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
      "#\n#kurvatab extracted columns 1, 6 5\n"
      "#\n#  x    y   s(y) n  y/n s(y/n)\n#\n"
      "#L Theta  Detector  s(Detector)  Monitor  Detector/Monitor  s(Detector/Monitor)\n"
      "       10.00000              50        7.071068            2000           0.025     "
      "0.003579455\n"
      "       11.00000              70          8.3666            2000           0.035     "
      "0.004255878\n",
      f.file("out.dat"));

  // A scan without the label: one line, nothing opened.
  EXPECT_EQ(kSkippedScan, scan_write(f.t, f.st, f.con(), 2, "three.dat"));
  EXPECT_EQ(
      " writing data on 'out.dat'\n writing data for (i=2, s=2) on 'out.dat'\n"
      " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" \"Seconds\" "
      "\"Monitor\" \"Diode\"\n",
      f.out());
  EXPECT_FALSE(f.exists("three.dat"));

  // Without comments the data alone, as with numbers.
  f.st.comments = 0;
  f.st.errorbar = f.st.normalize = 0;
  scan_write(f.t, f.st, f.con(), 0, "out.dat");
  EXPECT_EQ(
      "       10.00000               5            1000\n"
      "       11.00000               7            1000\n",
      f.file("out.dat"));
}

TEST(ScanPrintf, ListedLabelsPerScan) {
  ScanFixture f(kMixed);
  f.st.wcolumns = "Theta Detector -1";
  f.st.wformat = "%g %g %g\n";
  scan_printf(f.t, f.st, f.con(), 1, "out.dat");
  EXPECT_EQ(
      "#S 2  a2scan th tth\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
      "#\n#kurvatab extracted columns \"Theta Detector -1\"\n"
      "#L Theta  Detector  Detector\n"
      "10 50 50\n11 70 70\n",
      f.file("out.dat"));
  f.st.comments = 0;
  f.st.wcolumns = "\"Two Theta\" Detector";
  f.st.wformat = "%g %g\n";
  scan_printf(f.t, f.st, f.con(), 1, "out.dat");
  EXPECT_EQ("20 50\n22 70\n", f.file("out.dat"));
  f.out();
  EXPECT_EQ(kSkippedScan, scan_printf(f.t, f.st, f.con(), 0, "other.dat"));
  EXPECT_EQ(
      " scan 1 (i=1) has no label \"Two Theta\"; its labels are \"Theta\" \"Epoch\" "
      "\"Seconds\" \"Monitor\" \"Detector\"\n",
      f.out());
  EXPECT_FALSE(f.exists("other.dat"));
}

TEST(ScanColumnsList, NumbersLabelsFirstValuesAndTheChosenColumns) {
  ScanFixture f(kMixed);
  ColumnChoice cols;
  cols.ylabel = "Detector";
  cols.zlabel = "Monitor";
  scan_columns_list(f.t, f.con(), 1, cols);
  EXPECT_EQ(
      " columns of scan 2 (i=2), with the values of its first data line\n"
      "    1   -6  Theta      10             x\n"
      "    2   -5  Two Theta  20\n"
      "    3   -4  Epoch      102\n"
      "    4   -3  Seconds    1\n"
      "    5   -2  Monitor    2000           monitor\n"
      "    6   -1  Detector   50             y\n",
      f.out());
  scan_columns_list(f.t, f.con(), 4, cols);
  EXPECT_EQ(
      " columns of scan 5 (i=5), with the values of its first data line (it has no #L line)\n"
      "    1   -2  -      1              x\n"
      "    2   -1  -      2\n"
      " scan 5 (i=5) has no label \"Detector\": it has no #L line\n"
      " scan 5 (i=5) has no label \"Monitor\": it has no #L line\n",
      f.out());
}

}  // namespace
