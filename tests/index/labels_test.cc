#include "index/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The labels joined by '|', so a failure shows every boundary.
std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); i++) s += (i ? "|" : "") + v[i];
  return s;
}

TEST(SplitLabels, Table) {
  struct Case {
    const char* text;
    int ncol_N;
    const char* want;
  } cases[] = {
      {" Two Theta  Theta  Detector", 3, "Two Theta|Theta|Detector"},
      {"#L Two Theta  Theta  Detector\n", 3, "Two Theta|Theta|Detector"},  // whole line
      {" Theta  Detector  Monitor\r\n", 0, "Theta|Detector|Monitor"},      // no #N
      {" H K L  Epoch  I0", 5, "H|K|L|Epoch|I0"},  // single blanks give #N labels
      {" H K L  Epoch  I0", 3, "H K L|Epoch|I0"},  // two blanks already do
      {" Two Theta  Det", 4, "Two Theta|Det"},     // neither split fits: two blanks
      {" a  b  c  d", 3, "a|b|c|d"},               // longer than #N: all kept
      {" x\tmon y\tdet", 3, "x|mon y|det"},        // a tab separates alone
      {" x\tmon y\tdet", 4, "x|mon|y|det"},
      {"   lead and trail   ", 0, "lead and trail"},
      {" I0  I0  2theta", 3, "I0|I0|2theta"},  // repeated labels stay
      {"", 3, ""},
      {"   ", 0, ""},
      {"#L", 2, ""},
      {" a/b  c.d  ", 2, "a/b|c.d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joined(split_labels(c.text, c.ncol_N)), c.want)
        << '"' << c.text << "\" N=" << c.ncol_N;
  }
}

TEST(SplitLabels, KeepsAtMostMaxButCountsAll) {
  // Five labels by single blanks match #N 5, though only two are kept.
  EXPECT_EQ(joined(split_labels(" H K L  Epoch  I0", 5, 2)), "H|K");
  EXPECT_EQ(joined(split_labels(" H K L  Epoch  I0", 3, 2)), "H K L|Epoch");
  EXPECT_EQ(joined(split_labels(" a  b", 0, 0)), "");
}

}  // namespace
