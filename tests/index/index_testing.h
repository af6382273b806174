// What the index tests share.
#ifndef KURVATAB_TESTS_INDEX_INDEX_TESTING_H_
#define KURVATAB_TESTS_INDEX_INDEX_TESTING_H_

#include <cstdio>
#include <cstring>
#include <string>

#include "index/index_table.h"
#include "testutil.h"

// Every field of every record, and the whole text up to its line feed (NULs too).
inline std::string render_table(const IndexTable& t) {
  std::string s = "Indexed=" + std::to_string(t.Indexed) +
                  " IndexSize=" + std::to_string(t.IndexSize) +
                  " length=" + std::to_string(t.IndexFileLength) + "\n";
  for (int k = 0; k < t.Indexed; k++) {
    const scanRef& r = t.Index[k];
    char buf[256];
    snprintf(buf, sizeof buf, "%d %d %d %lld %lld %lld %lld %lld %lld %u ", r.scan, r.ncol,
             r.ncol_N, (long long)r.hseek, (long long)r.vseek, (long long)r.cseek,
             (long long)r.eseek, (long long)r.lpos, (long long)r.lines, unsigned(r.lhead));
    const void* nl = r.txt ? memchr(r.txt, '\n', kMaxScanText) : nullptr;
    s += buf + (nl ? std::string(r.txt, static_cast<const char*>(nl) + 1) : "(no text)\n");
  }
  return s;
}

// A scan file opened and indexed; `seen` is the closing message and listing.
struct OpenedFile {
  TestConsole tc;
  IndexTable t;
  std::string seen;
  explicit OpenedFile(const std::string& path) {
    index_open(t, path.c_str());
    index_file(t, tc.con);
    index_print(t, tc.con);
    seen = tc.out.str(true);
  }
};

// `content` written to a fresh file (`fname`) and opened.
struct Indexed : TempDir, OpenedFile {
  explicit Indexed(const std::string& content) : OpenedFile(write("scan.dat", content)) {}
  const std::string fname = file("scan.dat");
};

// `scans` scans of 100 data lines; one title with a NUL, one longer than kept.
inline std::string large_scan_file(int scans) {
  std::string f = "#F large\n#E 1\n\n";
  for (int k = 1; k <= scans; k++) {
    f += "#S " + std::to_string(k) + "  ascan  th 10 12  99 1";
    if (k == 2) f += std::string(" with a \0 NUL", 13);
    if (k == 3) f += std::string(kMaxScanText + 100, 't');
    f += "\n#N 3\n#L th  mon  det\n";
    for (int j = 0; j < 100; j++)
      f += std::to_string(j) + ".5 1000 " + std::to_string(k + j) + "\n";
  }
  return f;
}

#endif  // KURVATAB_TESTS_INDEX_INDEX_TESTING_H_
