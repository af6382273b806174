#include "output/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace {

// Widths and precisions above this are refused: they only make huge fields.
constexpr int kMaxField = 4096;
// Room for the widest value: 309 integer digits, the point, kMaxField
// decimals and a sign.
constexpr size_t kRoom = 320 + kMaxField;

// The digits at s[*i], as a field size, appended to `conv`; false when the
// size is above kMaxField (the digits are taken all the same).
bool read_field(std::string_view s, size_t* i, int* v, std::string* conv) {
  *v = 0;
  for (; *i < s.size() && is_digit(s[*i]); ++*i) {
    conv->push_back(s[*i]);
    if (*v <= kMaxField) *v = *v * 10 + (s[*i] - '0');
  }
  return *v <= kMaxField;
}

using u128 = unsigned __int128;

constexpr u128 pow10_128(int k) { return k == 0 ? 1 : 10 * pow10_128(k - 1); }
constexpr int kMaxPow = 38;  // 10^38 < 2^127
struct Pow10Table {
  u128 p[kMaxPow + 1];
  constexpr Pow10Table() : p() {
    for (int k = 0; k <= kMaxPow; k++) p[k] = pow10_128(k);
  }
};
constexpr Pow10Table kPow10;

int bit_length(u128 x) {
  const uint64_t hi = uint64_t(x >> 64);
  if (hi) return 128 - __builtin_clzll(hi);
  const uint64_t lo = uint64_t(x);
  return lo ? 64 - __builtin_clzll(lo) : 0;
}

// A finite positive double as m * 2^e, m odd (or 0).
struct Binary {
  uint64_t m;
  int e;
};
Binary binary_of(double av) {
  uint64_t bits;
  memcpy(&bits, &av, sizeof bits);
  const int be = int(bits >> 52 & 0x7ff);
  Binary b{bits & ((uint64_t(1) << 52) - 1), -1074};
  if (be != 0) {
    b.m |= uint64_t(1) << 52;
    b.e = be - 1075;
  }
  if (b.m) {
    const int tz = __builtin_ctzll(b.m);
    b.m >>= tz;
    b.e += tz;
  }
  return b;
}

// floor(v * 10^k) exactly, and how the rest compares with one half (-1, 0,
// 1). False when the numbers do not fit in 128 bits (or the result not in
// 64): the caller takes the general way then.
bool scaled(Binary b, int k, uint64_t* q, int* half) {
  u128 quot, rem, den;
  if (k >= 0) {
    if (k > 22) return false;
    const u128 n = u128(b.m) * kPow10.p[k];  // below 2^53 * 10^22 < 2^127
    if (b.e >= 0) {
      if (bit_length(n) + b.e > 127) return false;
      quot = n << b.e;
      rem = 0;
      den = 2;
    } else if (-b.e >= 128) {
      *q = 0;  // n / 2^128 < 1/2
      *half = n == 0 ? 0 : -1;
      return true;
    } else {
      den = u128(1) << -b.e;
      quot = n >> -b.e;
      rem = n & (den - 1);
    }
  } else {
    if (-k > kMaxPow) return false;
    const u128 d = kPow10.p[-k];
    if (b.e >= 0) {
      if (bit_length(b.m) + b.e > 127) return false;
      const u128 n = u128(b.m) << b.e;
      quot = n / d;
      rem = n % d;
      den = d;
    } else {
      if (bit_length(d) - b.e > 127) return false;
      den = d << -b.e;
      quot = b.m / den;
      rem = b.m % den;
    }
  }
  if (quot >> 64) return false;
  *q = uint64_t(quot);
  const u128 twice = rem << 1;  // den <= 2^127, so no overflow
  *half = twice < den ? -1 : twice > den ? 1 : 0;
  return true;
}

// Rounds to nearest, ties to even, as printf does.
uint64_t rounded(uint64_t q, int half) { return q + (half > 0 || (half == 0 && (q & 1))); }

constexpr uint64_t kPow10_64[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000,
                                  10000000000000000,
                                  100000000000000000,
                                  1000000000000000000,
                                  10000000000000000000u};

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int digit_count(uint64_t q) {
  const int bits = 64 - __builtin_clzll(q | 1);
  const int n = (bits * 1233) >> 12;  // floor(log10(2^bits)), at most 19
  return n + (q >= kPow10_64[n] ? 1 : 0);
}

