#include "analysis/file_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/peak_stats.h"
#include "base/interrupt.h"
#include "base/text.h"
#include "format/data_line.h"
#include "format/header.h"
#include "format/spectrum.h"
#include "index/index_table.h"
#include "index/labels.h"
#include "index/scan_reader.h"

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// What the check needs of a data line's values: how many there are (by the
// column reader's rule), x, those that are not finite, and the text that
// ends them.
struct LineValues {
  int64_t count = 0;      // numbers read from the start
  std::string_view text;  // what follows them, when it is not white space
  int64_t not_finite = 0;
  double first_not_finite = 0;
  bool has_x = false;
  double x = NAN;
};

// Reads the numbers of a line; `xcol` (1-based, 0 for none) is x.
void read_values(std::string_view line, int64_t xcol, std::string* scratch, LineValues* v) {
  *v = LineValues();
  const char* p = line.data();
  const char* end = p + line.size();
  if (const void* nul = memchr(p, '\0', line.size())) end = static_cast<const char*>(nul);
  double d;
  while (read_number(&p, end, &d, scratch)) {
    if (!std::isfinite(d) && v->not_finite++ == 0) v->first_not_finite = d;
    if (++v->count == xcol) {
      v->has_x = true;
      v->x = d;
    }
  }
  while (p < end && is_space(*p)) p++;
  if (p < end) v->text = std::string_view(p, size_t(end - p));
}

// ---------------------------------------------------------------------------
// Header lines.

bool says_aborted(std::string_view line) {
  static const char kWord[] = "abort";
  const size_t n = sizeof kWord - 1;
  for (size_t i = 0; i + n <= line.size(); i++) {
    size_t k = 0;
    while (k < n && lower(line[i + k]) == kWord[k]) k++;
    if (k == n) return true;
  }
  return false;
}

std::string num(double v) { return number_text(v); }

// " (first of 3 such lines in this scan)" when there is more than one.
std::string first_of(int64_t count, const char* what) {
  if (count < 2) return std::string();
  return string_printf(" (first of %lld %s in this scan)", static_cast<long long>(count), what);
}

// Something that may happen on many lines of a scan: its first line and
// how often.
struct Tally {
  int64_t count = 0;
  int64_t line = 0;
  bool add(int64_t lineno, int64_t n = 1) {
    if (count == 0) line = lineno;
    count += n;
    return count == n;  // true the first time
  }
};

struct Finding {
  int64_t line;
  CheckKind kind;
  std::string text;
};

// One scan as the check follows it.
struct ScanCheck {
  int scan = 0;
  int pos = 0;
  int64_t line = 0;  // its #S line
  IndexState state = waitdata;
  int ncol_N = 0;
  int64_t n_line = 0;
  int64_t l_line = 0;
  std::string l_text;   // the #L line's labels
  int repeats_pos = 0;  // position of the scan that had its number first, 0 when none
  int64_t repeats_line = 0;
  int64_t aborted_line = 0;
  bool aborted_glued = false;  // said by a comment glued to a data line
  int64_t data_lines = 0;
  int64_t columns = 0;  // what every data line should have
  int64_t xcol = 0;     // x column of the data lines, 1-based
  Tally other_count, text, nul, not_finite, backwards;
  int64_t first_count = 0;  // values on the first line of another count
  double first_not_finite = 0;
  // Spectra: the header's fields, the spectra read since the last data
  // line (and the line of the first), and what was not whole.
  McaHeader mca;
  size_t point_spectra = 0;
  int64_t point_spectra_line = 0;
  int64_t with_spectra = 0;  // data lines with spectra before them
  Tally cut_short, other_length, without_spectrum;
  int64_t first_length = 0, first_chann = 0;
  int direction = 0;  // +1 x rises, -1 x falls, 0 not known yet
  bool have_x = false;
  double prev_x = NAN, step_x = NAN, step_prev_x = NAN;
};

class Checker {
 public:
  Checker(const ColumnChoice& cols, FILE* out) : cols_(cols), out_(out) {}

  // `last` is the line's last character that is not white space (of the
  // whole line, when `l` holds only its start).
  void line(std::string_view l, int64_t lineno, char last);
  void finish(int64_t last_line, bool ends_in_line_feed);
  CheckSummary summary;

 private:
  void start_scan(std::string_view l, int64_t lineno);
  void end_scan();
  void comment_line(std::string_view l, int64_t lineno);
  void data_line(std::string_view l, int64_t lineno);
  void spectrum_line(std::string_view l, int64_t lineno, bool first);
  void end_spectrum();
  void add(std::vector<Finding>* f, int64_t line, CheckKind kind, std::string text);

