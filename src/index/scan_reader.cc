#include "index/scan_reader.h"

#include <cstring>

#include "base/text.h"

namespace {
// Blocks start small, as most reads take a few lines of one scan, and
// double while reads fill them.
constexpr size_t kFirstBlock = 4 * 1024;
constexpr size_t kBlock = 64 * 1024;

// The last byte of [b, b + n) that is not white space, or `none`.
char last_nonspace(const char* b, size_t n, char none) {
  while (n > 0 && is_space(b[n - 1])) n--;
  return n > 0 ? b[n - 1] : none;
}
}  // namespace

ScanReader::ScanReader(const ScanFile* file, int64_t offset)
    : file_(file), buf_base_(offset), line_end_(offset) {
  if (!file_ || offset < 0) eof_ = true;
}

bool ScanReader::fill() {
  if (eof_) return false;
  buf_base_ += static_cast<int64_t>(size_);
  if (!scratch_ || (size_ == block_ && block_ < kBlock)) {
    block_ = scratch_ ? 2 * block_ : kFirstBlock;
    scratch_.reset(new char[block_]);
  }
  start_ = 0;
  std::string_view got;
  file_->read(buf_base_, block_, &got, scratch_.get());
  buf_ = got.data();
  size_ = got.size();
  if (size_ == 0) {
    eof_ = true;
    return false;
  }
  return true;
}

bool ScanReader::next(std::string_view* line) {
  line_.clear();
  cut_ = false;
  last_kept_ = false;
  whole_ = false;
  // The usual case: the whole line lies in the block read last, and is
  // handed out where it lies.
  if (start_ < size_) {
    const char* b = buf_ + start_;
    const char* nl = static_cast<const char*>(memchr(b, '\n', size_ - start_));
    if (nl) {
      const size_t take = static_cast<size_t>(nl - b) + 1;
      start_ += take;
      line_end_ = buf_base_ + static_cast<int64_t>(start_);
      view_ = std::string_view(b, take);
      whole_ = true;
      *line = view_;
      return true;
    }
  }
  const int64_t line_start = buf_base_ + static_cast<int64_t>(start_);
  bool any = false;
  for (;;) {
    if (start_ >= size_ && !fill()) break;
    const char* b = buf_ + start_;
    const size_t avail = size_ - start_;
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
        cut_ = last_kept_ = true;
        last_ = last_nonspace(line_.data(), line_.size(), '\0');
        held_end_ = line_start + static_cast<int64_t>(line_.size());
      }
    }
    if (cut_) last_ = last_nonspace(b, take, last_);
    start_ += take;
    if (nl) {
      whole_ = true;
      break;
    }
  }
  if (!any) return false;
  line_end_ = buf_base_ + static_cast<int64_t>(start_);
  view_ = line_;
  *line = view_;
  return true;
}

char ScanReader::last_char() const {
  // Only a cut line needs it kept as it is read; a whole line is at hand.
  return last_kept_ ? last_ : last_nonspace(view_.data(), view_.size(), '\0');
}

bool ScanReader::next_beginning_with(char c, int64_t before, std::string_view* line) {
  for (;;) {
    if (start_ >= size_ && !fill()) return false;
    // start_ is where a line begins.
    if (buf_base_ + static_cast<int64_t>(start_) >= before) return false;
    const char* b = buf_;
    if (b[start_] == c) return next(line);
    // The next c right after a line end, in this block.
    for (size_t i = start_ + 1; i < size_;) {
      const char* h = static_cast<const char*>(memchr(b + i, c, size_ - i));
      if (!h) break;
      i = static_cast<size_t>(h - b);
      if (b[i - 1] == '\n') {
        start_ = i;
        break;
      }
      i++;
    }
    if (start_ < size_ && b[start_] == c) continue;
    // None: go on after the next line end in the blocks that follow.
    const bool line_ends = b[size_ - 1] == '\n';
    start_ = size_;
    while (!line_ends) {
      if (!fill()) return false;
      const char* nl = static_cast<const char*>(memchr(buf_, '\n', size_));
      start_ = nl ? static_cast<size_t>(nl - buf_) + 1 : size_;
      if (nl) break;
    }
  }
}

bool ScanReader::copy_rest(FILE* out) {
  if (!cut_) return true;
  bool ok = true;
  std::string chunk(kBlock, '\0');
  int64_t at = held_end_;
  while (at < line_end_) {
    size_t want = line_end_ - at < static_cast<int64_t>(kBlock)
                      ? static_cast<size_t>(line_end_ - at)
                      : kBlock;
    size_t n = file_->read_fully(at, &chunk[0], want);
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
