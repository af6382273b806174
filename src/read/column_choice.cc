#include "read/column_choice.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "format/header.h"
#include "index/labels.h"
#include "index/scan_reader.h"
#include "read/columns.h"

namespace {

bool label_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The values of the scan's first data line; empty when it has none.
std::vector<double> first_line_values(IndexTable& t, const scanRef& r) {
  if (r.lines <= 0 || r.vseek <= 0) return {};
  ScanReader in(t.inf.get(), r.vseek);
  std::string_view line;
  if (!in.next(&line)) return {};
  ColumnLine cl;
  cl.parse(line);
  return cl.values;
}

// The labels quoted one after the other: "a" "b" "c".
std::string quoted_list(const std::vector<std::string>& labels) {
  std::string s;
  for (const std::string& l : labels) s += (s.empty() ? "\"" : " \"") + l + "\"";
  return s;
}

}  // namespace

ScanColumns scan_columns(IndexTable& t, const scanRef& r) {
  ScanColumns sc;
  if (r.ncol >= 1) {
    sc.ncol = r.ncol;
  } else {
    size_t n = first_line_values(t, r).size();
    sc.ncol = n > 0 ? static_cast<int>(n) : -1;
  }
  std::string text;
  if (read_label_line(t, r, &text)) {
    sc.has_label_line = true;
    sc.labels = split_labels(text, sc.ncol > 0 ? sc.ncol : 0);
  }
  return sc;
}

std::string scan_title(const IndexTable& t, const scanRef& r) {
  return "scan " + std::to_string(r.scan) + " (i=" + std::to_string(record_position(t, r) + 1) +
         ")";
}

std::string column_name(const ScanColumns& sc, int col) {
  if (col < 0 && sc.ncol < 1) return "col" + std::to_string(col);
  int64_t abs = col < 0 ? int64_t(col) + 1 + sc.ncol : col;
  if (abs < 1) abs = 1;  // the column reader reads the first column then
  if (abs <= int64_t(sc.labels.size())) return sc.labels[size_t(abs - 1)];
  return "col" + std::to_string(abs);
}

bool column_in_scan(int col, int ncol) {
  if (ncol < 1) return true;
  return col > 0 ? col <= ncol : col < 0 && int64_t(col) >= -int64_t(ncol);
}

namespace {

// Edits (insert, delete, change, case aside) from a to b, counted up to
// `most` + 1.
size_t edits(const std::string& a, const std::string& b, size_t most) {
  const size_t n = a.size(), m = b.size();
  if ((n > m ? n - m : m - n) > most) return most + 1;
  std::vector<size_t> row(m + 1);
  for (size_t j = 0; j <= m; j++) row[j] = j;
  for (size_t i = 1; i <= n; i++) {
    size_t diag = row[0], least = row[0] = i;
    for (size_t j = 1; j <= m; j++) {
      const bool same = tolower(static_cast<unsigned char>(a[i - 1])) ==
                        tolower(static_cast<unsigned char>(b[j - 1]));
      const size_t next = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
      diag = row[j];
      row[j] = next;
      least = std::min(least, next);
    }
    if (least > most) return most + 1;
  }
  return row[m];
}

}  // namespace

std::string closest_label(const std::vector<std::string>& labels, const std::string& label) {
  // A typo: about one edit in three characters, at least one; a label that
  // would have to change whole ("m" for "x") is no typo of it.
  const size_t most = std::max<size_t>(1, label.size() / 3);
  std::string best;
  size_t best_edits = most + 1;
  for (const std::string& l : labels) {
    const size_t e = edits(label, l, most);
    if (e < best_edits && e < label.size() && e < l.size()) {
      best_edits = e;
      best = l;
    }
  }
  return best;
}

bool resolve_label(const ScanColumns& sc, const std::string& title, const std::string& label,
                   int* column, std::string* why) {
  int other = 0;
  LabelFind found =
      sc.has_label_line ? find_label(sc.labels, label, column, &other) : LabelFind::kMissing;
  switch (found) {
    case LabelFind::kFound:
      return true;
    case LabelFind::kAmbiguous:
      *why = " " + title + ": label \"" + label + "\" is ambiguous, columns " +
             std::to_string(*column) + " \"" + sc.labels[size_t(*column - 1)] + "\" and " +
             std::to_string(other) + " \"" + sc.labels[size_t(other - 1)] + "\"\n";
      return false;
    case LabelFind::kMissing:
      break;
  }
  *why = " " + title + " has no label \"" + label + "\"";
  if (!sc.has_label_line) {
    *why += ": it has no #L line\n";
  } else if (sc.labels.empty()) {
    *why += ": its #L line is empty\n";
  } else {
    const std::string near = closest_label(sc.labels, label);
    if (!near.empty()) *why += " (did you mean \"" + near + "\"?)";
    *why += "; its labels are " + quoted_list(sc.labels) + "\n";
  }
  return false;
}

bool has_label(const ColumnChoice& c) {
  return !c.xlabel.empty() || !c.ylabel.empty() || !c.zlabel.empty();
}

bool resolve_columns(IndexTable& t, const scanRef& r, const ColumnChoice& wanted,
                     ColumnChoice* resolved, std::string* why) {
  *resolved = wanted;
  if (!has_label(wanted)) return true;
  const ScanColumns sc = scan_columns(t, r);
  const std::string title = scan_title(t, r);
  int ColumnChoice::*cols[] = {&ColumnChoice::xcol, &ColumnChoice::ycol, &ColumnChoice::zcol};
  std::string ColumnChoice::*labels[] = {&ColumnChoice::xlabel, &ColumnChoice::ylabel,
                                         &ColumnChoice::zlabel};
  for (int k = 0; k < 3; k++) {
    const std::string& label = wanted.*labels[k];
    if (!label.empty() && !resolve_label(sc, title, label, &(resolved->*cols[k]), why)) {
      // In a loop a missing label is counted, and said once at its end.
      if (wanted.missing && why->find(" has no label ") != std::string::npos) {
        ++(*wanted.missing)[label];
        why->clear();
      }
      return false;
    }
  }
  for (int k = 0; k < 3; k++) resolved->*labels[k] = column_name(sc, resolved->*cols[k]);
  return true;
}

