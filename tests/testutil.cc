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
