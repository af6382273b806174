#include "read/columns.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/text.h"

void ColumnLine::parse(std::string_view line, size_t most) {
  values.clear();
  // No number reads across a NUL byte (nothing takes it), so the columns
  // end there as they do at the end of a C string.
  const char* p = line.data();
  const char* end = p + line.size();
  double v;
  while (values.size() < most && read_number(&p, end, &v, &token_)) values.push_back(v);
}

void ColumnLine::parse(std::string_view line, const std::vector<char>& convert) {
  values.clear();
  const char* p = line.data();
  const char* end = p + line.size();
  for (char c : convert) {
    double v = NAN;
    if (c ? !read_number(&p, end, &v, &token_) : !skip_number(&p, end, &token_)) break;
    values.push_back(v);
  }
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
