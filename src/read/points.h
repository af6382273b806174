// One walk over a scan's data lines, shared by everything that reads a
// scan's values: the column exports, the plot, the statistics and the HDF5
// export. Each consumer applies its own rules (when to stop, what to do with
// a point whose y cannot be read) on top of what the reader hands out.
//
// The walk starts at the record's first data line and hands out, in file
// order, each '#' line among the data (not counted) and each other line
// (counted) until `lines` data lines were handed out or the file ends.
// Spectrum lines ('@' lines and their continuations, see format/data_line.h)
// are passed over, or read as the spectra of the point whose data line
// follows them (keep_spectra()). On the first data line the scan's column count is taken
// with get_ncol, which stores a counted value in the record as the index
// listing shows it.
#ifndef KURVATAB_READ_POINTS_H_
#define KURVATAB_READ_POINTS_H_

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/options.h"
#include "format/data_line.h"
#include "format/spectrum.h"
#include "index/index_table.h"
#include "index/scan_reader.h"
#include "read/columns.h"

// The error bar of a point whose count y already holds the plot's added
// 1e-6: sqrt(y) from 1 on, else 0. With a monitor z (1 or more) the point
// is y / z and its error sqrt(e^2 + (y / z)^2 / z) / z; z 0 for none.
double count_error(double y, double z);

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
  // Where a walk over a scan that may still be growing takes up again.
  struct Resume {
    int64_t offset = 0;      // just after the last line handed out before
    int64_t data_lines = 0;  // data lines handed out before `offset`
    int ncol = 0;            // the scan's column count, when data_lines > 0
    int64_t until = 0;       // the scan's end as the table knows it
  };

  // A walk that takes up at `from` and hands out each whole line that ends
  // by `from.until` (the record's `lines` is not looked at). A line without
  // its line feed yet, or one that runs past `until`, ends the walk and is
  // not handed out: offset() stays in front of it, so a later walk from
  // there hands it out once it is whole and indexed. With data_lines > 0
  // the column count is `from.ncol` (also set as `t.ncol`).
  PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols, const Resume& from);
  PointReader(const PointReader&) = delete;
  PointReader& operator=(const PointReader&) = delete;

  Step next();

  // Convert only these columns (column numbers as x, y and z have them;
  // negative ones count from the scan's column count), and parse a line only
  // as far as they reach: values() then holds NaN for the other columns and
  // fewer of them. The first data line is still read whole when the count is
  // taken from it.
  void read_only(std::initializer_list<int> cols);
  void read_only(const std::vector<int>& cols);

  // From now on, lines from which no number reads (a blank line, text) are
  // passed over uncounted, so the data lines handed out are exactly the
  // lines the index counted.
  void skip_lines_without_numbers() { numbers_only_ = true; }

  // The spectra before each data line are read: after kData, spectra()
  // holds the point's spectra in turn (none when it has none). The first
  // point's stand before the record's first data line and are read from the
  // header. Spectra after the last data line are not handed out. Call
  // before the first next().
  void keep_spectra() { keep_spectra_ = true; }
  const Spectrum* spectra() const { return spectra_.data(); }
  size_t spectrum_count() const { return n_spectra_; }
  // Spectra passed over (past kMostSpectra) or cut (past kMostChannels) so far.
  int64_t spectra_left_out() const { return left_out_; }

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
  int64_t offset() const { return end_; }          // just after the line handed out

  // The 1-based line number in the file of the line handed out last.
  int64_t line_number();

 private:
  IndexTable& t_;
  scanRef& r_;
  ColumnChoice cols_;
  ScanReader in_;
  ColumnLine cl_;
  DataLineRule rule_;
  std::string_view line_;
  int64_t handled_ = 0;
  int64_t read_ = 0;        // lines read from vseek on, the one handed out last included
  int64_t first_line_ = 0;  // line number of the first data line, once known
  int ncol_ = 0;
  std::vector<int> only_;      // read_only()'s columns; empty: every column
  std::vector<char> convert_;  // for each column up to the last of them: asked for
  int64_t end_;                // just after the last line handed out
  int64_t until_ = -1;         // the end of a resumed walk; -1: stop after `lines`
  bool done_ = false;

  void mark_columns();  // fills convert_ from only_ once the count is known

  bool numbers_only_ = false;

  bool keep_spectra_ = false;
  bool new_point_ = true;          // the next spectrum begins a new point's
  std::vector<Spectrum> spectra_;  // kept between points for their room
  size_t n_spectra_ = 0;           // spectra of the current point
  int64_t left_out_ = 0;
  bool skipping_ = false;  // in a spectrum past kMostSpectra
  std::string scratch_;
  void add_spectrum(std::string_view line, bool first, bool cut);
  void read_first_spectra();
};

#endif  // KURVATAB_READ_POINTS_H_
