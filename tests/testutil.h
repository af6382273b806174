#ifndef KURVATAB_TESTS_TESTUTIL_H_
#define KURVATAB_TESTS_TESTUTIL_H_

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/console.h"

// A FILE* that collects what is written to it.
class MemOut {
 public:
  MemOut() : f_(open_memstream(&buf_, &len_)) {}
  ~MemOut() {
    fclose(f_);
    free(buf_);
  }
  MemOut(const MemOut&) = delete;
  MemOut& operator=(const MemOut&) = delete;
  FILE* f() { return f_; }
  // What was written since the text was last taken with `clear`.
  std::string str(bool clear = false);

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  FILE* f_;
  size_t taken_ = 0;
};

// A console on memory streams (my_stdout is `out` unless a test sets `listing`).
struct TestConsole {
  MemOut out, err, listing;
  Console con;
  TestConsole() { con.out = con.my_stdout = out.f(), con.err = err.f(); }
};

// A fresh temporary directory, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` to file(name) and returns that path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// Changes into `dir` and goes back to the former working folder at destruction
// (tests that run commands which change folder keep the next test's folder valid).
class InDir {
 public:
  explicit InDir(const std::string& dir);
  ~InDir();
  InDir(const InDir&) = delete;
  InDir& operator=(const InDir&) = delete;

 private:
  std::string old_;
};

// Sets (or, with nullptr, unsets) an environment variable for its lifetime.
struct ScopedEnv {
  std::string name, old;
  bool had;
  ScopedEnv(const char* n, const char* value) : name(n), had(getenv(n)) {
    if (had) old = getenv(n);
    value ? setenv(n, value, 1) : unsetenv(n);
  }
  ~ScopedEnv() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }
};

std::string read_file(const std::string& path);
void append_file(const std::string& path, const std::string& content);

// The two-scan demo file (14 lines, 135 bytes), and two scans with spectra
// ("@A" lines, continued after a backslash; see testutil.cc).
extern const char kDemoFile[], kSpectrumFile[];

#endif  // KURVATAB_TESTS_TESTUTIL_H_
