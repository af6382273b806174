#include "frontend/terminal.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "testutil.h"

namespace {

TEST(PagerCommand, WordsOfPagerWithoutAShell) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {nullptr, {"less", "-FRX"}},     {"", {}}, {"cat", {}}, {" most\t-s  ", {"most", "-s"}},
      {"x;touch y", {"x;touch", "y"}},
  };
  for (const auto& c : cases) EXPECT_EQ(pager_command(c.first), c.second) << c.first;
}

TEST(IsLongListing, WholeScansAndTheTable) {
  const std::pair<std::string, bool> cases[] = {
      {"t", true},       {"p 3", true},      {"o", true},           {"w -", true},  {"W  -x", true},
      {"M 2 + -", true}, {"w", false},       {"w out", false},      {"M 2", false}, {"a", false},
      {"(1,9,p)", true}, {"(1,9,v)", false}, {"(1,9,p)out", false}, {"(1,9", false}};
  for (const auto& c : cases)
    EXPECT_EQ(is_long_listing(c.first[0], c.first.c_str() + 1), c.second) << c.first;
}

TEST(Pager, ThroughTheProgramElseDirectlyAndQuietWhenItQuits) {
  signal(SIGPIPE, SIG_IGN);  // as the program does
  TempDir dir;
  TestConsole tc;
  {
    Pager p(tc.con, {"sh", "-c", "cat > " + dir.file("got")});
    EXPECT_TRUE(p.running());
    fputs("paged\n", tc.con.out);
    fputs("listed\n", tc.con.my_stdout);
  }
  EXPECT_EQ(read_file(dir.file("got")), "paged\nlisted\n");
  EXPECT_TRUE(tc.con.out == tc.out.f() && tc.con.my_stdout == tc.out.f());
  EXPECT_FALSE(Pager(tc.con, {dir.file("none")}).running() || tc.con.out != tc.out.f());
  Pager quits(tc.con, {"true"});
  const std::string block(1 << 16, 'x');
  int k = 0;
  while (k < 100 && fwrite(block.data(), 1, block.size(), tc.con.out) == block.size()) k++;
  EXPECT_LT(k, 100);
}

// Rows 1 to 6 as the table prints them, from `first` on.
std::string rows(const IndexTable& t, int first) {
  TestConsole tc;
  index_print(t, tc.con, first);
  return tc.out.str();
}

TEST(TableEnd, WholeWhenItFitsElseTheLastRowsBelowACount) {
  IndexTable t;
  std::string file;
  for (int k = 1; k <= 6; k++)
    file += "#S " + std::to_string(k) + (k == 5 ? std::string(60, 'w') : " a") + "\n1 2\n";
  index_use(t, std::make_unique<MemoryScanFile>(file), "m.dat");
  index_build(t);
  const struct {
    ScreenSize screen;
    int below;
    std::string want;
  } cases[] = {
      {{20, 80}, 13, rows(t, 0)},
      {{19, 80}, 13, " 2 scans above: t lists the whole table\n" + rows(t, 2)},
      {{10, 80}, 9, " 5 scans above: t lists the whole table\n" + rows(t, 5)},
      {{9, 40}, 3, " 4 scans above: t lists the whole table\n" + rows(t, 4)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(table_end(t, c.screen, c.below), c.want) << c.screen.rows << "x" << c.screen.cols;
}

}  // namespace