  ColumnChoice cols_;
  FILE* out_;
  bool in_scan_ = false;
  ScanCheck cur_;
  DataLineRule rule_;
  std::unordered_map<int, std::pair<int, int64_t>> first_use_;  // scan number -> position, line
  std::string scratch_;
  LineValues values_;
  Spectrum spectrum_;  // the spectrum being read
  bool in_spectrum_ = false;
  std::vector<Finding> late_;  // findings known only at the end of the file
};

void Checker::line(std::string_view l, int64_t lineno, char last) {
  const char c0 = l.empty() ? '\0' : l[0];
  const bool continued = rule_.in_spectrum();
  const LineKind kind = rule_.next(c0, [last] { return last == '\\'; });
  if (kind == LineKind::kSpectrum) {
    if (in_scan_) spectrum_line(l, lineno, !continued);
    return;
  }
  // A spectrum whose last line ended in a backslash ends here.
  if (continued && in_scan_) cur_.cut_short.add(lineno - 1);
  if (in_spectrum_) end_spectrum();
  if (kind == LineKind::kHash) {
    if (is_key(l, 'S')) {
      start_scan(l, lineno);
    } else if (in_scan_) {
      comment_line(l, lineno);
    }
    return;
  }
  if (!in_scan_) return;  // the file's header
  if (kind == LineKind::kNul) {
    cur_.nul.add(lineno);
    // As in the index, a NUL line ends the scan's data; what follows up to
    // the next scan is not read.
    if (cur_.state == waitend) cur_.state = waithead;
    return;
  }
  if (cur_.state == waithead) return;
  cur_.state = waitend;
  data_line(l, lineno);
}

void Checker::start_scan(std::string_view l, int64_t lineno) {
  if (in_scan_) end_scan();
  in_scan_ = true;
  cur_ = ScanCheck();
  cur_.scan = scan_number(l);
  cur_.pos = ++summary.scans;
  cur_.line = lineno;
  auto used = first_use_.emplace(cur_.scan, std::make_pair(cur_.pos, lineno));
  if (!used.second) {
    cur_.repeats_pos = used.first->second.first;
    cur_.repeats_line = used.first->second.second;
  }
}

void Checker::spectrum_line(std::string_view l, int64_t lineno, bool first) {
  if (first) {
    if (in_spectrum_) end_spectrum();
    if (cur_.point_spectra++ == 0) cur_.point_spectra_line = lineno;
    spectrum_.clear();
    in_spectrum_ = true;
  }
  add_spectrum_line(l, first, &spectrum_, &scratch_);
  if (spectrum_.complete) end_spectrum();
}

// A spectrum read whole (or as far as it goes): its length against #@CHANN.
void Checker::end_spectrum() {
  in_spectrum_ = false;
  const McaInfo info = cur_.mca.analyser(cur_.point_spectra - 1);
  const int64_t n = int64_t(spectrum_.counts.size());
  if (info.has_chann && n != info.channels && cur_.other_length.add(cur_.point_spectra_line)) {
    cur_.first_length = n;
    cur_.first_chann = info.channels;
  }
}

void Checker::comment_line(std::string_view l, int64_t lineno) {
  const char c1 = l.size() > 1 ? l[1] : '\0';
  if (c1 == '@') {
    cur_.mca.add_line(l);
    return;
  }
  if (cur_.state == waitdata && c1 == 'N') {
    cur_.ncol_N = column_count(l);
    cur_.n_line = lineno;
    return;
  }
  if (cur_.state == waitdata && c1 == 'L') {
    cur_.l_text.assign(l.substr(2));
    cur_.l_line = lineno;
    return;
  }
  if (cur_.aborted_line == 0 && c1 != 'L' && says_aborted(l)) cur_.aborted_line = lineno;
}

