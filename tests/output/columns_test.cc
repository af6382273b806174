#include "output/columns.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "scanf_column.h"

namespace {

// The columns of a line as "a|b|c", so a failure shows the whole line.
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

TEST(ColumnLine, NumberForms) {
  const std::string cases[][2] = {{"1\t-2.5e3  +4E-1\n", "1|-2500|0.40000000000000002"},
                                  {"1.5-2\n", "1.5|-2"},
                                  {"  .5 5. 1e2\n", "0.5|5|100"},
                                  {"1,2,3\n", "1"},
                                  {"1 2 abc 4\n", "1|2"},
                                  {"\n", ""},
                                  {"abc 1\n", ""},
                                  {"- 1\n", ""},
                                  {std::string("1 2\0 3\n", 7), "1|2"},
                                  {"nan -INF Infinity nan(12)\n", "nan|-inf|inf|nan"},
                                  {"1 infin 2\n", "1"},
                                  {"0x1p3 0x10 0x.8 0X1P-1\n", "8|16|0.5|0.5"},
                                  {"0x 5\n", ""}};
  for (const auto& c : cases) EXPECT_EQ(cols(c[0]), c[1]) << c[0];
}

// Where a number's text is odd, the columns are those sscanf reads.
TEST(ColumnLine, AgreesWithScanf) {
  std::string wide;
  for (int i = 7; i <= 40; i++) wide += std::to_string(i) + " ";
  const std::string lines[] = {"1e x 2",     "1e- 3",      "1e+4 5",  "2e 7",     "0x1p 9",
                               "0x.p1 4",    ". 1",        "1.2.3",   "-.5e-1-3", "1..2",
                               "0x1.8p1 -0", "+inf-nan 2", "00012 3", "1e5e5 6",  wide};
  for (const std::string& line : lines) {
    ColumnLine cl;
    cl.parse(line);
    for (int k = 1; k <= 35; k++) {
      double want = 0;
      bool has = scanf_column(line, k, &want);
      SCOPED_TRACE(line + " column " + std::to_string(k));
      ASSERT_EQ(has, size_t(k) <= cl.values.size());
      if (has && !std::isnan(want)) {
        EXPECT_EQ(cl.values[size_t(k - 1)], want);
      }
    }
  }
}

// Column numbers from the start, from the end (by the scan's count) and
// below 1; a column the line lacks is NaN with *err -1.
TEST(Getdouble, ColumnNumbers) {
  std::string many;
  for (int i = 1; i <= 500; i++) many += std::to_string(i) + " ";
  struct {
    const char* line;
    int pos, ncol;
    double want;  // NaN: no such column
  } cases[] = {
      {"10 20 30 40\n", -1, 4, 40},  {"10 20 30 40\n", -2, 4, 30},  {"10 20 30 40\n", -4, 4, 10},
      {"10 20 30 40\n", -5, 4, 10},  {"10 20 30 40\n", 0, 4, 10},   {"10 20 30 40\n", 5, 4, NAN},
      {"1 2 3\n", -1, 5, NAN},       {"1 2 3\n", -3, 5, 3},         {"1 2\n", -1, INT_MAX, NAN},
      {many.c_str(), 500, 500, 500}, {many.c_str(), -100, 500, 401}};
  for (const auto& c : cases) {
    int err = 7;
    double got = getdouble(c.line, c.pos, c.ncol, &err);
    SCOPED_TRACE(std::to_string(c.pos) + " of " + std::to_string(c.ncol));
    EXPECT_EQ(err, std::isnan(c.want) ? -1 : 0);
    if (!std::isnan(c.want)) {
      EXPECT_EQ(got, c.want);
    }
  }
}

TEST(GetNcol, CountLineWinsElseTheFirstLineIsCountedAndStored) {
  scanRef n5;
  n5.ncol = 5;
  EXPECT_EQ(get_ncol("1 2 3\n", n5), 5);
  scanRef r;
  EXPECT_EQ(get_ncol("\n", r), -1);
  EXPECT_EQ(r.ncol, -1);
  EXPECT_EQ(get_ncol("x 1 2\n", r), -1);
  EXPECT_EQ(get_ncol("10\t20 30\n", r), 3);
  EXPECT_EQ(get_ncol("1\n", r), 3);  // a stored count is kept
}

}  // namespace
