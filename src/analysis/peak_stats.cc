#include "analysis/peak_stats.h"

#include <string>

#include "read/points.h"

namespace {

struct Point {
  double x = NAN;
  double y = NAN;
};

// Where the line through a (at or below the level) and b (above it) meets
// the level.
double crossing(const Point& a, const Point& b, double level) {
  if (b.y == a.y) return a.x;
  return a.x + (level - a.y) * (b.x - a.x) / (b.y - a.y);
}

// What the first walk learns: the count, the y range, where the greatest y
// lies, the direction of x and the trapezoid sum.
struct FirstWalk {
  int64_t n = 0;
  double ymin = NAN, ymax = NAN;
  int64_t first_max = 0, last_max = 0;
  double x_first_max = NAN, x_last_max = NAN;
  bool rises = true, falls = true;  // x never decreases / never increases
  double trapezoids = 0;
  Point prev;

  void add(double x, double y) {
    if (n == 0 || y < ymin) ymin = y;
    if (n == 0 || y > ymax) {
      ymax = y;
      first_max = n;
      x_first_max = x;
    }
    if (y == ymax) {
      last_max = n;
      x_last_max = x;
    }
    if (n > 0) {
      if (x < prev.x) rises = false;
      if (x > prev.x) falls = false;
      // Each trapezoid as it is with x increasing, whichever way the scan ran.
      trapezoids += std::fabs(x - prev.x) * (prev.y + y) / 2;
    }
    prev = {x, y};
    n++;
  }
};

// The second walk, once the peak and the half level are known: the sums of
// the centre of mass and the half-level crossings next to the peak, on the
// side before it and after it in file order.
struct SecondWalk {
  int64_t peak;
  double ymin, half;
  int64_t k = 0;
  double weights = 0, moments = 0;
  Point before_low, before_high, after_low, after_high, prev;
  bool have_before = false, need_before_high = false, have_after = false;

  void add(double x, double y) {
    const Point p{x, y};
    weights += y - ymin;
    moments += x * (y - ymin);
    if (k < peak && y <= half) {
      before_low = p;
      have_before = need_before_high = true;
    } else if (need_before_high && k <= peak) {
      before_high = p;
      need_before_high = false;
    } else if (k > peak && !have_after && y <= half) {
      after_low = p;
      after_high = prev;
      have_after = true;
    }
    prev = p;
    k++;
  }
};

}  // namespace

PeakStats peak_stats(const PointWalk& walk) {
  PeakStats r;
  FirstWalk w1;
  walk([&w1](double x, double y) { w1.add(x, y); });
  r.points = w1.n;
  if (w1.n == 0) return r;
  r.ymin = w1.ymin;
  r.ymax = w1.ymax;
  if (w1.n < 3) return r;

  const bool monotonic = w1.rises || w1.falls;
  const bool backwards = w1.falls && !w1.rises;
  // The first greatest y in order of increasing x.
  const int64_t peak = backwards ? w1.last_max : w1.first_max;
  r.xpeak = backwards ? w1.x_last_max : w1.x_first_max;
  if (monotonic) r.integral = w1.trapezoids;
  if (w1.ymax == w1.ymin) return r;  // flat: no peak, no centre

  SecondWalk w2;
  w2.peak = peak;
  w2.ymin = w1.ymin;
  w2.half = w1.ymin + (w1.ymax - w1.ymin) / 2;
  walk([&w2](double x, double y) { w2.add(x, y); });
  r.com = w2.moments / w2.weights;
  if (!monotonic || !w2.have_before || w2.need_before_high || !w2.have_after) return r;
  double a = crossing(w2.before_low, w2.before_high, w2.half);
  double b = crossing(w2.after_low, w2.after_high, w2.half);
  const double left = backwards ? b : a;
  const double right = backwards ? a : b;
  r.fwhm = right - left;
  r.centre = (left + right) / 2;
  return r;
}

