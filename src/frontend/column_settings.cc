#include "frontend/column_settings.h"

#include <cstring>

#include "base/text.h"
#include "index/labels.h"
#include "output/export.h"
#include "read/column_choice.h"

namespace {

// " x column 7 is not in scan 3 (i=2), which has columns 1 to 5 (or -1 to
// -5)\n", or empty when the scan has the column.
std::string number_fit(const char* what, int col, const ScanColumns& sc, const std::string& title) {
  if (column_in_scan(col, sc.ncol)) return "";
  const std::string n = std::to_string(sc.ncol);
  return " " + std::string(what) + " column " + std::to_string(col) + " is not in " + title +
         ", which has columns 1 to " + n + " (or -1 to -" + n + ")\n";
}

// The line for a W format whose conversions do not match the W columns.
std::string count_fit(int conversions, int columns) {
  if (columns <= 0 || conversions == columns) return "";
  std::string s = " the W format has " + std::to_string(conversions) + " conversion(s) for " +
                  std::to_string(columns) + " W column(s): the last ";
  if (conversions < columns)
    return s + std::to_string(columns - conversions) + " column(s) are not written\n";
  return s + std::to_string(conversions - columns) + " conversion(s) write nan\n";
}

}  // namespace

ColumnArg parse_column_arg(const char* c) {
  ColumnArg a;
  const char* p = c;
  while (is_space(*p)) p++;
  if (*p == '\0') return a;
  if (*p == '+' || *p == '-' || (*p >= '0' && *p <= '9')) {
    a.number = getanum(c, 0);
    if (a.number != 0) a.kind = ColumnArg::kNumber;
    return a;
  }
  if (*p == '"') {
    const char* q = p + 1;
    while (*q && *q != '"') q++;
    a.label.assign(p + 1, q);
  } else {
    const char* q = p + strlen(p);
    while (q > p && is_space(q[-1])) q--;
    a.label.assign(p, q);
  }
  if (!a.label.empty()) a.kind = ColumnArg::kLabel;
  return a;
}

scanRef* current_scan(Session& s, int i) { return i >= 1 ? index_record(s.index, i - 1) : nullptr; }

ColumnTexts column_texts(Session& s, const scanRef* current) {
  const Settings& st = s.settings;
  ScanColumns sc;
  std::string title;
  if (current && has_label(st)) {
    sc = scan_columns(s.index, *current);
    title = scan_title(s.index, *current);
  }
  auto text = [&](int number, const std::string& label) {
    if (label.empty()) return std::to_string(number);
    if (!current) return label;
    int col = 0;
    std::string why;
    if (!resolve_label(sc, title, label, &col, &why)) return label + "(?)";
    return label + "(" + std::to_string(col) + ")";
  };
  return {text(st.xcol, st.xlabel), text(st.ycol, st.ylabel), text(st.zcol, st.zlabel)};
}

std::string columns_message(Session& s, const scanRef* current) {
  ColumnTexts c = column_texts(s, current);
  return " using columns x=" + c.x + " and y=" + c.y + " for xmgr, z=" + c.z + " as monitor\n";
}

std::string column_fit(Session& s, const scanRef* current, char letter) {
  if (!current) return "";
  const Settings& st = s.settings;
  const ScanColumns sc = scan_columns(s.index, *current);
  const std::string title = scan_title(s.index, *current);
  const std::string& label = st.*column_label_member(letter);
  if (label.empty()) {
    const char what[2] = {letter, '\0'};
    return number_fit(what, st.*column_member(letter), sc, title);
  }
  int col = 0;
  std::string why;
  return resolve_label(sc, title, label, &col, &why) ? "" : why;
}

std::string wcolumns_fit(Session& s, const scanRef* current) {
  const Settings& st = s.settings;
  std::vector<ListedColumn> list;
  bool more = false;
  const int nc = read_column_list(st.wcolumns, &list, &more);
  if (nc <= 0) return " W will refuse the columns: they hold no column number or label\n";
  std::string lines;
  if (current) {
    const ScanColumns sc = scan_columns(s.index, *current);
    const std::string title = scan_title(s.index, *current);
    for (const ListedColumn& c : list) {
      int col = 0;
      std::string why;
      if (c.label.empty()) {
        lines += number_fit("W", c.number, sc, title);
      } else if (!resolve_label(sc, title, c.label, &col, &why)) {
        lines += why;
      }
    }
  }
  if (more) lines += " only the first " + std::to_string(kMaxWColumns) + " W columns are used\n";
  WFormat wf;
  std::string bad;
  if (wf.parse(st.wformat, &bad)) lines += count_fit(wf.conversions, nc);
  return lines;
}

std::string wformat_fit(const Settings& st) {
  WFormat wf;
  std::string bad;
  if (!wf.parse(st.wformat, &bad)) {
    if (bad.empty()) {
      return " W will refuse the format: it has more than " + std::to_string(kMaxWColumns) +
             " conversions\n";
    }
    return " W will refuse the format: conversion \"" + bad +
           "\" is not allowed (only %e %E %f %F %g %G %a %A and %%)\n";
  }
  std::vector<ListedColumn> list;
  return count_fit(wf.conversions, read_column_list(st.wcolumns, &list));
}

std::vector<std::string> current_labels(Session& s, int i) {
  const scanRef* r = current_scan(s, i);
  if (!r) return {};
  return scan_columns(s.index, *r).labels;
}
