#include "analysis/peak_stats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/index_testing.h"
#include "testutil.h"

namespace {

std::string line_of(const ScanStats& s) {
  MemOut out;
  write_stats_line(out.f(), s);
  return out.str();
}

std::string line_of(const std::vector<double>& x, const std::vector<double>& y) {
  ScanStats s;
  s.peak = peak_stats(x, y);
  return line_of(s);
}

// The rules on small hand-worked curves; the numpy comparison of the
// end-to-end tests covers realistic ones, flat and not monotonic ones.
TEST(PeakStats, RulesOnSmallCurves) {
  struct Case {
    const char* what;
    std::vector<double> x, y;
    const char* line;
  } cases[] = {
      {"no point", {}, {}, "scan=0 i=0 points=0 skipped=0 ymin=nan ymax=nan\n"},
      {"two points: counts and range only",
       {1, 2},
       {3, 5},
       "scan=0 i=0 points=2 skipped=0 ymin=3 ymax=5\n"},
      // half level 5: left between (1,0) and (2,10) at 1.5; right between
      // (3,6) and (4,2) at 3.25.
      {"triangle",
       {0, 1, 2, 3, 4},
       {0, 0, 10, 6, 2},
       "scan=0 i=0 points=5 skipped=0 ymin=0 ymax=10 xpeak=2 fwhm=1.75 centre=2.375 "
       "com=2.555555556 integral=17\n"},
      {"a point right at the half level is the crossing",
       {0, 1, 2, 3, 4},
       {0, 5, 10, 5, 0},
       "scan=0 i=0 points=5 skipped=0 ymin=0 ymax=10 xpeak=2 fwhm=2 centre=2 com=2 integral=20\n"},
      {"no crossing on the right",
       {0, 1, 2, 3},
       {0, 4, 8, 10},
       "scan=0 i=0 points=4 skipped=0 ymin=0 ymax=10 xpeak=3 fwhm=nan centre=nan "
       "com=2.272727273 integral=17\n"},
      {"equal x neighbours are monotonic",
       {0, 1, 1, 2},
       {0, 10, 10, 0},
       "scan=0 i=0 points=4 skipped=0 ymin=0 ymax=10 xpeak=1 fwhm=1 centre=1 com=1 integral=10\n"},
      // The first greatest y in order of increasing x, for either direction.
      {"two equal maxima",
       {0, 1, 2, 3, 4},
       {0, 10, 0, 10, 0},
       "scan=0 i=0 points=5 skipped=0 ymin=0 ymax=10 xpeak=1 fwhm=1 centre=1 com=2 integral=20\n"},
      {"two equal maxima, run backwards",
       {4, 3, 2, 1, 0},
       {0, 10, 0, 10, 0},
       "scan=0 i=0 points=5 skipped=0 ymin=0 ymax=10 xpeak=1 fwhm=1 centre=1 com=2 integral=20\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(line_of(c.x, c.y), c.line) << c.what;
}

// A scan file read through the point reader: raw y (nothing added), points
// without a usable x or y skipped and counted, and with normalisation the
// points whose monitor is below 1, missing or not finite left out.
TEST(ScanStats, SkipsAndNormalisationRule) {
  TempDir dir;
  OpenedFile f(dir.write("s.dat",
                         "#S 4 peak\n#N 3\n"
                         "0 100 10\n"
                         "1 200 80\n"
                         "2 0.5 999\n"  // monitor below 1
                         "3 nan 999\n"  // monitor not a number
                         "4 100 nan\n"  // y not a number
                         "5 100 inf\n"  // y infinite
                         "6 100 40\n"
                         "7 100 10\n"
                         "8\n"));  // y and monitor missing
  ColumnChoice cols;               // x 1, y -1, monitor -2

  ScanStats raw = scan_stats(f.t, 0, cols, false);
  EXPECT_EQ(line_of(raw),
            "scan=4 i=1 points=6 skipped=3 ymin=10 ymax=999 xpeak=2 fwhm=3.085008754 "
            "centre=3.004419502 com=2.5 integral=3167\n");

  ScanStats norm = scan_stats(f.t, 0, cols, true);
  EXPECT_EQ(line_of(norm),
            "scan=4 i=1 points=4 skipped=3 low_monitor=2 ymin=0.1 ymax=0.4 xpeak=1 fwhm=6 "
            "centre=3.5 com=3.5 integral=2.5\n");
}

}  // namespace
