#include "base/text.h"

#include <locale.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExact = uint64_t(1) << 53;

// Scale of an exact decimal: m * 10^e10 is one correctly rounded operation
// (Clinger) when m is exact in a double and 10^e10 is too.
bool exact_value(bool neg, uint64_t m, int e10, double* v) {
  if (m == 0) {
    *v = neg ? -0.0 : 0.0;
    return true;
  }
  if (m > kExact || e10 < -22 || e10 > 22) return false;
  double d = double(m);
  d = e10 < 0 ? d / kPow10[-e10] : d * kPow10[e10];
  *v = neg ? -d : d;
  return true;
}

// A plain decimal at s (after the sign): digits, a point, digits, and an
// exponent with digits, read in one pass. On success *stop is where the
// conversion ends (exactly where the general reading below would end it)
// and, when `convert`, *exact tells whether *v holds the value; when it
// does not, strtod must convert [start, *stop). False when the text is anything else (no
// digit, "0x", nan, inf, an exponent letter without digits): the general
// reading decides then.
bool plain_decimal(const char* s, const char* end, bool neg, bool convert, const char** stop,
                   double* v, bool* exact) {
  if (s < end && *s == '0' && s + 1 < end && lower(s[1]) == 'x') return false;
  // More than 19 digits may overflow m; those numbers go to strtod.
  uint64_t m = 0;
  const char* first = s;
  for (; s < end && is_digit(*s); ++s) m = m * 10 + uint64_t(*s - '0');
  size_t digits = size_t(s - first);
  int scale = 0;
  if (s < end && *s == '.') {
    const char* point = s++;
    for (; s < end && is_digit(*s); ++s) m = m * 10 + uint64_t(*s - '0');
    scale = -int(s - point - 1);
    digits += size_t(s - point - 1);
  }
  if (digits == 0) return false;
  int exp = 0;
  if (s < end && lower(*s) == 'e') {
    const char* e = s + 1;
    bool eneg = false;
    if (e < end && (*e == '+' || *e == '-')) eneg = *e++ == '-';
    if (e == end || !is_digit(*e)) return false;
    for (; e < end && is_digit(*e); ++e) {
      if (exp < 100000) exp = exp * 10 + (*e - '0');
    }
    if (eneg) exp = -exp;
    s = e;
  }
  *stop = s;
  *exact = !convert || (digits <= 19 && exact_value(neg, m, scale + exp, v));
  return true;
}

// strtod of [start, stop); on success *p moves to stop.
bool strtod_range(const char* start, const char* stop, const char** p, double* v,
                  std::string* scratch) {
  scratch->assign(start, size_t(stop - start));
  char* end = nullptr;
  const double d = strtod_l(scratch->c_str(), &end, c_locale());
  if (end == scratch->c_str()) return false;
  *v = d;
  *p = stop;
  return true;
}

// read_number, and skip_number when not `convert`.
bool take_number(const char** p, const char* end, double* v, std::string* scratch, bool convert) {
  const char* s = *p;
  while (s < end && is_space(*s)) ++s;
  if (s == end) return false;
  const char* start = s;
  if (*s == '-' || *s == '+') {
    if (++s == end) return false;
  }
  // Nearly every number in a scan file is a plain decimal.
  bool exact = false;
  const char* stop = nullptr;
  if (plain_decimal(s, end, *start == '-', convert, &stop, v, &exact)) {
    if (!exact) return strtod_range(start, stop, p, v, scratch);
    *p = stop;
    return true;
  }
  const size_t sign = size_t(s - start);
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
  }
  return strtod_range(start, s, p, v, scratch);
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
  return take_number(p, end, v, scratch, true);
}

bool skip_number(const char** p, const char* end, std::string* scratch) {
  // Nearly every column passed over is a plain decimal without an exponent:
  // where it ends is found without working out its value, as plain_decimal
  // would find it. Anything else takes the full reading.
  const char* s = *p;
  while (s < end && is_space(*s)) ++s;
  if (s < end && (*s == '-' || *s == '+')) ++s;
  if (!(s + 1 < end && *s == '0' && lower(s[1]) == 'x')) {
    const char* first = s;
    while (s < end && is_digit(*s)) ++s;
    size_t digits = size_t(s - first);
    if (s < end && *s == '.') {
      const char* point = s++;
      while (s < end && is_digit(*s)) ++s;
      digits += size_t(s - point - 1);
    }
    if (digits > 0 && (s == end || lower(*s) != 'e')) {
      *p = s;
      return true;
    }
  }
  double v;
  return take_number(p, end, &v, scratch, false);
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

std::string string_vprintf(const char* format, va_list ap) {
  va_list again;
  va_copy(again, ap);
  char text[256];  // most texts fit: no allocation but the result's
  const int n = vsnprintf(text, sizeof text, format, ap);
  std::string s;
  if (n > 0 && static_cast<size_t>(n) < sizeof text) {
    s.assign(text, static_cast<size_t>(n));
  } else if (n > 0) {
    s.resize(static_cast<size_t>(n));
    vsnprintf(&s[0], s.size() + 1, format, again);
  }
  va_end(again);
  return s;
}

std::string string_printf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string s = string_vprintf(format, ap);
  va_end(ap);
  return s;
}
