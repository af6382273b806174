// The result of an operation that can fail: success, or a failure with the
// message that says why, as the user is to read it (whole lines, each with
// its line feed). Library code returns it and the caller prints it, so the
// one who asked knows the request failed. Success holds nothing: no
// allocation, a pointer test.
#ifndef KURVATAB_BASE_STATUS_H_
#define KURVATAB_BASE_STATUS_H_

#include <cstdio>
#include <memory>
#include <string>

class Status {
 public:
  Status() = default;  // success
  Status(const Status& o) : state_(o.state_ ? new State(*o.state_) : nullptr) {}
  Status& operator=(const Status& o) {
    if (this != &o) state_.reset(o.state_ ? new State(*o.state_) : nullptr);
    return *this;
  }
  Status(Status&&) noexcept = default;
  Status& operator=(Status&&) noexcept = default;

  // A failure with `message` as it is to be printed.
  static Status error(std::string message);
  // A failure whose message is made as printf makes it; only our own formats.
  static Status errorf(const char* format, ...) __attribute__((format(printf, 1, 2)));
  // A failure because something asked for is not there (a scan lacks the
  // column label chosen): callers that walk many scans count these apart.
  // The message may be empty when the one asked said it another way.
  static Status not_found(std::string message);

  bool ok() const { return !state_; }
  bool is_not_found() const { return state_ && state_->not_found; }
  // The message; empty for success.
  const std::string& message() const;
  // Writes the message of a failure on `out`; returns ok().
  bool report(FILE* out) const;

 private:
  struct State {
    std::string message;
    bool not_found = false;
  };
  std::unique_ptr<State> state_;
};

#endif  // KURVATAB_BASE_STATUS_H_
