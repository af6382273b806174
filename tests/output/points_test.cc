#include "output/points.h"

#include <gtest/gtest.h>

#include <string>

#include "scan_fixture.h"

namespace {

// Walks `p` to its end; renders each line as "D x y|" or "C text|".
std::string walk(PointReader& p) {
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
  EXPECT_EQ("D 1 100|C #C pause|D 2 200|", walk(first));
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
  EXPECT_EQ("", walk(part));
  EXPECT_EQ(at, part.offset());

  // Resumed with the column count taken before: y is column -1 of 3.
  PointReader rest(f.t, grown, f.st, PointReader::Resume{at, 2, 3, grown.eseek});
  EXPECT_EQ("D 3 300|D 4 400|", walk(rest));
  EXPECT_EQ(4, rest.data_lines());
  EXPECT_EQ(3, f.t.ncol);
}
