// Command lines typed at a terminal, read with GNU readline: line editing,
// a history kept across runs in a file in the user's home, file-name
// completion for the commands that take a file or directory name, and
// completion of the current scan's labels after x, y, z and C. Used only
// when both standard input and standard output are terminals; otherwise the
// plain FileCommandInput reads the commands, byte for byte as typed.
#ifndef KURVATAB_FRONTEND_LINE_INPUT_H_
#define KURVATAB_FRONTEND_LINE_INPUT_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/interpreter.h"

// The history file holds at most this many lines.
constexpr int kHistoryLines = 1000;

// True when commands should be read with line editing: both descriptors
// are terminals.
bool use_line_editing(int in_fd, int out_fd);

// "$HOME/.kurvatab_history", or empty (no history file) when HOME is unset
// or empty.
std::string history_path();

// Readline takes over the terminal while a line is read. Only one LineInput
// may exist at a time (readline's state is process-wide).
class LineInput : public CommandInput {
 public:
  // `history_file`: where the history is read from and appended to; empty
  // for none. `err`: where a history file that cannot be read or written is
  // reported (once per run).
  LineInput(std::string history_file, FILE* err);
  ~LineInput() override;
  LineInput(const LineInput&) = delete;
  LineInput& operator=(const LineInput&) = delete;

  Result read_line(std::string* line) override;
  // Uses readline's callback interface: the prompt is shown and typed text
  // edited as usual while the caller does other work between calls.
  Result read_line_for(std::string* line, int timeout_ms) override;
  int fd() const override;
  bool shows_prompt() const override { return true; }
  void set_prompt(const std::string& text) override { prompt_ = text; }
  void set_label_source(LabelSource source) override;

 private:
  void remember(const std::string& line);
  void report(const char* what, int err);

  std::string history_file_;
  FILE* err_;
  std::string prompt_;
  bool reported_ = false;
  bool installed_ = false;  // the callback handler is waiting for a line
};

// Completion of command arguments, apart from readline so it can be tested.

// Where the file or directory name of the command on `line` starts, when
// the cursor `point` stands in it: the commands f, d, w, W, b and B take a
// name. For f, d, w and W the blanks behind the letter are skipped (the
// commands skip them too); b and B use the name exactly as typed. Returns
// std::string::npos when there is nothing to complete as a file name.
size_t file_argument_start(const std::string& line, size_t point);

// The completions of the name at [arg, end) of `line` as readline inserts
// them in place of [start, end): file names as readline finds them, each
// directory with a '/' behind it, sorted. `start` is where readline's word
// begins; it may lie before `arg` (a name typed directly behind the
// letter) or after it (a name holding blanks).
std::vector<std::string> file_name_completions(const std::string& line, size_t arg, size_t start,
                                               size_t end);

// The texts readline puts in place of its word [start, ...) when `texts`
// are to replace [arg, ...) of `line`: readline's word may begin before the
// argument (a name typed directly behind the letter) or after it (a name
// holding blanks).
std::vector<std::string> in_readline_word(const std::vector<std::string>& texts,
                                          const std::string& line, size_t arg, size_t start);

// Completion of labels after x, y, z (the whole argument is one label) and
// C (the entry under the cursor, a label in double quotes may hold blanks),
// with the cursor at `end`: the labels that begin with what was typed
// (those that do when case is ignored, when none does exactly), each as it
// would be typed: in double quotes when it would not read back as that one
// label otherwise. *arg is where the text typed for it starts. Empty when
// there is nothing to complete (another command, a number).
std::vector<std::string> label_completions(const std::string& line, size_t end,
                                           const std::vector<std::string>& labels, size_t* arg);

#endif  // KURVATAB_FRONTEND_LINE_INPUT_H_
