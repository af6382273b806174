// The follow in Grace: the followed scan is one set, plotted first as `v`
// plots it and then grown point by point as its lines come, without a file
// per update. A new scan gets a set of its own through the same first plot;
// a file that was truncated or replaced has its last scan plotted anew.
//
// When the Grace goes away (the user closed its window), or a scan's first
// plot cannot be made, the follow goes on in the console form after one
// line saying so.
#ifndef KURVATAB_FOLLOW_GRACE_FOLLOW_H_
#define KURVATAB_FOLLOW_GRACE_FOLLOW_H_

#include <cstdint>

#include "base/console.h"
#include "base/options.h"
#include "follow/follow.h"
#include "grace/grace_link.h"

class GraceSink : public FollowSink {
 public:
  // `g` has a Grace connected (grace_start) and outlives the sink; `st`
  // holds the columns the follow reads as well. Messages go to con.out.
  GraceSink(GraceLink& g, const PlotOptions& st, Console& con);

  void start(IndexTable& t, int ref) override;
  void line(PointReader& p, PointReader::Step step) override;
  void new_scan(IndexTable& t, int ref) override;
  void rebuilt(IndexTable& t, int ref) override;
  // Draws what came since the last update: the scan's first plot once it
  // has two data lines (as `v` wants them), else the points appended.
  void update() override;
  void end() override;
  bool needs_update() override;

  bool in_console() const { return in_console_; }

 private:
  void begin_scan(IndexTable& t, int ref);
  void first_plot();
  void note_unnormalised();
  bool grace_gone();
  void to_console(const char* why);

  GraceLink& g_;
  PlotOptions st_;
  Console& con_;
  ConsoleSink console_;
  bool in_console_ = false;

  // The scan followed.
  IndexTable* t_ = nullptr;
  int ref_ = -1;
  int scan_ = 0;
  bool plotted_ = false;  // its set exists: new points are appended
  bool stopped_ = false;  // a line without x ended its points
  bool dirty_ = false;    // points appended that Grace has not drawn
  int64_t until_ = 0;     // just after its last line handed out
  int64_t data_lines_ = 0;
  int64_t points_ = 0;
  int64_t unnormalised_ = 0;
  int64_t reported_ = 0;  // unnormalised points the user was told of
};

#endif  // KURVATAB_FOLLOW_GRACE_FOLLOW_H_
