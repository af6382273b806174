// Times the check of a whole scan file (the `K` command's pass) alone.
//
//   check_probe FILE
//
// Prints "check_s=<seconds> lines=<lines> findings=<findings>"; the findings
// themselves are discarded.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/file_check.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  int error = 0;
  std::unique_ptr<PosixScanFile> in = open_scan_file(argv[1], &error);
  FILE* sink = fopen("/dev/null", "w");
  if (!in || !sink) {
    fprintf(stderr, "%s: %s\n", in ? "/dev/null" : argv[1], strerror(error));
    return 1;
  }
  auto t0 = std::chrono::steady_clock::now();
  CheckSummary s = check_file(in.get(), ColumnChoice(), sink);
  double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  printf("check_s=%.6f lines=%lld findings=%lld\n", sec, static_cast<long long>(s.lines),
         static_cast<long long>(s.total()));
  fclose(sink);
  return 0;
}
