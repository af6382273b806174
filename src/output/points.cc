#include "output/points.h"

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols)
    : t_(t), r_(r), cols_(cols), in_(t.inf, r.vseek) {}

PointReader::Step PointReader::next() {
  for (;;) {
    if (handled_ >= r_.lines || !in_.next(&line_)) return kEnd;
    if (line_[0] == '#') return kComment;
    cl_.parse(line_);
    if (!numbers_only_ || !cl_.values.empty()) break;
  }
  if (handled_++ == 0) ncol_ = t_.ncol = get_ncol(cl_, r_);
  return kData;
}
