// The follow's clock and input for tests: time moves only when the follow
// waits, and the user types when the clock says so.
#ifndef KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_
#define KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "loop/follow.h"

// Time moves only when the follow waits: by the timeout, or by `step` at
// most, and `on_wait` then plays the world (a writer, the user).
struct FakeClock : FollowClock {
  int64_t now = 0;
  int64_t step = 1000000;
  int waits = 0;
  int64_t waited = 0;
  std::function<void(int64_t now)> on_wait;
  int64_t now_ms() override { return now; }
  void wait(const std::vector<int>&, int timeout_ms) override {
    int64_t d = timeout_ms < step ? timeout_ms : step;
    now += d;
    waited += d;
    waits++;
    if (on_wait) on_wait(now);
  }
};

struct FakeInput : FollowInput {
  Result at_end = kLine;
  int64_t end_at = INT64_MAX;
  const FakeClock* clock = nullptr;
  int wait_fd = -1;
  Result poll_line() override { return clock->now >= end_at ? at_end : kNothing; }
  int fd() const override { return wait_fd; }
};

#endif  // KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_
