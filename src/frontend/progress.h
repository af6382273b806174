// A one-line progress indicator for a pass over a large scan file at a
// terminal (indexing, checking): what is done, bytes done, the file's length
// and the rate, shown on the error
// stream once a pass has run longer than half a second, redrawn in place and
// erased when the pass ends. The caller decides whether the stream is a
// terminal; the meter itself writes whenever it is attached.
#ifndef KURVATAB_FRONTEND_PROGRESS_H_
#define KURVATAB_FRONTEND_PROGRESS_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "index/index_table.h"

class ProgressMeter {
 public:
  using Clock = std::function<double()>;  // seconds, any fixed origin

  // A pass shorter than `delay` seconds shows nothing; the line is redrawn
  // at most every `interval` seconds. `out` must outlive the meter.
  explicit ProgressMeter(FILE* out, Clock clock = nullptr, double delay = 0.5,
                         double interval = 0.1);
  ~ProgressMeter();  // erases a line still shown
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // Makes the indexer of `t` report to this meter; `t` must not outlive it.
  void attach(IndexTable& t);

  // A callback for another pass (same arguments as IndexTable::progress)
  // whose line begins with `what` instead of "indexing". The meter must
  // outlive it.
  std::function<void(int64_t done, int64_t total, bool finished)> reporter(std::string what);

  // One report of the indexer (see IndexTable::progress).
  void update(int64_t done, int64_t total, bool finished);

 private:
  void erase();

  FILE* out_;
  Clock clock_;
  double delay_;
  double interval_;
  bool in_pass_ = false;
  double started_ = 0;
  int64_t first_ = 0;  // offset at which the pass began
  double drawn_ = 0;   // when the line was drawn last
  size_t width_ = 0;   // characters of the line shown, 0 when none
  std::string what_ = "indexing";
};

// The delay before a pass shows its line, in seconds: `text` (the
// environment's KURVATAB_PROGRESS_DELAY) when it is a number from 0 to 3600,
// else half a second.
double progress_delay(const char* text);

// "12.3 MiB" and the like: a byte count for people.
std::string human_bytes(double bytes);

#endif  // KURVATAB_FRONTEND_PROGRESS_H_
