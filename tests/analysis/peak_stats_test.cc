#include "analysis/peak_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "index/index_testing.h"

namespace {

std::string line_of(const ScanStats& s) {
  MemOut out;
  write_stats_line(out.f(), s);
  return out.str();
}

// The rules on small hand-worked curves: the end of each statistics line.
TEST(PeakStats, RulesOnSmallCurves) {
  using V = std::vector<double>;
  const std::tuple<V, V, std::string> cases[] = {
      {{}, {}, "points=0 skipped=0 ymin=nan ymax=nan\n"},
      {{1, 2}, {3, 5}, "points=2 skipped=0 ymin=3 ymax=5\n"},  // counts and range only
      // Half level 5: left between (1,0) and (2,10), right between (3,6) and (4,2).
      {{0, 1, 2, 3, 4}, {0, 0, 10, 6, 2}, "fwhm=1.75 centre=2.375 com=2.555555556 integral=17\n"},
      // A point right at the half level is the crossing.
      {{0, 1, 2, 3, 4}, {0, 5, 10, 5, 0}, "ymax=10 xpeak=2 fwhm=2 centre=2 com=2 integral=20\n"},
      {{0, 1, 2, 3}, {0, 4, 8, 10}, "xpeak=3 fwhm=nan centre=nan com=2.272727273 integral=17\n"},
      // Equal x neighbours are monotonic.
      {{0, 1, 1, 2}, {0, 10, 10, 0}, "ymin=0 ymax=10 xpeak=1 fwhm=1 centre=1 com=1 integral=10\n"},
      // The first greatest y in order of increasing x, for either direction.
      {{0, 1, 2, 3, 4}, {0, 10, 0, 10, 0}, "xpeak=1 fwhm=1 centre=1 com=2 integral=20\n"},
      {{4, 3, 2, 1, 0}, {0, 10, 0, 10, 0}, "xpeak=1 fwhm=1 centre=1 com=2 integral=20\n"},
      {{0, 2, 1, 3}, {0, 10, 5, 0}, "xpeak=2 fwhm=nan centre=nan com=1.666666667 integral=nan\n"},
      {{0, 1, 2}, {4, 4, 4}, "ymin=4 ymax=4 xpeak=0 fwhm=nan centre=nan com=nan integral=8\n"},
  };
  for (const auto& [x, y, want] : cases) {
    ScanStats s;
    s.peak = peak_stats(x, y);
    const std::string got = line_of(s);
    EXPECT_EQ(want, got.substr(got.size() - std::min(got.size(), want.size()))) << got;
  }
}

// Through the point reader: unusable x or y skipped and counted; low monitors left out.
TEST(ScanStats, SkipsAndNormalisationRule) {
  Indexed f(
      "#S 4 peak\n#N 3\n0 100 10\n1 200 80\n"
      "2 0.5 999\n3 nan 999\n"   // monitor below 1, not a number
      "4 100 nan\n5 100 inf\n"   // y not a number, infinite
      "6 100 40\n7 100 10\n8\n"  // y and monitor missing
      "#S 5 short\n0 1\n1 nan\n2 3\n");
  ColumnChoice cols;  // x 1, y -1, monitor -2
  EXPECT_EQ(line_of(scan_stats(f.t, 0, cols, false)),
            "scan=4 i=1 points=6 skipped=3 ymin=10 ymax=999 xpeak=2 fwhm=3.085008754 "
            "centre=3.004419502 com=2.5 integral=3167\n");
  EXPECT_EQ(line_of(scan_stats(f.t, 0, cols, true)),
            "scan=4 i=1 points=4 skipped=3 low_monitor=2 ymin=0.1 ymax=0.4 xpeak=1 fwhm=6 "
            "centre=3.5 com=3.5 integral=2.5\n");
  EXPECT_EQ(line_of(scan_stats(f.t, 1, cols, false)),
            "scan=5 i=2 points=2 skipped=1 ymin=1 ymax=3\n");
}

}  // namespace
