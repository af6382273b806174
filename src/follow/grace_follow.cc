#include "follow/grace_follow.h"

namespace {

const char kGone[] = " Grace has gone away: following in the console\n";
const char kNotPlotted[] = " the scan could not be plotted: following in the console\n";

}  // namespace

GraceSink::GraceSink(GraceLink& g, const PlotOptions& st, Console& con)
    : g_(g), st_(st), con_(con), console_(con) {}

void GraceSink::begin_scan(IndexTable& t, int ref) {
  t_ = &t;
  ref_ = ref;
  scan_ = ref >= 0 ? t.Index[size_t(ref)].scan : 0;
  plotted_ = stopped_ = false;
  until_ = data_lines_ = points_ = unnormalised_ = reported_ = 0;
}

void GraceSink::start(IndexTable& t, int ref) { begin_scan(t, ref); }

void GraceSink::line(PointReader& p, PointReader::Step step) {
  if (!in_console_) grace_gone();
  if (in_console_) {
    console_.line(p, step);
    return;
  }
  until_ = p.offset();
  if (step != PointReader::kData) return;
  data_lines_++;
  if (stopped_) return;
  PlotPoint pt;
  bool left = false;
  PointUse use = plot_point(p, st_, &pt, &left);
  if (use == PointUse::kNoX) stopped_ = true;
  if (use != PointUse::kPoint) return;
  points_++;
  if (left) unnormalised_++;
  // Before the first plot the points wait in the file for it.
  if (!plotted_) return;
  switch (gracesend_point(g_, st_, pt)) {
    case PointSent::kSent:
      dirty_ = true;
      break;
    case PointSent::kLeftOut:
      break;
    case PointSent::kFailed:
      to_console(kGone);
      console_.line(p, step);
      break;
  }
}

void GraceSink::new_scan(IndexTable& t, int ref) {
  // The scan before gets its set even when its lines came in the same
  // update as the next scan.
  if (!in_console_ && !plotted_ && data_lines_ >= 2 && !grace_gone()) first_plot();
  if (in_console_) {
    console_.new_scan(t, ref);
    return;
  }
  note_unnormalised();
  begin_scan(t, ref);
}

void GraceSink::rebuilt(IndexTable& t, int ref) {
  if (in_console_) {
    console_.rebuilt(t, ref);
    return;
  }
  note_unnormalised();
  begin_scan(t, ref);
}

void GraceSink::update() {
  if (!in_console_ && !grace_gone()) {
    if (!plotted_ && data_lines_ >= 2) {
      first_plot();
    } else if (dirty_) {
      dirty_ = false;
      if (!gracesend_redraw(g_, st_)) to_console(kGone);
    }
  }
  if (in_console_) console_.update();
}

void GraceSink::end() {
  if (in_console_) {
    console_.end();
    return;
  }
  note_unnormalised();
  fflush(con_.out);
}

bool GraceSink::needs_update() { return !in_console_ && !g_.pipe->is_open(); }

// The scan's set, from its lines so far, as `v` makes it; its REDRAW also
// shows points appended to the set before.
void GraceSink::first_plot() {
  if (!gracesend_scan_until(g_, *t_, st_, con_, ref_, until_)) {
    // Points sent now would go to the set before.
    to_console(g_.pipe->is_open() ? kNotPlotted : kGone);
    return;
  }
  plotted_ = true;
  dirty_ = false;
  reported_ = unnormalised_;
}

// Once a scan's follow ends: the points left unnormalised since the user
// was last told.
void GraceSink::note_unnormalised() {
  if (plotted_ && unnormalised_ > reported_) {
    print_unnormalised(con_.out, unnormalised_, points_, ref_, scan_);
  }
  reported_ = unnormalised_;
}

bool GraceSink::grace_gone() {
  if (g_.pipe->is_open()) return false;
  to_console(kGone);
  return true;
}

void GraceSink::to_console(const char* why) {
  in_console_ = true;
  g_.pipe->error();  // the reason is the one line below
  fputs(why, con_.out);
  if (plotted_ || ref_ < 0) return;
  // The lines kept for the first plot are shown here instead.
  console_.start(*t_, ref_);
  scanRef& r = t_->Index[size_t(ref_)];
  if (until_ <= 0) return;
  PointReader::Resume from;
  from.offset = r.vseek;
  from.until = until_;
  PointReader p(*t_, r, st_, from);
  for (PointReader::Step step; (step = p.next()) != PointReader::kEnd;) console_.line(p, step);
}
