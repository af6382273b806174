// Column files: the `w` export (x, y, error, monitor, normalised) and the
// `W` export through the user's format. `ref` is the 0-based position of the
// scan; both refuse a position outside the table themselves (" %d is not a
// valid index\n"). Messages go to con.out; an output name beginning with '-'
// writes to con.my_stdout, any other to a file (an empty name or one
// beginning with '*' to the generated "scan%03d.%03d"). The lines that tell
// what is written go to con.out as it goes on; a failure is returned with
// its message for the caller to print: a file that cannot be opened or
// written (its name and the system's reason), an export that stopped before
// the scan's last data line, a W column list or format refused.
//
// Columns chosen by label (x, y, monitor for `w`; the W column list for
// `W`) are resolved for the scan first: a scan that lacks one is skipped,
// with Status::not_found and the line saying so. With comments on,
// an export that has a column chosen by label writes one more header line,
// "#L" and the names of the columns it writes, two blanks apart.
#ifndef KURVATAB_OUTPUT_EXPORT_H_
#define KURVATAB_OUTPUT_EXPORT_H_

#include <string>
#include <vector>

#include "base/console.h"
#include "base/options.h"
#include "base/status.h"
#include "index/index_table.h"
#include "read/column_choice.h"

Status scan_write(IndexTable& t, const ExportOptions& st, Console& con, int ref, const char* name);
Status scan_printf(IndexTable& t, const ExportOptions& st, Console& con, int ref, const char* name);

// The `M` export: spectra of the scan at `ref` as text. `text` holds the
// words of the pick (read/spectra.h: a point, "+" for the sum, "a2" for the
// second analyser), then the output name as for scan_write ("-", a file;
// empty or '*': "mca%03d.%03d" with the scan number and 1-based position).
// One point or the sum: the columns channel, energy (the channel again
// without #@CALIB) and counts. Otherwise every point's spectrum, a column
// each after channel and energy, "nan" where a point has none. Counts are
// written with the fewest digits that read back exactly, energies with ten.
// Failures as for scan_write.
Status scan_spectra(IndexTable& t, const ExportOptions& st, Console& con, int ref,
                    const char* text);

// The W format, checked and taken apart. Allowed: literal text, "%%" and
// floating conversions (flags "-+ #0", a width and a precision of digits, an
// optional 'l', one of e E f F g G a A); at most kMaxWColumns conversions.
struct WFormat {
  struct Piece {
    std::string text;  // literal text, or a conversion as we rebuilt it
    int arg = -1;      // value index for a conversion, -1 for literal text
  };
  std::vector<Piece> pieces;
  int conversions = 0;

  // Rewrites each backslash-n into a blank and a line feed, then checks and
  // splits the result. On refusal returns false with *bad holding the
  // offending conversion (or empty when there are too many conversions).
  bool parse(const std::string& wformat, std::string* bad);
};

#endif  // KURVATAB_OUTPUT_EXPORT_H_
