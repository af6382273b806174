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

// Walks `p` to its end; renders each line as "D x y|" or "C text|".
std::string walk_all(PointReader& p) {
  std::string r;
  for (PointReader::Step s; (s = p.next()) != PointReader::kEnd;) {
    std::string line(p.line());
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (s == PointReader::kComment) {
      r += "C " + line + "|";
      continue;
    }
    int ex, ey;
    double x = p.x(&ex), y = p.y(&ey);
    r += "D " + std::to_string(int(x)) + " " + std::to_string(int(y)) + "|";
  }
  return r;
}

}  // namespace

TEST(PointReader, ResumedWalkHandsOutEachWholeLineOnce) {
  ScanFixture f("#S 1 a\n#N 3\n1 10 100\n#C pause\n2 10 200\n3 10 3");
  scanRef& r = f.t.Index[0];
  PointReader first(f.t, r, f.st, PointReader::Resume{r.vseek, 0, 0, r.eseek});
  // The last line has no line feed yet: it is not handed out.
  EXPECT_EQ("D 1 100|C #C pause|D 2 200|", walk_all(first));
  EXPECT_EQ(2, first.data_lines());
  EXPECT_EQ(3, first.ncol());
  const int64_t at = first.offset();
  EXPECT_EQ(int64_t(std::string("#S 1 a\n#N 3\n1 10 100\n#C pause\n2 10 200\n").size()), at);

  append_file(f.path, "00\n4 10 400\n5 10");
  ASSERT_EQ(IndexChange::kGrown, index_refresh(f.t).kind);
  scanRef& grown = f.t.Index[0];
  // A walk that stops in the middle of a line leaves that line for later.
  const int64_t mid = at + 5;
  PointReader part(f.t, grown, f.st, PointReader::Resume{at, 2, 3, mid});
  EXPECT_EQ("", walk_all(part));
  EXPECT_EQ(at, part.offset());

  // Resumed with the column count taken before: y is column -1 of 3.
  PointReader rest(f.t, grown, f.st, PointReader::Resume{at, 2, 3, grown.eseek});
  EXPECT_EQ("D 3 300|D 4 400|", walk_all(rest));
  EXPECT_EQ(4, rest.data_lines());
  EXPECT_EQ(3, f.t.ncol);
}
