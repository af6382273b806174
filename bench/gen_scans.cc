// Writes a deterministic, realistic scan file of about the requested size.
//
//   gen_scans OUT BYTES [typical|short] [SEED]
//   gen_scans OUT LINES single [SEED]
//
// typical: scans of 10 to 1300 data lines with 6 to 20 columns (about 15,000
//          scans per GiB);
// short:   many scans of 60 to 180 data lines with 6 to 8 columns (about
//          150,000 scans per GiB).
// Both have file and scan headers, #C lines among the data, repeated scan
// numbers and now and then a scan without data.
// single:  one scan of LINES data lines with 8 columns (about 60 bytes a
//          line), as a long continuous scan writes it.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// Appends v with `dec` decimals; much faster than printf for big files.
void put_fixed(std::string& s, int64_t v, int dec) {
  char tmp[32];
  int n = 0;
  bool neg = v < 0;
  uint64_t u = neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
  for (int d = 0; d < dec || u > 0 || d <= dec; d++) {
    if (d == dec && dec > 0) tmp[n++] = '.';
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
    if (d >= dec && u == 0) break;
  }
  if (neg) s += '-';
  while (n > 0) s += tmp[--n];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s OUT BYTES [typical|short|many|mid|single] [SEED]\n", argv[0]);
    return 2;
  }
  const int64_t target = strtoll(argv[2], nullptr, 10);
  const bool short_scans = argc > 3 && strcmp(argv[3], "short") == 0;
  const bool single = argc > 3 && strcmp(argv[3], "single") == 0;
  // Ten columns: "many", 50 to 130 lines (about 150 scans per MiB); "mid",
  // 100 to 260 lines (about 75 scans per MiB).
  const bool many = argc > 3 && strcmp(argv[3], "many") == 0;
  const bool mid = argc > 3 && strcmp(argv[3], "mid") == 0;
  std::mt19937_64 rng(argc > 4 ? strtoull(argv[4], nullptr, 10) : 20261206);
  FILE* out = fopen(argv[1], "w");
  if (!out) {
    perror(argv[1]);
    return 1;
  }
  std::string s;
  s.reserve(1 << 22);
  s += "#F generated.dat\n#E 1765000000\n#D Sun Dec 06 12:00:00 2026\n";
  s += "#C generated scan file for benchmarks\n#O0 Theta  Chi  Phi  Two Theta\n\n";
  int64_t written = 0;
  int scan = 0;
  int64_t epoch = 0;
  while (single ? scan == 0 : written + static_cast<int64_t>(s.size()) < target) {
    // Every 97th scan repeats the number before it, as after a restart.
    if (scan == 0 || rng() % 97 != 0) scan++;
    const int ncol = single        ? 8
                     : many || mid ? 10
                     : short_scans ? 6 + static_cast<int>(rng() % 3)
                                   : 6 + static_cast<int>(rng() % 15);
    const int64_t lines = single        ? target
                          : many        ? 50 + static_cast<int>(rng() % 81)
                          : mid         ? 100 + static_cast<int>(rng() % 161)
                          : short_scans ? 60 + static_cast<int>(rng() % 121)
                                        : 10 + static_cast<int>(rng() % 1300);
    s += "#S " + std::to_string(scan) + "  ascan  th 10 12  " + std::to_string(lines - 1) + " 1\n";
    s += "#D Sun Dec 06 12:00:00 2026\n#T 1  (Seconds)\n#G0 0 0 1 0 0 1 0 0 0\n";
    s += "#Q 1 0 0\n#P0 10.0000 0.0000 90.0000 20.0000\n";
    const bool empty = !single && rng() % 211 == 0;
    if (empty) {
      s += "#C scan aborted\n\n";
    } else {
      s += "#N " + std::to_string(ncol) + "\n#L Theta";
      for (int c = 1; c < ncol - 2; c++) s += "  c" + std::to_string(c);
      s += "  Monitor  Detector\n";
      for (int64_t l = 0; l < lines; l++) {
        put_fixed(s, 100000 + l * 1000 - 500000, 4);  // x, negative at first
        for (int c = 1; c < ncol - 2; c++) {
          s += ' ';
          put_fixed(s, static_cast<int64_t>(rng() % 2000000) - 1000000, 3);
        }
        s += ' ';
        put_fixed(s, 100000 + static_cast<int64_t>(rng() % 2000), 0);
        s += ' ';
        put_fixed(s, static_cast<int64_t>(rng() % 50000), 0);
        s += '\n';
        if (l == lines / 2 && rng() % 4 == 0) s += "#C counter reset\n";
        epoch++;
        if (s.size() > (1u << 21)) {
          fwrite(s.data(), 1, s.size(), out);
          written += static_cast<int64_t>(s.size());
          s.clear();
        }
      }
      s += "\n";
    }
    if (s.size() > (1u << 21)) {
      fwrite(s.data(), 1, s.size(), out);
      written += static_cast<int64_t>(s.size());
      s.clear();
    }
  }
  fwrite(s.data(), 1, s.size(), out);
  written += static_cast<int64_t>(s.size());
  if (fclose(out) != 0) {
    perror(argv[1]);
    return 1;
  }
  fprintf(stderr, "%s: %" PRId64 " bytes, %d scans\n", argv[1], written, scan);
  return 0;
}
