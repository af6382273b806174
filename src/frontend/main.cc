#include <cstdio>

#include <unistd.h>

#include "frontend/interpreter.h"
#include "frontend/line_input.h"
#include "frontend/progress.h"

int main(int argc, char** argv) {
  Session s;
  // Indexing a large file shows how far it got, on a terminal only: a
  // transcript of standard error stays as it was.
  ProgressMeter meter(s.con.err);
  if (isatty(STDERR_FILENO)) meter.attach(s.index);
  if (!use_line_editing(STDIN_FILENO, STDOUT_FILENO)) return kurvatab_main(argc, argv, stdin, s);
  LineInput input(history_path(), s.con.err);
  return kurvatab_main(argc, argv, input, s);
}
