// The W format check and both exports. The input's first line is the W
// format, its second the W column list (numbers and labels), its third the
// x y z columns (a word there is the y label), and one byte of flags; the exports then run over a
// fixed scan file into a memory stream. A format the check accepts must be one that printf can be
// handed any number of doubles for; one it refuses must write nothing. Each accepted conversion
// must write, through the exports' own formatter, what printf writes, for the eight bytes after the
// flags taken as a double and for values at rounding and form boundaries.
#include <cstdint>
#include <cstring>
#include <string>

#include "frontend/settings.h"
#include "fuzz_util.h"
#include "index/index_table.h"
#include "output/export.h"
#include "output/number_format.h"

namespace {

struct Fixture {
  fuzz::SinkConsole sc;
  IndexTable t;
  Fixture() {
    fuzz::write_file(fuzz::work_dir() + "/scan.dat", fuzz::scan_file());
    index_open(t, "scan.dat").report(sc.con.out);
    index_file(t, sc.con);
  }
};

std::string next_line(const char** p, const char* end) {
  const char* nl = static_cast<const char*>(memchr(*p, '\n', size_t(end - *p)));
  const char* stop = nl ? nl : end;
  std::string s(*p, stop);
  *p = nl ? nl + 1 : end;
  return s;
}

// A conversion as the check must leave it: "%", flags, width, precision and
// one floating conversion letter, nothing else.
bool plain_double_conversion(const std::string& c) {
  size_t i = 1;
  if (c.empty() || c[0] != '%') return false;
  while (i < c.size() && strchr("-+ #0", c[i])) i++;
  while (i < c.size() && c[i] >= '0' && c[i] <= '9') i++;
  if (i < c.size() && c[i] == '.') {
    i++;
    while (i < c.size() && c[i] >= '0' && c[i] <= '9') i++;
  }
  return i + 1 == c.size() && strchr("eEfFgGaA", c[i]) && c[i] != '\0';
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int fuzz_snprintf_len(const std::string& conv, double v) {
  return snprintf(nullptr, 0, conv.c_str(), v);
}
void fuzz_snprintf(std::string* out, const std::string& conv, double v) {
  std::string b(out->size() + 1, '\0');
  snprintf(&b[0], b.size(), conv.c_str(), v);
  *out = b.substr(0, out->size());
}
#pragma GCC diagnostic pop

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture* fx = new Fixture;
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  Settings st;
  st.wformat = next_line(&p, end);
  st.wcolumns = next_line(&p, end);
  std::string cols = next_line(&p, end);
  const uint8_t flags = p < end ? uint8_t(*p) : 0;
  st.comments = flags & 1;
  st.errorbar = flags & 2;
  st.normalize = flags & 4;
  bool range;
  const char* c = cols.c_str();
  st.xcol = decimal_conversion(c, &range);
  const char* sp = strchr(c, ' ');
  st.ycol = sp ? decimal_conversion(sp, &range) : -1;
  sp = sp ? strchr(sp + 1, ' ') : nullptr;
  st.zcol = sp ? decimal_conversion(sp, &range) : -2;
  if (sp && strchr(sp + 1, ' ')) st.ylabel = strchr(sp + 1, ' ') + 1;

  WFormat wf;
  std::string bad;
  const bool accepted = wf.parse(st.wformat, &bad);
  if (accepted) {
    FUZZ_CHECK(wf.conversions <= kMaxWColumns, "%d conversions accepted", wf.conversions);
    int seen = 0;
    for (const WFormat::Piece& piece : wf.pieces) {
      if (piece.arg < 0) continue;
      FUZZ_CHECK(piece.arg == seen++, "conversions out of order");
      FUZZ_CHECK(plain_double_conversion(piece.text), "accepted conversion \"%s\"",
                 piece.text.c_str());
    }
    FUZZ_CHECK(seen == wf.conversions, "conversion count %d, pieces %d", wf.conversions, seen);
    double values[] = {0.0,         -0.0, 0.5,   2.5,      0.125, 99999.95, 1e-5,
                       123456789.0, 1e22, 1e300, 4.9e-324, 0.1,   1.0 / 3,  -7.25};
    if (end - p >= 9) memcpy(&values[0], p + 1, sizeof(double));
    for (const WFormat::Piece& piece : wf.pieces) {
      if (piece.arg < 0) continue;
      DoubleFormat f(piece.text);
      FUZZ_CHECK(f.ok(), "the formatter refuses \"%s\"", piece.text.c_str());
      for (double v : values) {
        std::string got;
        f.append(&got, v);
        std::string want(size_t(fuzz_snprintf_len(piece.text, v)), '\0');
        fuzz_snprintf(&want, piece.text, v);
        FUZZ_CHECK(got == want, "\"%s\" of %a: \"%s\", printf \"%s\"", piece.text.c_str(), v,
                   got.c_str(), want.c_str());
      }
    }
  }

  fuzz::SinkConsole sc;
  fuzz::MemSink listing;
  sc.con.my_stdout = listing.f();
  std::vector<ListedColumn> wanted;
  const int nc = read_column_list(st.wcolumns, &wanted);
  FUZZ_CHECK(nc <= kMaxWColumns && int(wanted.size()) == (nc < 0 ? 0 : nc), "nc %d", nc);
  const int ref = flags >> 4 & 7;  // positions 0..7, some outside the table
  scan_printf(fx->t, st, sc.con, ref, "-").report(sc.con.out);
  if (!accepted || nc <= 0) {
    FUZZ_CHECK(listing.str().empty(), "a refused format or column list wrote data");
  }
  scan_write(fx->t, st, sc.con, ref, "-").report(sc.con.out);
  return 0;
}
