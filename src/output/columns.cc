#include "output/columns.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_xdigit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return loc;
}

// Takes the characters `word` (lower case) from *s, ignoring case; false
// when the text differs or ends first.
bool take_word(const char** s, const char* end, const char* word, std::string* tok) {
  for (; *word; ++word, ++*s) {
    if (*s == end || lower(**s) != *word) return false;
    tok->push_back(**s);
  }
  return true;
}

// One floating conversion as glibc's scanf makes it: the characters it
// consumes are collected first (it may consume more than the number, e.g.
// the "e" of "1e x"), then strtod converts them. On success *p moves past
// the consumed characters.
bool scan_double(const char** p, const char* end, double* v, std::string* tok) {
  const char* s = *p;
  while (s < end && is_space(*s)) ++s;
  if (s == end) return false;
  tok->clear();
  size_t sign = 0;
  if (*s == '-' || *s == '+') {
    tok->push_back(*s++);
    sign = 1;
    if (s == end) return false;
  }
  if (lower(*s) == 'n') {
    if (!take_word(&s, end, "nan", tok)) return false;
  } else if (lower(*s) == 'i') {
    if (!take_word(&s, end, "inf", tok)) return false;
    if (s < end && lower(*s) == 'i' && !take_word(&s, end, "inity", tok)) return false;
  } else {
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    char exp_char = 'e';
    if (*s == '0') {
      tok->push_back(*s++);
      if (s < end && lower(*s) == 'x') {
        tok->push_back(*s++);
        hex = true;
        exp_char = 'p';
      } else {
        got_digit = true;
      }
    }
    for (; s < end; ++s) {
      char c = *s;
      if (is_digit(c) || (!got_e && hex && is_xdigit(c))) {
        got_digit = true;
      } else if (got_e && tok->back() == exp_char && (c == '-' || c == '+')) {
      } else if (got_digit && !got_e && lower(c) == exp_char) {
        c = exp_char;
        got_e = got_dot = true;
      } else if (c == '.' && !got_dot) {
        got_dot = true;
      } else {
        break;
      }
      tok->push_back(c);
    }
    if (tok->size() == sign || (hex && tok->size() == 2 + sign)) return false;
  }
  char* stop = nullptr;
  double d = strtod_l(tok->c_str(), &stop, c_locale());
  if (stop == tok->c_str()) return false;
  *v = d;
  *p = s;
  return true;
}

const char* line_end(std::string_view line) {
  const void* nul = memchr(line.data(), '\0', line.size());
  return nul ? static_cast<const char*>(nul) : line.data() + line.size();
}

}  // namespace

void ColumnLine::parse(std::string_view line) {
  values.clear();
  const char* p = line.data();
  const char* end = line_end(line);
  double v;
  while (scan_double(&p, end, &v, &token_)) values.push_back(v);
}

bool line_has_number(std::string_view line) {
  std::string tok;
  const char* p = line.data();
  double v;
  return scan_double(&p, line_end(line), &v, &tok);
}

int get_ncol(const ColumnLine& line, scanRef& lIndex) {
  if (lIndex.ncol >= 1) return lIndex.ncol;
  size_t n = line.values.size();
  lIndex.ncol = n == 0 ? -1 : (n > INT32_MAX ? INT32_MAX : int(n));
  return lIndex.ncol;
}

int get_ncol(std::string_view line, scanRef& lIndex) {
  if (lIndex.ncol >= 1) return lIndex.ncol;
  ColumnLine cl;
  cl.parse(line);
  return get_ncol(cl, lIndex);
}

double getdouble(const ColumnLine& line, int pos, int ncol, int* err) {
  int64_t col = pos < 0 ? int64_t(pos) + 1 + ncol : pos;
  if (col < 1) col = 1;
  if (uint64_t(col) > line.values.size()) {
    *err = -1;
    return NAN;
  }
  *err = 0;
  return line.values[size_t(col - 1)];
}

double getdouble(std::string_view line, int pos, int ncol, int* err) {
  ColumnLine cl;
  cl.parse(line);
  return getdouble(cl, pos, ncol, err);
}
