// Listings of one scan, copied verbatim from the scan file to con.my_stdout:
// its header, its comments, its data. `ref` is a 0-based position that names
// a record (callers check it first; a position outside the table lists
// nothing). Each listing stops at the end of the scan file, also when the
// file was cut short after it was indexed, at the first failed write (a
// pager that was quit), and at Ctrl-C, which it says on con.out with the
// byte it reached. Each returns `ref`.
#ifndef KURVATAB_OUTPUT_LISTING_H_
#define KURVATAB_OUTPUT_LISTING_H_

#include "base/console.h"
#include "index/index_table.h"

// The #S line and the '#' lines right after it, up to the first other line.
int scan_header(IndexTable& t, Console& con, int ref);

// Every line from the record's cseek to its eseek whose first character is
// not a digit, '-' or '+'.
int scan_comment(IndexTable& t, Console& con, int ref);

// The scan's data from its first data line on, until `lines` data lines
// (lines a number reads from) have been listed; '#' lines and other lines
// among them are listed in place and not counted. A scan without data gives
// " No data to plot lines = %d\n".
int scan_print(IndexTable& t, Console& con, int ref);

#endif  // KURVATAB_OUTPUT_LISTING_H_
