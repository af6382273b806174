#include "format/header.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/text.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits at runs of blanks; with `single` every run separates, otherwise
// only runs of two or more characters or runs holding a tab. Keeps the first
// `max` labels in *labels and returns the count of all; *wide tells whether
// a run of the second kind separated two labels.
size_t split(std::string_view s, bool single, size_t max, std::vector<std::string>* labels,
             bool* wide) {
  labels->clear();
  *wide = false;
  size_t count = 0;
  auto add = [&](std::string_view label) {
    if (count++ < max) labels->emplace_back(label);
  };
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) i++;
  size_t start = i;
  while (i < s.size()) {
    if (!is_blank(s[i])) {
      i++;
      continue;
    }
    size_t run = i;
    bool tab = false;
    while (i < s.size() && is_blank(s[i])) tab |= s[i++] == '\t';
    if (i == s.size()) break;  // blanks at the end separate nothing
    const bool wider = tab || i - run >= 2;
    *wide |= wider;
    if (single || wider) {
      add(s.substr(start, run - start));
      start = i;
    }
  }
  size_t stop = s.size();
  while (stop > start && is_blank(s[stop - 1])) stop--;
  if (start < stop) add(s.substr(start, stop - start));
  return count;
}

// The date forms a writer puts on its #D line, as y, mo, ... (mo 0 when the
// month name is unknown); false when the text is none of them.
bool text_date(const std::string& s, int* y, int* mo, int* day, int* h, int* mi, int* sec) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  int n = 0;
  char tsep;
  *mo = 0;
  if (sscanf(s.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", y, mo, day, &tsep, h, mi, sec, &n) == 7 &&
      (tsep == 'T' || tsep == ' ') && size_t(n) == s.size())
    return true;
  char w1[16] = "", w2[16] = "";
  n = 0;
  const char* mon = w2;
  if (sscanf(s.c_str(), "%15s %15s %d %d:%d:%d %d%n", w1, w2, day, h, mi, sec, y, &n) != 7 ||
      size_t(n) != s.size()) {
    n = 0;
    if (sscanf(s.c_str(), "%15s %d %d:%d:%d %d%n", w1, day, h, mi, sec, y, &n) != 6 ||
        size_t(n) != s.size())
      return false;
    mon = w1;
  }
  *mo = 0;
  for (int k = 0; k < 12; k++)
    if (strlen(mon) == 3 && strncasecmp(mon, kMonths[k], 3) == 0) *mo = k + 1;
  return true;
}

// Seconds since 1970, alone on the line, as local time; false when the text
// is not one number or its date has no four-digit year.
bool epoch_date(const std::string& s, int* y, int* mo, int* day, int* h, int* mi, int* sec) {
  const char* p = s.c_str();
  const char* end = p + s.size();
  double v;
  std::string scratch;
  if (!read_number(&p, end, &v, &scratch) || p != end) return false;
  // Up to the last second of the year 9999.
  if (!(v >= 0 && v < 253402300800.0)) return false;
  const time_t t = time_t(std::floor(v));
  struct tm tm;
  if (!localtime_r(&t, &tm)) return false;
  *y = tm.tm_year + 1900;
  *mo = tm.tm_mon + 1;
  *day = tm.tm_mday;
  *h = tm.tm_hour;
  *mi = tm.tm_min;
  *sec = tm.tm_sec;
  return true;
}

// Walks the lines of a file backwards from `end` (a line start) down to
// `floor` (a line start), reading in blocks.
class LinesBackward {
 public:
  LinesBackward(const ScanFile& file, int64_t end, int64_t floor)
      : file_(file), pos_(end), floor_(floor) {}

  // The start of the line before the one handed out last, and its first two
  // bytes (fewer when the line is shorter). False below `floor`.
  bool prev(int64_t* start, std::string* head) {
    if (pos_ <= floor_) return false;
    int64_t p = pos_ - 1;  // the line feed that ends the line before
    int64_t found = floor_;
    while (p > floor_) {
      if (p <= lo_ || p > hi_) load(p);
      // A file cut short since it was indexed may hold fewer bytes.
      int64_t avail = p - lo_ < int64_t(buf_.size()) ? p - lo_ : int64_t(buf_.size());
      const void* nl = memrchr(buf_.data(), '\n', size_t(avail));
      if (nl) {
        found = lo_ + (static_cast<const char*>(nl) - buf_.data()) + 1;
        break;
      }
      p = lo_;
    }
    pos_ = found;
    *start = found;
    if (found >= lo_ && found + 2 <= lo_ + int64_t(buf_.size())) {
      head->assign(buf_.data() + (found - lo_), 2);
    } else {
      char h[2];
      head->assign(h, file_.read_fully(found, h, 2));
    }
    return true;
  }

