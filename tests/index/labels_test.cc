#include "index/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index_testing.h"

namespace {

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
