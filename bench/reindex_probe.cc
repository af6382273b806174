// Measures, on a scan file, what the interactive user waits for after the
// file has been indexed: opening it again (bytes read and time; the index
// cache, when it is on, holds the table by then), the reindex after one
// appended scan (bytes read and time) and the listing of the last scan. The
// file is put back as it was.
//
//   reindex_probe FILE
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "base/console.h"
#include "index/index_table.h"
#include "output/listing.h"

namespace {
double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  FILE* null = fopen("/dev/null", "w");
  Console con;
  con.out = con.my_stdout = null;
  IndexTable t;
  if (!index_open(t, argv[1]).report(con.out)) return 1;
  index_file(t, con);
  const int64_t length = t.IndexFileLength;

  auto t0 = std::chrono::steady_clock::now();
  IndexTable again;
  index_open(again, argv[1]).report(con.out);
  index_file(again, con);
  const double reopen_s = seconds_since(t0);
  const int64_t reopen_bytes = again.bytes_read;
  const bool same = again.Indexed == t.Indexed && again.IndexFileLength == length;

  t0 = std::chrono::steady_clock::now();
  scan_print(t, con, t.Indexed - 1);
  fflush(null);
  const double print_s = seconds_since(t0);
  const int64_t last_scan_bytes = t.Index.back().eseek - t.Index.back().hseek;

  FILE* app = fopen(argv[1], "a");
  if (!app) return 1;
  fputs(
      "#S 999999  ascan  th 10 12  3 1\n#N 3\n#L Theta  Monitor  Detector\n"
      "10 1000 5\n11 1000 7\n12 1000 6\n13 1000 4\n",
      app);
  fclose(app);
  const int64_t before = t.bytes_read;
  t0 = std::chrono::steady_clock::now();
  check_index(t, con, t.Indexed - 1).report(con.out);
  const double reindex_s = seconds_since(t0);
  const int64_t reread = t.bytes_read - before;
  const bool ok = t.Index.back().scan == 999999 && same;
  if (truncate(argv[1], length) != 0) perror(argv[1]);

  printf(
      "scans=%d last_scan_bytes=%lld p_last_s=%.6f reindex_bytes=%lld reindex_s=%.6f "
      "reopen_bytes=%lld reopen_s=%.6f ok=%d\n",
      t.Indexed - 1, static_cast<long long>(last_scan_bytes), print_s,
      static_cast<long long>(reread), reindex_s, static_cast<long long>(reopen_bytes), reopen_s,
      ok ? 1 : 0);
  fclose(null);
  return ok ? 0 : 1;
}
