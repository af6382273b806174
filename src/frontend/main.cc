#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/interrupt.h"
#include "frontend/interpreter.h"
#include "frontend/line_input.h"
#include "frontend/progress.h"

// A standard descriptor that is closed at start would be handed to the next
// file opened: the scan file would then be read as commands, or messages
// written into a file. /dev/null holds each such descriptor instead, so a
// closed standard input reads as the end of input.
static void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int held = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (held >= 0 && held != fd) close(held);
  }
}

int main(int argc, char** argv) {
  hold_standard_descriptors();
  // A reader that went away (the Grace window closed, a pager quit) makes
  // writes to it fail with EPIPE, which is reported, instead of ending the
  // program.
  signal(SIGPIPE, SIG_IGN);
  // Ctrl-C stops a command, SIGTERM and SIGHUP end the program as q does,
  // and a write past the file size limit fails instead of killing it.
  install_signal_handlers();
  // Each export of a loop takes and gives back the same few hundred KiB of
  // buffers; kept by the allocator, they are not faulted in afresh for every
  // scan.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
  Session s;
  // Indexing a large file shows how far it got, on a terminal only: a
  // transcript of standard error stays as it was.
  ProgressMeter meter(s.con.err, nullptr, progress_delay(getenv("KURVATAB_PROGRESS_DELAY")));
  if (isatty(STDERR_FILENO)) {
    meter.attach(s.index);
    s.meter = &meter;
  }
  if (!use_line_editing(STDIN_FILENO, STDOUT_FILENO)) return kurvatab_main(argc, argv, stdin, s);
  LineInput input(history_path(), s.con.err);
  return kurvatab_main(argc, argv, input, s);
}
