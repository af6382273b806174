// The link to Grace: plotting a scan and the hard copy, batch and parameter
// requests. Grace (the program xmgrace) is started on the first plot through
// Grace's pipe library grace_np and is fed text commands; the points of a plot
// reach it through a temporary plot file. There is one Grace process per
// program (grace_np keeps one connection); see grace_process.h.
#ifndef KURVATAB_GRACE_GRACE_LINK_H_
#define KURVATAB_GRACE_GRACE_LINK_H_

#include <string>

#include "base/console.h"
#include "base/options.h"
#include "index/index_table.h"

struct GraceLink {
  std::string tmpname;  // temporary plot file of the running Grace
};

// Plots the scan at 0-based position `ref` (already checked by the caller):
// starts Grace when none is connected, writes the points to `tmpname` and
// sends the command sequence that reads them as a new data set. Messages go
// to con.out; "Can't run Grace." and grace_np's messages to con.err.
// Columns chosen by label are resolved for the scan (output/column_choice.h)
// and name the axes; a scan that lacks one is not plotted (one line says
// why) and kSkippedScan is returned. Otherwise returns `ref`.
int gracesend_scan(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref);

// Asks the running Grace for a hard copy with the `graceprint` parameters.
// `name` (the rest of the command line) is not used. grace_np's messages
// (no Grace running) go to stderr.
void gracesend_print(GraceLink& g, const PlotOptions& st, const char* name);

// Makes Grace run the batch file `name` (exactly as typed). Returns 0 when
// the file exists and the command was handed to grace_np, -1 when not found.
int gracesend_batch(GraceLink& g, Console& con, const char* name);

// Makes Grace load the parameter file `name`; results as gracesend_batch.
int gracesend_parameter(GraceLink& g, Console& con, const char* name);

// Closes Grace and removes every temporary plot file; registered with atexit
// when Grace is first started. Safe to call more than once.
void grace_atexit();

#endif  // KURVATAB_GRACE_GRACE_LINK_H_
