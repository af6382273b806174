#include "frontend/settings.h"

#include <gtest/gtest.h>

#include <climits>

TEST(Getnum, AbsoluteAndRelativeNumbers) {
  const struct {
    const char* text;
    int want;  // with 10 as the current value
  } cases[] = {
      {"", 10},      {"+", 11},
      {"-", 9},      {"+3", 13},
      {"- 3", 7},    {"+-2", 8},
      {"7", 7},      {"   7", 7},
      {"0", 0},      {"abc", 0},
      {"+abc", 10},  {"3x", 3},
      {"\t+5", 5},   {"123456789012", 10},
      {"\n", 10},    {"\r\n", 10},
      {" +2\n", 12}, {"-+1", 11},
      {"  ", 10},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, getnum(c.text, 10)) << '"' << c.text << '"';
}

TEST(Getnum, OutsideTheIntRangeKeepsTheCurrentValue) {
  EXPECT_EQ(INT_MAX, getnum("2147483647", 10));
  EXPECT_EQ(10, getnum("2147483648", 10));
  EXPECT_EQ(INT_MIN, getnum("\t-2147483648", 10));
  EXPECT_EQ(INT_MAX, getnum("+", INT_MAX));
  EXPECT_EQ(5, getnum("+2147483647", 5));
  EXPECT_EQ(-5, getnum("-2147483647", -5));
}

TEST(Getanum, ZeroAndUnreadableKeepTheCurrentValue) {
  const struct {
    const char* text;
    int want;  // with 3 as the current value
  } cases[] = {
      {"", 3},   {"0", 3},  {"abc", 3},   {"123456789012", 3}, {"-1", -1},
      {"+2", 2}, {"5x", 5}, {"  -2", -2}, {" 4\n", 4},         {"\n", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, getanum(c.text, 3)) << '"' << c.text << '"';
}

TEST(DecimalConversion, ClampsAndSaysWhenOutOfRange) {
  const struct {
    const char* text;
    int want;
    bool range_error;
  } cases[] = {
      {"", 0, false},
      {"x12", 0, false},
      {" \t-42z", -42, false},
      {"+7", 7, false},
      {"-2147483648", INT_MIN, false},
      {"99999999999999999999999999", INT_MAX, true},
      {"-2147483649", INT_MIN, true},
  };
  for (const auto& c : cases) {
    bool err = !c.range_error;
    EXPECT_EQ(c.want, decimal_conversion(c.text, &err)) << c.text;
    EXPECT_EQ(c.range_error, err) << c.text;
  }
}
