#include "index/scan_reader.h"

#include <cstring>

#include "base/text.h"
#include "index/index_table.h"

namespace {
constexpr size_t kBlock = 64 * 1024;

// The last byte of [b, b + n) that is not white space, or `none`.
char last_nonspace(const char* b, size_t n, char none) {
  while (n > 0 && is_space(b[n - 1])) n--;
  return n > 0 ? b[n - 1] : none;
}
}  // namespace

ScanReader::ScanReader(FILE* inf, int64_t offset)
    : fd_(inf ? fileno(inf) : -1), buf_base_(offset), line_end_(offset) {
  if (fd_ < 0 || offset < 0) eof_ = true;
}

bool ScanReader::fill() {
  if (eof_) return false;
  buf_base_ += static_cast<int64_t>(buf_.size());
  buf_.resize(kBlock);
  start_ = 0;
  size_t n = read_block(fd_, &buf_[0], kBlock, buf_base_);
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
  // The usual case: the whole line lies in the block read last, and is
  // handed out where it lies.
  if (start_ < buf_.size()) {
    const char* b = buf_.data() + start_;
    const char* nl = static_cast<const char*>(memchr(b, '\n', buf_.size() - start_));
    if (nl) {
      const size_t take = static_cast<size_t>(nl - b) + 1;
      start_ += take;
      line_end_ = buf_base_ + static_cast<int64_t>(start_);
      view_ = std::string_view(b, take);
      last_ = last_nonspace(b, take, '\0');
      *line = view_;
      return true;
    }
  }
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
        last_ = last_nonspace(line_.data(), line_.size(), '\0');
        held_end_ = line_start + static_cast<int64_t>(line_.size());
      }
    }
    if (cut_) last_ = last_nonspace(b, take, last_);
    start_ += take;
    if (nl) break;
  }
  if (!any) return false;
  line_end_ = buf_base_ + static_cast<int64_t>(start_);
  if (!cut_) last_ = last_nonspace(line_.data(), line_.size(), '\0');
  view_ = line_;
  *line = view_;
  return true;
}

bool ScanReader::copy_rest(FILE* out) {
  if (!cut_) return true;
  bool ok = true;
  std::string chunk(kBlock, '\0');
  int64_t at = held_end_;
  while (at < line_end_) {
    size_t want = line_end_ - at < static_cast<int64_t>(kBlock) ? static_cast<size_t>(line_end_ - at)
                                                                : kBlock;
    size_t n = read_block(fd_, &chunk[0], want, at);
    if (n == 0) break;
    if (fwrite(chunk.data(), 1, n, out) != n) ok = false;
    at += static_cast<int64_t>(n);
  }
  cut_ = false;
  return ok;
}

bool ScanReader::copy_line(FILE* out) {
  bool ok = fwrite(view_.data(), 1, view_.size(), out) == view_.size();
  return copy_rest(out) && ok;
}