 private:
  static constexpr int64_t kBlock = 64 << 10;
  // Reads the block that ends at `p`, and two bytes beyond for the heads.
  void load(int64_t p) {
    lo_ = p - kBlock > floor_ ? p - kBlock : floor_;
    hi_ = p;
    buf_.resize(size_t(p - lo_ + 2));
    buf_.resize(file_.read_fully(lo_, &buf_[0], buf_.size()));
  }

  const ScanFile& file_;
  int64_t pos_;
  int64_t floor_;
  int64_t lo_ = 0, hi_ = -1;
  std::string buf_;
};

// The line at `pos` up to `before`, with its line feed; no more than
// `most` bytes of it.
std::string line_at(const ScanFile& file, int64_t pos, int64_t before, size_t most) {
  std::string line;
  char block[4096];
  while (pos < before && line.size() <= most) {
    const size_t want = size_t(before - pos) < sizeof block ? size_t(before - pos) : sizeof block;
    const size_t got = file.read_fully(pos, block, want);
    if (got == 0) break;
    const void* nl = memchr(block, '\n', got);
    const size_t take = nl ? size_t(static_cast<const char*>(nl) - block) + 1 : got;
    line.append(block, take);
    pos += int64_t(take);
    if (nl) break;
  }
  return line;
}

}  // namespace

bool motor_names_before(const ScanFile& file, char key, int64_t before, int64_t floor, size_t most,
                        std::string* names) {
  LinesBackward lines(file, before, floor);
  const char want[] = {'#', key};
  int64_t start, first = -1;
  std::string head;
  while (lines.prev(&start, &head)) {
    if (head == std::string_view(want, 2)) {
      first = start;
    } else if (first >= 0) {
      break;
    }
  }
  if (first < 0) return false;
  names->clear();
  for (int64_t pos = first; pos < before;) {
    const std::string line = line_at(file, pos, before, most);
    if (!is_key(line, key)) break;
    add_motor_names(line, names);
    if (names->size() > most) {
      names->clear();
      break;
    }
    if (line.back() != '\n') break;
    pos += int64_t(line.size());
  }
  return true;
}

std::string_view line_body(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view key_text(std::string_view line) {
  line = line_body(line);
  line.remove_prefix(line.size() < 2 ? line.size() : 2);
  while (!line.empty() && is_digit(line.front())) line.remove_prefix(1);
  return line;
}

int scan_number(std::string_view s_line) {
  int v = 0;
  if (s_line.size() > 2) read_int(s_line.substr(2), &v);
  return v;
}

std::string_view scan_line_title(std::string_view s_line) {
  std::string_view s = line_body(s_line);
  s.remove_prefix(s.size() < 2 ? s.size() : 2);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && is_digit(s.front())) s.remove_prefix(1);
  return trim(s);
}

int column_count(std::string_view n_line) { return scan_number(n_line); }

std::vector<std::string> split_labels(std::string_view text, int ncol, size_t max_labels) {
  if (is_key(text, 'L')) text.remove_prefix(2);
  text = line_body(text);
  std::vector<std::string> labels, single;
  bool wide = false;
  const size_t n = split(text, false, max_labels, &labels, &wide);
  if (ncol <= 0 || n == size_t(ncol)) return labels;
  bool unused;
  const size_t m = split(text, true, max_labels, &single, &unused);
  if (m == size_t(ncol) || (!wide && ncol > 1)) return single;
  return labels;
}

std::string_view date_text(std::string_view d_line) {
  std::string_view s = line_body(d_line);
  s.remove_prefix(s.size() < 2 ? s.size() : 2);
  return trim(s);
}

std::string iso_date(std::string_view date) {
  std::string s(trim(line_body(date)));
  int y, mo, day, h, mi, sec;
  if (!text_date(s, &y, &mo, &day, &h, &mi, &sec) && !epoch_date(s, &y, &mo, &day, &h, &mi, &sec))
    return "";
  if (mo < 1 || mo > 12 || day < 1 || day > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 ||
      sec > 60 || y < 0 || y > 9999)
    return "";
  char out[32];
  snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, day, h, mi, sec);
  return out;
}

void add_positions(std::string_view p_line, std::vector<double>* positions) {
  const std::string_view text = key_text(p_line);
  const char* p = text.data();
  const char* end = p + text.size();
  std::string scratch;
  double v;
  while (read_number(&p, end, &v, &scratch)) positions->push_back(v);
}

void add_motor_names(std::string_view o_line, std::string* names) {
  if (!names->empty()) names->append("  ");
  names->append(key_text(o_line));
}
