#include "read/points.h"

#include <gtest/gtest.h>

#include <string>

#include "scan_fixture.h"

namespace {

// A data line as "x,y[values parsed]", a '#' line as "#"; `lines` adds "@line".
std::string walk(PointReader& p, bool lines = false) {
  std::string s;
  for (PointReader::Step step; (step = p.next()) != PointReader::kEnd;) {
    int ex, ey;
    double x = p.x(&ex), y = p.y(&ey);
    s += step == PointReader::kComment
             ? "#"
             : (ex ? "?" : std::to_string(int(x))) + "," + (ey ? "?" : std::to_string(int(y))) +
                   "[" + std::to_string(p.values().values.size()) + "]";
    s += (lines ? "@" + std::to_string(p.line_number()) : "") + " ";
  }
  return s;
}

std::string walk(ScanFixture& f, int ref, std::initializer_list<int> only = {}) {
  PointReader pr(f.t, f.t.Index[size_t(ref)], f.st);
  if (only.size()) pr.read_only(only);
  return walk(pr, true);
}

TEST(PointReader, PassesOverSpectrumLines) {
  ScanFixture f(kSpectrumFile);
  EXPECT_EQ(walk(f, 0), "1,10[3]@5 2,20[3]@9 3,30[3]@11 #@13 4,40[3]@14 ");
  EXPECT_EQ(walk(f, 1), "5,6[2]@18 ");
  // A spectrum line longer than the reader holds still continues.
  std::string wide = "@A";
  while (wide.size() < ScanReader::kMaxHeld + 100) wide += " 7";
  ScanFixture g("#S 1 a\n1 2\n" + wide + "\\\n 3 4\n5 6\n");
  EXPECT_EQ(walk(g, 0), "1,2[2]@2 5,6[2]@5 ");
}

// Each point as "x:counts" of its spectra ("x:-" without one), "~" after a cut one.
std::string spectra(ScanFixture& f, int ref) {
  PointReader p(f.t, f.t.Index[size_t(ref)], f.st);
  p.keep_spectra();
  std::string s;
  for (PointReader::Step step; (step = p.next()) != PointReader::kEnd;) {
    if (step != PointReader::kData) continue;
    int err;
    s += std::to_string(int(p.x(&err))) + ":" + (p.spectrum_count() ? "" : "-");
    for (size_t k = 0; k < p.spectrum_count(); k++) {
      const Spectrum& sp = p.spectra()[k];
      for (double v : sp.counts) s += std::to_string(int(v)) + ",";
      s += sp.complete ? "|" : "~|";
    }
    s += " ";
  }
  return s;
}

TEST(PointReader, KeepsEachPointsSpectraTheFirstFromTheHeader) {
  ScanFixture f(kSpectrumFile);
  EXPECT_EQ(spectra(f, 0), "1:- 2:0,1,2,3,4,5,6,7,8,9,10,11,| 3:5,5,5,5,| 4:1,2,~| ");
  EXPECT_EQ(spectra(f, 1), "5:9,9,9,9,| ");
  ScanFixture g("#S 1 a\n#N 2\n@A1 1 2\n@A2 3\\\n 4\n1 2\n@A1 5\n2 3\n");
  EXPECT_EQ(spectra(g, 0), "1:1,2,|3,4,| 2:5,| ");
}

TEST(PointReader, ReadsOnlyAsFarAsTheColumnsAsked) {
  ScanFixture f("#S 1 a\n#N 4\n1 2 3 4 5\n6 7 8 9\n");
  EXPECT_EQ(walk(f, 0, {1, 2}), "1,?[2]@3 6,?[2]@4 ");
  EXPECT_EQ(walk(f, 0, {1, -2}), "1,?[3]@3 6,?[3]@4 ");  // -2 is column 3 of 4
  EXPECT_EQ(walk(f, 0), "1,4[5]@3 6,9[4]@4 ");
  // Without #N the count is taken from the first data line read whole.
  ScanFixture g("#S 1 a\n1 2 3 4 5\n6 7 8 9\n");
  EXPECT_EQ(walk(g, 0, {-1, 1}), "1,5[5]@2 6,?[4]@3 ");
  EXPECT_EQ(std::to_string(g.t.Index[0].ncol) + " " + std::to_string(g.t.ncol),
            "5 5");  // record, table
}

TEST(PointReader, ResumedWalkHandsOutEachWholeLineOnce) {
  const std::string head = "#S 1 a\n#N 3\n1 10 100\n#C pause\n2 10 200\n";
  ScanFixture f(head + "3 10 3");
  scanRef& r = f.t.Index[0];
  PointReader first(f.t, r, f.st, PointReader::Resume{r.vseek, 0, 0, r.eseek});
  // The last line has no line feed yet: it is not handed out.
  EXPECT_EQ(walk(first), "1,100[3] # 2,200[3] ");
  const int64_t at = first.offset();
  EXPECT_EQ(at, int64_t(head.size()));
  EXPECT_EQ(std::to_string(first.data_lines()) + " " + std::to_string(first.ncol()), "2 3");

  append_file(f.path, "00\n4 10 400\n5 10");
  ASSERT_EQ(IndexChange::kGrown, index_refresh(f.t).kind);
  scanRef& grown = f.t.Index[0];
  // A walk that stops in the middle of a line leaves that line for later.
  PointReader part(f.t, grown, f.st, PointReader::Resume{at, 2, 3, at + 5});
  EXPECT_EQ(walk(part), "");
  EXPECT_EQ(part.offset(), at);
  // Resumed with the column count taken before: y is column -1 of 3.
  PointReader rest(f.t, grown, f.st, PointReader::Resume{at, 2, 3, grown.eseek});
  rest.read_only({1, -1});
  EXPECT_EQ(walk(rest), "3,300[3] 4,400[3] ");
  EXPECT_EQ(std::to_string(rest.data_lines()) + " " + std::to_string(f.t.ncol), "4 3");
}

}  // namespace
