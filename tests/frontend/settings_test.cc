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
  bool err = true;
  EXPECT_EQ(0, decimal_conversion("x12", &err));
  EXPECT_FALSE(err);
  EXPECT_EQ(-42, decimal_conversion(" \t-42z", &err));
  EXPECT_EQ(INT_MIN, decimal_conversion("-2147483648", &err));
  EXPECT_FALSE(err);
  EXPECT_EQ(INT_MAX, decimal_conversion("99999999999999999999999999", &err));
  EXPECT_TRUE(err);
  EXPECT_EQ(INT_MIN, decimal_conversion("-2147483649", &err));
  EXPECT_TRUE(err);
}
