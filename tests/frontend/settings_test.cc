#include "frontend/settings.h"

#include <gtest/gtest.h>

#include <climits>

// getnum: absolute, or relative to the current value with a sign; outside
// the int range the current value stays. getanum: 0 and junk keep it.
TEST(Getnum, AbsoluteAndRelativeNumbers) {
  const struct {
    const char* text;
    int now, want;
  } cases[] = {
      {"", 10, 10},
      {"+", 10, 11},
      {"-", 10, 9},
      {"+3", 10, 13},
      {"- 3", 10, 7},
      {"+-2", 10, 8},
      {"-+1", 10, 11},
      {"   7", 10, 7},
      {"0", 10, 0},
      {"abc", 10, 0},
      {"+abc", 10, 10},
      {"3x", 10, 3},
      {"\t+5", 10, 5},
      {"\r\n", 10, 10},
      {" +2\n", 10, 12},
      {"2147483647", 10, INT_MAX},
      {"2147483648", 10, 10},
      {"\t-2147483648", 10, INT_MIN},
      {"+", INT_MAX, INT_MAX},
      {"-", INT_MIN, INT_MIN},
      {"+2147483647", 5, 5},
      {"-2147483647", -5, -5},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, getnum(c.text, c.now)) << '"' << c.text << '"';
  const struct {
    const char* text;
    int want;  // with 3 as the current value
  } anum[] = {{"", 3},   {"0", 3},  {"abc", 3},   {"123456789012", 3}, {"-1", -1},
              {"+2", 2}, {"5x", 5}, {"  -2", -2}, {" 4\n", 4},         {"\n", 3}};
  for (const auto& c : anum) EXPECT_EQ(c.want, getanum(c.text, 3)) << '"' << c.text << '"';
}