// The decimal digits of q, at least `width` of them (leading zeros).
size_t put_digits(char* out, uint64_t q, int width) {
  const int n = digit_count(q);
  if (n < width) {
    memset(out, '0', size_t(width - n));
    out += width - n;
  }
  char* p = out + n;
  while (q >= 100) {
    const uint64_t r = q % 100;
    q /= 100;
    p -= 2;
    memcpy(p, kDigitPairs + 2 * r, 2);
  }
  if (q >= 10) {
    memcpy(p - 2, kDigitPairs + 2 * q, 2);
  } else {
    p[-1] = char('0' + q);
  }
  return size_t(n < width ? width : n);
}

// The `sig` significant digits of av (> 0) rounded, and the decimal
// exponent X of the first: av ~ q * 10^(X - sig + 1), 10^(sig-1) <= q <
// 10^sig. False when the exact way does not fit.
bool significant(double av, int sig, uint64_t* q, int* x) {
  const Binary b = binary_of(av);
  const int log2 = b.e + 63 - __builtin_clzll(b.m);
  int guess = int(std::floor(log2 * 0.30102999566398120));  // X or X - 1
  for (int tries = 0; tries < 3; tries++, guess++) {
    uint64_t t;
    int half;
    if (!scaled(b, sig - 1 - guess, &t, &half)) return false;
    if (t >= kPow10_64[sig]) continue;
    if (t < kPow10_64[sig - 1]) return false;  // not expected; let the general way decide
    t = rounded(t, half);
    *x = guess;
    if (t == kPow10_64[sig]) {
      t = kPow10_64[sig - 1];
      ++*x;
    }
    *q = t;
    return true;
  }
  return false;
}

// Drops trailing zeros after a point, and the point when nothing follows.
size_t trim_fraction(const char* b, size_t n) {
  if (!memchr(b, '.', n)) return n;
  while (b[n - 1] == '0') n--;
  if (b[n - 1] == '.') n--;
  return n;
}

size_t put_exponent(char* out, int x, char e) {
  size_t n = 0;
  out[n++] = e;
  out[n++] = x < 0 ? '-' : '+';
  return n + put_digits(out + n, uint64_t(x < 0 ? -x : x), 2);
}

// printf's digits of av (>= 0, finite) for "%.<precision><type>" with type
// f, e or g and no flags, in the fast exact way; 0 when it does not apply.
size_t exact_digits(char* out, double av, char type, int precision) {
  if (type == 'f') {
    if (precision > 17) return 0;
    uint64_t q = 0;
    int half = 0;
    if (av != 0 && !scaled(binary_of(av), precision, &q, &half)) return 0;
    q = rounded(q, half);
    if (q == UINT64_MAX) return 0;
    size_t n = put_digits(out, q, precision + 1);
    if (precision == 0) return n;
    memmove(out + n - size_t(precision) + 1, out + n - size_t(precision), size_t(precision));
    out[n - size_t(precision)] = '.';
    return n + 1;
  }
  const int sig = type == 'e' ? precision + 1 : (precision == 0 ? 1 : precision);
  if (sig > 17) return 0;
  uint64_t q = 0;
  int x = 0;
  if (av != 0 && !significant(av, sig, &q, &x)) return 0;
  if (type == 'g' && x < sig && x >= -4) {
    // The f style with sig - 1 - x decimals.
    size_t n;
    if (x >= 0) {
      n = put_digits(out, q, sig);
      if (sig - 1 - x > 0) {
        const size_t ip = size_t(x) + 1;
        memmove(out + ip + 1, out + ip, n - ip);
        out[ip] = '.';
        n++;
      }
    } else {
      out[0] = '0';
      out[1] = '.';
      n = 2;
      for (int z = 0; z < -x - 1; z++) out[n++] = '0';
      n += put_digits(out + n, q, sig);
    }
    return trim_fraction(out, n);
  }
  size_t n = put_digits(out, q, sig);
  if (sig > 1) {
    memmove(out + 2, out + 1, n - 1);
    out[1] = '.';
    n++;
  }
  if (type == 'g') n = trim_fraction(out, n);
  return n + put_exponent(out + n, x, 'e');
}

}  // namespace

