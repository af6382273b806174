// Files that grow or change under the index, and what the indexer reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "index/index_cache.h"
#include "index/index_table.h"
#include "index_testing.h"
#include "testutil.h"

namespace {

// A random piece of a scan file as an instrument writes it, possibly ending
// in the middle of a line.
std::string fragment(std::mt19937& rng, int* scan) {
  const int kind = rng() % 12;
  const std::string pieces[] = {
      "#C comment among data\n",
      std::string("\0nul line\n", 10),
      "\n",
      "1.5 1000",  // half a line
      " 42\n",     // ends a half line, or is a line of its own
      "#N " + std::to_string(rng() % 9) + "\n",
      "#S " + std::to_string(*scan) + "\n",  // a repeated number, no text
  };
  if (kind < 2) return "#S " + std::to_string(++*scan) + "  ascan th 1 2 10 1\n#N 3\n#L x m d\n";
  if (kind < 9) return pieces[kind - 2];
  std::string s;
  for (int k = rng() % 5; k >= 0; k--) s += std::to_string(rng() % 100) + " 1000 17\n";
  return s;
}

// A running program that looks at the last scan brings its table up to
// date; the table, the messages and the listing are those of a full pass.
TEST(IndexUpdate, AppendsGiveTheTableOfAFullRebuild) {
  TempDir dir;
  const std::string path = dir.write("grow.dat", "#F header\n#S 1 first\n#N 3\n0 1 2\n");
  OpenedFile running(path);
  IndexTable& t = running.t;
  std::mt19937 rng(12345);
  int scan = 1;
  for (int round = 0; round < 400; round++) {
    // Counts stored by the column reader are dropped by a rebuild.
    if (t.Indexed > 0) t.Index[rng() % t.Indexed].ncol = 77;
    for (int k = 1 + rng() % 3; k > 0; k--) append_file(path, fragment(rng, &scan));
    const int64_t before = t.bytes_read;
    ASSERT_EQ(1, check_index(t, running.tc.con, t.Indexed - 1)) << "round " << round;
    index_print(t, running.tc.con);
    OpenedFile fresh(path);
    ASSERT_EQ(render_table(fresh.t), render_table(t)) << "round " << round;
    ASSERT_EQ("reindexing\n" + fresh.seen, running.tc.out.str(true)) << "round " << round;
    // Only the last scan and what was appended are read again.
    ASSERT_LE(t.bytes_read - before, t.IndexFileLength - t.Index[0].hseek + 8192) << round;
  }
  EXPECT_GT(t.Indexed, 30);
}

// A program started again and again on a growing file gets its table from
// the cache, brought up to date from the last scan the entry holds; the
// table, the closing message and the listing are those of a full pass.
TEST(IndexCache, RandomAppendsGiveTheTableOfAFullPass) {
  TempDir dir;
  ScopedEnv cache_home("XDG_CACHE_HOME", dir.file("cache").c_str());
  ScopedEnv cache_on("KURVATAB_NO_CACHE", nullptr);
  std::string path = dir.write("grow.dat", large_scan_file(1000));
  OpenedFile running(path);
  const std::string entry = index_cache_entry(index_cache_dir(false), running.t.real_path);
  std::mt19937 rng(4242);
  int scan = 1000;
  for (int round = 0; round < 200; round++) {
    for (int k = 1 + rng() % 3; k > 0; k--) append_file(path, fragment(rng, &scan));
    // Enough to have a running program write the entry again.
    if (round == 100) append_file(path, large_scan_file(1000));
    if (rng() % 4 == 0) check_index(running.t, running.tc.con, running.t.Indexed - 1);
    if (rng() % 10 == 0) unlink(entry.c_str());
    const bool had_entry = access(entry.c_str(), F_OK) == 0;

    OpenedFile cached(path);
    ScopedEnv cache_off("KURVATAB_NO_CACHE", "1");
    OpenedFile fresh(path);
    ASSERT_EQ(render_table(fresh.t) + fresh.seen, render_table(cached.t) + cached.seen) << round;
    // The entry covers the first 1.3 MB at least: they are not read.
    if (had_entry) {
      EXPECT_GE(fresh.t.bytes_read - cached.t.bytes_read, kCacheMinFile) << round;
    }
  }
}

// Reads up to byte 40; every read from there on fails.
ssize_t fail_past_40(int fd, void* buf, size_t n, off_t offset) {
  if (offset >= 40) {
    errno = EIO;
    return -1;
  }
  return pread(fd, buf, std::min<size_t>(n, size_t(40 - offset)), offset);
}

TEST(IndexRefresh, SaysWhatChangedWithoutPrinting) {
  TempDir dir;
  const std::string path = dir.write("grow.dat", "#S 1 a\n#N 2\n1 2\n");
  OpenedFile f(path);
  IndexTable& t = f.t;
  EXPECT_EQ(IndexChange::kNone, index_refresh(t).kind);
  append_file(path, "3 4\n");
  IndexChange c = index_refresh(t);
  EXPECT_EQ(IndexChange::kGrown, c.kind);
  EXPECT_EQ(0, c.added);
  EXPECT_TRUE(c.last_grown);
  append_file(path, "#S 2 b\n5 6\n#S 3 c\n");
  c = index_refresh(t);
  EXPECT_EQ(IndexChange::kGrown, c.kind);
  EXPECT_EQ(2, c.added);
  EXPECT_FALSE(c.last_grown);
  // Longer than before, but the bytes the table covers changed.
  dir.write("grow.dat", "#S 9 new\n1 2\n3 4\n5 6\n7 8\n9 10\n11 12\n13 14\n");
  EXPECT_EQ(IndexChange::kRebuilt, index_refresh(t).kind);
  EXPECT_EQ(1, t.Indexed);
  EXPECT_EQ(9, t.Index[0].scan);
  EXPECT_EQ("", f.tc.out.str());
}

TEST(IndexFile, ReadErrorIsReportedAndKeepsWhatWasRead) {
  TempDir dir;
  TestConsole tc;
  std::string path = dir.write("bad.dat", "#S 1 a\n1 2\n3 4\n" + std::string(200, '#') + "\n");
  IndexTable t;
  ASSERT_EQ(1, index_open(t, tc.con, path.c_str()));
  t.read_fn = fail_past_40;
  index_file(t, tc.con);
  EXPECT_EQ(" file " + path +
                " can't be read past byte 40: Input/output error\n\n"
                " current file is : " +
                path + " with 1 entries\n",
            tc.out.str());
  EXPECT_EQ(2, t.Index[0].lines);
  index_free(t);
}

}  // namespace
