#include "base/text.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool is_xdigit(char c) { return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f'); }

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return loc;
}

// Takes the characters `word` (lower case) at *s, ignoring case; false when
// the text differs or ends first.
bool take_word(const char** s, const char* end, const char* word) {
  for (; *word; ++word, ++*s) {
    if (*s == end || lower(**s) != *word) return false;
  }
  return true;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExact = uint64_t(1) << 53;

// The value of the decimal number [s, end) when it needs no more than one
// correctly rounded operation (Clinger): a mantissa of at most 19
// significant digits that is exact in a double, times or divided by a power
// of ten that is exact too. False for anything else: strtod decides then.
bool exact_decimal(const char* s, const char* end, double* v) {
  bool neg = false;
  if (*s == '+' || *s == '-') neg = *s++ == '-';
  uint64_t m = 0;
  int digits = 0, scale = 0;
  bool any = false, dot = false;
  for (; s < end; ++s) {
    if (*s == '.' && !dot) {
      dot = true;
      continue;
    }
    if (!is_digit(*s)) break;
    any = true;
    if (dot) scale--;
    if (m == 0 && *s == '0') continue;  // leading zeros are not significant
    if (++digits > 19) return false;
    m = m * 10 + uint64_t(*s - '0');
  }
  if (!any) return false;
  int exp = 0;
  if (s < end && lower(*s) == 'e') {
    // A letter without digits after it (as in "1e", "1e+") is not part of
    // the value.
    const char* e = s + 1;
    bool eneg = false;
    if (e < end && (*e == '+' || *e == '-')) eneg = *e++ == '-';
    for (; e < end && is_digit(*e); ++e) {
      if (exp < 100000) exp = exp * 10 + (*e - '0');
    }
    if (eneg) exp = -exp;
  }
  if (m == 0) {
    *v = neg ? -0.0 : 0.0;
    return true;
  }
  const int e10 = scale + exp;
  if (m > kExact || e10 < -22 || e10 > 22) return false;
  double d = double(m);
  d = e10 < 0 ? d / kPow10[-e10] : d * kPow10[e10];
  *v = neg ? -d : d;
  return true;
}

}  // namespace

size_t read_int(std::string_view s, int* value, bool* clamped) {
  size_t i = 0;
  while (i < s.size() && is_space(s[i])) i++;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (clamped) *clamped = false;
  if (i == s.size() || !is_digit(s[i])) {
    *value = 0;
    return 0;
  }
  int64_t v = 0;
  for (; i < s.size() && is_digit(s[i]); i++) {
    if (v <= INT64_C(1) << 40) v = v * 10 + (s[i] - '0');  // beyond: clamped anyway
  }
  if (neg) v = -v;
  if (clamped) *clamped = v > INT_MAX || v < INT_MIN;
  *value = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
  return i;
}

bool read_number(const char** p, const char* end, double* v, std::string* scratch) {
  const char* s = *p;
  while (s < end && is_space(*s)) ++s;
  if (s == end) return false;
  const char* start = s;
  if (*s == '-' || *s == '+') {
    if (++s == end) return false;
  }
  const size_t sign = size_t(s - start);
  bool decimal = false;
  if (lower(*s) == 'n') {
    if (!take_word(&s, end, "nan")) return false;
  } else if (lower(*s) == 'i') {
    if (!take_word(&s, end, "inf")) return false;
    if (s < end && lower(*s) == 'i' && !take_word(&s, end, "inity")) return false;
  } else {
    // The characters the conversion takes, decided one at a time as glibc
    // does: digits, one point, an exponent letter after a digit and a sign
    // right after that letter.
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    char exp_char = 'e';
    if (*s == '0') {
      ++s;
      if (s < end && lower(*s) == 'x') {
        ++s;
        hex = true;
        exp_char = 'p';
      } else {
        got_digit = true;
      }
    }
    for (; s < end; ++s) {
      const char c = *s;
      if (is_digit(c) || (!got_e && hex && is_xdigit(c))) {
        got_digit = true;
      } else if (got_e && lower(s[-1]) == exp_char && (c == '-' || c == '+')) {
      } else if (got_digit && !got_e && lower(c) == exp_char) {
        got_e = got_dot = true;
      } else if (c == '.' && !got_dot) {
        got_dot = true;
      } else {
        break;
      }
    }
    const size_t n = size_t(s - start);
    if (n == sign || (hex && n == 2 + sign)) return false;
    decimal = !hex;
  }
  if (decimal && exact_decimal(start, s, v)) {
    *p = s;
    return true;
  }
  scratch->assign(start, size_t(s - start));
  char* stop = nullptr;
  const double d = strtod_l(scratch->c_str(), &stop, c_locale());
  if (stop == scratch->c_str()) return false;
  *v = d;
  *p = s;
  return true;
}

bool holds_number(std::string_view line) {
  const char* p = line.data();
  const char* end = p + line.size();
  while (p < end && is_space(*p)) ++p;
  // Nearly every data line: a digit (or a sign or point, then a digit)
  // starts a number; "0x" is the exception, it needs a hexadecimal digit.
  const char* q = p;
  if (q < end && (*q == '+' || *q == '-')) ++q;
  if (q < end) {
    if (*q >= '1' && *q <= '9') return true;
    if (*q == '0' && !(q + 1 < end && lower(q[1]) == 'x')) return true;
    if (*q == '.' && q + 1 < end && is_digit(q[1])) return true;
  }
  if (const void* nul = memchr(p, '\0', size_t(end - p))) end = static_cast<const char*>(nul);
  std::string scratch;
  double v;
  return read_number(&p, end, &v, &scratch);
}
