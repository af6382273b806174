#include "read/column_choice.h"

#include <gtest/gtest.h>

#include "scan_fixture.h"

namespace {

// Labels are resolved per scan (in the exports below); here the odd scans.
TEST(ResolveColumns, OddScans) {
  ScanFixture f(kMixedLabels);
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

// Columns 1 to n or -1 to -n are in a scan of n; any when its count is unknown.
TEST(ColumnInScan, FromEitherEndUpToTheCount) {
  const int cases[][3] = {{1, 1, 1}, {2, 1, 0}, {-1, 1, 1}, {-2, 1, 0}, {0, 1, 0},
                          {5, 5, 1}, {6, 5, 0}, {-5, 5, 1}, {-6, 5, 0}, {9, 0, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(bool(c[2]), column_in_scan(c[0], c[1])) << c[0] << " of " << c[1];
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

TEST(ScanColumnsList, NumbersLabelsFirstValuesAndTheChosenColumns) {
  ScanFixture f(kMixedLabels);
  const ColumnChoice cols{1, -1, -2, "", "Detector", "Monitor", nullptr};
  scan_columns_list(f.t, f.con(), 1, cols);
  EXPECT_EQ(f.out(),
            " columns of scan 2 (i=2), with the values of its first data line\n"
            "    1   -6  Theta      10             x\n"
            "    2   -5  Two Theta  20\n"
            "    3   -4  Epoch      102\n"
            "    4   -3  Seconds    1\n"
            "    5   -2  Monitor    2000           monitor\n"
            "    6   -1  Detector   50             y\n");
  // Labels pad to at most 32 characters (a longer one is shown whole, on its
  // row only); control characters are shown escaped.
  ScanFixture wide("#S 1  w\n#N 3\n#L " + std::string(40, 'L') + "  a\x7f[2J  c\n1 2 3\n");
  scan_columns_list(wide.t, wide.con(), 0, ColumnChoice{4, 4, 4, "", "", "", nullptr});
  EXPECT_EQ(wide.out(),
            " columns of scan 1 (i=1), with the values of its first data line\n"
            "    1   -3  " +
                std::string(40, 'L') +
                "  1\n"
                "    2   -2  a\\x7f[2J" +
                std::string(24, ' ') +
                "  2\n"
                "    3   -1  c" +
                std::string(31, ' ') + "  3\n");
}

}  // namespace
