#include "index/plain_lines.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KURVATAB_X86 1
#endif

namespace {

inline bool digit19(char c) { return static_cast<unsigned char>(c - '1') < 9; }

// True when the line at p (< end) begins as a counted data line.
inline bool plain_start(const char* p, const char* end) {
  return digit19(p[0]) || (p[0] == '-' && end - p > 1 && digit19(p[1]));
}

// Line by line from `line` on: the short rest of a block.
const char* count_by_line(const char* line, const char* end, int64_t* counted) {
  while (line < end && plain_start(line, end)) {
    const void* e = memchr(line, '\n', static_cast<size_t>(end - line));
    if (!e) break;
    ++*counted;
    line = static_cast<const char*>(e) + 1;
  }
  return line;
}

// The start of the line that holds p - 1, looking back no further than
// `line`, a line start.
const char* line_before(const char* line, const char* p) {
  const void* nl = memrchr(line, '\n', static_cast<size_t>(p - line));
  return nl ? static_cast<const char*>(nl) + 1 : line;
}

#ifdef KURVATAB_X86

// Bit i of each mask stands for byte i of a piece of 64.
struct Piece {
  uint64_t nl;   // a line feed
  uint64_t bad;  // a line feed after which a line does not begin as a counted one
};

// Counts 64 bytes at a time from `line` (which begins as a counted line),
// with `piece` making the masks of the bytes at p (it reads p[0] to p[65]);
// the short rest goes line by line. Always inlined, so that `piece` and the
// bit counts are made with the caller's instructions (popcnt where it may
// use it).
template <Piece (*piece)(const char*)>
__attribute__((always_inline)) inline const char* count_pieces(const char* line, const char* end,
                                                               int64_t* counted) {
  const char* p = line;
  int64_t n = 0;
  for (; end - p > 65; p += 64) {
    const Piece k = piece(p);
    if (k.bad) {
      const int i = __builtin_ctzll(k.bad);
      *counted += n + __builtin_popcountll(k.nl & (~uint64_t(0) >> (63 - i)));
      return p + i + 1;
    }
    n += __builtin_popcountll(k.nl);
  }
  *counted += n;
  return count_by_line(line_before(line, p), end, counted);
}

// '1' to '9' moved to the bottom of the signed bytes (-128 to -120), where
// one signed comparison finds them.
constexpr char kDigitShift = static_cast<char>(0x80 - '1');
constexpr char kDigitLimit = static_cast<char>(-128 + 9);

inline uint64_t mask16(__m128i v) { return static_cast<uint32_t>(_mm_movemask_epi8(v)); }

inline Piece piece_sse2(const char* p) {
  Piece k{0, 0};
  const __m128i nl = _mm_set1_epi8('\n'), minus = _mm_set1_epi8('-');
  const __m128i shift = _mm_set1_epi8(kDigitShift), limit = _mm_set1_epi8(kDigitLimit);
  for (int i = 0; i < 4; i++) {
    const char* q = p + 16 * i;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 2));
    // The line after each byte: a digit, or a minus and a digit.
    const __m128i plain =
        _mm_or_si128(_mm_cmpgt_epi8(limit, _mm_add_epi8(first, shift)),
                     _mm_and_si128(_mm_cmpeq_epi8(first, minus),
                                   _mm_cmpgt_epi8(limit, _mm_add_epi8(second, shift))));
    const __m128i ends = _mm_cmpeq_epi8(v, nl);
    k.nl |= mask16(ends) << (16 * i);
    k.bad |= mask16(_mm_andnot_si128(plain, ends)) << (16 * i);
  }
  return k;
}

const char* count_sse2(const char* line, const char* end, int64_t* counted) {
  return count_pieces<piece_sse2>(line, end, counted);
}

__attribute__((target("avx2"))) inline void masks32(const char* q, uint64_t* nl, uint64_t* bad) {
  const __m256i shift = _mm256_set1_epi8(kDigitShift), limit = _mm256_set1_epi8(kDigitLimit);
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
  const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 2));
  const __m256i plain =
      _mm256_or_si256(_mm256_cmpgt_epi8(limit, _mm256_add_epi8(first, shift)),
                      _mm256_and_si256(_mm256_cmpeq_epi8(first, _mm256_set1_epi8('-')),
                                       _mm256_cmpgt_epi8(limit, _mm256_add_epi8(second, shift))));
  const __m256i ends = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'));
  *nl = static_cast<uint32_t>(_mm256_movemask_epi8(ends));
  *bad = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(plain, ends)));
}

__attribute__((target("avx2"))) inline Piece piece_avx2(const char* p) {
  uint64_t nl0, bad0, nl1, bad1;
  masks32(p, &nl0, &bad0);
  masks32(p + 32, &nl1, &bad1);
  return {nl0 | nl1 << 32, bad0 | bad1 << 32};
}

__attribute__((target("avx2,popcnt"))) const char* count_avx2(const char* line, const char* end,
                                                              int64_t* counted) {
  return count_pieces<piece_avx2>(line, end, counted);
}

#endif  // KURVATAB_X86

}  // namespace

const char* count_plain_lines_with(PlainLinesPath path, const char* line, const char* end,
                                   int64_t* counted) {
  if (line >= end || !plain_start(line, end)) return line;
#ifdef KURVATAB_X86
  if (path == PlainLinesPath::kAvx2) return count_avx2(line, end, counted);
  if (path == PlainLinesPath::kSse2) return count_sse2(line, end, counted);
#endif
  return count_by_line(line, end, counted);
}

PlainLinesPath plain_lines_best() {
#ifdef KURVATAB_X86
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) {
    return PlainLinesPath::kAvx2;
  }
  return PlainLinesPath::kSse2;
#else
  return PlainLinesPath::kPortable;
#endif
}
