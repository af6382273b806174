#include "index/labels.h"

#include "index/scan_reader.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits at runs of blanks; with `single` every run separates, otherwise
// only runs of two or more characters or runs holding a tab. Keeps the first
// `max` labels in *labels and returns the count of all.
size_t split(std::string_view s, bool single, size_t max, std::vector<std::string>* labels) {
  labels->clear();
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
    if (single || tab || i - run >= 2 || i == s.size()) {
      add(s.substr(start, run - start));
      start = i;
    }
  }
  if (start < s.size()) add(s.substr(start));
  return count;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The header of a scan whose #L line lies too far behind its #S line for
// the record: the last #L line before the first data line.
bool find_far_label_line(IndexTable& t, const scanRef& r, std::string* text) {
  ScanReader in(t.inf, r.hseek);
  std::string_view line;
  bool found = false;
  if (!in.next(&line)) return false;
  while (in.tell() < r.eseek && in.next(&line)) {
    if (line[0] != '#' && line[0] != '\0') break;
    if (line.size() >= 2 && line[1] == 'S') break;
    if (line.size() >= 2 && line[1] == 'L') {
      std::string_view rest = line.substr(2);
      if (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
      text->assign(rest);
      found = true;
    }
    in.skip_rest();
  }
  return found;
}

}  // namespace

std::vector<std::string> split_labels(std::string_view text, int ncol_N, size_t max_labels) {
  if (text.size() >= 2 && text[0] == '#' && text[1] == 'L') text.remove_prefix(2);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::vector<std::string> labels, single;
  size_t n = split(text, false, max_labels, &labels);
  if (ncol_N > 0 && n != size_t(ncol_N) && split(text, true, max_labels, &single) == size_t(ncol_N))
    return single;
  return labels;
}

bool same_label_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); k++)
    if (lower(a[k]) != lower(b[k])) return false;
  return true;
}

LabelFind find_label(const std::vector<std::string>& labels, std::string_view wanted, int* column,
                     int* other) {
  for (bool exact : {true, false}) {
    int found = 0;
    for (size_t k = 0; k < labels.size(); k++) {
      bool match = exact ? labels[k] == wanted : same_label_ignoring_case(labels[k], wanted);
      if (!match) continue;
      if (found) {
        *column = found;
        *other = static_cast<int>(k + 1);
        return LabelFind::kAmbiguous;
      }
      found = static_cast<int>(k + 1);
    }
    if (found) {
      *column = found;
      return LabelFind::kFound;
    }
  }
  return LabelFind::kMissing;
}

bool read_label_line(IndexTable& t, const scanRef& r, std::string* text) {
  text->clear();
  if (!t.inf || r.lhead == 0) return false;
  if (r.lhead == kLabelsFar) return find_far_label_line(t, r, text);
  // The line is read alone, in small steps: a label line is short, and a
  // loop resolves labels for every scan it visits.
  const int64_t at = r.hseek + r.lhead;
  std::string line;
  for (size_t want = 1024;; want *= 4) {
    line.resize(want);
    line.resize(read_block(fileno(t.inf), &line[0], want, at, nullptr, t.read_fn));
    size_t nl = line.find('\n');
    if (nl != std::string::npos) {
      line.resize(nl);
      break;
    }
    if (line.size() < want || want >= ScanReader::kMaxHeld) break;
  }
  // The file may have changed since it was indexed.
  if (line.size() < 2 || line[0] != '#' || line[1] != 'L') return false;
  text->assign(line, 2, std::string::npos);
  return true;
}

int record_position(const IndexTable& t, const scanRef& r) {
  size_t lo = 0, hi = t.Index.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (t.Index[mid].hseek < r.hseek) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < t.Index.size() && &t.Index[lo] == &r ? static_cast<int>(lo) : -1;
}
