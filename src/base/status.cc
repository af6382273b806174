#include "base/status.h"

#include <cstdarg>

Status Status::error(std::string message) {
  Status s;
  s.state_.reset(new State{std::move(message)});
  return s;
}

Status Status::not_found(std::string message) {
  Status s = error(std::move(message));
  s.state_->not_found = true;
  return s;
}

Status Status::errorf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list again;
  va_copy(again, ap);
  const int n = vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  std::string text(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return error(std::move(text));
}

const std::string& Status::message() const {
  static const std::string kNone;
  return state_ ? state_->message : kNone;
}

bool Status::report(FILE* out) const {
  if (state_) fwrite(state_->message.data(), 1, state_->message.size(), out);
  return ok();
}
