// The indexer's fast path: most lines of a scan's data begin with a digit 1
// to 9, or a minus and such a digit, and are counted without reading them.
#ifndef KURVATAB_INDEX_PLAIN_LINES_H_
#define KURVATAB_INDEX_PLAIN_LINES_H_

#include <cstdint>

// The instructions the count is made with: the language's alone (line by
// line), SSE2, or AVX2 and popcnt (64 bytes at a time).
enum class PlainLinesPath { kPortable, kSse2, kAvx2 };

// The most the processor has.
PlainLinesPath plain_lines_best();

// Counts the lines from `line`, the start of a line, while each begins as a
// counted data line does (a digit 1 to 9, or a minus and such a digit) and
// ends in a line feed before `end`. Returns the start of the first line that
// does not begin so, or of the unfinished line at the end (end itself when
// the last line counted ends there); adds the lines counted to *counted.
// Where the bytes in [line, end) cannot tell (a minus as the last byte), the
// line is not counted. `path` must be one the processor has.
const char* count_plain_lines_with(PlainLinesPath path, const char* line, const char* end,
                                   int64_t* counted);

inline const char* count_plain_lines(const char* line, const char* end, int64_t* counted) {
  return count_plain_lines_with(plain_lines_best(), line, end, counted);
}

#endif  // KURVATAB_INDEX_PLAIN_LINES_H_
