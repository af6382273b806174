#include "output/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printf_of(const std::string& conv, double v) {
  char b[8192];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(b, sizeof b, conv.c_str(), v);
#pragma GCC diagnostic pop
  return b;
}

// Values where the forms, roundings and paddings differ: halves, powers of
// ten and their neighbours, the extremes, subnormals, zeros and non-finite.
std::vector<double> interesting_values() {
  std::vector<double> v = {0.0,
                           -0.0,
                           0.5,
                           1.5,
                           2.5,
                           0.125,
                           0.375,
                           1e-5,
                           9.5e-5,
                           0.0001,
                           99999.5,
                           999999.5,
                           1234567.5,
                           1e15,
                           1e16,
                           1e17,
                           1e21,
                           1e22,
                           1e23,
                           2.675,
                           1.000005,
                           0.99999995,
                           9.9999995,
                           123456.75,
                           1e300,
                           1e-300,
                           4.9e-324,
                           2.2250738585072014e-308,
                           1.7976931348623157e308,
                           NAN,
                           -NAN,
                           INFINITY,
                           -INFINITY,
                           0.1,
                           0.3,
                           1.0 / 3};
  for (int e = -30; e <= 30; e++) {
    const double p = std::pow(10.0, e);
    for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), 5 * p, 9.5 * p}) {
      v.push_back(x);
      v.push_back(-x);
    }
  }
  std::mt19937_64 rng(5);
  for (int i = 0; i < 3000; i++) {
    uint64_t bits = rng();
    double d;
    memcpy(&d, &bits, sizeof d);
    v.push_back(d);
    v.push_back(double(int64_t(rng() % 2000001) - 1000000) / 1000.0);
    v.push_back(double(rng() % 100000) * std::pow(10.0, int(rng() % 20) - 10));
  }
  return v;
}

TEST(DoubleFormat, WritesWhatPrintfWrites) {
  const char* convs[] = {
      "%15.5lf", "%15.7lg",  "%8.4lf",   "%f",    "%e",    "%g",   "%E",    "%G",      "%F",
      "%.0f",    "%.0e",     "%.0g",     "%.1g",  "%.17g", "%.3e", "%+g",   "% .3f",   "%-12.4E|",
      "%012.3f", "%-+15.7g", "%#g",      "%#.0f", "%a",    "%A",   "%.30g", "%.40e",   "%5.1g",
      "%.25f",   "% 08.2f",  "%+010.2e", "%.16g", "%.15g", "%.2g", "%.6g",  "%20.10G", "%-8.3f"};
  const std::vector<double> values = interesting_values();
  for (const char* c : convs) {
    std::string conv = c;
    std::string tail;
    if (conv.back() == '|') {
      conv.pop_back();
      tail = "|";
    }
    DoubleFormat f(conv);
    ASSERT_TRUE(f.ok()) << conv;
    for (double v : values) {
      std::string got;
      f.append(&got, v);
      ASSERT_EQ(got, printf_of(conv, v)) << conv << " of " << printf_of("%a", v);
    }
  }
}

// Every precision a fast exact way may cover, over values of every size a
// scan holds, with their halves and neighbours.
TEST(DoubleFormat, EveryPrecisionOverScanSizedValues) {
  std::mt19937_64 rng(11);
  std::vector<double> values;
  for (int i = 0; i < 4000; i++) {
    const double mant = double(rng() % 10000000) / double(1 + rng() % 1000);
    const double v = mant * std::pow(10.0, int(rng() % 40) - 20);
    values.push_back(v);
    values.push_back(-std::nextafter(v, 0.0));
    // Decimal halves: ties that are exact in binary, and near misses.
    const double h = double(rng() % 100000 * 2 + 1) / double(uint64_t(1) << (rng() % 12));
    values.push_back(h);
    values.push_back(std::nextafter(h, 1e300));
  }
  for (char type : {'f', 'e', 'g', 'G'}) {
    for (int p = 0; p <= 18; p++) {
      const std::string conv = "%." + std::to_string(p) + type;
      DoubleFormat f(conv);
      for (double v : values) {
        std::string got;
        f.append(&got, v);
        ASSERT_EQ(got, printf_of(conv, v)) << conv << " of " << printf_of("%a", v);
      }
    }
  }
}

TEST(DoubleFormat, WideFieldsAndPrecisions) {
  DoubleFormat f("%4096.4096f");
  ASSERT_TRUE(f.ok());
  std::string got;
  f.append(&got, -1.7976931348623157e308);
  EXPECT_EQ(got, printf_of("%4096.4096f", -1.7976931348623157e308));
  EXPECT_FALSE(DoubleFormat("%4097f").ok());
  EXPECT_FALSE(DoubleFormat("%d").ok());
  EXPECT_FALSE(DoubleFormat("%5.2lfx").ok());
}

}  // namespace
