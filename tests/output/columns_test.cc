#include "output/columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "scanf_column.h"

namespace {

// The columns as text, "a|b|c", so a failure shows the whole line.
std::string cols(const std::string& line) {
  ColumnLine cl;
  cl.parse(line);
  std::string s;
  for (double v : cl.values) {
    char b[64];
    snprintf(b, sizeof b, "%s%.17g", s.empty() ? "" : "|", v);
    s += b;
  }
  return s;
}

TEST(ColumnLine, SeparatorsSignsAndExponents) {
  EXPECT_EQ(cols("1\t-2.5e3  +4E-1\n"), "1|-2500|0.40000000000000002");
  EXPECT_EQ(cols("1.5-2\n"), "1.5|-2");
  EXPECT_EQ(cols("  .5 5. 1e2\n"), "0.5|5|100");
  EXPECT_EQ(cols("1,2,3\n"), "1");
  EXPECT_EQ(cols("1 2 abc 4\n"), "1|2");
  EXPECT_EQ(cols("\n"), "");
  EXPECT_EQ(cols("abc 1\n"), "");
  EXPECT_EQ(cols("- 1\n"), "");
  EXPECT_EQ(cols(std::string("1 2\0 3\n", 7)), "1|2");
}

TEST(ColumnLine, NanInfAndHexFloats) {
  EXPECT_EQ(cols("nan -INF Infinity nan(12)\n"), "nan|-inf|inf|nan");
  EXPECT_EQ(cols("1 infin 2\n"), "1");
  EXPECT_EQ(cols("0x1p3 0x10 0x.8 0X1P-1\n"), "8|16|0.5|0.5");
  EXPECT_EQ(cols("0x 5\n"), "");
}

TEST(ColumnLine, AgreesWithScanfWhereItConsumesMoreThanTheNumber) {
  const char* lines[] = {
      "1e x 2",
      "1e- 3",
      "1e+4 5",
      "2e 7",
      "0x1p 9",
      "0x.p1 4",
      ". 1",
      "1.2.3",
      "-.5e-1-3",
      "1..2",
      "0x1.8p1 -0",
      "+inf-nan 2",
      "00012 3",
      "1e5e5 6",
      "7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33"};
  for (const char* line : lines) {
    ColumnLine cl;
    cl.parse(line);
    for (int k = 1; k <= 33; k++) {
      double want = 0;
      bool has = scanf_column(line, k, &want);
      SCOPED_TRACE(std::string(line) + " column " + std::to_string(k));
      ASSERT_EQ(has, size_t(k) <= cl.values.size());
      if (has && !std::isnan(want)) {
        EXPECT_EQ(cl.values[size_t(k - 1)], want);
      }
    }
  }
}

TEST(ColumnLine, CountsAnyNumberOfColumns) {
  std::string line;
  for (int i = 1; i <= 500; i++) line += std::to_string(i) + " ";
  ColumnLine cl;
  cl.parse(line + "\n");
  ASSERT_EQ(cl.values.size(), 500u);
  int err;
  EXPECT_EQ(getdouble(cl, 500, 500, &err), 500);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(getdouble(cl, -100, 500, &err), 401);
}

TEST(GetNcol, ColumnCountLineWinsOverTheData) {
  scanRef r;
  r.ncol = 5;
  EXPECT_EQ(get_ncol("1 2 3\n", r), 5);
  ColumnLine cl;
  cl.parse("1 2 3\n");
  int err;
  getdouble(cl, -1, 5, &err);
  EXPECT_EQ(err, -1);
  EXPECT_EQ(getdouble(cl, -3, 5, &err), 3);
  EXPECT_EQ(err, 0);
}

TEST(GetNcol, CountsAndStoresWhenNoneIsKnown) {
  scanRef r;
  EXPECT_EQ(get_ncol("10\t20 30\n", r), 3);
  EXPECT_EQ(r.ncol, 3);
  EXPECT_EQ(get_ncol("1\n", r), 3);  // stored count is kept
}

TEST(GetNcol, LineWithoutNumberStoresMinusOneAndCountsAgain) {
  scanRef r;
  EXPECT_EQ(get_ncol("\n", r), -1);
  EXPECT_EQ(r.ncol, -1);
  EXPECT_EQ(get_ncol("x 1 2\n", r), -1);
  EXPECT_EQ(get_ncol("1 2\n", r), 2);
  EXPECT_EQ(r.ncol, 2);
}

TEST(Getdouble, NegativeAndSmallColumnNumbers) {
  const std::string line = "10 20 30 40\n";
  int err = 7;
  EXPECT_EQ(getdouble(line, -1, 4, &err), 40);
  EXPECT_EQ(getdouble(line, -2, 4, &err), 30);
  EXPECT_EQ(getdouble(line, -4, 4, &err), 10);
  EXPECT_EQ(getdouble(line, -5, 4, &err), 10);
  EXPECT_EQ(getdouble(line, 0, 4, &err), 10);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(std::isnan(getdouble(line, 5, 4, &err)));
  EXPECT_EQ(err, -1);
  getdouble("1 2 abc 4\n", 4, 4, &err);
  EXPECT_EQ(err, -1);
  getdouble(line, -1, 2147483647, &err);  // no overflow
  EXPECT_EQ(err, -1);
}

}  // namespace