PeakStats peak_stats(const std::vector<double>& x, const std::vector<double>& y) {
  return peak_stats([&x, &y](const PointVisitor& visit) {
    for (size_t k = 0; k < x.size() && k < y.size(); k++) visit(x[k], y[k]);
  });
}

ScanPointCounts walk_scan_points(IndexTable& t, scanRef& r, const ColumnChoice& cols,
                                 bool normalize,
                                 const std::function<void(const ScanPoint&)>& visit) {
  ScanPointCounts counts;
  PointReader in(t, r, cols);
  if (normalize) {
    in.read_only({cols.xcol, cols.ycol, cols.zcol});
  } else {
    in.read_only({cols.xcol, cols.ycol});
  }
  PointReader::Step step;
  while ((step = in.next()) != PointReader::kEnd) {
    if (step != PointReader::kData) continue;
    int ex, ey, ez;
    ScanPoint p{in.x(&ex), in.y(&ey), 0.0};
    if (ex || ey || !std::isfinite(p.x) || !std::isfinite(p.y)) {
      counts.skipped++;
      continue;
    }
    if (normalize) {
      // Unlike the plot, a point that cannot be normalised is left out
      // rather than kept unnormalised among normalised ones.
      p.z = in.z(&ez);
      if (ez || !std::isfinite(p.z) || !(p.z >= 1)) {
        counts.low_monitor++;
        continue;
      }
    }
    visit(p);
  }
  return counts;
}

ScanStats scan_stats(IndexTable& t, int ref, const ColumnChoice& cols, bool normalize) {
  ScanStats s;
  scanRef& r = t.Index[ref];
  s.scan = r.scan;
  s.pos = ref + 1;
  s.normalize = normalize;
  bool first = true;
  s.peak = peak_stats([&](const PointVisitor& visit) {
    ScanPointCounts counts = walk_scan_points(t, r, cols, normalize, [&](const ScanPoint& p) {
      visit(p.x, normalize ? p.y / p.z : p.y);
    });
    if (first) {
      s.skipped = counts.skipped;
      s.low_monitor = counts.low_monitor;
    }
    first = false;
  });
  return s;
}

std::string number_text(double v) {
  if (std::isnan(v)) return "nan";
  char text[32];
  snprintf(text, sizeof text, "%.10g", v);
  return text;
}

namespace {
std::string num(double v) { return number_text(v); }
}  // namespace

void write_stats_line(FILE* out, const ScanStats& s) {
  const PeakStats& p = s.peak;
  fprintf(out, "scan=%d i=%d points=%lld skipped=%lld", s.scan, s.pos,
          static_cast<long long>(p.points), static_cast<long long>(s.skipped));
  if (s.normalize) fprintf(out, " low_monitor=%lld", static_cast<long long>(s.low_monitor));
  fprintf(out, " ymin=%s ymax=%s", num(p.ymin).c_str(), num(p.ymax).c_str());
  if (p.points >= 3)
    fprintf(out, " xpeak=%s fwhm=%s centre=%s com=%s integral=%s", num(p.xpeak).c_str(),
            num(p.fwhm).c_str(), num(p.centre).c_str(), num(p.com).c_str(),
            num(p.integral).c_str());
  fputc('\n', out);
}

void write_stats_header(FILE* out) {
  fputs("# scan i points skipped low_monitor ymin ymax xpeak fwhm centre com integral\n", out);
}

void write_stats_row(FILE* out, const ScanStats& s) {
  const PeakStats& p = s.peak;
  fprintf(out, "%d %d %lld %lld %lld %s %s %s %s %s %s %s\n", s.scan, s.pos,
          static_cast<long long>(p.points), static_cast<long long>(s.skipped),
          static_cast<long long>(s.low_monitor), num(p.ymin).c_str(), num(p.ymax).c_str(),
          num(p.xpeak).c_str(), num(p.fwhm).c_str(), num(p.centre).c_str(), num(p.com).c_str(),
          num(p.integral).c_str());
}
