#include "index/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "index_testing.h"

namespace {

TEST(SplitLabels, AtTwoBlanksOrSingleBlanksWhenThoseMatchN) {
  const std::tuple<const char*, int, size_t, const char*> cases[] = {
      // text, #N, max, labels
      {" Two Theta  Theta  Detector", 3, 99, "Two Theta|Theta|Detector"},
      {"#L Two Theta  Theta  Detector\n", 3, 99, "Two Theta|Theta|Detector"},  // whole line
      {" Theta  Detector  Monitor\r\n", 0, 99, "Theta|Detector|Monitor"},      // no #N
      {" H K L  Epoch  I0", 5, 99, "H|K|L|Epoch|I0"},  // single blanks give #N labels
      {" H K L  Epoch  I0", 3, 99, "H K L|Epoch|I0"},  // two blanks already do
      {" Two Theta  Det", 4, 99, "Two Theta|Det"},     // neither fits: two blanks
      {" a  b  c  d", 3, 99, "a|b|c|d"},               // longer than #N: all kept
      {" x\tmon y\tdet", 3, 99, "x|mon y|det"},        // a tab separates alone
      {" x\tmon y\tdet", 4, 99, "x|mon|y|det"},
      {"   lead and trail   ", 0, 99, "lead and trail"},
      {" I0  I0  2theta", 3, 99, "I0|I0|2theta"},  // repeated labels stay
      {"", 3, 99, ""},
      {"#L", 2, 99, ""},
      {" H K L  Epoch  I0", 5, 2, "H|K"},  // all counted against #N, `max` kept
      {" H K L  Epoch  I0", 3, 2, "H K L|Epoch"},
      {" a  b", 0, 0, ""},
  };
  for (const auto& [text, n, max, want] : cases) {
    std::string got;
    for (const std::string& l : split_labels(text, n, max)) got += "|" + l;
    EXPECT_EQ(want, got.substr(got.empty() ? 0 : 1)) << '"' << text << "\" N=" << n;
  }
}

TEST(FindLabel, ExactThenIgnoringCaseAndAmbiguous) {
  const std::vector<std::string> labels = {"Theta", "theta", "Det", "MON",
                                           "Mon2",  "mon2",  "a",   "a"};
  const std::pair<const char*, std::string> cases[] = {
      {"theta", "found 2"},  // the exact match wins
      {"det", "found 3"},     {"Mon", "found 4"}, {"MON2", "ambiguous 5 6"},
      {"a", "ambiguous 7 8"}, {"The", "missing"},
  };
  for (const auto& c : cases) {
    int col = 0, other = 0;
    const LabelFind f = find_label(labels, c.first, &col, &other);
    EXPECT_EQ(c.second, f == LabelFind::kMissing ? "missing"
                        : f == LabelFind::kFound
                            ? "found " + std::to_string(col)
                            : "ambiguous " + std::to_string(col) + " " + std::to_string(other))
        << c.first;
  }
  int col = 0, other = 0;
  EXPECT_EQ(LabelFind::kMissing, find_label({}, "a", &col, &other));
}

}  // namespace
