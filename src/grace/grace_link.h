// The link to Grace: plotting a scan and the hard copy, batch and parameter
// requests. Grace is started on the first plot through grace_np.
#ifndef KURVATAB_GRACE_GRACE_LINK_H_
#define KURVATAB_GRACE_GRACE_LINK_H_

#include <string>

#include "frontend/console.h"
#include "frontend/settings.h"
#include "index/index_table.h"

struct GraceLink {
  std::string tmpname;  // temporary plot file of the running Grace
};

int gracesend_scan(GraceLink& g, IndexTable& t, const Settings& st, Console& con, int ref);
void gracesend_print(GraceLink& g, const Settings& st, const char* name);
int gracesend_batch(GraceLink& g, Console& con, const char* name);
int gracesend_parameter(GraceLink& g, Console& con, const char* name);

// Closes Grace and removes the temporary files; registered with atexit.
void grace_atexit();

#endif  // KURVATAB_GRACE_GRACE_LINK_H_
