#include "output/column_choice.h"

#include <gtest/gtest.h>

#include "output/export.h"
#include "scan_fixture.h"

namespace {

// Detector is column 5, then 6, then none; scan 4 holds a label twice when case is
// ignored, scan 5 has no #L line, scan 6 no #N nor two blanks between labels.
const char kMixed[] =
    "#S 1  ascan th\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 100 1 1000 5\n11 101 1 1000 7\n"
    "#S 2  a2scan th tth\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 102 1 2000 50\n11 22 103 1 2000 70\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n104 1 1000 3\n105 1 1000 4\n"
    "#S 4  odd\n#N 3\n#L Theta  DET  det\n1 2 3\n"
    "#S 5  bare\n#N 2\n1 2\n"
    "#S 6  old\n#L Theta Monitor Detector\n1 1000 9\n";

// Labels are resolved per scan (in the exports below); here the odd scans.
TEST(ResolveColumns, OddScans) {
  ScanFixture f(kMixed);
  struct {
    int ref, xcol;
    const char *ylabel, *zlabel, *want;
  } cases[] = {
      {5, 1, "Detector", "monitor", "1 3 2 [Theta][Detector][Monitor"},
      {4, 1, "Detector", "", " scan 5 (i=5) has no label \"Detector\": it has no #L line\n"},
      {3, 1, "Det", "",
       " scan 4 (i=4): label \"Det\" is ambiguous, columns 2 \"DET\" and 3 \"det\"\n"},
      {3, 7, "det", "", "7 3 -2 [col7][det][DET"},  // a number is named by its label or number
      {4, 1, "", "", "1 -1 -2 [][]["}};             // numbers only: nothing read, nothing named
  for (const auto& c : cases) {
    ColumnChoice want, got;
    want.xcol = c.xcol;
    want.ylabel = c.ylabel;
    want.zlabel = c.zlabel;
    std::string why;
    if (resolve_columns(f.t, f.t.Index[size_t(c.ref)], want, &got, &why)) {
      why = std::to_string(got.xcol) + " " + std::to_string(got.ycol) + " " +
            std::to_string(got.zcol) + " [" + got.xlabel + "][" + got.ylabel + "][" + got.zlabel;
    }
    EXPECT_EQ(why, c.want);
  }
}

// A comma is no separator, a label starts only after white space, and
// unquoted 2theta is the number 2; at most 20 entries ("+": more were left).
TEST(ReadColumnList, NumbersAndLabels) {
  const char* cases[][2] = {{"1-1+2", "3: 1 -1 2"},
                            {"1,2", "1: 1"},
                            {"3x 4", "1: 3"},
                            {"1 \"\" 2", "1: 1"},
                            {"Theta Detector -1", "3: <Theta> <Detector> -1"},
                            {" 1 \"Two Theta\" \"2theta\" 2theta", "4: 1 <Two Theta> <2theta> 2"},
                            {"_a \xce\xb8 \"open", "3: <_a> <\xce\xb8> <open>"},
                            {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21",
                             "20+: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20"},
                            {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 ",
                             "20: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20"}};
  for (const auto& c : cases) {
    std::vector<ListedColumn> list;
    bool more = false;
    std::string got = std::to_string(read_column_list(c[0], &list, &more));
    got += more ? "+:" : ":";
    for (const ListedColumn& e : list) {
      got += " " + (e.label.empty() ? std::to_string(e.number) : "<" + e.label + ">");
    }
    EXPECT_EQ(got, c[1]) << c[0];
  }
}

// With a label chosen, the export's header names the columns it writes; a
// scan without the label is one line and opens nothing.
TEST(Export, LabelsPickTheColumnAndNameIt) {
  ScanFixture f(kMixed);
  f.st.ylabel = "Detector";
  f.st.zlabel = "Monitor";
  f.st.errorbar = f.st.normalize = 1;
  EXPECT_EQ(1, scan_write(f.t, f.st, f.con(), 1, "w.dat"));
  f.out();
  EXPECT_EQ(kSkippedScan, scan_write(f.t, f.st, f.con(), 2, "three.dat"));
  EXPECT_EQ(f.out(),
            " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" \"Seconds\" "
            "\"Monitor\" \"Diode\"\n");
  f.st.wcolumns = "Theta \"Two Theta\" Detector -1";
  f.st.wformat = "%g %g %g %g\n";
  EXPECT_EQ(1, scan_printf(f.t, f.st, f.con(), 1, "W.dat"));
  f.out();
  EXPECT_EQ(kSkippedScan, scan_printf(f.t, f.st, f.con(), 0, "one.dat"));
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

TEST(ScanColumnsList, NumbersLabelsFirstValuesAndTheChosenColumns) {
  ScanFixture f(kMixed);
  const ColumnChoice cols{1, -1, -2, "", "Detector", "Monitor"};
  scan_columns_list(f.t, f.con(), 1, cols);
  EXPECT_EQ(f.out(),
            " columns of scan 2 (i=2), with the values of its first data line\n"
            "    1   -6  Theta      10             x\n"
            "    2   -5  Two Theta  20\n"
            "    3   -4  Epoch      102\n"
            "    4   -3  Seconds    1\n"
            "    5   -2  Monitor    2000           monitor\n"
            "    6   -1  Detector   50             y\n");
}

}  // namespace
