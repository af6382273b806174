// A scan file in a temporary folder, opened and indexed; the test runs there.
#ifndef KURVATAB_TESTS_OUTPUT_SCAN_FIXTURE_H_
#define KURVATAB_TESTS_OUTPUT_SCAN_FIXTURE_H_

#include <unistd.h>

#include <string>

#include "base/options.h"
#include "index/index_table.h"
#include "testutil.h"

struct ScanFixture {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  ExportOptions st;
  std::string path, old_cwd;

  explicit ScanFixture(const std::string& content) : path(dir.write("scan.dat", content)) {
    char* cwd = getcwd(nullptr, 0);
    old_cwd = cwd ? cwd : "/";
    free(cwd);
    if (chdir(dir.path().c_str()) != 0) abort();
    index_open(t, tc.con, path.c_str());
    index_file(t, tc.con);
    tc.out.str(true);
  }
  ~ScanFixture() {
    if (chdir(old_cwd.c_str()) != 0) abort();
  }
  Console& con() { return tc.con; }
  std::string out() { return tc.out.str(true); }
  std::string file(const std::string& name) { return read_file(dir.file(name)); }
  bool exists(const std::string& name) { return access(dir.file(name).c_str(), F_OK) == 0; }
};

#endif  // KURVATAB_TESTS_OUTPUT_SCAN_FIXTURE_H_
