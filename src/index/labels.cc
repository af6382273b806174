#include "index/labels.h"

#include "format/header.h"
#include "index/scan_reader.h"

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The header of a scan whose #L line lies too far behind its #S line for
// the record: the last #L line before the first data line.
bool find_far_label_line(IndexTable& t, const scanRef& r, std::string* text) {
  ScanReader in(t.inf.get(), r.hseek);
  std::string_view line;
  bool found = false;
  if (!in.next(&line)) return false;
  while (in.tell() < r.eseek && in.next(&line)) {
    if (line[0] != '#' && line[0] != '\0') break;
    if (line.size() >= 2 && line[1] == 'S') break;
    if (line.size() >= 2 && line[1] == 'L') {
      text->assign(line_body(line.substr(2)));
      found = true;
    }
    in.skip_rest();
  }
  return found;
}

}  // namespace

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
    line.resize(t.inf->read_fully(at, &line[0], want));
    size_t nl = line.find('\n');
    if (nl != std::string::npos) {
      line.resize(nl);
      break;
    }
    if (line.size() < want || want >= ScanReader::kMaxHeld) break;
  }
  // The file may have changed since it was indexed.
  if (line.size() < 2 || line[0] != '#' || line[1] != 'L') return false;
  text->assign(line_body(std::string_view(line).substr(2)));
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
