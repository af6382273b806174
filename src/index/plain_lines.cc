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
  uint64_t nl;     // a line feed
  uint64_t digit;  // '1' to '9'
  uint64_t minus;  // '-'
};

// Counts 64 bytes at a time from `line` (which begins as a counted line),
// with `piece` finding the line feeds, digits and minus signs; the short
// rest goes line by line. Always inlined, so that `piece` and the bit counts
// are made with the caller's instructions (popcnt where it may use it).
template <Piece (*piece)(const char*)>
__attribute__((always_inline)) inline const char* count_pieces(const char* line, const char* end,
                                                               int64_t* counted) {
  const char* p = line;
  uint64_t carry = 0;  // 1 when byte 0 of the piece begins a line (line itself is checked)
  int64_t n = 0;
  for (; end - p > 64; p += 64) {
    const Piece k = piece(p);
    const uint64_t plain = k.digit | (k.minus & (k.digit >> 1));
    const uint64_t bad = ((k.nl << 1) | carry) & ~plain;
    // A minus in the last byte is followed by the next piece's first.
    if (bad && !(bad == uint64_t(1) << 63 && p[63] == '-' && digit19(p[64]))) {
      *counted += n + __builtin_popcountll(k.nl & ((bad & (0 - bad)) - 1));
      return p + __builtin_ctzll(bad);
    }
    n += __builtin_popcountll(k.nl);
    carry = k.nl >> 63;
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
  Piece k{0, 0, 0};
  const __m128i nl = _mm_set1_epi8('\n'), minus = _mm_set1_epi8('-');
  const __m128i shift = _mm_set1_epi8(kDigitShift), limit = _mm_set1_epi8(kDigitLimit);
  for (int i = 0; i < 4; i++) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i digit = _mm_cmpgt_epi8(limit, _mm_add_epi8(v, shift));
    k.nl |= mask16(_mm_cmpeq_epi8(v, nl)) << (16 * i);
    k.digit |= mask16(digit) << (16 * i);
    k.minus |= mask16(_mm_cmpeq_epi8(v, minus)) << (16 * i);
  }
  return k;
}

const char* count_sse2(const char* line, const char* end, int64_t* counted) {
  return count_pieces<piece_sse2>(line, end, counted);
}

__attribute__((target("avx2"))) inline uint64_t mask32(__m256i v) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}

__attribute__((target("avx2"))) inline Piece piece_avx2(const char* p) {
  const __m256i nl = _mm256_set1_epi8('\n'), minus = _mm256_set1_epi8('-');
  const __m256i shift = _mm256_set1_epi8(kDigitShift), limit = _mm256_set1_epi8(kDigitLimit);
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const __m256i da = _mm256_cmpgt_epi8(limit, _mm256_add_epi8(a, shift));
  const __m256i db = _mm256_cmpgt_epi8(limit, _mm256_add_epi8(b, shift));
  return {mask32(_mm256_cmpeq_epi8(a, nl)) | mask32(_mm256_cmpeq_epi8(b, nl)) << 32,
          mask32(da) | mask32(db) << 32,
          mask32(_mm256_cmpeq_epi8(a, minus)) | mask32(_mm256_cmpeq_epi8(b, minus)) << 32};
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
