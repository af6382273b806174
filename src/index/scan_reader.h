// Reads lines of the scan file from an offset, without a limit on line length
// and with bounded memory. The scan file may have changed since it was
// indexed: the reader simply stops at the end of the file.
#ifndef KURVATAB_INDEX_SCAN_READER_H_
#define KURVATAB_INDEX_SCAN_READER_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "format/scan_file.h"

class ScanReader {
 public:
  // At most this much of one line is held in memory at a time.
  static constexpr size_t kMaxHeld = 4u << 20;

  // Reads `file` (none: an empty file) from `offset` on. `file` must stay
  // open while the reader lives.
  ScanReader(const ScanFile* file, int64_t offset);
  ScanReader(const ScanReader&) = delete;
  ScanReader& operator=(const ScanReader&) = delete;

  // Reads the next line. `line` holds it with its '\n' (when it has one), or,
  // for a line longer than kMaxHeld, its first kMaxHeld bytes (then
  // `line_is_cut()` is true and `copy_rest` can write the remainder). It
  // stays valid until the next call. Returns false at the end of the file or
  // on a read error.
  bool next(std::string_view* line);

  // Reads on to the next line that begins with `c` and starts before the
  // offset `before`, passing over the lines in between without handing them
  // out, and returns it as next() does. False when there is none.
  bool next_beginning_with(char c, int64_t before, std::string_view* line);

  // True when the last line returned is only the start of a longer line.
  bool line_is_cut() const { return cut_; }

  // True when the last line returned ends in its '\n' (false for a last
  // line of the file that has none yet), also for a cut line.
  bool line_is_whole() const { return whole_; }
  // The last byte of the whole line returned last that is not white space
  // ('\0' when there is none), also for a cut line.
  char last_char() const;

  // Writes the rest of a cut line to `out` (nothing for a whole line).
  // Returns false when a write failed.
  bool copy_rest(FILE* out);

  // Drops the rest of a cut line (next() has already read past it; nothing
  // else needs to be done).
  void skip_rest() { cut_ = false; }

  // Offset just after the last line returned (after its '\n'), also for a
  // cut line.
  int64_t tell() const { return line_end_; }

  // Writes the line just read (and the rest of it, when cut) to `out`
  // exactly as it stands in the file. Returns false when a write failed.
  bool copy_line(FILE* out);

 private:
  bool fill();
  const ScanFile* file_;
  int64_t buf_base_;                 // file offset of buf_[0]
  int64_t line_end_;                 // file offset just after the last line returned
  int64_t held_end_ = 0;             // for a cut line: file offset where line_ stops
  std::unique_ptr<char[]> scratch_;  // room for a block read from disk
  size_t block_ = 0;                 // its size
  const char* buf_ = nullptr;        // the block read last (in scratch_ or the file)
  size_t size_ = 0;                  // bytes in it
  size_t start_ = 0;                 // first byte of buf_ not yet handed out
  std::string line_;                 // a line that did not lie in one block
  std::string_view view_;            // the line handed out last (in buf_ or line_)
  bool cut_ = false;
  bool whole_ = false;
  bool last_kept_ = false;  // the line was cut: last_ is its last_char()
  char last_ = '\0';
  bool eof_ = false;
};

#endif  // KURVATAB_INDEX_SCAN_READER_H_
