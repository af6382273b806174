#include "frontend/settings.h"

#include <gtest/gtest.h>

#include <climits>

TEST(Getnum, TableWithBaseTen) {
  struct Case {
    const char* text;
    int want;
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
  for (const Case& c : cases) EXPECT_EQ(c.want, getnum(c.text, 10)) << '"' << c.text << '"';
}

TEST(Getnum, RangeLimitsKeepBase) {
  EXPECT_EQ(INT_MAX, getnum("2147483647", 10));
  EXPECT_EQ(10, getnum("2147483648", 10));
  EXPECT_EQ(INT_MIN, getnum("\t-2147483648", 10));
  // A move that leaves the int range keeps the base instead of wrapping.
  EXPECT_EQ(INT_MAX, getnum("+", INT_MAX));
  EXPECT_EQ(5, getnum("+2147483647", 5));
  EXPECT_EQ(-5, getnum("-2147483647", -5));
}

TEST(Getanum, TableWithCurrentThree) {
  struct Case {
    const char* text;
    int want;
  } cases[] = {
      {"", 3},   {"0", 3},  {"abc", 3},   {"123456789012", 3}, {"-1", -1},
      {"+2", 2}, {"5x", 5}, {"  -2", -2}, {" 4\n", 4},         {"\n", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, getanum(c.text, 3)) << '"' << c.text << '"';
}

TEST(Settings, DefaultsAndFlagWords) {
  Settings st;
  EXPECT_EQ(1, st.xcol);
  EXPECT_EQ(-1, st.ycol);
  EXPECT_EQ(-2, st.zcol);
  EXPECT_EQ("%8.4lf %8.4lf\n", st.wformat);
  EXPECT_EQ("1 -1", st.wcolumns);
  EXPECT_EQ("DEVICE \"PostScript\" PAGE SIZE 300,400", st.graceprint);
  EXPECT_STREQ("on", onoff(-3));
  EXPECT_STREQ("off", onoff(0));
}
