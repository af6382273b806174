#include "frontend/progress.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "index/index_table.h"
#include "testutil.h"

namespace {

constexpr int64_t kMiB = 1 << 20;

struct FakeClock {
  double now = 0;
  ProgressMeter::Clock clock() {
    return [this] { return now; };
  }
};

TEST(ProgressMeter, QuietForAShortPass) {
  MemOut out;
  FakeClock c;
  ProgressMeter m(out.f(), c.clock());
  m.update(0, 100 * kMiB, false);
  c.now = 0.4;
  m.update(50 * kMiB, 100 * kMiB, false);
  c.now = 0.45;
  m.update(100 * kMiB, 100 * kMiB, true);
  EXPECT_EQ("", out.str());
}

TEST(ProgressMeter, ShowsDoneTotalAndRateThenErases) {
  MemOut out;
  FakeClock c;
  ProgressMeter m(out.f(), c.clock());
  m.update(0, 4 * kMiB, false);
  c.now = 1.0;
  m.update(kMiB, 4 * kMiB, false);
  const std::string line = " indexing 1.0 MiB of 4.0 MiB ( 25%), 1.0 MiB/s";
  EXPECT_EQ("\r" + line + "\r", out.str(true));

  // Within the redraw interval nothing is drawn.
  c.now = 1.05;
  m.update(2 * kMiB, 4 * kMiB, false);
  EXPECT_EQ("", out.str(true));

  // A shorter line is padded over the longer one.
  c.now = 2.0;
  m.update(4 * kMiB, 4 * kMiB, false);
  std::string next = " indexing 4.0 MiB of 4.0 MiB (100%), 2.0 MiB/s";
  next.resize(line.size(), ' ');
  EXPECT_EQ("\r" + next + "\r", out.str(true));

  m.update(4 * kMiB, 4 * kMiB, true);
  EXPECT_EQ("\r" + std::string(line.size(), ' ') + "\r", out.str(true));

  // The next pass starts its own clock.
  c.now = 10.0;
  m.update(0, 4 * kMiB, false);
  c.now = 10.3;
  m.update(kMiB, 4 * kMiB, false);
  EXPECT_EQ("", out.str(true));
}

TEST(ProgressMeter, RateCountsFromWhereThePassBegan) {
  // A reindex reads on from the last scan: the bytes before it are not
  // counted in the rate.
  MemOut out;
  FakeClock c;
  ProgressMeter m(out.f(), c.clock());
  m.update(100 * kMiB, 200 * kMiB, false);
  c.now = 2.0;
  m.update(104 * kMiB, 200 * kMiB, false);
  EXPECT_NE(std::string::npos, out.str().find(", 2.0 MiB/s"));
}

TEST(ProgressMeter, LineStillShownIsErasedAtTheEnd) {
  MemOut out;
  FakeClock c;
  {
    ProgressMeter m(out.f(), c.clock());
    m.update(0, 10, false);
    c.now = 1;
    m.update(5, 10, false);
    out.str(true);
  }
  std::string s = out.str();
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(std::string::npos, s.find_first_not_of(" \r"));
}

TEST(ProgressMeter, EachPassNamesItself) {
  MemOut out;
  FakeClock c;
  ProgressMeter m(out.f(), c.clock());
  IndexTable t;
  m.attach(t);
  auto check = m.reporter("checking");
  for (auto* pass : {&check, &t.progress}) {
    c.now = 0;
    (*pass)(0, 4 * kMiB, false);
    c.now = 1;
    (*pass)(kMiB, 4 * kMiB, false);
    (*pass)(4 * kMiB, 4 * kMiB, true);
  }
  std::string s = out.str();
  size_t checking = s.find("\r checking 1.0 MiB of 4.0 MiB");
  EXPECT_NE(std::string::npos, checking);
  EXPECT_NE(std::string::npos, s.find("\r indexing 1.0 MiB of 4.0 MiB", checking));
}

TEST(HumanBytes, Units) {
  EXPECT_EQ("0 B", human_bytes(0));
  EXPECT_EQ("1023 B", human_bytes(1023));
  EXPECT_EQ("1.5 KiB", human_bytes(1536));
  EXPECT_EQ("3.0 GiB", human_bytes(3.0 * 1024 * 1024 * 1024));
}

TEST(IndexProgress, IndexerReportsEachBlockAndTheEnd) {
  TempDir dir;
  std::string body = "#S 1 big\n#N 2\n";
  while (body.size() < 2 * kMiB + 1000) body += "1 2\n";
  std::string path = dir.write("big.dat", body);
  const int64_t size = static_cast<int64_t>(body.size());

  struct Call {
    int64_t done, total;
    bool finished;
  };
  std::vector<Call> calls;
  TestConsole tc;
  IndexTable t;
  t.progress = [&](int64_t done, int64_t total, bool finished) {
    calls.push_back({done, total, finished});
  };
  ASSERT_EQ(1, index_open(t, tc.con, path.c_str()));
  ASSERT_EQ(1, index_file(t, tc.con));

  ASSERT_GE(calls.size(), 4u);  // start, three blocks, end
  EXPECT_EQ(0, calls.front().done);
  EXPECT_FALSE(calls.front().finished);
  for (size_t k = 1; k < calls.size(); k++) {
    EXPECT_GE(calls[k].done, calls[k - 1].done);
    EXPECT_EQ(size, calls[k].total);
    EXPECT_EQ(k + 1 == calls.size(), calls[k].finished);
  }
  EXPECT_EQ(size, calls.back().done);
}

}  // namespace
