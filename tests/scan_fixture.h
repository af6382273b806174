// A scan file in a temporary folder, opened and indexed; the test runs there.
#ifndef KURVATAB_TESTS_SCAN_FIXTURE_H_
#define KURVATAB_TESTS_SCAN_FIXTURE_H_

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
  std::string path;
  InDir in_dir{dir.path()};

  explicit ScanFixture(const std::string& content) : path(dir.write("scan.dat", content)) {
    index_open(t, path.c_str());
    index_file(t, tc.con);
    tc.out.str(true);
  }
  Console& con() { return tc.con; }
  std::string out() { return tc.out.str(true); }
  std::string file(const std::string& name) { return read_file(dir.file(name)); }
  bool exists(const std::string& name) { return access(dir.file(name).c_str(), F_OK) == 0; }
};

// Detector is column 5, then 6, then none; scan 4 holds a label twice when case is
// ignored, scan 5 has no #L line, scan 6 no #N nor two blanks between labels.
inline const char kMixedLabels[] =
    "#S 1  ascan th\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 100 1 1000 5\n11 101 1 1000 7\n"
    "#S 2  a2scan th tth\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 102 1 2000 50\n11 22 103 1 2000 70\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n104 1 1000 3\n105 1 1000 4\n"
    "#S 4  odd\n#N 3\n#L Theta  DET  det\n1 2 3\n"
    "#S 5  bare\n#N 2\n1 2\n"
    "#S 6  old\n#L Theta Monitor Detector\n1 1000 9\n";

#endif  // KURVATAB_TESTS_SCAN_FIXTURE_H_