void Checker::data_line(std::string_view l, int64_t lineno) {
  ScanCheck& c = cur_;
  const bool first = c.data_lines == 0;
  if (first) {
    // The column reader's count: #N when it gives one, else the first data
    // line's; a negative x column counts from it.
    int64_t ncol = c.ncol_N;
    if (ncol < 1) {
      read_values(l, 0, &scratch_, &values_);
      ncol = values_.count;
    }
    int64_t x = cols_.xcol < 0 ? int64_t(cols_.xcol) + 1 + ncol : cols_.xcol;
    c.xcol = x < 1 ? 1 : x;
    c.columns = ncol;
    // An x chosen by label is this scan's column of that name; a scan
    // without it has no x to follow.
    if (!cols_.xlabel.empty()) {
      int col = 0, other = 0;
      const bool found = find_label(split_labels(c.l_text, ncol > 0 ? int(ncol) : 0), cols_.xlabel,
                                    &col, &other) == LabelFind::kFound;
      c.xcol = found ? col : 0;
    }
  }
  LineValues& v = values_;
  read_values(l, c.xcol, &scratch_, &v);
  if (v.count == 0) {
    if (!v.text.empty()) c.text.add(lineno);  // a blank line is no finding
    return;
  }
  c.data_lines++;
  if (c.point_spectra > 0) {
    c.with_spectra++;
  } else {
    c.without_spectrum.add(lineno);
  }
  c.point_spectra = 0;
  if (!v.text.empty() && v.text[0] == '#' && says_aborted(v.text)) {
    // The writer lost the line feed in front of its comment.
    if (c.aborted_line == 0) {
      c.aborted_line = lineno;
      c.aborted_glued = true;
    }
  } else if (!v.text.empty()) {
    c.text.add(lineno);
  }
  if (v.count != c.columns && c.other_count.add(lineno)) c.first_count = v.count;
  if (v.not_finite > 0 && c.not_finite.add(lineno, v.not_finite))
    c.first_not_finite = v.first_not_finite;
  if (!v.has_x || !std::isfinite(v.x)) return;
  if (c.have_x && v.x != c.prev_x) {
    const int step = v.x > c.prev_x ? 1 : -1;
    if (c.direction == 0) {
      c.direction = step;
    } else if (step != c.direction && c.backwards.add(lineno)) {
      c.step_x = v.x;
      c.step_prev_x = c.prev_x;
    }
  }
  c.have_x = true;
  c.prev_x = v.x;
}

void Checker::add(std::vector<Finding>* f, int64_t line, CheckKind kind, std::string text) {
  f->push_back({line, kind, std::move(text)});
  summary.findings[static_cast<int>(kind)]++;
}

void Checker::end_scan() {
  const ScanCheck& c = cur_;
  std::vector<Finding> f;
  if (c.repeats_pos > 0)
    add(&f, c.line, CheckKind::kRepeated,
        string_printf("scan number used before, at i=%d (line %lld)", c.repeats_pos,
                      static_cast<long long>(c.repeats_line)));
  if (c.data_lines == 0) add(&f, c.line, CheckKind::kEmpty, "no data lines");
  if (c.n_line > 0 && c.l_line > 0) {
    const size_t labels = split_labels(c.l_text, c.ncol_N).size();
    if (int64_t(labels) != c.ncol_N)
      add(&f, std::max(c.n_line, c.l_line), CheckKind::kLabels,
          string_printf("#N says %d columns, #L names %zu", c.ncol_N, labels));
  }
  if (c.aborted_line > 0)
    add(&f, c.aborted_line, CheckKind::kAborted,
        c.aborted_glued ? "a data line cut short by a comment that says the scan was aborted"
                        : "a comment says the scan was aborted");
  if (c.other_count.count > 0)
    add(&f, c.other_count.line, CheckKind::kColumns,
        string_printf("%lld values where %s %lld%s", static_cast<long long>(c.first_count),
                      c.ncol_N >= 1 ? "#N says" : "the first data line has",
                      static_cast<long long>(c.columns),
                      first_of(c.other_count.count, "such lines").c_str()));
  if (c.text.count > 0)
    add(&f, c.text.line, CheckKind::kText,
        "text among the data" + first_of(c.text.count, "such lines"));
  if (c.nul.count > 0)
    add(&f, c.nul.line, CheckKind::kNul,
        "line begins with a NUL byte" + first_of(c.nul.count, "such lines"));
  if (c.not_finite.count > 0)
    add(&f, c.not_finite.line, CheckKind::kNotFinite,
        "value " + num(c.first_not_finite) + " is not finite" +
            first_of(c.not_finite.count, "such values"));
  if (c.backwards.count > 0)
    add(&f, c.backwards.line, CheckKind::kXOrder,
        string_printf("x %s after %s in a scan whose x %s%s", num(c.step_x).c_str(),
                      num(c.step_prev_x).c_str(), c.direction > 0 ? "rises" : "falls",
                      first_of(c.backwards.count, "such steps").c_str()));
  if (c.cut_short.count > 0)
    add(&f, c.cut_short.line, CheckKind::kSpectra,
        "spectrum cut short: its line ends in a backslash, no line continues it" +
            first_of(c.cut_short.count, "such spectra"));
  if (c.other_length.count > 0)
    add(&f, c.other_length.line, CheckKind::kSpectra,
        string_printf("spectrum of %lld values where #@CHANN says %lld%s",
                      static_cast<long long>(c.first_length), static_cast<long long>(c.first_chann),
                      first_of(c.other_length.count, "such spectra").c_str()));
  if (c.with_spectra > 0 && c.without_spectrum.count > 0)
    add(&f, c.without_spectrum.line, CheckKind::kSpectra,
        "data line without the spectra the other points have" +
            first_of(c.without_spectrum.count, "such lines"));
  if (c.point_spectra > 0)
    add(&f, c.point_spectra_line, CheckKind::kSpectra,
        "spectrum after the last data line: the scan ended before its point");
  for (Finding& late : late_) f.push_back(std::move(late));
  late_.clear();
  std::stable_sort(f.begin(), f.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  for (const Finding& x : f)
    fprintf(out_, " scan %d (i=%d) line %lld: %s\n", c.scan, c.pos, static_cast<long long>(x.line),
            x.text.c_str());
}

void Checker::finish(int64_t last_line, bool ends_in_line_feed) {
  summary.lines = last_line;
  if (!in_scan_) return;
  if (rule_.in_spectrum()) cur_.cut_short.add(last_line);
  if (in_spectrum_) end_spectrum();
  if (!ends_in_line_feed)
    add(&late_, last_line, CheckKind::kUnfinished,
        "no line feed at the end of the file: the scan is still being written");
  end_scan();
}

}  // namespace

