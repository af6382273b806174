#include "frontend/progress.h"

#include <time.h>

#include <cmath>
#include <string>

#include "base/text.h"

namespace {

double monotonic_seconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

double progress_delay(const char* text) {
  constexpr double kDefault = 0.5;
  if (!text) return kDefault;
  const std::string_view s(text);
  const char* p = s.data();
  double d = 0;
  std::string scratch;
  if (!read_number(&p, s.data() + s.size(), &d, &scratch) || p != s.data() + s.size() ||
      !std::isfinite(d) || d < 0 || d > 3600)
    return kDefault;
  return d;
}

std::string human_bytes(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  size_t u = 0;
  while (bytes >= 1024 && u + 1 < sizeof kUnits / sizeof kUnits[0]) {
    bytes /= 1024;
    u++;
  }
  char text[64];
  snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[u]);
  return text;
}

ProgressMeter::ProgressMeter(FILE* out, Clock clock, double delay, double interval)
    : out_(out),
      clock_(clock ? std::move(clock) : Clock(monotonic_seconds)),
      delay_(delay),
      interval_(interval) {}

ProgressMeter::~ProgressMeter() { erase(); }

void ProgressMeter::attach(IndexTable& t) { t.progress = reporter("indexing"); }

std::function<void(int64_t, int64_t, bool)> ProgressMeter::reporter(std::string what) {
  return [this, what](int64_t done, int64_t total, bool finished) {
    what_ = what;
    update(done, total, finished);
  };
}

void ProgressMeter::update(int64_t done, int64_t total, bool finished) {
  double now = clock_();
  if (!in_pass_) {
    in_pass_ = true;
    started_ = now;
    first_ = done;
    drawn_ = now - interval_;
  }
  if (finished) {
    erase();
    in_pass_ = false;
    return;
  }
  double elapsed = now - started_;
  if (elapsed < delay_ || now - drawn_ < interval_) return;
  drawn_ = now;
  // A file that grows while it is read may pass the length it had.
  if (total < done) total = done;
  double rate = static_cast<double>(done - first_) / elapsed;
  char percent[16];
  snprintf(percent, sizeof percent, "%3.0f%%",
           total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0);
  std::string text = " " + what_ + " " + human_bytes(static_cast<double>(done)) + " of " +
                     human_bytes(static_cast<double>(total)) + " (" + percent + "), " +
                     human_bytes(rate) + "/s";
  // Pad over a longer line drawn before.
  size_t shown = text.size();
  if (shown < width_) text.append(width_ - shown, ' ');
  fprintf(out_, "\r%s\r", text.c_str());
  fflush(out_);
  width_ = text.size();
}

void ProgressMeter::erase() {
  if (width_ == 0) return;
  fprintf(out_, "\r%s\r", std::string(width_, ' ').c_str());
  fflush(out_);
  width_ = 0;
}
