// The index cache's reader over arbitrary bytes. An entry it accepts must
// give a table every reader can rely on (records in file order, offsets
// within the length covered, texts ending in their one line feed), and
// written again it must be the same bytes (the coding has one form). An
// entry it refuses must leave the table empty.
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "index/index_cache.h"
#include "index/index_table.h"

namespace {

int memfd_with(const std::string& bytes) {
  int fd = memfd_create("entry", 0);
  FUZZ_CHECK(fd >= 0, "memfd_create failed");
  FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()), "write failed");
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0, "lseek failed");
  return fd;
}

std::string contents(int fd) {
  std::string s;
  char buf[4096];
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0, "lseek failed");
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) s.append(buf, size_t(n));
  return s;
}

void check_empty(const IndexTable& t) {
  FUZZ_CHECK(t.Indexed == 0 && t.Index.empty() && t.IndexFileLength == 0 && t.last_head.empty() &&
                 t.tail.empty() && t.texts.bytes() == 0 && t.IndexSize == 512,
             "a refused entry left %d records, length %" PRId64, t.Indexed, t.IndexFileLength);
}

void check_table(const IndexTable& t) {
  const int64_t len = t.IndexFileLength;
  FUZZ_CHECK(size_t(t.Indexed) == t.Index.size() && t.IndexSize >= t.Indexed,
             "%d records, %zu held, room for %d", t.Indexed, t.Index.size(), t.IndexSize);
  FUZZ_CHECK(int64_t(t.tail.size()) <= len, "tail of %zu bytes, length %" PRId64, t.tail.size(),
             len);
  int64_t prev_lpos = 0;
  for (int k = 0; k < t.Indexed; k++) {
    const scanRef& r = t.Index[k];
    FUZZ_CHECK(k == 0 || r.hseek == t.Index[k - 1].eseek, "record %d does not follow", k);
    FUZZ_CHECK(
        r.hseek >= 0 && r.hseek < r.eseek && r.eseek <= len && r.cseek >= 0 && r.cseek <= r.hseek,
        "record %d offsets outside the file", k);
    FUZZ_CHECK(r.vseek == 0 || (r.hseek < r.vseek && r.vseek < r.eseek),
               "record %d vseek %" PRId64 " outside (%" PRId64 ", %" PRId64 ")", k, r.vseek,
               r.hseek, r.eseek);
    FUZZ_CHECK(r.lpos > prev_lpos && r.lpos <= r.hseek + 1, "record %d lpos %" PRId64, k, r.lpos);
    FUZZ_CHECK(r.lines >= 0 && r.lines <= r.eseek - r.hseek, "record %d lines %" PRId64, k,
               r.lines);
    FUZZ_CHECK(r.ncol == r.ncol_N, "record %d ncol %d, #N %d", k, r.ncol, r.ncol_N);
    FUZZ_CHECK(r.lhead == kLabelsFar || r.hseek + r.lhead < (r.vseek ? r.vseek : r.eseek),
               "record %d #L line at %u, outside its header", k, unsigned(r.lhead));
    const void* nl = r.txt ? memchr(r.txt, '\n', kMaxScanText) : nullptr;
    FUZZ_CHECK(nl && static_cast<const char*>(nl)[1] == '\0', "record %d text", k);
    prev_lpos = r.lpos;
  }
  FUZZ_CHECK(t.Indexed == 0 || t.Index.back().eseek == len,
             "the last record ends at %" PRId64 ", length %" PRId64, t.Index.back().eseek, len);
}

}  // namespace

// Input: one byte of flags (bit 0: put the right checksum at the end, so the
// rest of the reader is reached), then the entry.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string entry(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) && entry.size() >= 8) {
    const uint64_t c = cache_checksum(entry.data(), entry.size() - 8);
    for (int k = 0; k < 8; k++) entry[entry.size() - 8 + k] = char(c >> (8 * k));
  }
  int fd = memfd_with(entry);
  IndexTable t;
  index_reset(t);
  CacheId id;
  const bool ok = cache_decode(
      fd, t, [](const CacheId&, int64_t) { return true; }, &id);
  close(fd);
  if (!ok) {
    check_empty(t);
    return 0;
  }
  check_table(t);
  int out = memfd_create("again", 0);
  FUZZ_CHECK(out >= 0, "memfd_create failed");
  FUZZ_CHECK(cache_encode(out, t, id), "writing the entry again failed");
  FUZZ_CHECK(contents(out) == entry, "the entry written again differs from the one read");
  close(out);
  // And a reader that refuses the file leaves nothing behind.
  fd = memfd_with(entry);
  IndexTable refused;
  index_reset(refused);
  FUZZ_CHECK(!cache_decode(fd, refused, [](const CacheId&, int64_t) { return false; }),
             "a refused entry was read");
  check_empty(refused);
  close(fd);
  return 0;
}
