#include "index/scan_reader.h"

#include <cstring>

namespace {
constexpr size_t kBlock = 64 * 1024;
}

ScanReader::ScanReader(FILE* inf, int64_t offset) : inf_(inf), buf_base_(offset), line_end_(offset) {
  if (!inf_ || fseeko(inf_, offset, SEEK_SET) != 0) eof_ = true;
}

bool ScanReader::fill() {
  if (eof_) return false;
  buf_base_ += static_cast<int64_t>(buf_.size());
  buf_.resize(kBlock);
  start_ = 0;
  size_t n = fread(&buf_[0], 1, kBlock, inf_);
  buf_.resize(n);
  if (n == 0) {
    eof_ = true;
    return false;
  }
  return true;
}

bool ScanReader::next(std::string_view* line) {
  line_.clear();
  cut_ = false;
  const int64_t line_start = buf_base_ + static_cast<int64_t>(start_);
  bool any = false;
  for (;;) {
    if (start_ >= buf_.size() && !fill()) break;
    const char* b = buf_.data() + start_;
    const size_t avail = buf_.size() - start_;
    const char* nl = static_cast<const char*>(memchr(b, '\n', avail));
    const size_t take = nl ? static_cast<size_t>(nl - b) + 1 : avail;
    any = true;
    if (!cut_) {
      const size_t room = kMaxHeld - line_.size();
      if (take <= room) {
        line_.append(b, take);
      } else {
        // Keep the start of an over-long line; the rest is only scanned
        // for its end here and copied on demand.
        line_.append(b, room);
        cut_ = true;
        held_end_ = line_start + static_cast<int64_t>(line_.size());
      }
    }
    start_ += take;
    if (nl) break;
  }
  if (!any) return false;
  line_end_ = buf_base_ + static_cast<int64_t>(start_);
  *line = line_;
  return true;
}

bool ScanReader::copy_rest(FILE* out) {
  if (!cut_) return true;
  bool ok = true;
  if (fseeko(inf_, held_end_, SEEK_SET) != 0) {
    ok = false;
  } else {
    std::string chunk(kBlock, '\0');
    int64_t left = line_end_ - held_end_;
    while (left > 0) {
      size_t want = left < static_cast<int64_t>(kBlock) ? static_cast<size_t>(left) : kBlock;
      size_t n = fread(&chunk[0], 1, want, inf_);
      if (n == 0) break;
      if (fwrite(chunk.data(), 1, n, out) != n) ok = false;
      left -= static_cast<int64_t>(n);
    }
  }
  cut_ = false;
  // Put the stream back where the buffered block ends.
  if (fseeko(inf_, buf_base_ + static_cast<int64_t>(buf_.size()), SEEK_SET) != 0) eof_ = true;
  return ok;
}

bool ScanReader::copy_line(FILE* out) {
  bool ok = fwrite(line_.data(), 1, line_.size(), out) == line_.size();
  return copy_rest(out) && ok;
}
