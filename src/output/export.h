// Column files: the `w` export (x, y, error, monitor, normalised) and the
// `W` export through the user's format. Both refuse a position outside the
// table themselves.
#ifndef KURVATAB_OUTPUT_EXPORT_H_
#define KURVATAB_OUTPUT_EXPORT_H_

#include "frontend/console.h"
#include "frontend/settings.h"
#include "index/index_table.h"

int scan_write(IndexTable& t, const Settings& st, Console& con, int ref, const char* name);
int scan_printf(IndexTable& t, const Settings& st, Console& con, int ref, const char* name);

#endif  // KURVATAB_OUTPUT_EXPORT_H_
