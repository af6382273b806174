// Reads numeric columns out of one data line. A line's columns are the
// numbers that successive "%lf" conversions take from its start; reading
// stops at the first text that is not a number.
#ifndef KURVATAB_OUTPUT_COLUMNS_H_
#define KURVATAB_OUTPUT_COLUMNS_H_

#include <string_view>
#include <vector>

#include "index/index_table.h"

// The numbers of one line, parsed once.
struct ColumnLine {
  std::vector<double> values;
  void parse(std::string_view line);
};

// Column count of a scan: the record's ncol when it is 1 or more, else the
// count of `line` (-1 when not even one number reads), stored in the record.
int get_ncol(std::string_view line, scanRef& lIndex);

// Column `pos` of the line (negative counts from ncol; 1 or less reads the
// first). Sets *err to 0 when read, -1 when not (the result is then NaN).
double getdouble(const ColumnLine& line, int pos, int ncol, int* err);
double getdouble(std::string_view line, int pos, int ncol, int* err);

#endif  // KURVATAB_OUTPUT_COLUMNS_H_
