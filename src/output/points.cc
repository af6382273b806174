#include "output/points.h"

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols)
    : t_(t), r_(r), cols_(cols), in_(t.inf, r.vseek), end_(r.vseek) {}

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols, const Resume& from)
    : t_(t),
      r_(r),
      cols_(cols),
      in_(t.inf, from.offset),
      handled_(from.data_lines),
      end_(from.offset),
      until_(from.until) {
  if (handled_ > 0) ncol_ = t_.ncol = from.ncol;
}

PointReader::Step PointReader::next() {
  if (done_) return kEnd;
  if (until_ >= 0) {
    // Only lines the table has seen whole: the rest waits for a later walk.
    if (end_ >= until_ || !in_.next(&line_) || !in_.line_is_whole() || in_.tell() > until_) {
      done_ = true;
      return kEnd;
    }
  } else if (handled_ >= r_.lines || !in_.next(&line_)) {
    return kEnd;
  }
  end_ = in_.tell();
  if (line_[0] == '#') return kComment;
  cl_.parse(line_);
  if (handled_++ == 0) ncol_ = t_.ncol = get_ncol(cl_, r_);
  return kData;
}
