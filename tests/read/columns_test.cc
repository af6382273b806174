#include "read/columns.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "scanf_column.h"

namespace {

// Number forms, and odd texts: the columns are those sscanf reads.
TEST(ColumnLine, AgreesWithScanf) {
  // One line per '|'.
  const std::string forms =
      "1\t-2.5e3  +4E-1 .5|1.5-2 5.|1,2,3|1 2 abc 4|abc 1|- 1| |nan -INF Infinity|nan(12) 2|"
      "0x1p3 0x10 0x.8|0X1P-1|0x 5|1e x 2|1e- 3|1e+4 5|2e 7|0x1p 9|0x.p1 4|. 1|1.2.3|-.5e-1-3|"
      "1..2|0x1.8p1 -0|+inf-nan 2|00012 3|1e5e5 6";
  std::vector<std::string> lines(1);
  for (char c : forms) c == '|' ? lines.push_back("") : lines.back().push_back(c);
  lines.push_back(std::string("1 2\0 3", 7));
  lines.push_back("");
  for (int i = 7; i <= 40; i++) lines.back() += std::to_string(i) + " ";
  for (const std::string& line : lines) {
    ColumnLine cl;
    cl.parse(line);
    for (int k = 1; k <= 35; k++) {
      double want = 0;
      bool has = scanf_column(line, k, &want);
      SCOPED_TRACE(line + " column " + std::to_string(k));
      ASSERT_EQ(has, size_t(k) <= cl.values.size());
      const double got = has ? cl.values[size_t(k - 1)] : 0;
      EXPECT_TRUE(got == want ? std::signbit(got) == std::signbit(want)
                              : std::isnan(got) && std::isnan(want))
          << got << " read, sscanf " << want;
    }
  }
  // Where sscanf would read part of a word, the column reader reads nothing.
  ColumnLine cl;
  cl.parse("1 infin 2\n");
  EXPECT_EQ(cl.values.size(), 1u);
}

// Column numbers from the start, from the end (by the scan's count) and
// below 1; a column the line lacks is NaN with *err -1.
TEST(Getdouble, ColumnNumbers) {
  struct {
    const char* line;
    int pos, ncol;
    double want;  // NaN: no such column
  } cases[] = {
      {"10 20 30 40\n", -1, 4, 40}, {"10 20 30 40\n", -2, 4, 30}, {"10 20 30 40\n", -4, 4, 10},
      {"10 20 30 40\n", -5, 4, 10}, {"10 20 30 40\n", 0, 4, 10},  {"10 20 30 40\n", 5, 4, NAN},
      {"1 2 3\n", -1, 5, NAN},      {"1 2 3\n", -3, 5, 3},        {"1 2\n", -1, INT_MAX, NAN}};
  for (const auto& c : cases) {
    int err = 7;
    double got = getdouble(c.line, c.pos, c.ncol, &err);
    SCOPED_TRACE(std::to_string(c.pos) + " of " + std::to_string(c.ncol));
    EXPECT_EQ(err, std::isnan(c.want) ? -1 : 0);
    EXPECT_TRUE(std::isnan(c.want) ? std::isnan(got) : got == c.want) << got;
  }
}

TEST(GetNcol, CountLineWinsElseTheFirstLineIsCountedAndStored) {
  scanRef r;
  r.ncol = 5;
  EXPECT_EQ(get_ncol("1 2 3\n", r), 5);
  r.ncol = 0;
  EXPECT_EQ(get_ncol("\n", r), -1);
  EXPECT_EQ(r.ncol, -1);
  EXPECT_EQ(get_ncol("x 1 2\n", r), -1);
  EXPECT_EQ(get_ncol("10\t20 30\n", r), 3);
  EXPECT_EQ(get_ncol("1\n", r), 3);  // a stored count is kept
}

}  // namespace
