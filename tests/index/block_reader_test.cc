#include "index/block_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "testutil.h"

namespace {

// The blocks handed out ("size error" each), up to the end or `most`;
// their bytes go to *bytes. Notes whether a thread read ahead.
bool threaded = false;
std::string blocks_of(const ScanFile& f, bool ahead, size_t most, std::string* bytes) {
  BlockReader r(f, 10, 4096, ahead);
  threaded |= r.reads_ahead();
  std::string seen;
  std::string_view b("-");
  for (size_t k = 0; k < most && !b.empty(); k++) {
    const int e = r.next(&b);
    seen += std::to_string(b.size()) + " " + std::to_string(e) + "|";
    bytes->append(b);
  }
  return seen;
}

// Ahead or not, the same reads: the same blocks, errors and bytes, from a
// file on disk (read into the two buffers) and from one in memory (short
// reads, then a failure). A reader left early stops its thread.
TEST(BlockReader, ReadingAheadHandsOutTheSameBlocks) {
  TempDir dir;
  std::string content;
  for (int k = 0; content.size() < 100000; k++) content += std::to_string(k) + " 1.5\n";
  int error;
  const auto disk = open_scan_file(dir.write("f.dat", content), &error);
  MemoryScanFile memory(content);
  memory.set_read_step(1000);
  memory.fail_from(50000, EIO);
  const ScanFile* files[] = {disk.get(), &memory};
  for (const ScanFile* f : files) {
    for (size_t most : {size_t(3), content.size()}) {
      std::string direct, ahead;
      const std::string seen = blocks_of(*f, false, most, &direct);
      EXPECT_EQ(seen, blocks_of(*f, true, most, &ahead));
      EXPECT_EQ(direct, ahead);
      if (most == 3) continue;
      EXPECT_EQ(content.substr(10, f == &memory ? 50000 - 10 : std::string::npos), ahead);
      if (f == &memory) {
        EXPECT_EQ("|990 5|0 5|", seen.substr(seen.size() - 11));
      }
    }
  }
  if (!threaded) GTEST_SKIP() << "no read-ahead thread on one processor";
}

}  // namespace
