#include "index/scan_reader.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace {

TEST(ScanReader, HandsOutLinesAndOffsets) {
  TempDir dir;
  std::string p = dir.write("f", "ab\n\ncd");
  FILE* f = fopen(p.c_str(), "r");
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
  fclose(f);
}

TEST(ScanReader, LongLineIsCutButCopiedWhole) {
  TempDir dir;
  std::string big(ScanReader::kMaxHeld + 12345, 'q');
  std::string p = dir.write("f", big + "\nnext\n");
  FILE* f = fopen(p.c_str(), "r");
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

// Lines beginning with '#' found past lines of every length: a '#' inside a
// line is not one, lines cross the reader's blocks, and the search ends at
// a line that begins at `before` or later.
TEST(ScanReader, NextBeginningWithPassesOverOtherLines) {
  TempDir dir;
  const std::string wide(70000, 'x');
  const std::string text = "1 #x\n#a\n" + wide + "#no\n2\n#b " + wide + "\n" + wide + "\n#c\n#d\n";
  std::string p = dir.write("f", text);
  FILE* f = fopen(p.c_str(), "r");
  ScanReader r(f, 0);
  std::string_view l;
  std::string got;
  while (r.next_beginning_with('#', int64_t(text.size()) - 3, &l))
    got += std::string(l.substr(0, 3)) + "|";
  EXPECT_EQ(got, "#a\n|#b |#c\n|");
  EXPECT_EQ(int64_t(text.size()) - 3, r.tell());
  fclose(f);
}

TEST(ScanReader, StopsAtEndOfAFileCutShort) {
  TempDir dir;
  std::string p = dir.write("f", "1 2\n3 4\n");
  FILE* f = fopen(p.c_str(), "r");
  ScanReader r(f, 100);  // an offset beyond the end
  std::string_view l;
  EXPECT_FALSE(r.next(&l));
  fclose(f);
}

}  // namespace
