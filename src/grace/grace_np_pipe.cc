// The pipe through Grace's pipe library grace_np.
#include <grace_np.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "grace/grace_pipe.h"
#include "grace/grace_process.h"

// grace_np forks its Grace itself and keeps the process id. The program is
// linked with --wrap=fork, so grace_np's fork comes here and the id is
// noted for the pipe (the program forks nowhere else).
extern "C" pid_t __real_fork(void);
extern "C" pid_t __wrap_fork(void) {
  pid_t pid = __real_fork();
  if (pid > 0) grace_process.forked = pid;
  return pid;
}

namespace {

constexpr int kBufferSize = 2048;

// grace_np hands us texts such as "No grace subprocess3" (the digit tells
// its call sites apart) or "GraceOneWrite: Broken pipe".
void note_np_error(const char* msg) {
  std::string m = msg ? msg : "";
  if (m.compare(0, 19, "No grace subprocess") == 0) m = "no Grace process is running";
  std::replace(m.begin(), m.end(), '\n', ' ');
  while (!m.empty() && m.back() == ' ') m.pop_back();
  grace_process.np_error = m;
}

// True when execvp would find `prog`: an executable regular file in one of
// the PATH directories (an empty entry is the current directory).
bool program_on_path(const char* prog) {
  const char* env = getenv("PATH");
  std::string path = env ? env : "/bin:/usr/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string full = (dir.empty() ? "." : dir) + "/" + prog;
    struct stat sb;
    if (stat(full.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && access(full.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

class GraceNpPipe : public GracePipe {
 public:
  GraceNpPipe() { GraceRegisterErrorFunction(note_np_error); }

  int open() override {
    const char* display = getenv("DISPLAY");
    if (!display || !*display) {
      grace_process.np_error =
          "xmgrace: no display (DISPLAY is not set): run kurvatab in an X session, or set "
          "DISPLAY";
      return -1;
    }
    if (!program_on_path("xmgrace")) {
      grace_process.np_error =
          "xmgrace: not found on PATH (or not executable): install the grace package "
          "(apt-get install grace)";
      return -1;
    }
    // The child inherits the stdio buffers; what is pending goes out now,
    // once.
    fflush(nullptr);
    grace_process.forked = -1;
    if (GraceOpen(kBufferSize) == -1) return -1;
    // grace_np has just registered its own exit handler; ours must run
    // before it, so it is registered again after each start.
    atexit(grace_atexit);
    return grace_process.forked > 0 ? grace_process.forked : 0;
  }

  bool is_open() override { return GraceIsOpen() != 0; }

  bool send(const std::string& command) override {
    return delivered(GraceCommand(command.c_str()) == 0);
  }

  bool flush() override { return delivered(GraceFlush() == 0); }

  void close() override {
    if (GraceIsOpen()) GraceClose();
  }

  bool has_ended(int pid) override {
    if (pid <= 0) return true;
    for (;;) {
      pid_t r = waitpid(pid, nullptr, WNOHANG);
      if (r == pid) return true;
      if (r == 0) return false;
      if (errno != EINTR) return true;  // ECHILD: grace_np has reaped it already
    }
  }

  bool end(int pid, int wait_ms) override {
    if (wait_until_ended(pid, wait_ms)) return true;
    kill(pid, SIGTERM);
    if (!wait_until_ended(pid, 1000)) {
      kill(pid, SIGKILL);
      while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
      }
    }
    return false;
  }

  std::string error() override {
    std::string e;
    e.swap(grace_process.np_error);
    return e;
  }

 private:
  // grace_np closes the pipe without a word when Grace has stopped reading.
  static bool delivered(bool ok) {
    if (!ok && grace_process.np_error.empty() && !GraceIsOpen()) {
      grace_process.np_error = "xmgrace has gone away; the next plot starts it again";
    }
    return ok;
  }

  bool wait_until_ended(int pid, int wait_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      if (has_ended(pid)) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
};

}  // namespace

GracePipe& grace_np_pipe() {
  // Never destroyed: the exit handler may still use it.
  static GraceNpPipe* pipe = new GraceNpPipe;
  return *pipe;
}

// grace_np forgets its 2 KiB command buffer when its Grace goes away by
// itself (the user closed the window), and allocates a new one at the next
// start. That is the library's and bounded per start; keep leak checking
// builds quiet about it.
extern "C" const char* __lsan_default_suppressions() { return "leak:GraceOpenVA\n"; }
