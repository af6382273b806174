#include "follow/follow.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdarg>
#include <ctime>

#include "index/scan_reader.h"
#include "read/column_choice.h"

int64_t SystemClock::now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SystemClock::wait(const std::vector<int>& fds, int timeout_ms) {
  std::vector<pollfd> p;
  for (int fd : fds)
    if (fd >= 0) p.push_back(pollfd{fd, POLLIN, 0});
  poll(p.data(), p.size(), timeout_ms);
}

void ConsoleSink::line(PointReader& p, PointReader::Step) { p.in().copy_line(con_.my_stdout); }

void ConsoleSink::header(IndexTable& t, int ref) {
  const scanRef* r = index_record(t, ref);
  if (!r) return;
  ScanReader in(t.inf.get(), r->hseek);
  std::string_view line;
  if (in.next(&line)) in.copy_line(con_.my_stdout);
}

Follower::Follower(IndexTable& t, Console& con, const ColumnChoice& cols, FollowSink& sink,
                   bool at_terminal)
    : t_(t), con_(con), cols_(cols), sink_(sink), at_terminal_(at_terminal), watch_(t.inf_path) {}

void Follower::begin(int ref) {
  known_ = t_.Indexed;
  move_to(ref);
  say(" following scan %d (i=%d) of %s, Enter or Ctrl-C ends\n", t_.Index[size_t(ref)].scan,
      ref + 1, t_.inf_name.c_str());
  sink_.start(t_, ref);
  read_new();
  sink_.update();
  show_status();
}

void Follower::move_to(int ref) {
  ref_ = ref;
  offset_ = -1;
  data_lines_ = 0;
  ncol_ = 0;
  points_ = 0;
  scan_cols_set_ = false;
}

bool Follower::update() {
  int fresh = -1;
  FileWatch::Change look =
      t_.inf ? watch_.look(*t_.inf, t_.IndexFileLength, &fresh) : FileWatch::kGone;
  const char* why = nullptr;
  if (look == FileWatch::kReplaced) {
    // The old file stays open under us: read the one the path names now.
    t_.inf = std::make_unique<PosixScanFile>(fresh, true);
    index_build(t_);
    why = "replaced";
  } else {
    const int records = t_.Indexed;
    IndexChange change = index_refresh(t_);
    if (change.kind == IndexChange::kNone && !sink_.needs_update()) return false;
    // A file without scans that grew is read anew in full, yet what it
    // holds now is new, not changed.
    if (change.kind == IndexChange::kRebuilt && !(records == 0 && look == FileWatch::kGrown))
      why = look == FileWatch::kTruncated ? "truncated" : "changed";
  }
  const int64_t before = data_lines_;
  const int ref_before = ref_;
  hide_status();
  if (why) restart(why);
  read_new();
  sink_.update();
  show_status();
  return why || ref_ != ref_before || data_lines_ != before;
}

void Follower::restart(const char* why) {
  known_ = t_.Indexed;
  move_to(t_.Indexed - 1);
  if (ref_ >= 0) {
    say(" file %s was %s: index table rebuilt with %d entries, following scan %d (i=%d)\n",
        t_.inf_name.c_str(), why, t_.Indexed, t_.Index[size_t(ref_)].scan, ref_ + 1);
  } else {
    say(" file %s was %s: index table rebuilt with %d entries, waiting for a scan\n",
        t_.inf_name.c_str(), why, t_.Indexed);
  }
  sink_.rebuilt(t_, ref_);
}

// The followed scan's new lines, then each scan appended behind it in turn.
void Follower::read_new() {
  for (;;) {
    if (ref_ >= 0) read_lines();
    // Scans that were in the table when the follow began or the file was
    // rebuilt are not new: only those behind them move the follow.
    int next = std::max(ref_ + 1, known_);
    if (next >= t_.Indexed) break;
    move_to(next);
    known_ = next + 1;
    say(" following scan %d (i=%d)\n", t_.Index[size_t(ref_)].scan, ref_ + 1);
    sink_.new_scan(t_, ref_);
  }
}

void Follower::read_lines() {
  scanRef& r = t_.Index[size_t(ref_)];
  if (offset_ < 0) {
    if (r.vseek <= 0) return;  // only the header so far
    offset_ = r.vseek;
  }
  if (!scan_cols_set_) {
    // The header is whole once the data began.
    std::string why;
    scan_has_cols_ = resolve_columns(t_, r, cols_, &scan_cols_, &why);
    if (!scan_has_cols_) say("%s", why.c_str());
    scan_cols_set_ = true;
  }
  PointReader p(t_, r, scan_cols_, PointReader::Resume{offset_, data_lines_, ncol_, r.eseek});
  for (PointReader::Step step; (step = p.next()) != PointReader::kEnd;) {
    if (step == PointReader::kData && scan_has_cols_) {
      int err;
      double x = p.x(&err);
      if (err == 0) {
        points_++;
        last_x_ = x;
        last_y_ = p.y(&err);
      }
    }
    sink_.line(p, step);
  }
  offset_ = p.offset();
  data_lines_ = p.data_lines();
  ncol_ = p.ncol();
}

