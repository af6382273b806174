// The process-wide state of the Grace link: the one Grace process that the
// grace_np library drives, the temporary plot files made for it, and where the
// library's error messages go. They are process-wide; they live
// here because the exit handler and grace_np's error callback take no
// arguments.
#ifndef KURVATAB_GRACE_GRACE_PROCESS_H_
#define KURVATAB_GRACE_GRACE_PROCESS_H_

#include <cstdio>
#include <string>
#include <vector>

struct GraceProcess {
  // Every temporary plot file this process has created and not yet removed.
  std::vector<std::string> tmpfiles;
  // True once grace_atexit has been registered with atexit.
  bool atexit_registered = false;
  // Stream for grace_np's messages; nullptr means stderr. Set only while an
  // operation runs (see GraceErrorScope), so a test's memory stream is never
  // written after it is gone.
  FILE* errors = nullptr;
  // The last message printed during the current operation: a message is
  // printed once per operation, not once per command that failed.
  std::string last_error;
};

extern GraceProcess grace_process;

// Routes grace_np's messages to `errors` (nullptr: stderr) for the lifetime
// of the scope; installs our error function in grace_np first.
class GraceErrorScope {
 public:
  explicit GraceErrorScope(FILE* errors);
  ~GraceErrorScope();
  GraceErrorScope(const GraceErrorScope&) = delete;
  GraceErrorScope& operator=(const GraceErrorScope&) = delete;
};

// Prints one message of the Grace link as one line on the current error
// stream, unless it is the message printed last in this operation.
void grace_report(const std::string& message);

// Creates a new temporary plot file (mkstemp in TMPDIR, else /tmp) and
// records it for removal at exit. Returns its name, or an empty string with
// `*error` set to a message when it cannot be made.
std::string grace_make_tmpfile(std::string* error);

// Removes the temporary plot file `name` now and forgets it.
void grace_remove_tmpfile(const std::string& name);

// Registers grace_atexit once per process.
void grace_register_atexit();

#endif  // KURVATAB_GRACE_GRACE_PROCESS_H_
