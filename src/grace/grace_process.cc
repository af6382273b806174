#include "grace/grace_process.h"

#include <grace_np.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "grace/grace_link.h"

GraceProcess grace_process;

namespace {

// grace_np hands us texts such as "No grace subprocess3" (the digit tells its
// call sites apart) or "GraceOneWrite: Broken pipe"; we print each as one line.
void grace_np_error(const char* msg) {
  std::string m = msg ? msg : "";
  if (m.compare(0, 19, "No grace subprocess") == 0) {
    m = "no Grace process is running";
  }
  std::replace(m.begin(), m.end(), '\n', ' ');
  while (!m.empty() && m.back() == ' ') m.pop_back();
  grace_report("Grace: " + m);
}

}  // namespace

GraceErrorScope::GraceErrorScope(FILE* errors) {
  GraceRegisterErrorFunction(grace_np_error);
  grace_process.errors = errors;
  grace_process.last_error.clear();
}

GraceErrorScope::~GraceErrorScope() {
  grace_process.errors = nullptr;
  grace_process.last_error.clear();
}

void grace_report(const std::string& message) {
  if (message == grace_process.last_error) return;
  grace_process.last_error = message;
  FILE* f = grace_process.errors ? grace_process.errors : stderr;
  fprintf(f, "%s\n", message.c_str());
  fflush(f);
}

std::string grace_make_tmpfile(std::string* error) {
  const char* dir = getenv("TMPDIR");
  std::string name = (dir && *dir) ? dir : "/tmp";
  name += "/kurvatabXXXXXX";
  int fd = mkstemp(&name[0]);
  if (fd < 0) {
    *error = " Can't create temporary plot file " + name + ": " + strerror(errno);
    return std::string();
  }
  close(fd);
  grace_process.tmpfiles.push_back(name);
  return name;
}

void grace_remove_tmpfile(const std::string& name) {
  auto& v = grace_process.tmpfiles;
  auto it = std::find(v.begin(), v.end(), name);
  if (it == v.end()) return;
  unlink(name.c_str());
  v.erase(it);
}

void grace_register_atexit() {
  if (grace_process.atexit_registered) return;
  if (atexit(grace_atexit) == 0) grace_process.atexit_registered = true;
}

void grace_atexit() {
  if (GraceIsOpen()) GraceClose();
  for (const std::string& name : grace_process.tmpfiles) unlink(name.c_str());
  grace_process.tmpfiles.clear();
}

// grace_np forgets its 2 KiB command buffer when its Grace goes away by
// itself (the user closed the window), and allocates a new one at the next
// start. That is the library's and bounded per start; keep leak checking
// builds quiet about it.
extern "C" const char* __lsan_default_suppressions() { return "leak:GraceOpenVA\n"; }
