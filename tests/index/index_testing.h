// What the index tests share: a table rendered as one string, a file opened
// as a user opens it, and a scan file large enough for the index cache.
#ifndef KURVATAB_TESTS_INDEX_INDEX_TESTING_H_
#define KURVATAB_TESTS_INDEX_INDEX_TESTING_H_

#include <cstdio>
#include <cstring>
#include <string>

#include "index/index_table.h"
#include "testutil.h"

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
    s += buf;
    // The whole text, NUL bytes included: it ends at its only line feed.
    const void* nl = r.txt ? memchr(r.txt, '\n', kMaxScanText) : nullptr;
    s += nl ? std::string(r.txt, static_cast<const char*>(nl) + 1) : "(no text)\n";
  }
  return s;
}

// A scan file opened and indexed into a fresh table, and what the user saw:
// the closing message and the listing of the table (t).
struct OpenedFile {
  TestConsole tc;
  IndexTable t;
  std::string seen;
  explicit OpenedFile(const std::string& path) {
    index_open(t, tc.con, path.c_str());
    index_file(t, tc.con);
    index_print(t, tc.con);
    seen = tc.out.str(true);
  }
};

// A scan file of `scans` scans of 100 data lines (about 1.1 KiB a scan), a
// header, and titles the table must keep exactly: one with a NUL byte and
// one longer than the table keeps.
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
