// The column reader over arbitrary lines, against the C library: column k
// of a line is what sscanf reads with k-1 "%*f" and one "%lf", and a line is
// a data line for the indexer when "%lf" reads a number from it. Also checks
// the column count and the counting of negative column numbers from it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/scanf_column.h"
#include "base/text.h"
#include "fuzz_util.h"
#include "read/columns.h"

namespace {

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::string cline(line);  // sscanf ends at the first NUL, as the reader must

  double d;
  const bool libc_number = sscanf(cline.c_str(), "%lf", &d) == 1;
  FUZZ_CHECK(holds_number(line) == libc_number, "holds_number says %d, sscanf %d",
             holds_number(line), libc_number);

  ColumnLine cl;
  cl.parse(line);
  const int n = int(cl.values.size());
  // Column numbers up to 33 are what the C formats of old could read.
  for (int k = 1; k <= n + 1 && k <= 33; k++) {
    double want = 0;
    const bool ok = scanf_column(cline, k, &want);
    int err = 7;
    double got = getdouble(cl, k, n, &err);
    FUZZ_CHECK(ok == (err == 0), "column %d: sscanf %s, reader err %d", k,
               ok ? "reads it" : "fails", err);
    FUZZ_CHECK(!ok || same(got, want), "column %d: %.17g, sscanf %.17g", k, got, want);
    // A negative number counts from the column count.
    if (ok) {
      double back = getdouble(line, k - n - 1, n, &err);
      FUZZ_CHECK(err == 0 && same(back, got), "column %d as %d differs", k, k - n - 1);
    }
  }

  // Columns read past without converting them: the same columns, and the
  // converted ones hold the same values.
  std::vector<char> convert;
  for (int k = 0; k <= n + 1 && k < 40; k++)
    convert.push_back(char(k % 3 == 1 || size == 0 ? 1 : data[size_t(k) % size] & 1));
  ColumnLine some;
  some.parse(line, convert);
  FUZZ_CHECK(some.values.size() == std::min(cl.values.size(), convert.size()),
             "%zu columns read past, %zu read", some.values.size(), cl.values.size());
  for (size_t k = 0; k < some.values.size(); k++) {
    FUZZ_CHECK(!convert[k] || same(some.values[k], cl.values[k]), "column %zu converted differs",
               k + 1);
  }

  scanRef r;
  int count = get_ncol(line, r);
  FUZZ_CHECK(count == (n == 0 ? -1 : n) && r.ncol == count, "get_ncol %d for %d columns", count, n);
  // A count from #N is kept whatever the line holds.
  r.ncol = 5;
  FUZZ_CHECK(get_ncol(line, r) == 5, "get_ncol did not keep the #N count");
  int err;
  getdouble(cl, 0, n, &err);
  FUZZ_CHECK((err == 0) == (n > 0), "column 0 reads the first column");
  return 0;
}
