// The fields of a scan file's header lines, each read by one rule for every
// reader (the indexer, the check, the column choice, the HDF5 export). A
// header line is '#', a key letter and the field's text; keys that run over
// several lines number them after the letter ("#O0", "#O1", "#P0").
//
//   #S  opens a scan: its number, then its title
//   #N  the scan's column count
//   #L  the column labels (split_labels)
//   #D  the date: a text date or seconds since 1970 (iso_date)
//   #O  the motor names of the file header (#o: their mnemonics), which
//       name the values of a scan's #P lines; a file restarted by its
//       writer has a new header, and the run of #O lines nearest before a
//       scan is the one that applies to it
//   #P  the motor positions at the start of the scan
//
// Every text taken from a header drops its line end, the CR of a CR LF
// included, so a file written on another system gives the same labels,
// names, titles and dates.
#ifndef KURVATAB_FORMAT_HEADER_H_
#define KURVATAB_FORMAT_HEADER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/scan_file.h"

// `line` without its line end: a trailing "\n", "\r\n" or "\r".
std::string_view line_body(std::string_view line);

// True when `line` is a header line with the key letter `key`.
inline bool is_key(std::string_view line, char key) {
  return line.size() >= 2 && line[0] == '#' && line[1] == key;
}

// The text of a header line behind its key and the digits numbering it,
// without the line end: "#P0 1 2\r\n" gives " 1 2".
std::string_view key_text(std::string_view line);

// #S: the scan number as atoi reads it after "#S" (0 when there is none).
int scan_number(std::string_view s_line);

// #S: the title, the text behind the number with the blanks around it and
// the line end dropped ("#S 12  ascan th 0 1\r\n" gives "ascan th 0 1").
std::string_view scan_line_title(std::string_view s_line);

// #N: the column count as "%d" reads it after "#N" (0 when there is none).
int column_count(std::string_view n_line);

// #L: splits the labels. `l_text` is the text after "#L" (the whole line,
// "#L" included, is taken as well); its line end is dropped. Labels are
// separated by two or more blanks, or by blanks that include a tab, so a
// label may hold single blanks ("Two Theta"). A single blank separates too
// when `ncol` (the scan's column count: #N, else its first data line's; 0
// or less when not known) says so:
//   - when splitting at every blank gives `ncol` labels and the wider
//     separators do not, or
//   - when the line has no wider separator at all and `ncol` is more than
//     one (the writer separates its labels by single blanks).
// Labels are returned as written, in order; repeated labels are kept. An
// empty text gives none. At most `max_labels` labels are returned (the
// choice of split still counts them all), so a pathological line costs no
// more than the labels wanted.
std::vector<std::string> split_labels(std::string_view l_text, int ncol,
                                      size_t max_labels = SIZE_MAX);

// #D: the date as written, the text behind "#D" with the blanks around it
// and the line end dropped.
std::string_view date_text(std::string_view d_line);

// #D: the date as ISO 8601 ("2002-02-21T14:41:54"), from a text date
// ("Thu Feb 21 14:41:54 2002", the week day may be missing;
// "2002-02-21 14:41:54") or from seconds since 1970 ("1505495021.0", in
// local time as the text dates are, the fraction dropped). `date` is the
// date_text. Empty when the text is neither.
std::string iso_date(std::string_view date);

// #P: appends the numbers of a #P line to `positions`.
void add_positions(std::string_view p_line, std::vector<double>* positions);

// #O, #o: appends the names of one line of a run to `names`, two blanks
// apart from those of the lines before; split them with split_labels and
// the count of positions.
void add_motor_names(std::string_view o_line, std::string* names);

// #O (`key` 'O'), #o ('o'): the texts of the run of such lines nearest
// before the line start `before` in `file`, looking back no further than the
// line start `floor`, joined as add_motor_names joins them. True when there
// is such a run; `names` is then its texts, or empty when they are more than
// `most` bytes (more than any scan has positions). False when there is
// none; `names` is unchanged.
bool motor_names_before(const ScanFile& file, char key, int64_t before, int64_t floor, size_t most,
                        std::string* names);

#endif  // KURVATAB_FORMAT_HEADER_H_
