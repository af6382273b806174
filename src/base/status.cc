#include "base/status.h"

#include <cstdarg>

#include "base/text.h"

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
  std::string text = string_vprintf(format, ap);
  va_end(ap);
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
