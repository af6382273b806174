#include "index/scan_reader.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace {

// Offsets and files cut short show in the listing tests; here, that a line
// longer than the reader holds is held in part and still copied whole.
TEST(ScanReader, LongLineIsCutButCopiedWhole) {
  TempDir dir;
  std::string big(ScanReader::kMaxHeld + 12345, 'q');
  FILE* f = fopen(dir.write("f", big + "\nnext\n").c_str(), "r");
  ScanReader r(f, 0);
  std::string_view l;
  ASSERT_TRUE(r.next(&l));
  EXPECT_TRUE(r.line_is_cut());
  EXPECT_EQ(ScanReader::kMaxHeld, l.size());
  EXPECT_EQ(static_cast<int64_t>(big.size()) + 1, r.tell());
  MemOut out;
  ASSERT_TRUE(r.copy_line(out.f()));
  EXPECT_EQ(big + "\n", out.str());
  ASSERT_TRUE(r.next(&l));
  EXPECT_EQ("next\n", l);
  EXPECT_FALSE(r.line_is_cut());
  fclose(f);
}

}  // namespace
