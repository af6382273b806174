// The pipe to Grace: starting the program xmgrace, handing it text commands,
// and ending it. The link (grace_link.h) talks to Grace only through this
// interface, so a test can hand it an in-memory fake and read back exactly
// what Grace would have received.
#ifndef KURVATAB_GRACE_GRACE_PIPE_H_
#define KURVATAB_GRACE_GRACE_PIPE_H_

#include <cstddef>
#include <string>

class GracePipe {
 public:
  // The longest command send() takes (grace_np's command buffer holds 2048
  // bytes with the line feed and its terminator).
  static constexpr size_t kMaxCommand = 2045;

  virtual ~GracePipe() = default;

  // Starts a Grace connected to this pipe (none may be connected). Returns
  // the Grace's process id (0 when it is not known), or -1 when it could not
  // be started; error() then says why when that is known.
  virtual int open() = 0;

  // True while a Grace started by open() is connected. Turns false by
  // itself when that Grace goes away (the user closed its window).
  virtual bool is_open() = 0;

  // Hands one command to Grace; the pipe ends it with a line feed. Commands
  // may be held back until flush(). False when it could not be delivered
  // (no Grace connected, or the pipe broke); error() says why.
  virtual bool send(const std::string& command) = 0;

  // Delivers every command held back. False as for send().
  virtual bool flush() = 0;

  // Tells the connected Grace to exit and closes the pipe; it may still be
  // running when this returns (see end()).
  virtual void close() = 0;

  // True once the Grace `pid` started by open() has ended (always for a pid
  // that is not known). Never waits.
  virtual bool has_ended(int pid) = 0;

  // Waits up to `wait_ms` milliseconds for the Grace `pid` to end by itself,
  // then ends it. Returns true when it ended by itself, false when it had to
  // be stopped.
  virtual bool end(int pid, int wait_ms) = 0;

  // Why the last call failed, in words, once: the text is cleared.
  virtual std::string error() = 0;
};

// The pipe of this process, through Grace's pipe library grace_np (which
// keeps one connection per process).
GracePipe& grace_np_pipe();

#endif  // KURVATAB_GRACE_GRACE_PIPE_H_
