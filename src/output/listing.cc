#include "output/listing.h"

#include <cinttypes>

#include "base/interrupt.h"
#include "base/text.h"
#include "format/data_line.h"
#include "index/scan_reader.h"

namespace {

bool starts_number(char c) { return is_digit(c) || c == '-' || c == '+'; }

// Copies the line just read; false when the listing is to end here: the
// write failed, or Ctrl-C was pressed (which is said).
bool list_line(ScanReader& in, const IndexTable& t, Console& con, const scanRef& r) {
  if (!in.copy_line(con.my_stdout)) return false;
  if (!interrupted()) return true;
  fprintf(con.out, " listing of scan %d stopped by Ctrl-C at byte %" PRId64 " of %s\n", r.scan,
          in.tell(), t.inf_name.c_str());
  return false;
}

}  // namespace

int scan_header(IndexTable& t, Console& con, int ref) {
  const scanRef* r = index_record(t, ref);
  if (!r) return ref;
  ScanReader in(t.inf.get(), r->hseek);
  std::string_view line;
  while (in.next(&line) && line[0] == '#') {
    if (!list_line(in, t, con, *r)) break;
  }
  return ref;
}

int scan_comment(IndexTable& t, Console& con, int ref) {
  const scanRef* r = index_record(t, ref);
  if (!r) return ref;
  ScanReader in(t.inf.get(), r->cseek);
  std::string_view line;
  do {
    if (!in.next(&line)) break;
    if (starts_number(line[0])) {
      in.skip_rest();
    } else if (!list_line(in, t, con, *r)) {
      break;
    }
  } while (in.tell() < r->eseek);
  return ref;
}

int scan_print(IndexTable& t, Console& con, int ref) {
  const scanRef* r = index_record(t, ref);
  if (!r) return ref;
  if (r->lines <= 0) {
    fprintf(con.my_stdout, " No data to plot lines = %" PRId64 "\n", r->lines);
    return ref;
  }
  ScanReader in(t.inf.get(), r->vseek);
  DataLineRule rule;
  std::string_view line;
  int64_t listed = 0;
  while (listed < r->lines && in.next(&line)) {
    // Counted the way the indexer counts: a line a number reads from.
    const LineKind kind = rule.next(line[0], [&in] { return in.last_char() == '\\'; });
    if (kind == LineKind::kSpectrum) continue;
    if (kind != LineKind::kHash && holds_number(line)) listed++;
    if (!list_line(in, t, con, *r)) break;
  }
  return ref;
}
