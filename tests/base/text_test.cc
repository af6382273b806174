#include "base/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

TEST(ReadInt, SignsDigitsAndClamping) {
  struct Case {
    std::string text;
    size_t used;
    int value;
    bool clamped;
  } cases[] = {
      {"", 0, 0, false},
      {"x12", 0, 0, false},
      {"- 1", 0, 0, false},
      {" \t-42z", 5, -42, false},
      {"+7", 2, 7, false},
      {"0012 5", 4, 12, false},
      {"-2147483648", 11, INT_MIN, false},
      {"2147483648", 10, INT_MAX, true},
      {"-2147483649", 11, INT_MIN, true},
      {"99999999999999999999999999", 26, INT_MAX, true},
      {std::string("1\0002", 3), 1, 1, false},
  };
  for (const Case& c : cases) {
    int v = 99;
    bool clamped = !c.clamped;
    EXPECT_EQ(read_int(c.text, &v, &clamped), c.used) << '"' << c.text << '"';
    EXPECT_EQ(v, c.value) << '"' << c.text << '"';
    EXPECT_EQ(clamped, c.clamped) << '"' << c.text << '"';
  }
}

// read_number against "%lf%n": whether it reads, how much it takes, and the
// value bit for bit.
std::string versus_scanf(const std::string& text) {
  double want = 0;
  int used = -1;
  const bool ok = sscanf(text.c_str(), "%lf%n", &want, &used) == 1;
  const char* p = text.c_str();
  double got = 0;
  std::string scratch;
  const bool got_ok = read_number(&p, text.c_str() + text.size(), &got, &scratch);
  if (ok != got_ok) return text + ": reads " + (got_ok ? "yes" : "no") + ", scanf differs";
  if (!ok) return "";
  if (p - text.c_str() != used) return text + ": takes a different length";
  if (memcmp(&got, &want, sizeof got) != 0 && !(got != got && want != want)) {
    char b[128];
    snprintf(b, sizeof b, ": %a, scanf %a", got, want);
    return text + b;
  }
  return "";
}

TEST(ReadNumber, FormsAsScanfReadsThem) {
  // One form between each pair of bars.
  const std::string forms =
      "0|-0|+0.0|-.0|1|-1|.5|5.|-.5e1|1e5|1E-5|1e+22|1e23|9007199254740993|9007199254740992|"
      "18446744073709551615|1234567890123456789|12345678901234567890|0.000000000000000000000001|"
      "0.1000000000000000055511151231257827|123456789012345678901234567890e-30|"
      "1.7976931348623157e308|1.7976931348623159e308|1e309|4.9e-324|2e-324|1e-400|0e999999999|"
      "1e99999999999|2.2250738585072011e-308|1e|1e+|2.5E-|1.2.3|1e5.3|1..2|.|-.|+|-|e5|0x|0x1p3|"
      "0X.8P1|0x1p|0xg|0x.|nan|-NaN|nan(12)|inf|-Infinity|infin|infinity|  \t\n 42|1,5|7 8";
  for (size_t at = 0, bar; at <= forms.size(); at = bar + 1) {
    bar = std::min(forms.find('|', at), forms.size());
    EXPECT_EQ(versus_scanf(forms.substr(at, bar - at)), "");
  }
}

TEST(ReadNumber, RandomDecimalsAreBitIdenticalToStrtod) {
  std::mt19937_64 rng(17);
  const char digits[] = "0123456789";
  for (int i = 0; i < 200000; i++) {
    std::string s;
    if (rng() % 3 == 0) s += rng() % 2 ? '-' : '+';
    const int n = 1 + int(rng() % 24);
    const int dot = int(rng() % (n + 2)) - 1;  // -1: no point
    for (int k = 0; k < n; k++) {
      if (k == dot) s += '.';
      s += digits[rng() % 10];
    }
    if (rng() % 2) s += "e" + std::to_string(int(rng() % 70) - 35);
    // What follows the number: the reader must stop where scanf stops.
    const char* tails[] = {"", " 12345678", "\t-9", "x", ".5", "e", ",1", "123"};
    s += tails[rng() % 8];
    ASSERT_EQ(versus_scanf(s), "");
  }
}

TEST(HoldsNumber, FirstNumberOnly) {
  EXPECT_TRUE(holds_number(" -1 x\n"));
  EXPECT_TRUE(holds_number("\t.5\n"));
  EXPECT_TRUE(holds_number("nan\n"));
  EXPECT_TRUE(holds_number("0x1p3 z\n"));
  EXPECT_FALSE(holds_number("0x z\n"));
  EXPECT_FALSE(holds_number("\n"));
  EXPECT_FALSE(holds_number(""));
  EXPECT_FALSE(holds_number("x 1\n"));
  EXPECT_FALSE(holds_number("- 1\n"));
  EXPECT_FALSE(holds_number(std::string("\0 1\n", 4)));
  EXPECT_FALSE(holds_number(std::string(" \0 1\n", 5)));
}

}  // namespace
