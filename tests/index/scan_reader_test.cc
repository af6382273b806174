#include "index/scan_reader.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace {

TEST(ScanReader, HandsOutLinesAndOffsetsFromWhereItStarts) {
  TempDir dir;
  FILE* f = fopen(dir.write("f", "ab\n\ncd").c_str(), "r");
  ScanReader r(f, 1);
  std::string_view l;
  ASSERT_TRUE(r.next(&l));
  EXPECT_EQ("b\n", l);
  EXPECT_EQ(3, r.tell());
  ASSERT_TRUE(r.next(&l));
  EXPECT_EQ("\n", l);
  ASSERT_TRUE(r.next(&l));
  EXPECT_EQ("cd", l);
  EXPECT_EQ(6, r.tell());
  EXPECT_FALSE(r.next(&l));
  ScanReader past(f, 100);  // a file cut short since it was indexed
  EXPECT_FALSE(past.next(&l));
  fclose(f);
}

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
