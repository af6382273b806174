// Statistics of one scan for alignment work: how many points, the y range,
// where the peak is, its full width at half maximum and centre, the centre of
// mass and the integral.
//
// The computation takes two walks over the points in file order and keeps
// nothing per point, so a scan of any length needs no more memory than a
// short one.
//
// Rules, on the points (x, y) as given:
// - ymin, ymax: the least and greatest y; xpeak: x at the greatest y (the
//   first such point in order of increasing x, or in file order when x is
//   not monotonic).
// - FWHM: the half level is ymin + (ymax - ymin)/2. Walking out from the
//   peak on each side, the first point at or below the half level and its
//   neighbour towards the peak give the crossing by linear interpolation;
//   fwhm = right - left, centre = (left + right)/2; NaN when a side has no
//   crossing.
// - com: sum of x*(y - ymin) over sum of (y - ymin).
// - integral: the trapezoid sum of y over x, taken with x increasing.
// - x is monotonic when it never decreases or never increases (equal
//   neighbours allowed). A scan whose x decreases gives the results of the
//   same points in increasing order; one whose x is not monotonic gives NaN
//   for fwhm, centre and integral.
// - A flat scan (ymax == ymin) gives NaN for fwhm, centre and com.
// - With fewer than three points only the count, ymin and ymax are given
//   (NaN for no point at all).
#ifndef KURVATAB_ANALYSIS_PEAK_STATS_H_
#define KURVATAB_ANALYSIS_PEAK_STATS_H_

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/options.h"
#include "index/index_table.h"

struct PeakStats {
  int64_t points = 0;
  double ymin = NAN;
  double ymax = NAN;
  double xpeak = NAN;
  double fwhm = NAN;
  double centre = NAN;
  double com = NAN;
  double integral = NAN;
};

// Hands every point of a scan, in file order, to `visit`. Called twice by
// peak_stats; both walks must hand out the same points.
using PointVisitor = std::function<void(double x, double y)>;
using PointWalk = std::function<void(const PointVisitor& visit)>;

PeakStats peak_stats(const PointWalk& walk);
// The same for points held in memory; x and y have the same length.
PeakStats peak_stats(const std::vector<double>& x, const std::vector<double>& y);

// The statistics of a scan of the index table, with what was left out.
struct ScanStats {
  int scan = 0;  // scan number
  int pos = 0;   // 1-based position in the index table
  bool normalize = false;
  // Data lines that gave no point: x or y missing, not a number, infinite.
  int64_t skipped = 0;
  // With normalisation: points left out because their monitor is below 1,
  // missing, not a number or infinite.
  int64_t low_monitor = 0;
  PeakStats peak;
};

// A scan's points as the statistics and the fit take them: x and raw y of
// the chosen columns; with `normalize`, z is the monitor (y is not yet
// divided by it), else 0.
struct ScanPoint {
  double x, y, z;
};
struct ScanPointCounts {
  int64_t skipped = 0;      // data lines that gave no point (x or y missing or not finite)
  int64_t low_monitor = 0;  // normalising: monitor below 1, missing, not finite
};
// Hands every point of the record `r` to `visit` in file order; returns
// what was left out.
ScanPointCounts walk_scan_points(IndexTable& t, scanRef& r, const ColumnChoice& cols,
                                 bool normalize,
                                 const std::function<void(const ScanPoint&)>& visit);

// Reads the scan at 0-based position `ref` (which must name a record)
// through the shared point reader: x and raw y of the chosen columns, y
// divided by the monitor when `normalize` is set.
ScanStats scan_stats(IndexTable& t, int ref, const ColumnChoice& cols, bool normalize);

// One line: "scan=12 i=4 points=41 ..." (low_monitor only with
// normalisation; fewer than three points: counts, ymin and ymax only).
void write_stats_line(FILE* out, const ScanStats& s);

// The table of a loop: a header line naming the columns, then one row per
// scan; every row has every column, NaN where there is no value.
void write_stats_header(FILE* out);
void write_stats_row(FILE* out, const ScanStats& s);

// A number as the statistics and the check write it: ten significant digits
// in the C locale, "nan" for any NaN.
std::string number_text(double v);

#endif  // KURVATAB_ANALYSIS_PEAK_STATS_H_
