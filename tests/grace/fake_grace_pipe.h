// An in-memory GracePipe for unit tests: it records every command as Grace
// would read it and plays a Grace that starts, runs and ends on request.
#ifndef KURVATAB_TESTS_GRACE_FAKE_GRACE_PIPE_H_
#define KURVATAB_TESTS_GRACE_FAKE_GRACE_PIPE_H_

#include <functional>
#include <set>
#include <string>
#include <utility>

#include "grace/grace_pipe.h"

class FakeGracePipe : public GracePipe {
 public:
  std::string sent;       // each command with the pipe's line feed; "exit\n"
  bool can_start = true;  // false: open() fails with `start_error`
  std::string start_error;
  bool deaf = false;  // Grace stopped reading: a write fails, Grace runs on
  int starts = 0;
  std::set<int> running;                // process ids of the Graces not ended
  std::string ended;                    // "<pid> by itself|stopped\n" per end()
  std::function<void(int pid)> on_end;  // called at end() before Grace is gone

  int open() override {
    if (!can_start) return fail(start_error) ? 0 : -1;
    running.insert(connected_ = 100 + ++starts);
    return connected_;
  }
  bool is_open() override { return connected_ != 0; }
  bool send(const std::string& command) override {
    if (!connected_) return fail("no Grace process is running");
    if (deaf) return connected_ = 0, fail("GraceOneWrite: Broken pipe");
    sent += command + "\n";
    return true;
  }
  bool flush() override { return connected_ || fail("no Grace process is running"); }
  void close() override {
    if (connected_) sent += "exit\n";
    quit();
  }
  bool has_ended(int pid) override { return running.count(pid) == 0; }
  bool end(int pid, int) override {
    if (on_end) on_end(pid);
    bool by_itself = running.erase(pid) == 0;
    ended += std::to_string(pid) + (by_itself ? " by itself\n" : " stopped\n");
    return by_itself;
  }
  std::string error() override { return std::exchange(error_, std::string()); }
  // The user closes the Grace window: the Grace ends and the pipe breaks.
  void quit() {
    running.erase(connected_);
    connected_ = 0;
  }

 private:
  bool fail(const std::string& why) { return error_ = why, false; }
  int connected_ = 0;
  std::string error_;
};

#endif  // KURVATAB_TESTS_GRACE_FAKE_GRACE_PIPE_H_
