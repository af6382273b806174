// The follow's clock and input for tests: time moves only when the follow
// waits, and the user types when the clock says so.
#ifndef KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_
#define KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loop/follow.h"
#include "testutil.h"

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

// A fast instrument, played at each wait of the fake clock before `until`:
// it appends one line "<n> 10 <now>" (n from 3 on), its first three
// characters with it and the rest with the next line.
struct SplitWriter {
  std::string path;
  int64_t until = 0;
  int n = 3;
  std::string rest;
  std::string written;  // the whole lines, in order
  void operator()(int64_t now) {
    if (now >= until) return;
    std::string l = std::to_string(n++) + " 10 " + std::to_string(now) + "\n";
    append_file(path, rest + l.substr(0, 3));
    rest = l.substr(3);
    written += l;
  }
  // Writes the part of the last line still held back.
  void finish() {
    append_file(path, rest);
    rest.clear();
  }
};

// Starts a fake clock of 5 ms steps, typed input at `end_at` and a split
// writer until then.
struct FastWriterRun {
  FakeClock clock;
  FakeInput in;
  SplitWriter writer;
  FastWriterRun(const std::string& path, int64_t end_at) {
    writer.path = path;
    writer.until = end_at;
    clock.step = 5;
    in.clock = &clock;
    in.end_at = end_at;
    clock.on_wait = [this](int64_t now) { writer(now); };
  }
};

#endif  // KURVATAB_TESTS_LOOP_FOLLOW_FAKES_H_
