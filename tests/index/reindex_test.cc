// Files that grow or change under the index, and what the indexer reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "index_testing.h"

using namespace std::string_literals;

namespace {

// A file that grew has its last scan and what follows read again, giving
// the table of a full pass; one changed otherwise is rebuilt.
TEST(IndexRefresh, SaysWhatChangedAndGivesTheTableOfAFullPass) {
  Indexed f(large_scan_file(30) + "#S 1 a\n#N 2\n1 2\n");
  IndexTable& t = f.t;
  EXPECT_EQ(IndexChange::kNone, index_refresh(t).kind);
  const std::tuple<std::string, int, bool> grown[] = {
      // appended, records added, last grown
      {"3 4\n", 0, true},
      {"#S 2 b\n5 6\n#S 3 c\n", 2, false},
      {"#N 2\n1.5 10", 0, true},  // half a line, then its end
      {"00 17\n\0nul line\n7 8\n"s, 0, false},
      {"#C among data\n\n9 9\n#S 3\n#L x  y\n", 1, false},
  };
  for (const auto& [more, added, last_grown] : grown) {
    t.Index[0].ncol = 77;  // a count the column reader stored, dropped by a reindex
    append_file(f.fname, more);
    const int64_t before = t.bytes_read, from = t.Index.back().hseek;
    const IndexChange c = index_refresh(t);
    EXPECT_TRUE(c.kind == IndexChange::kGrown && c.added == added && c.last_grown == last_grown)
        << more;
    EXPECT_EQ(render_table(OpenedFile(f.fname).t), render_table(t)) << more;
    EXPECT_LE(t.bytes_read - before, t.IndexFileLength - from + 16384) << more;  // only the end
  }
  // Longer than before but changed, and shorter: rebuilt.
  const std::string longer = "#S 9\n" + std::string(size_t(t.IndexFileLength), 'x') + "\n";
  for (const std::string& now : {longer, std::string("#S 5\n")}) {
    f.write("scan.dat", now);
    EXPECT_EQ(IndexChange::kRebuilt, index_refresh(t).kind);
    EXPECT_EQ(render_table(OpenedFile(f.fname).t), render_table(t));
  }
  EXPECT_EQ("", f.tc.out.str());
}

// A read error ends the pass where it struck, with the table of the bytes
// before it; also in a file long enough to be read ahead.
TEST(IndexFile, ReadErrorIsReportedAndKeepsWhatWasRead) {
  for (const std::string& f :
       {"#S 1 a\n1 2\n3 4\n" + std::string(200, '#'), large_scan_file(1000)}) {
    const int64_t at = f.size() < 1000 ? 40 : 700001;  // reads from byte `at` on fail
    TestConsole tc;
    IndexTable t, cut;
    auto file = std::make_unique<MemoryScanFile>(f);
    file->fail_from(at, EIO);
    index_use(t, std::move(file), "bad.dat");
    index_file(t, tc.con);
    index_use(cut, std::make_unique<MemoryScanFile>(f.substr(0, size_t(at))), "cut.dat");
    index_build(cut);
    EXPECT_EQ(" file bad.dat can't be read past byte " + std::to_string(at) +
                  ": Input/output error\n\n current file is : bad.dat with " +
                  std::to_string(cut.Indexed) + " entries\n",
              tc.out.str());
    EXPECT_EQ(render_table(cut), render_table(t));
  }
}

}  // namespace
