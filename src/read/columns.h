// Reads numeric columns out of one data line. A line's columns are the
// numbers that successive "%lf" conversions take from its start: each skips
// white space, then reads one number (sign, digits, point, exponent, hex
// floats, nan, inf). No separator is needed where a sign starts the next
// number ("1.5-2" is two columns); the first text that is not a number (a
// comma, a word) ends the columns. Numbers are read in the C locale whatever
// the process locale is. A NUL byte ends the line.
#ifndef KURVATAB_READ_COLUMNS_H_
#define KURVATAB_READ_COLUMNS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_table.h"

// The numbers of one line, parsed once; any number of columns.
struct ColumnLine {
  std::vector<double> values;
  // Replaces `values` by the columns of `line`, or by its first `most`
  // columns (fewer when the line has fewer).
  void parse(std::string_view line, size_t most = SIZE_MAX);
  // Parses the first convert.size() columns, converting only those whose
  // entry is true; the others are read past as numbers all the same, and
  // hold NaN.
  void parse(std::string_view line, const std::vector<char>& convert);

 private:
  std::string token_;  // scratch space kept between lines
};

// Column count of a scan: the record's ncol when it is 1 or more (the line is
// not looked at), else the count of `line`, -1 when not even one number reads.
// A counted value is stored in the record, -1 included, so a later call counts
// again.
int get_ncol(std::string_view line, scanRef& lIndex);
int get_ncol(const ColumnLine& line, scanRef& lIndex);

// Column `pos` of the line: a negative `pos` counts from `ncol` (-1 is column
// `ncol`); a column number of 1 or less reads the first column. Sets *err to
// 0 when read, -1 when the line has no such column (the result is then NaN).
double getdouble(const ColumnLine& line, int pos, int ncol, int* err);
double getdouble(std::string_view line, int pos, int ncol, int* err);

#endif  // KURVATAB_READ_COLUMNS_H_
