// Columns chosen by label, resolved per scan.
//
// The user may choose x, y, the monitor and the W columns by the labels of
// a scan's #L line as well as by number. A label names a different column
// in scans of different types, so it is resolved for each scan when that
// scan is read: every reader of a scan's values (plot, exports, loops,
// statistics, follow) calls resolve_columns (or resolve_column_list) and
// hands the plain numbers it gets to the PointReader. Resolving reads the
// scan's header only (the #L line the index record points at), and nothing
// at all when no label is chosen.
#ifndef KURVATAB_READ_COLUMN_CHOICE_H_
#define KURVATAB_READ_COLUMN_CHOICE_H_

#include <string>
#include <vector>

#include "base/console.h"
#include "base/options.h"
#include "index/index_table.h"

// What a scan says about its columns.
struct ScanColumns {
  bool has_label_line = false;      // the scan has a #L line
  std::vector<std::string> labels;  // its labels, in column order
  int ncol = -1;                    // column count as the column reader takes it; -1 when unknown
};

// Reads the scan's labels, and its first data line when the column count is
// neither in the record nor on a #N line (the record is not changed).
ScanColumns scan_columns(IndexTable& t, const scanRef& r);

// "scan 12 (i=5)": the scan number and 1-based position, as messages name a
// scan.
std::string scan_title(const IndexTable& t, const scanRef& r);

// The name of column `col` (1-based, or negative counting from the last):
// its label, or "col<number>" when the scan has none for it.
std::string column_name(const ScanColumns& sc, int col);

// True when the scan has column `col`, or when its column count is unknown.
bool column_in_scan(int col, int ncol);

// The label of `labels` closest to `label`, a typo away (about one edit in
// three characters, case aside), or "" when none is.
std::string closest_label(const std::vector<std::string>& labels, const std::string& label);

// Finds `label` in the scan; false with the line that says why (missing,
// with the labels the scan has, or ambiguous), without a line end.
bool resolve_label(const ScanColumns& sc, const std::string& title, const std::string& label,
                   int* column, std::string* why);

// Resolves the x, y and monitor columns of `wanted` for scan `r`. Without
// any label chosen, *resolved is `wanted` and nothing is read. Otherwise
// *resolved holds the column numbers to read in this scan (labels replaced
// by their columns), and its label members hold the names of all three
// columns in this scan (see column_name). A caller that does not read a
// column (the monitor without normalisation) clears its label first, so a
// scan lacking it is not refused. False, with the line that says why, when
// a label is not in the scan or is ambiguous there.
bool resolve_columns(IndexTable& t, const scanRef& r, const ColumnChoice& wanted,
                     ColumnChoice* resolved, std::string* why);

// True when one of x, y, monitor is chosen by label.
bool has_label(const ColumnChoice& c);

// The W column list: numbers and labels, mixed.
constexpr int kMaxWColumns = 20;

struct ListedColumn {
  int number = 0;     // the column number; unused for a label
  std::string label;  // empty for a number
};

// Reads a W column list: up to kMaxWColumns entries from its start, each a
// whole number (optional sign and digits; white space before it skipped, and
// a sign may start the next number without a blank: "1-1" is two), a label
// beginning with a letter, '_' or a non-ASCII byte and running to the next
// white space, or any text in double quotes. A label starts only after white
// space. Reading stops at the first text that is none of these ("1,2" holds
// one number). Returns the count read, or -1 when the list holds nothing but
// white space; *more is set when entries beyond the limit were left out.
int read_column_list(const std::string& wcolumns, std::vector<ListedColumn>* list,
                     bool* more = nullptr);

// Resolves a W column list for scan `r` into column numbers. Without a
// label nothing is read and `names` stays empty; otherwise `names` holds
// the name of each column in this scan. False with the line that says why,
// as resolve_columns.
bool resolve_column_list(IndexTable& t, const scanRef& r, const std::vector<ListedColumn>& list,
                         std::vector<int>* numbers, std::vector<std::string>* names,
                         std::string* why);

// Lists the columns of the scan at 0-based position `ref` on con.my_stdout:
// number, number from the last, label and the value in the first data line,
// marking the columns that `cols` chooses as x, y and monitor. Returns ref.
int scan_columns_list(IndexTable& t, Console& con, int ref, const ColumnChoice& cols);

#endif  // KURVATAB_READ_COLUMN_CHOICE_H_
