// Listings of one scan, copied verbatim from the scan file to con.my_stdout.
// `ref` is a 0-based position that names a record (callers check it first).
#ifndef KURVATAB_OUTPUT_LISTING_H_
#define KURVATAB_OUTPUT_LISTING_H_

#include "frontend/console.h"
#include "index/index_table.h"

int scan_header(IndexTable& t, Console& con, int ref);
int scan_comment(IndexTable& t, Console& con, int ref);
int scan_print(IndexTable& t, Console& con, int ref);

#endif  // KURVATAB_OUTPUT_LISTING_H_
