// Helpers shared by the unit tests.
#ifndef KURVATAB_TESTS_TESTUTIL_H_
#define KURVATAB_TESTS_TESTUTIL_H_

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/console.h"

// A FILE* that collects what is written to it (open_memstream).
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

// A console whose three streams are memory streams (my_stdout is `out`
// unless a test sets it to `listing`).
struct TestConsole {
  MemOut out, err, listing;
  Console con;
  TestConsole() {
    con.out = out.f();
    con.err = err.f();
    con.my_stdout = out.f();
  }
};

// A fresh temporary directory, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to path()/name and returns the full path.
  std::string write(const std::string& name, const std::string& content) const;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with nullptr, unsets) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), had_(getenv(name) != nullptr) {
    if (had_) old_ = getenv(name);
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { had_ ? setenv(name_.c_str(), old_.c_str(), 1) : unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_;
};

std::string read_file(const std::string& path);
void append_file(const std::string& path, const std::string& content);

// The two-scan demo file (14 lines, 135 bytes) used throughout the tests.
extern const char kDemoFile[];

// Two scans whose data lines are followed by multichannel analyser spectra
// ("@A" lines, continued after a backslash); scan 1 has 4 data lines and a
// '#' line among them, scan 2 one data line after a spectrum.
extern const char kSpectrumFile[];

#endif  // KURVATAB_TESTS_TESTUTIL_H_
