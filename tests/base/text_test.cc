#include "base/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

using namespace std::string_literals;

namespace {

TEST(ReadInt, SignsDigitsAndClamping) {
  const std::tuple<std::string, size_t, int, bool> cases[] = {
      // text, used, value, clamped
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
      {"1\0002"s, 1, 1, false},
  };
  for (const auto& [text, used, value, clamped] : cases) {
    int v = 99;
    bool c = !clamped;
    EXPECT_EQ(used, read_int(text, &v, &c)) << '"' << text << '"';
    EXPECT_TRUE(v == value && c == clamped) << '"' << text << '"';
  }
}

// read_number, skip_number and holds_number against "%lf%n": whether they
// read, how much they take, and the value bit for bit.
std::string versus_scanf(const std::string& text) {
  double want = 0, got = 0;
  int used = -1;
  const bool ok = sscanf(text.c_str(), "%lf%n", &want, &used) == 1;
  const char *p = text.c_str(), *q = p, *end = p + text.size();
  std::string scratch;
  if (ok != read_number(&p, end, &got, &scratch)) return text + ": read_number differs";
  if (ok != skip_number(&q, end, &scratch) || (ok && p != q)) return text + ": skip_number differs";
  if (ok != holds_number(text)) return text + ": holds_number differs";
  if (ok && p - text.c_str() != used) return text + ": takes a different length";
  if (ok && memcmp(&got, &want, sizeof got) != 0 && !(got != got && want != want)) {
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
      "0X.8P1|0x1p|0xg|0x.|0x 1|-0x1P-2z|nan|-NaN|nan(12)|inf|-Infinity|infin|infinity|  \t\n 42|"
      "1,5|7 8||x 1|- 1|\0 1| \0 1|1\0 2"s;
  for (size_t at = 0, bar; at <= forms.size(); at = bar + 1) {
    bar = std::min(forms.find('|', at), forms.size());
    EXPECT_EQ("", versus_scanf(forms.substr(at, bar - at)));
  }
}

}  // namespace
