// Following the running scan: while an instrument appends to the scan file,
// each new line of the scan being written is shown as it comes, a new scan
// moves the follow to it, and a file that was truncated or replaced is
// indexed anew and followed from its last scan.
//
// The parts: a Follower brings the table up to date and hands the new lines
// to a FollowSink (the console form prints them; a plot form draws them);
// follow_run() waits for the file, the user and the clock and ends the
// follow when the user types a line, presses Ctrl-C, or input ends. Time,
// waiting and the user's input are seams, so tests drive a follow without
// sleeping.
#ifndef KURVATAB_FOLLOW_FOLLOW_H_
#define KURVATAB_FOLLOW_FOLLOW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/options.h"
#include "follow/file_watch.h"
#include "index/index_table.h"
#include "read/points.h"

// A look at the path at least this often (a network file system tells no
// one about writes from other hosts).
constexpr int kFollowLookMs = 500;
// Updates (reading, drawing, the status line) come at most ten a second:
// one every this many milliseconds, with one saved while the file is quiet,
// so that the first change after a quiet spell is shown at once.
constexpr int kFollowUpdateMs = 100;

// Time and waiting.
class FollowClock {
 public:
  virtual ~FollowClock() = default;
  // Milliseconds from any fixed start; never goes back.
  virtual int64_t now_ms() = 0;
  // Returns when one of `fds` is readable (entries below 0 are left out),
  // after `timeout_ms`, or on a signal, whichever comes first.
  virtual void wait(const std::vector<int>& fds, int timeout_ms) = 0;
};

// The monotonic clock and poll(2).
class SystemClock : public FollowClock {
 public:
  int64_t now_ms() override;
  void wait(const std::vector<int>& fds, int timeout_ms) override;
};

// What the follow needs of the user's input.
class FollowInput {
 public:
  enum Result {
    kNothing,  // no whole line yet
    kLine,     // the user typed a line (it ends the follow; it is not run)
    kEnd,      // the input ended or failed
  };
  virtual ~FollowInput() = default;
  // Takes a line when one has come; never waits.
  virtual Result poll_line() = 0;
  // Readable when typed text comes in; -1 when there is none to wait on
  // (the follow then asks poll_line() every update period).
  virtual int fd() const = 0;
};

// Where the followed lines go. Positions are 0-based; the table and the
// reader are valid only during the call.
class FollowSink {
 public:
  virtual ~FollowSink() = default;
  // The follow begins at scan `ref`; the lines it holds so far come next.
  virtual void start(IndexTable& t, int ref) = 0;
  // One whole line of the followed scan's data, in file order, each once: a
  // data line (kData, its values parsed in `p`) or a '#' line (kComment).
  virtual void line(PointReader& p, PointReader::Step step) = 0;
  // A scan appended behind the followed one: the follow moves to it.
  virtual void new_scan(IndexTable& t, int ref) = 0;
  // The file was truncated or replaced and the table built anew; the
  // follow starts over at scan `ref` (-1: the file holds no scan yet).
  virtual void rebuilt(IndexTable& t, int ref) = 0;
  // The lines of one update have all come: show them. Called at most ten
  // times a second (see kFollowUpdateMs).
  virtual void update() = 0;
  // The follow ends.
  virtual void end() = 0;
  // True when the sink has something to show though the file has not
  // changed (its Grace went away): the follow then updates all the same.
  virtual bool needs_update() { return false; }
};

// The console form: the header line of each scan followed, then its lines
// as `p` lists them, verbatim, on con.my_stdout.
class ConsoleSink : public FollowSink {
 public:
  explicit ConsoleSink(Console& con) : con_(con) {}
  void start(IndexTable& t, int ref) override { header(t, ref); }
  void line(PointReader& p, PointReader::Step step) override;
  void new_scan(IndexTable& t, int ref) override { header(t, ref); }
  void rebuilt(IndexTable& t, int ref) override { header(t, ref); }
  void update() override { fflush(con_.my_stdout); }
  void end() override { fflush(con_.my_stdout); }

 private:
  void header(IndexTable& t, int ref);
  Console& con_;
};

// Keeps the table and a sink up to date with the scan file. Messages go to
// con.out: one line when the follow begins, for each new scan, and when the
// table was rebuilt. At a terminal one status line (scan, points so far,
// the last x and y) is redrawn in place after each update.
class Follower {
 public:
  // `t` has a file open (its path kept absolute in t.inf_path); `cols`
  // names the x and y shown in the status line and read by the sink.
  // Columns chosen by label are resolved for each scan followed; a scan
  // that lacks one is said so once, and shows no x and y.
  Follower(IndexTable& t, Console& con, const ColumnChoice& cols, FollowSink& sink,
           bool at_terminal);
  Follower(const Follower&) = delete;
  Follower& operator=(const Follower&) = delete;

  // Starts with scan `ref` (a valid position) and shows what it holds.
  void begin(int ref);
  // Looks at the file, brings the table up to date and hands what is new
  // to the sink. Returns true when anything was shown.
  bool update();
  // Ends the follow; the status line stays as the last word at a terminal.
  void end();

  int ref() const { return ref_; }            // the scan followed; -1 for none
  int64_t points() const { return points_; }  // data lines with an x, this scan
  FileWatch& watch() { return watch_; }
  std::string status_text() const;

 private:
  void read_new();
  void read_lines();
  void move_to(int ref);
  void restart(const char* why);
  void say(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void hide_status();
  void show_status();

  IndexTable& t_;
  Console& con_;
  ColumnChoice cols_;
  FollowSink& sink_;
  bool at_terminal_;
  FileWatch watch_;
  bool status_shown_ = false;

  int ref_ = -1;
  int known_ = 0;        // records that existed at the last look
  int64_t offset_ = -1;  // just after the last line handed out; -1: no data yet
  int64_t data_lines_ = 0;
  int ncol_ = 0;
  int64_t points_ = 0;
  double last_x_ = 0, last_y_ = 0;
  // The columns of the scan followed (labels resolved), once its data began.
  ColumnChoice scan_cols_;
  bool scan_cols_set_ = false;
  bool scan_has_cols_ = true;
};

// How a follow ended.
enum class FollowEnd { kTyped, kInterrupted, kEndOfInput };

// Runs a follow of scan `ref` (a valid position) from begin() to end():
// waits (no CPU) for inotify, typed text or Ctrl-C, looks at the file every
// kFollowLookMs, and updates at most ten times a second. Ctrl-C ends the
// follow, not the program: a SIGINT handler is installed for the run and
// the previous one restored.
FollowEnd follow_run(Follower& f, int ref, FollowInput& in, FollowClock& clock);

#endif  // KURVATAB_FOLLOW_FOLLOW_H_
