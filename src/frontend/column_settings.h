// The column settings as the user types and sees them: x, y and z take a
// number or a label; messages and the status show a label with the column
// it resolves to in the current scan ("x=Theta(1)"); a choice that does not
// fit the current scan, and a W format that does not fit the W columns, are
// told at the moment they are set.
#ifndef KURVATAB_FRONTEND_COLUMN_SETTINGS_H_
#define KURVATAB_FRONTEND_COLUMN_SETTINGS_H_

#include <string>
#include <vector>

#include "frontend/session.h"

// What the text after x, y or z chooses. Text that begins with a number (a
// sign or a digit after white space, as getanum reads it) is a number, read
// exactly as getanum reads it: nothing is chosen when it gives 0 or is out
// of range. Text in double quotes (up to the closing quote), and any other
// text (without the white space around it), is a label.
struct ColumnArg {
  enum Kind { kNothing, kNumber, kLabel };
  Kind kind = kNothing;
  int number = 0;
  std::string label;
};
ColumnArg parse_column_arg(const char* c);

// The record at the 1-based current index i, or null when i names none.
scanRef* current_scan(Session& s, int i);

// How x, y and z are shown: the number, or the label with its column in
// `current` ("Theta(1)"; "Theta(?)" when that scan lacks it; "Theta" when
// there is no current scan).
struct ColumnTexts {
  std::string x, y, z;
};
ColumnTexts column_texts(Session& s, const scanRef* current);

// " using columns x=%s and y=%s for xmgr, z=%s as monitor\n" with the texts.
std::string columns_message(Session& s, const scanRef* current);

// The lines that say why the column just set with `letter` (x, y, z) does
// not fit `current`: a column number it does not have, a label it lacks or
// holds twice. Empty when it fits or there is no current scan.
std::string column_fit(Session& s, const scanRef* current, char letter);

// The same for the W columns and the W format (after C or F): entries the
// current scan lacks, a list or a format that W will refuse, and a format
// with more or fewer conversions than there are W columns.
std::string wcolumns_fit(Session& s, const scanRef* current);
std::string wformat_fit(const Settings& st);

// The labels of the current scan, for completion at the terminal.
std::vector<std::string> current_labels(Session& s, int i);

#endif  // KURVATAB_FRONTEND_COLUMN_SETTINGS_H_
