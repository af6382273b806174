#include "output/points.h"

#include <algorithm>

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols)
    : t_(t), r_(r), cols_(cols), in_(t.inf, r.vseek) {}

void PointReader::read_only(std::initializer_list<int> cols) { only_.assign(cols); }
void PointReader::read_only(const std::vector<int>& cols) { only_ = cols; }

PointReader::Step PointReader::next() {
  for (;;) {
    if (handled_ >= r_.lines || !in_.next(&line_)) return kEnd;
    read_++;
    const LineKind kind = rule_.next(line_[0], [this] { return in_.last_char() == '\\'; });
    if (kind == LineKind::kSpectrum) continue;
    if (kind == LineKind::kHash) return kComment;
    break;
  }
  if (handled_++ == 0) {
    // The count is the record's (from #N), or that of this line read whole.
    const bool count = r_.ncol < 1;
    if (count) cl_.parse(line_);
    ncol_ = t_.ncol = get_ncol(cl_, r_);
    // A held line has room for at most this many numbers ("1-1-1..."):
    // columns past it are never there.
    constexpr int64_t kMostColumns = int64_t(ScanReader::kMaxHeld / 2 + 1);
    for (int c : only_) {
      const int64_t col = std::max<int64_t>(1, c < 0 ? int64_t(c) + 1 + ncol_ : int64_t(c));
      if (col > kMostColumns) continue;
      if (size_t(col) > convert_.size()) convert_.resize(size_t(col), 0);
      convert_[size_t(col - 1)] = 1;
    }
    if (count) return kData;
  }
  if (only_.empty()) {
    cl_.parse(line_);
  } else {
    cl_.parse(line_, convert_);
  }
  return kData;
}

int64_t PointReader::line_number() {
  // The lines from the #S line to the first data line, counted once.
  if (first_line_ == 0) {
    ScanReader head(t_.inf, r_.hseek);
    std::string_view l;
    int64_t n = 0;
    while (head.tell() < r_.vseek && head.next(&l)) n++;
    first_line_ = r_.lpos + n;
  }
  return first_line_ + read_ - 1;
}