int64_t CheckSummary::total() const {
  int64_t n = 0;
  for (int64_t k : findings) n += k;
  return n;
}

CheckSummary check_file(const ScanFile* inf, const ColumnChoice& cols, FILE* out,
                        const CheckProgress& progress) {
  Checker ck(cols, out);
  const int64_t length = inf ? std::max<int64_t>(inf->size(), 0) : 0;
  constexpr int64_t kReportEvery = 8 << 20;
  int64_t next_report = kReportEvery;
  if (progress) progress(0, length, false);

  ScanReader in(inf, 0);
  std::string_view l;
  int64_t lineno = 0;
  for (;;) {
    if (interrupted()) {
      ck.summary.stopped_at = lineno + 1;
      break;
    }
    if (!in.next(&l)) break;
    ck.line(l, ++lineno, in.last_char());
    if (progress && in.tell() >= next_report) {
      progress(in.tell(), length, false);
      next_report = in.tell() + kReportEvery;
    }
  }
  const int64_t bytes = in.tell();
  char last = '\n';
  if (bytes > 0 && inf->read_fully(bytes - 1, &last, 1) != 1) last = '\0';
  if (ck.summary.stopped_at)
    ck.summary.lines = lineno;
  else
    ck.finish(lineno, last == '\n');
  if (progress) progress(bytes, length, true);
  ck.summary.bytes = bytes;
  ck.summary.length = length;
  return ck.summary;
}

void write_check_summary(FILE* out, const std::string& name, const CheckSummary& s) {
  static const char* const kWhat[kCheckKinds] = {
      "scans whose #N differs from their #L labels",
      "scans with data lines of another number of values",
      "scans with text among the data",
      "scans with NUL lines",
      "scans without data",
      "scans said to be aborted",
      "last scan still being written",
      "repeated scan numbers",
      "scans whose x is not monotonic",
      "scans with values that are not finite",
      "scans whose spectra are not whole",
  };
  if (s.stopped_at)
    fprintf(out, " check stopped by Ctrl-C before line %lld (byte %lld of %lld)\n",
            static_cast<long long>(s.stopped_at), static_cast<long long>(s.bytes),
            static_cast<long long>(s.length));
  else if (s.bytes < s.length)
    fprintf(out,
            " read %lld of the %lld bytes the file had: it was shortened or could not be read\n",
            static_cast<long long>(s.bytes), static_cast<long long>(s.length));
  const int64_t total = s.total();
  fprintf(out, " checked %s: %d scans, %lld lines, ", name.c_str(), s.scans,
          static_cast<long long>(s.lines));
  if (total == 0) {
    fprintf(out, "no findings\n");
    return;
  }
  fprintf(out, "%lld finding%s\n", static_cast<long long>(total), total == 1 ? "" : "s");
  for (int k = 0; k < kCheckKinds; k++)
    if (s.findings[k] > 0)
      fprintf(out, " %6lld  %s\n", static_cast<long long>(s.findings[k]), kWhat[k]);
}
