#include "frontend/progress.h"

#include <string>

#include "gtest/gtest.h"
#include "testutil.h"

namespace {

constexpr int64_t kMiB = 1 << 20;

// A meter on a memory stream whose clock the test sets.
struct Meter {
  MemOut out;
  double now = 0;
  ProgressMeter m{out.f(), [this] { return now; }};
  std::string at(double t, int64_t done, int64_t total, bool finished = false) {
    now = t;
    m.update(done, total, finished);
    return out.str(true);
  }
};

TEST(ProgressMeter, ShowsDoneTotalAndRateRedrawnInPlaceThenErased) {
  Meter p;
  // Quiet for the first half second.
  EXPECT_EQ("", p.at(0, 0, 4 * kMiB));
  EXPECT_EQ("", p.at(0.4, kMiB / 2, 4 * kMiB));
  const std::string line = " indexing 1.0 MiB of 4.0 MiB ( 25%), 1.0 MiB/s";
  EXPECT_EQ("\r" + line + "\r", p.at(1.0, kMiB, 4 * kMiB));
  EXPECT_EQ("", p.at(1.05, 2 * kMiB, 4 * kMiB));  // within the redraw interval
  // A shorter line is padded over the longer one.
  std::string next = " indexing 4.0 MiB of 4.0 MiB (100%), 2.0 MiB/s";
  next.resize(line.size(), ' ');
  EXPECT_EQ("\r" + next + "\r", p.at(2.0, 4 * kMiB, 4 * kMiB));
  EXPECT_EQ("\r" + std::string(line.size(), ' ') + "\r", p.at(2.0, 4 * kMiB, 4 * kMiB, true));
  // The next pass starts its own clock, and its rate counts from where it
  // began (a reindex reads on from the last scan).
  EXPECT_EQ("", p.at(10.0, 100 * kMiB, 200 * kMiB));
  EXPECT_EQ("", p.at(10.3, 101 * kMiB, 200 * kMiB));
  EXPECT_NE(std::string::npos, p.at(12.0, 104 * kMiB, 200 * kMiB).find("( 52%), 2.0 MiB/s"));
}

TEST(ProgressMeter, LineStillShownIsErasedAtTheEnd) {
  MemOut out;
  double now = 0;
  {
    ProgressMeter m(out.f(), [&now] { return now; });
    m.update(0, 10, false);
    now = 1;
    m.update(5, 10, false);
    ASSERT_NE("", out.str(true));
  }
  std::string s = out.str();
  EXPECT_EQ('\r', s.front());
  EXPECT_EQ(std::string::npos, s.find_first_not_of(" \r"));
}

TEST(HumanBytes, Units) {
  EXPECT_EQ("1023 B", human_bytes(1023));
  EXPECT_EQ("1.5 KiB", human_bytes(1536));
  EXPECT_EQ("3.0 GiB", human_bytes(3.0 * 1024 * 1024 * 1024));
}

TEST(ProgressDelay, NumberFromTheEnvironmentElseHalfASecond) {
  const struct {
    const char* text;
    double delay;
  } kCases[] = {{nullptr, 0.5}, {"", 0.5},  {"0", 0},    {"2.5", 2.5}, {"1e-3", 1e-3},
                {"-1", 0.5},    {"x", 0.5}, {"1x", 0.5}, {"nan", 0.5}, {"4000", 0.5}};
  for (const auto& c : kCases)
    EXPECT_EQ(c.delay, progress_delay(c.text)) << (c.text ? c.text : "(unset)");
}

}  // namespace