DoubleFormat::DoubleFormat(std::string_view conv) {
  size_t i = 1;
  if (conv.empty() || conv[0] != '%' || !read(conv, &i) || i != conv.size()) ok_ = false;
}

bool DoubleFormat::read(std::string_view f, size_t* i) {
  *this = DoubleFormat();
  conv_ = "%";
  for (; *i < f.size() && f[*i] != '\0' && strchr("-+ #0", f[*i]); ++*i) {
    switch (f[*i]) {
      case '-':
        left_ = true;
        break;
      case '+':
        plus_ = true;
        break;
      case ' ':
        space_ = true;
        break;
      case '#':
        alt_ = true;
        break;
      default:
        zero_ = true;
        break;
    }
    conv_.push_back(f[*i]);
  }
  bool sizes = read_field(f, i, &width_, &conv_);
  if (*i < f.size() && f[*i] == '.') {
    conv_.push_back(f[(*i)++]);
    sizes = read_field(f, i, &precision_, &conv_) && sizes;
  }
  if (*i < f.size() && f[*i] == 'l') ++*i;
  if (!sizes || *i >= f.size() || f[*i] == '\0' || !strchr("eEfFgGaA", f[*i])) return false;
  type_ = f[*i];
  conv_.push_back(f[(*i)++]);
  ok_ = true;
  return true;
}

void DoubleFormat::append_printf(std::string* out, double v) const {
  char small[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int n = snprintf(small, sizeof small, conv_.c_str(), v);
  if (n < 0) return;
  if (size_t(n) < sizeof small) {
    out->append(small, size_t(n));
    return;
  }
  const size_t at = out->size();
  out->resize(at + size_t(n) + 1);
  snprintf(&(*out)[at], size_t(n) + 1, conv_.c_str(), v);
  out->resize(at + size_t(n));
#pragma GCC diagnostic pop
}

void DoubleFormat::append(std::string* out, double v) const {
  if (!ok_) return;
  if (alt_ || !std::isfinite(v) || type_ == 'a' || type_ == 'A') {
    append_printf(out, v);
    return;
  }
  char buf[kRoom];
  const char lower_type = type_ == 'F' ? 'f' : type_ == 'E' ? 'e' : type_ == 'G' ? 'g' : type_;
  const char* digits = buf;
  size_t n = exact_digits(buf, std::fabs(v), lower_type, precision_);
  if (n == 0) {
    std::chars_format form = std::chars_format::fixed;
    if (lower_type == 'e') form = std::chars_format::scientific;
    if (lower_type == 'g') form = std::chars_format::general;
    // printf takes a precision of 0 for %g as 1.
    const int precision = lower_type == 'g' && precision_ == 0 ? 1 : precision_;
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, std::fabs(v), form, precision);
    if (r.ec != std::errc()) {
      append_printf(out, v);
      return;
    }
    n = size_t(r.ptr - buf);
  }
  if (type_ == 'E' || type_ == 'G') {
    for (char* c = buf; c < buf + n; c++) {
      if (*c == 'e') *c = 'E';
    }
  }
  char sign = '\0';
  if (std::signbit(v)) {
    sign = '-';
  } else if (plus_) {
    sign = '+';
  } else if (space_) {
    sign = ' ';
  }
  const size_t len = n + (sign ? 1 : 0);
  const size_t pad = size_t(width_) > len ? size_t(width_) - len : 0;
  char field[64];
  if (len + pad > sizeof field) {
    if (pad && !left_ && !zero_) out->append(pad, ' ');
    if (sign) out->push_back(sign);
    if (pad && !left_ && zero_) out->append(pad, '0');
    out->append(digits, n);
    if (pad && left_) out->append(pad, ' ');
    return;
  }
  // The usual field, put together here and appended at once.
  char* f = field;
  if (pad && !left_ && !zero_) f = static_cast<char*>(memset(f, ' ', pad)) + pad;
  if (sign) *f++ = sign;
  if (pad && !left_ && zero_) f = static_cast<char*>(memset(f, '0', pad)) + pad;
  f = static_cast<char*>(memcpy(f, digits, n)) + n;
  if (pad && left_) f = static_cast<char*>(memset(f, ' ', pad)) + pad;
  out->append(field, size_t(f - field));
}
