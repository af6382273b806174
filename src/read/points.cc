#include "read/points.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols)
    : t_(t), r_(r), cols_(cols), in_(t.inf.get(), r.vseek), end_(r.vseek) {}

PointReader::PointReader(IndexTable& t, scanRef& r, const ColumnChoice& cols, const Resume& from)
    : t_(t),
      r_(r),
      cols_(cols),
      in_(t.inf.get(), from.offset),
      handled_(from.data_lines),
      end_(from.offset),
      until_(from.until) {
  if (handled_ > 0) ncol_ = t_.ncol = from.ncol;
}

void PointReader::read_only(std::initializer_list<int> cols) { only_.assign(cols); }
void PointReader::read_only(const std::vector<int>& cols) { only_ = cols; }

void PointReader::mark_columns() {
  // A held line has room for at most this many numbers ("1-1-1..."):
  // columns past it are never there.
  constexpr int64_t kMostColumns = int64_t(ScanReader::kMaxHeld / 2 + 1);
  for (int c : only_) {
    const int64_t col = std::max<int64_t>(1, c < 0 ? int64_t(c) + 1 + ncol_ : int64_t(c));
    if (col > kMostColumns) continue;
    if (size_t(col) > convert_.size()) convert_.resize(size_t(col), 0);
    convert_[size_t(col - 1)] = 1;
  }
}

// The first point's spectra stand before the scan's first data line, among
// the lines the index counts as the header.
void PointReader::read_first_spectra() {
  ScanReader head(t_.inf.get(), r_.hseek);
  DataLineRule rule;
  std::string_view l;
  while (head.tell() < r_.vseek && head.next(&l)) {
    const bool continued = rule.in_spectrum();
    if (rule.next(l[0], [&head] { return head.last_char() == '\\'; }) != LineKind::kSpectrum) {
      continue;
    }
    add_spectrum(l, !continued, head.line_is_cut());
  }
  rule_ = rule;
}

PointReader::Step PointReader::next() {
  if (done_) return kEnd;
  if (keep_spectra_ && read_ == 0 && handled_ == 0 && until_ < 0) read_first_spectra();
  for (;;) {
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
    read_++;
    const bool continued = rule_.in_spectrum();
    const LineKind kind = rule_.next(line_[0], [this] { return in_.last_char() == '\\'; });
    if (kind == LineKind::kSpectrum) {
      if (keep_spectra_) add_spectrum(line_, !continued, in_.line_is_cut());
      continue;
    }
    if (kind == LineKind::kHash) return kComment;
    if (numbers_only_ && !holds_number(line_)) continue;
    break;
  }
  if (new_point_) n_spectra_ = 0;  // no spectrum stood before this line
  new_point_ = true;
  if (handled_++ == 0) {
    // The count is the record's (from #N), or that of this line read whole.
    const bool count = r_.ncol < 1;
    if (count) cl_.parse(line_);
    ncol_ = t_.ncol = get_ncol(cl_, r_);
    mark_columns();
    if (count) return kData;
  } else if (!only_.empty() && convert_.empty()) {
    mark_columns();  // a resumed walk: the count came with it
  }
  if (only_.empty()) {
    cl_.parse(line_);
  } else {
    cl_.parse(line_, convert_);
  }
  return kData;
}

void PointReader::add_spectrum(std::string_view line, bool first, bool cut) {
  if (new_point_) {
    n_spectra_ = 0;
    new_point_ = false;
  }
  if (first || n_spectra_ == 0) {
    // Spectra beyond the most a point keeps are passed over.
    skipping_ = n_spectra_ >= kMostSpectra;
    if (skipping_) {
      left_out_++;
      return;
    }
    if (spectra_.size() == n_spectra_) spectra_.emplace_back();
    spectra_[n_spectra_++].clear();
  }
  if (skipping_) return;
  Spectrum& sp = spectra_[n_spectra_ - 1];
  const bool was_capped = sp.capped;
  add_spectrum_line(line, first, &sp, &scratch_);
  if (sp.capped && !was_capped) left_out_++;
  // A line longer than the reader holds keeps only its first part.
  if (cut) sp.complete = false;
}

int64_t PointReader::line_number() {
  // The lines from the #S line to the first data line, counted once.
  if (first_line_ == 0) {
    ScanReader head(t_.inf.get(), r_.hseek);
    std::string_view l;
    int64_t n = 0;
    while (head.tell() < r_.vseek && head.next(&l)) n++;
    first_line_ = r_.lpos + n;
  }
  return first_line_ + read_ - 1;
}

double count_error(double y, double z) {
  double e = y >= 1.0 ? std::sqrt(y) : 0.0;
  if (z >= 1.0) e = std::sqrt(e * e + (y / z) * (y / z) / z) / z;
  return e;
}