std::string Follower::status_text() const {
  if (ref_ < 0) return " waiting for a scan";
  char buf[160];
  int n = snprintf(buf, sizeof buf, " scan %d (i=%d): %" PRId64 " points",
                   t_.Index[size_t(ref_)].scan, ref_ + 1, points_);
  if (points_ > 0 && n > 0 && size_t(n) < sizeof buf)
    snprintf(buf + n, sizeof buf - size_t(n), ", last x=%g y=%g", last_x_, last_y_);
  return buf;
}

void Follower::say(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(con_.out, fmt, ap);
  va_end(ap);
  // Before the sink's lines, which may go to another stream.
  fflush(con_.out);
}

void Follower::hide_status() {
  if (!status_shown_) return;
  fputs("\r\033[K", con_.out);
  status_shown_ = false;
}

void Follower::show_status() {
  if (at_terminal_) {
    fflush(con_.my_stdout);
    fputs(status_text().c_str(), con_.out);
    status_shown_ = true;
  }
  fflush(con_.out);
}

void Follower::end() {
  if (status_shown_) {
    // Typed text or ^C may stand behind the status line: draw it afresh.
    hide_status();
    fprintf(con_.out, "%s\n", status_text().c_str());
  }
  sink_.end();
  fflush(con_.out);
}

namespace {

// Ctrl-C during a follow: the handler notes it and wakes the waiting loop
// through a pipe. What a signal handler reaches must be process-wide.
volatile sig_atomic_t g_interrupted = 0;
int g_interrupt_fd = -1;

extern "C" void on_interrupt(int) {
  int saved = errno;
  g_interrupted = 1;
  if (g_interrupt_fd >= 0) (void)!write(g_interrupt_fd, "", 1);
  errno = saved;
}

// Installs the handler for its lifetime and restores the one before.
class InterruptGuard {
 public:
  InterruptGuard() {
    g_interrupted = 0;
    if (pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) pipe_[0] = pipe_[1] = -1;
    g_interrupt_fd = pipe_[1];
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    // The pipe wakes the wait; reads and writes elsewhere go on unbroken.
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &old_, nullptr);
    g_interrupt_fd = -1;
    for (int fd : pipe_)
      if (fd >= 0) close(fd);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  int fd() const { return pipe_[0]; }
  bool interrupted() const { return g_interrupted != 0; }

 private:
  int pipe_[2];
  struct sigaction old_;
};

// Waits and updates until the user ends the follow.
FollowEnd wait_and_update(Follower& f, FollowInput& in, FollowClock& clock,
                          const InterruptGuard& interrupt) {
  // Updates are paced as from a bucket of two that refills one every
  // kFollowUpdateMs: a change after a quiet spell is shown at once, a steady
  // stream of changes at most ten times a second. A bucket of one (updates
  // at least 100 ms apart) would hold a writer of ten lines a second at
  // whatever delay its first line met, and add every late wake-up to it.
  // `paced` is the time by which the bucket is full again; begin() has just
  // taken one update from it.
  int64_t now = clock.now_ms();
  int64_t paced = now + kFollowUpdateMs;
  int64_t next_look = now + kFollowLookMs;
  bool due = false;
  for (;;) {
    FollowInput::Result r = in.poll_line();
    if (r == FollowInput::kLine) return FollowEnd::kTyped;
    if (r == FollowInput::kEnd) return FollowEnd::kEndOfInput;
    if (interrupt.interrupted()) return FollowEnd::kInterrupted;
    if (f.watch().drain()) due = true;
    now = clock.now_ms();
    if (now >= next_look) due = true;
    const int64_t allowed = paced - kFollowUpdateMs;
    if (due && now >= allowed) {
      f.update();
      due = false;
      paced = std::max(paced, now) + kFollowUpdateMs;
      next_look = now + kFollowLookMs;
    }
    int64_t timeout = due ? paced - kFollowUpdateMs - now : next_look - now;
    if (in.fd() < 0) timeout = std::min<int64_t>(timeout, kFollowUpdateMs);
    clock.wait({in.fd(), f.watch().fd(), interrupt.fd()}, int(std::max<int64_t>(timeout, 0)));
  }
}

}  // namespace

FollowEnd follow_run(Follower& f, int ref, FollowInput& in, FollowClock& clock) {
  InterruptGuard interrupt;
  f.begin(ref);
  FollowEnd how = wait_and_update(f, in, clock, interrupt);
  f.end();
  return how;
}
