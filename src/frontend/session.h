// Everything one run of the program works on. The interpreter owns one
// Session and hands its parts to the operations; a test builds a fresh one
// with `Session s;`, or with `Session s(pipe);` to plot through a pipe of its
// own.
#ifndef KURVATAB_FRONTEND_SESSION_H_
#define KURVATAB_FRONTEND_SESSION_H_

#include "base/console.h"
#include "frontend/progress.h"
#include "frontend/settings.h"
#include "grace/grace_link.h"
#include "index/index_table.h"

struct Session {
  Session() = default;
  explicit Session(GracePipe& pipe) : grace(pipe) {}

  Console con;
  Settings settings;
  IndexTable index;
  GraceLink grace;
  ProgressMeter* meter = nullptr;  // shows long passes; set only at a terminal
  // The scan g fitted last (0-based position and number): a plot of it
  // draws its fit again. -1 when none.
  int fitted_ref = -1;
  int fitted_scan = -1;
  // Something the user asked for failed: a command, or a scan file named on
  // the command line that could not be opened.
  bool failed = false;
};

#endif  // KURVATAB_FRONTEND_SESSION_H_
