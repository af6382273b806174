#include "output/points.h"

#include <gtest/gtest.h>

#include <string>

#include "scan_fixture.h"

namespace {

// The walk as text: each data line as "x@line", a '#' line as "#@line",
// and the values parsed of each data line as "[n]" when `counts`.
std::string walk(ScanFixture& f, int ref, std::initializer_list<int> only = {},
                 bool counts = false) {
  PointReader pr(f.t, f.t.Index[size_t(ref)], f.st);
  if (only.size()) pr.read_only(only);
  std::string s;
  for (PointReader::Step step; (step = pr.next()) != PointReader::kEnd;) {
    int err;
    double x = pr.x(&err);
    s += step == PointReader::kComment ? "#" : err ? "?" : std::to_string(int(x));
    s += "@" + std::to_string(pr.line_number());
    if (counts && step == PointReader::kData) {
      s += "[" + std::to_string(pr.values().values.size()) + "]";
    }
    s += " ";
  }
  return s;
}

TEST(PointReader, PassesOverSpectrumLines) {
  ScanFixture f(kSpectrumFile);
  EXPECT_EQ(walk(f, 0), "1@5 2@9 3@11 #@13 4@14 ");
  EXPECT_EQ(walk(f, 1), "5@18 ");
  // A spectrum line longer than the reader holds still continues.
  std::string wide = "@A";
  while (wide.size() < ScanReader::kMaxHeld + 100) wide += " 7";
  ScanFixture g("#S 1 a\n1 2\n" + wide + "\\\n 3 4\n5 6\n");
  EXPECT_EQ(walk(g, 0), "1@2 5@5 ");
}

TEST(PointReader, ReadsOnlyAsFarAsTheColumnsAsked) {
  ScanFixture f("#S 1 a\n#N 4\n1 2 3 4 5\n6 7 8 9\n");
  EXPECT_EQ(walk(f, 0, {1, 2}, true), "1@3[2] 6@4[2] ");
  EXPECT_EQ(walk(f, 0, {1, -2}, true), "1@3[3] 6@4[3] ");  // -2 is column 3 of 4
  EXPECT_EQ(walk(f, 0, {}, true), "1@3[5] 6@4[4] ");
  // Without #N the count is taken from the first data line read whole.
  ScanFixture g("#S 1 a\n1 2 3 4 5\n6 7 8 9\n");
  EXPECT_EQ(walk(g, 0, {-1, 1}, true), "1@2[5] 6@3[4] ");
  EXPECT_EQ(g.t.Index[0].ncol, 5);
  EXPECT_EQ(g.t.ncol, 5);
}

}  // namespace
