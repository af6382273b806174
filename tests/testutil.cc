#include "testutil.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

const char kDemoFile[] =
    "#F demo\n\n"
    "#S 1  first scan\n#N 3\n#L x  mon  det\n0 1000 12\n1 1000 15\n#D stopped\n\n"
    "#S 2  second scan\n#N 3\n#L x  mon  det\n-1 1000 3\n1 1000 4\n";

// Scan 1 (4 data lines, a '#' line among them) at 0, its data at 49, first
// spectrum at 58; scan 2 (a spectrum, then a data line) at 176, its data at 209.
const char kSpectrumFile[] =
    "#S 1  with spectra\n#N 3\n#@MCA 16C\n#L x  mon  det\n1 100 10\n"
    "@A 0 1 2 3\\\n 4 5 6 7\\\r\n8 9 10 11\n"  // continued after a blank, then a digit
    "2 100 20\n@A 5 5 5 5\n3 100 30\n"
    "@A 1 2\\\n#C aborted: a # line ends the spectrum\n4 100 40\n"
    "#S 2  spectrum first\n@A 9 9\\\n9 9\n5 6\n";

std::string MemOut::str(bool clear) {
  fflush(f_);
  std::string s(buf_ + taken_, len_ - taken_);
  if (clear) taken_ = len_;
  return s;
}

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  path_ = std::string(base && *base ? base : "/tmp") + "/kurvatab-test-XXXXXX";
  if (!mkdtemp(path_.data())) abort();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

InDir::InDir(const std::string& dir) {
  char* cwd = getcwd(nullptr, 0);
  old_ = cwd ? cwd : "/";
  free(cwd);
  if (chdir(dir.c_str()) != 0) abort();
}

InDir::~InDir() {
  if (chdir(old_.c_str()) != 0) abort();
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  std::ofstream(file(name), std::ios::binary) << content;
  return file(name);
}

std::string read_file(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

void append_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::app) << content;
}

// Each test process has an index cache folder of its own, never the user's.
static const struct CacheHome {
  TempDir dir;
  CacheHome() { setenv("XDG_CACHE_HOME", dir.path().c_str(), 1); }
} cache_home;
