#include "frontend/settings.h"

#include <climits>
#include <cstdint>

#include "base/text.h"

const char kProgramRelease[] = "kurvatab, rel 2.03";
const char kProgramDate[] = "Dec 12 2002";

const char* onoff(int flag) { return flag ? "on" : "off"; }

int decimal_conversion(const char* c, bool* range_error) {
  int v;
  read_int(c, &v, range_error);
  return v;
}

int getnum(const char* c, int i) {
  int rel = 0;
  for (;; c++) {
    if (*c == '\0' || *c == '\n' || *c == '\r') {
      int64_t r = int64_t(i) + rel;
      return (r > INT_MAX || r < INT_MIN) ? i : static_cast<int>(r);
    }
    if (*c == ' ') continue;
    if (*c == '+') {
      rel = 1;
      continue;
    }
    if (*c == '-') {
      rel = -1;
      continue;
    }
    break;
  }
  bool range_error;
  int n = decimal_conversion(c, &range_error);
  if (range_error) return i;
  if (rel == 0) return n;
  int64_t r = int64_t(i) + int64_t(rel) * n;
  // A move past the int range keeps the base value, as a range error does.
  if (r > INT_MAX || r < INT_MIN) return i;
  return static_cast<int>(r);
}

int getanum(const char* c, int i) {
  while (*c == ' ') c++;
  if (*c == '\0') return i;
  bool range_error;
  int n = decimal_conversion(c, &range_error);
  if (range_error || n == 0) return i;
  return n;
}
