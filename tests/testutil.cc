#include "testutil.h"

#include <ftw.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

const char kDemoFile[] =
    "#F demo\n"
    "\n"
    "#S 1  first scan\n"
    "#N 3\n"
    "#L x  mon  det\n"
    "0 1000 12\n"
    "1 1000 15\n"
    "#D stopped\n"
    "\n"
    "#S 2  second scan\n"
    "#N 3\n"
    "#L x  mon  det\n"
    "-1 1000 3\n"
    "1 1000 4\n";

const char kSpectrumFile[] =
    "#S 1  with spectra\n"                      // line 1, offset 0
    "#N 3\n"                                    // 19
    "#@MCA 16C\n"                               // 24
    "#L x  mon  det\n"                          // 34
    "1 100 10\n"                                // 49
    "@A 0 1 2 3\\\n"                            // 58
    " 4 5 6 7\\\r\n"                            // 70: a continuation may start with a blank
    "8 9 10 11\n"                               // 81: or a digit
    "2 100 20\n"                                // 91
    "@A 5 5 5 5\n"                              // 100: a spectrum on one line
    "3 100 30\n"                                // 111
    "@A 1 2\\\n"                                // 120
    "#C aborted: a # line ends the spectrum\n"  // 128
    "4 100 40\n"                                // 167
    "#S 2  spectrum first\n"                    // 176
    "@A 9 9\\\n"                                // 197
    "9 9\n"                                     // 205
    "5 6\n";                                    // 209, line 18

std::string MemOut::str(bool clear) {
  fflush(f_);
  std::string s(buf_ + taken_, len_ - taken_);
  if (clear) taken_ = len_;
  return s;
}

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kurvatab-test-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  nftw(
      path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
      16, FTW_DEPTH | FTW_PHYS);
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

namespace {

// Each test process gets an index cache folder of its own, removed at the
// end, so that no test reads or writes the user's cache.
class CacheHome : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    setenv("XDG_CACHE_HOME", dir_->path().c_str(), 1);
  }
  void TearDown() override { dir_.reset(); }

 private:
  std::unique_ptr<TempDir> dir_;
};

::testing::Environment* const cache_home = ::testing::AddGlobalTestEnvironment(new CacheHome);

}  // namespace
