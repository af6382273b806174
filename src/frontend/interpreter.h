// The command interpreter: prompt, one-letter commands, status and help; and
// the program's start-up sequence around it.
#ifndef KURVATAB_FRONTEND_INTERPRETER_H_
#define KURVATAB_FRONTEND_INTERPRETER_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "frontend/loop.h"
#include "frontend/session.h"

// Where command lines come from. The interpreter only asks for whole lines,
// so a line-editing front end can take the place of the plain stream.
class CommandInput {
 public:
  enum Result {
    kLine,     // *line holds the line, without its newline
    kTooLong,  // the line was longer than the bound; it was read and dropped
    kEnd,      // no further line: end of input
    kError,    // no further line: the input failed (errno is set)
    kPending,  // read_line_for only: no whole line came in time
  };
  static constexpr size_t kMaxLine = 1u << 20;
  virtual ~CommandInput() = default;
  virtual Result read_line(std::string* line) = 0;
  // As read_line, but waits at most `timeout_ms` milliseconds (0: only what
  // has arrived already) and returns kPending when no whole line came in
  // time; text typed so far is kept for the next call. A signal that
  // interrupts the wait also gives kPending. Lets a command watch something
  // else while the user may type.
  virtual Result read_line_for(std::string* line, int timeout_ms) = 0;
  // Longest line handed out; longer ones come back as kTooLong.
  virtual size_t max_line() const { return kMaxLine; }
  // The descriptor typed text arrives on, for a caller that waits on it
  // together with other descriptors (and then calls read_line_for with 0);
  // -1 when there is none.
  virtual int fd() const { return -1; }
  // A line editor shows the prompt itself: it is given the prompt text
  // before each read_line instead of having it printed.
  virtual bool shows_prompt() const { return false; }
  virtual void set_prompt(const std::string& /*text*/) {}
  // Where a line editor takes the labels it completes after x, y, z and C
  // (those of the current scan); asked only when completing. Null for none.
  using LabelSource = std::function<std::vector<std::string>()>;
  virtual void set_label_source(LabelSource /*source*/) {}
};

// Reads lines of any length from a stream's descriptor (with a buffer of
// its own, so that waiting on the descriptor sees every byte not yet
// handed out), holding at most `max_line` bytes of one line; a longer line
// is consumed whole and reported as kTooLong. The stream is not owned and
// must not be read by anyone else.
class FileCommandInput : public CommandInput {
 public:
  explicit FileCommandInput(FILE* in, size_t max_line = kMaxLine)
      : fd_(fileno(in)), max_line_(max_line) {}
  Result read_line(std::string* line) override;
  Result read_line_for(std::string* line, int timeout_ms) override;
  size_t max_line() const override { return max_line_; }
  int fd() const override { return fd_; }

 private:
  // Takes a whole line out of the buffer; false when none is there yet.
  bool take_line(std::string* line, bool* too_long);
  // One read(2) into the buffer: >0 bytes, 0 at the end, -1 on error.
  ssize_t fill();

  int fd_;
  size_t max_line_;
  std::string buf_;        // bytes read and not yet handed out
  std::string partial_;    // the start of a line that is still coming
  bool dropping_ = false;  // the line coming is past the bound
  bool eof_ = false;
};

// The prompt for the 1-based current index i; no newline behind it.
void prompt(Session& s, int i);
std::string prompt_text(const Session& s, int i);
void status(Session& s);         // as the interpreter's first prompt: at the last scan
void status(Session& s, int i);  // x, y and z labels shown for current index i
void put_cmds(Session& s);

// The commands a loop runs, from the command table, acting on `s`.
LoopLookup loop_commands(Session& s);

// True when the command `letter` takes a file or directory name.
bool command_takes_file(char letter);

// Reads and runs commands until `q` or the end of input. Before each read
// the output streams are flushed, so the prompt shows through a pipe. A
// command that fails sets s.failed; with s.settings.exit_on_error it ends
// the reading at once. Returns 0, or kFailedRunStatus when a failed
// command ended it.
int interprete(Session& s, CommandInput& in);
int interprete(Session& s, FILE* in);

// Prints the usage text on con.err. The caller ends the run with status 3.
void usage(Session& s, const char* msg);

// Takes the command-line arguments (argv[0] excluded) from left to right:
// -X and -Y set the columns, -e or --exit-on-error sets exit_on_error,
// other names are opened as the scan file (one that cannot be opened sets
// s.failed). Returns false, after printing the usage text, on any other
// option.
bool command_line(Session& s, int argc, char** argv);

// The whole program: start-up, interpreter, initialization file. Returns the
// exit status: 0 after `q` or the end of input, 3 after the usage text or
// when memory runs out, kFailedRunStatus when -e ended the run at a
// failure (the settings are written all the same, as at `q`).
int kurvatab_main(int argc, char** argv, FILE* in, Session& s);
int kurvatab_main(int argc, char** argv, CommandInput& in, Session& s);

#endif  // KURVATAB_FRONTEND_INTERPRETER_H_
