#include "output/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printf_of(const std::string& conv, double v) {
  std::string b(8192, '\0');
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  b.resize(size_t(snprintf(&b[0], b.size(), conv.c_str(), v)));
#pragma GCC diagnostic pop
  return b;
}

// Values where forms, roundings and paddings differ: decimal halves, powers of
// ten and neighbours, extremes, subnormals, zeros, inf, nan, random bits.
std::vector<double> test_values() {
  std::vector<double> v = {
      0.0,   -0.0,     1e15, 1e16, 1e21,     1e22,      1e23,    2.675,  0.1, 0.3333333333333333,
      1e300, 4.9e-324, NAN,  -NAN, INFINITY, -INFINITY, DBL_MIN, DBL_MAX};
  for (int e = -30; e <= 30; e++) {
    const double p = std::pow(10.0, e);
    for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), 9.5 * p})
      v.insert(v.end(), {x, -x});
  }
  std::mt19937_64 rng(11);
  for (int i = 0; i < 1500; i++) {
    v.push_back(double(rng() % 10000000) / double(1 + rng() % 1000) *
                std::pow(10.0, int(rng() % 40) - 20));
    const double half = double(rng() % 100000 * 2 + 1) / double(uint64_t(1) << (rng() % 12));
    v.insert(v.end(), {half, -std::nextafter(half, 1e300)});
    uint64_t bits = rng();
    double d;
    memcpy(&d, &bits, sizeof d);
    v.push_back(d);
  }
  return v;
}

TEST(DoubleFormat, WritesWhatPrintfWrites) {
  std::vector<std::string> convs = {
      "%15.5lf",  "%15.7lg", "%8.4lf", "%+g",   "% .3f", "%-12.4E", "%012.3f",
      "%-+15.7g", "%#g",     "%#.0f",  "%a",    "%A",    "%5.1g",   "% 08.2f",
      "%+010.2e", "%20.10G", "%F",     "%.40e", "%.30g", "%.25f",   "%4096.4096f"};
  for (char type : {'f', 'e', 'g', 'G'}) {
    for (int p = 0; p <= 18; p++) convs.push_back("%." + std::to_string(p) + type);
  }
  const std::vector<double> values = test_values();
  for (const std::string& conv : convs) {
    DoubleFormat f(conv);
    ASSERT_TRUE(f.ok()) << conv;
    for (double v : values) {
      std::string got;
      f.append(&got, v);
      ASSERT_EQ(got, printf_of(conv, v)) << conv << " of " << printf_of("%a", v);
    }
  }
  // Width and precision are at most 4096; other conversions are refused.
  for (const char* conv : {"%4097f", "%.4097f", "%d", "%5.2lfx"}) {
    EXPECT_FALSE(DoubleFormat(conv).ok()) << conv;
  }
}

}  // namespace
