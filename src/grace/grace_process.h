// The process-wide state of the Grace link: what grace_np's callbacks and
// the process exit handler need, since they take no arguments. Nothing else
// of the link is global; the link's own state is a GraceLink.
#ifndef KURVATAB_GRACE_GRACE_PROCESS_H_
#define KURVATAB_GRACE_GRACE_PROCESS_H_

#include <string>

struct GraceLink;

struct GraceProcess {
  // The child process started by grace_np's last fork: grace_np keeps the
  // process id of its Grace to itself, so the pipe catches it on the way
  // (grace_np_pipe.cc).
  int forked = -1;
  // grace_np's last message, handed out by the pipe's error().
  std::string np_error;
  // The link whose Graces the exit handler ends: the link that started a
  // Grace last, until it is destroyed.
  GraceLink* link = nullptr;
};

extern GraceProcess grace_process;

// Ends every Grace of grace_process.link and removes their plot files (see
// grace_end). The grace_np pipe registers it with atexit each time it starts
// a Grace, so it runs before the handler that grace_np registers at each
// start (which only closes the pipe and leaves that Grace running). Safe to
// run more than once.
void grace_atexit();

#endif  // KURVATAB_GRACE_GRACE_PROCESS_H_
