// Helpers shared by the fuzz targets: a private working directory, memory
// streams for the console, and a check that aborts with a message (libFuzzer
// then saves the input that failed).
#ifndef KURVATAB_FUZZ_FUZZ_UTIL_H_
#define KURVATAB_FUZZ_FUZZ_UTIL_H_

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/console.h"
#include "frontend/session.h"
#include "index/index_table.h"

#define FUZZ_CHECK(cond, ...)                                                    \
  do {                                                                           \
    if (!(cond)) {                                                               \
      fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #cond); \
      fprintf(stderr, __VA_ARGS__);                                              \
      fputc('\n', stderr);                                                       \
      abort();                                                                   \
    }                                                                            \
  } while (0)

namespace fuzz {

inline int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

// A fresh directory under TMPDIR (or /tmp) that becomes the working
// directory of the process and holds its index cache; removed with its
// contents at exit.
inline const std::string& work_dir() {
  static std::string dir = [] {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kurvatab-fuzz-XXXXXX";
    if (!mkdtemp(&tmpl[0]) || chdir(tmpl.c_str()) != 0) {
      perror("kurvatab fuzz: working directory");
      abort();
    }
    atexit([] { nftw(work_dir().c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); });
    // The index cache, should a large file be opened, stays in here too.
    setenv("XDG_CACHE_HOME", (tmpl + "/.cache").c_str(), 1);
    return tmpl;
  }();
  return dir;
}

// Removes every entry of the working directory except `keep`.
inline void clean_work_dir(const std::string& keep) {
  DIR* d = opendir(work_dir().c_str());
  if (!d) return;
  while (struct dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == ".." || n == keep) continue;
    nftw((work_dir() + "/" + n).c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }
  closedir(d);
}

inline void write_file(const std::string& path, const std::string& content) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(content.data(), 1, content.size(), f) != content.size() || fclose(f) != 0) {
    perror(path.c_str());
    abort();
  }
}

// A write-only memory stream; what it holds is dropped with it.
class MemSink {
 public:
  MemSink() : f_(open_memstream(&buf_, &len_)) {}
  ~MemSink() {
    fclose(f_);
    free(buf_);
  }
  MemSink(const MemSink&) = delete;
  MemSink& operator=(const MemSink&) = delete;
  FILE* f() { return f_; }
  std::string str() {
    fflush(f_);
    return std::string(buf_, len_);
  }

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  FILE* f_;
};

// A console whose three streams are memory streams.
struct SinkConsole {
  MemSink out, err;
  Console con;
  SinkConsole() {
    con.out = out.f();
    con.err = err.f();
    con.my_stdout = out.f();
  }
};

// No Grace may be started: without DISPLAY and with xmgrace off the PATH a
// plot reports that Grace cannot run.
inline void keep_grace_away() {
  unsetenv("DISPLAY");
  setenv("PATH", work_dir().c_str(), 1);
}

// A small scan file with headers, comments among the data, a scan without
// data and a NUL line.
constexpr char kScanFile[] =
    "#F fuzz\n"
    "\n"
    "#S 1  first scan\n"
    "#N 3\n"
    "#L x  mon  det\n"
    "0 1000 12\n"
    "1 1000 15\n"
    "#C among the data\n"
    "2 0.5 -3e2\n"
    "\n"
    "#S 2  second\n"
    "#S 3  third, four columns\n"
    "#N 4\n"
    "-1 1000 3 7\n"
    "1 1000 4 nan\n"
    "1.5-2 3 4 5\n"
    "#S 3 again\n"
    "5 6 7\n"
    "6 7 abc\n"
    "\0 a NUL line ends the data\n"
    "7 8 9\n"
    "#S 4 last\n"
    "1 2\n"
    "3 4";
inline std::string scan_file() { return std::string(kScanFile, sizeof kScanFile - 1); }

inline std::string read_all(const char* name) {
  std::string c;
  FILE* f = fopen(name, "rb");
  if (!f) return c;
  int ch;
  while ((ch = getc(f)) != EOF) c.push_back(char(ch));
  fclose(f);
  return c;
}

// A session on a fresh copy of the scan file "scan.dat" in the working
// directory (everything else there is removed first), indexed, printing into
// memory streams.
struct ScanSession {
  MemSink out, err;
  Session s;
  ScanSession() {
    clean_work_dir("");
    write_file("scan.dat", scan_file());
    s.con.out = s.con.my_stdout = out.f();
    s.con.err = err.f();
    index_open(s.index, "scan.dat").report(s.con.out);
    index_file(s.index, s.con);
  }
  // True when the scan file still holds what it was made with.
  static bool scan_file_intact() { return read_all("scan.dat") == scan_file(); }
};

}  // namespace fuzz

#endif  // KURVATAB_FUZZ_FUZZ_UTIL_H_
