// One walk over a scan's data lines, shared by everything that reads a
// scan's values: the column exports, the plot, the statistics and the HDF5
// export. Each consumer applies its own rules (when to stop, what to do with
// a point whose y cannot be read) on top of what the reader hands out.
//
// The walk starts at the record's first data line and hands out, in file
// order, each '#' line among the data (not counted) and each other line
// (counted) until `lines` data lines were handed out or the file ends. On
// the first data line the scan's column count is taken with get_ncol, which
// stores a counted value in the record as the index listing shows it.
#ifndef KURVATAB_OUTPUT_POINTS_H_
#define KURVATAB_OUTPUT_POINTS_H_

#include <cstdint>
#include <string_view>

#include "base/options.h"
#include "index/index_table.h"
#include "index/scan_reader.h"
#include "output/columns.h"

class PointReader {
 public:
  enum Step {
    kEnd,      // all data lines handed out, or the file ended
    kComment,  // a '#' line among the data: line() holds it
    kData,     // a data line: its values are parsed
  };

  // `t.inf` and the record must stay as they are while the reader lives.
  // The running column count `t.ncol` is set on the first data line.
  PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols);
  PointReader(const PointReader&) = delete;
  PointReader& operator=(const PointReader&) = delete;

  Step next();

  // From now on, lines from which no number reads (a blank line, text) are
  // passed over uncounted, so the data lines handed out are exactly the
  // lines the index counted.
  void skip_lines_without_numbers() { numbers_only_ = true; }

  // The line handed out last (possibly cut, see ScanReader), and the reader
  // that can copy it whole.
  std::string_view line() const { return line_; }
  ScanReader& in() { return in_; }

  // For a data line: all its values, and its x, y and monitor. Each of
  // x(), y() and z() sets *err to 0 when the column was read and to -1 when
  // the line has no such column (the value is then NaN).
  const ColumnLine& values() const { return cl_; }
  double column(int pos, int* err) const { return getdouble(cl_, pos, ncol_, err); }
  double x(int* err) const { return column(cols_.xcol, err); }
  double y(int* err) const { return column(cols_.ycol, err); }
  double z(int* err) const { return column(cols_.zcol, err); }

  int ncol() const { return ncol_; }
  int64_t data_lines() const { return handled_; }  // data lines handed out so far
  int64_t offset() const { return in_.tell(); }    // just after the line handed out

 private:
  IndexTable& t_;
  scanRef& r_;
  ColumnChoice cols_;
  ScanReader in_;
  ColumnLine cl_;
  std::string_view line_;
  int64_t handled_ = 0;
  int ncol_ = 0;
  bool numbers_only_ = false;
};

#endif  // KURVATAB_OUTPUT_POINTS_H_