int read_column_list(const std::string& wcolumns, std::vector<ListedColumn>* list, bool* more) {
  list->clear();
  if (more) *more = false;
  const char* s = wcolumns.c_str();
  const char* end = s + strlen(s);  // a NUL ends the list
  bool boundary = true;             // a label may start here
  for (;;) {
    const char* before = s;
    while (s < end && is_space(*s)) s++;
    boundary = boundary || s != before;
    if (s == end) return list->empty() ? -1 : int(list->size());
    if (int(list->size()) == kMaxWColumns) {
      if (more) *more = true;
      break;
    }
    ListedColumn c;
    if (size_t n = read_int(std::string_view(s, size_t(end - s)), &c.number)) {
      s += n;
    } else if (boundary && *s == '"') {
      const char* q = s + 1;
      while (q < end && *q != '"') q++;
      if (q == s + 1) break;  // "" names nothing
      c.label.assign(s + 1, q);
      s = q < end ? q + 1 : q;
    } else if (boundary && label_start(*s)) {
      const char* q = s;
      while (q < end && !is_space(*q)) q++;
      c.label.assign(s, q);
      s = q;
    } else {
      break;
    }
    list->push_back(std::move(c));
    boundary = false;
  }
  return int(list->size());
}

bool resolve_column_list(IndexTable& t, const scanRef& r, const std::vector<ListedColumn>& list,
                         std::vector<int>* numbers, std::vector<std::string>* names,
                         std::string* why) {
  numbers->clear();
  names->clear();
  bool labels = false;
  for (const ListedColumn& c : list) {
    numbers->push_back(c.number);
    labels = labels || !c.label.empty();
  }
  if (!labels) return true;
  const ScanColumns sc = scan_columns(t, r);
  const std::string title = scan_title(t, r);
  for (size_t k = 0; k < list.size(); k++) {
    if (!list[k].label.empty() && !resolve_label(sc, title, list[k].label, &(*numbers)[k], why)) {
      return false;
    }
    names->push_back(column_name(sc, (*numbers)[k]));
  }
  return true;
}

namespace {

// Labels are padded to the widest of a scan's up to this width.
constexpr size_t kMaxLabelWidth = 32;

// A label as the listing shows it: control characters written as \t, \r
// or \xNN, so that no byte of the file moves the terminal's cursor or
// changes its state.
std::string visible(const std::string& label) {
  std::string out;
  for (unsigned char c : label) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace

int scan_columns_list(IndexTable& t, Console& con, int ref, const ColumnChoice& cols) {
  const scanRef* found = index_record(t, ref);
  if (!found) return ref;
  const scanRef& r = *found;
  const ScanColumns sc = scan_columns(t, r);
  const std::vector<double> values = first_line_values(t, r);
  const std::string title = scan_title(t, r);

  // Which columns x, y and the monitor are in this scan; a label the scan
  // lacks marks nothing and is explained under the table.
  std::string problems;
  const int chosen[3] = {cols.xcol, cols.ycol, cols.zcol};
  const std::string* chosen_label[3] = {&cols.xlabel, &cols.ylabel, &cols.zlabel};
  int marked[3] = {0, 0, 0};
  for (int k = 0; k < 3; k++) {
    int col = chosen[k];
    std::string why;
    if (!chosen_label[k]->empty() && !resolve_label(sc, title, *chosen_label[k], &col, &why)) {
      problems += why;
      continue;
    }
    if (col < 0) {
      if (sc.ncol < 1) continue;
      col = int(int64_t(col) + 1 + sc.ncol);
    }
    marked[k] = col < 1 ? 1 : col;
  }

  // The columns there are: a #N count alone lists nothing it cannot show.
  // Labels are padded to the widest, up to kMaxLabelWidth: a longer one is
  // shown whole and pushes its own row only.
  const size_t rows = std::max(sc.labels.size(), values.size());
  size_t width = 5;
  for (const std::string& l : sc.labels) width = std::max(width, visible(l).size());
  width = std::min(width, kMaxLabelWidth);

  FILE* o = con.my_stdout;
  fprintf(o, " columns of %s, with the values of its first data line%s\n", title.c_str(),
          sc.has_label_line ? "" : " (it has no #L line)");
  for (size_t k = 0; k < rows; k++) {
    const int col = int(k + 1);
    std::string from_last;
    if (sc.ncol >= col) from_last = std::to_string(col - 1 - sc.ncol);
    std::string label = k < sc.labels.size() ? visible(sc.labels[k]) : "-";
    char value[64];
    if (k < values.size()) {
      snprintf(value, sizeof value, "%-14.10g", values[k]);
    } else {
      snprintf(value, sizeof value, "%-14s", "-");
    }
    char head[32];
    snprintf(head, sizeof head, " %4d %4s  ", col, from_last.c_str());
    std::string row =
        head + label + std::string(width - std::min(width, label.size()), ' ') + "  " + value;
    const char* what[3] = {" x", " y", " monitor"};
    for (int m = 0; m < 3; m++)
      if (marked[m] == col) row += what[m];
    while (!row.empty() && row.back() == ' ') row.pop_back();
    fprintf(o, "%s\n", row.c_str());
  }
  fputs(problems.c_str(), o);
  return ref;
}
