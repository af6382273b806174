#include "frontend/line_input.h"

#include <poll.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <readline/tilde.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "base/interrupt.h"
#include "base/text.h"
#include "index/labels.h"

namespace {

bool is_directory(const std::string& name) {
  char* path = tilde_expand(name.c_str());
  struct stat sb;
  bool dir = path && stat(path, &sb) == 0 && S_ISDIR(sb.st_mode);
  free(path);
  return dir;
}

char* copy_text(const std::string& s) {
  char* p = static_cast<char*>(malloc(s.size() + 1));
  if (p) memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

// Where the labels completed after x, y, z and C come from (readline's
// completion entry takes no context).
CommandInput::LabelSource label_source;

// Readline's completion entry: completes file names in the argument of the
// commands that take one, the current scan's labels after x, y, z and C,
// and nothing anywhere else (a command letter, a position or a column
// number has nothing to complete).
char** attempt_completion(const char* /*text*/, int start, int end) {
  rl_attempted_completion_over = 1;
  // Blanks behind a name are part of it for f, d, b and B: never add one.
  rl_completion_append_character = '\0';
  rl_completion_suppress_append = 1;
  std::string line(rl_line_buffer, static_cast<size_t>(rl_end));
  size_t arg = file_argument_start(line, static_cast<size_t>(end));
  std::vector<std::string> found;
  if (arg != std::string::npos) {
    found = file_name_completions(line, arg, static_cast<size_t>(start), static_cast<size_t>(end));
  } else if (label_source) {
    found = label_completions(line, static_cast<size_t>(end), label_source(), &arg);
    found = in_readline_word(found, line, arg, static_cast<size_t>(start));
  }
  if (found.empty()) return nullptr;

  // matches[0] replaces the word: the one match, or the longest prefix all
  // matches share; the list ends with a null pointer.
  size_t n = found.size();
  char** m = static_cast<char**>(calloc(n + 2, sizeof(char*)));
  if (!m) return nullptr;
  std::string common = found[0];
  for (const std::string& f : found) {
    size_t k = 0;
    while (k < common.size() && k < f.size() && common[k] == f[k]) k++;
    common.resize(k);
  }
  m[0] = copy_text(n == 1 ? found[0] : common);
  if (n > 1)
    for (size_t k = 0; k < n; k++) m[k + 1] = copy_text(found[k]);
  return m;
}

}  // namespace

bool use_line_editing(int in_fd, int out_fd) { return isatty(in_fd) && isatty(out_fd); }

std::string history_path() {
  const char* home = getenv("HOME");
  if (!home || !*home) return "";
  std::string path = home;
  if (path.back() != '/') path += '/';
  return path + ".kurvatab_history";
}

size_t file_argument_start(const std::string& line, size_t point) {
  size_t k = line.find_first_not_of(' ');
  if (k == std::string::npos || k >= point || point > line.size()) return std::string::npos;
  char letter = line[k];
  if (!command_takes_file(letter)) return std::string::npos;
  size_t arg = k + 1;
  if (letter != 'b' && letter != 'B')
    while (arg < point && line[arg] == ' ') arg++;
  return arg;
}

std::vector<std::string> in_readline_word(const std::vector<std::string>& texts,
                                          const std::string& line, size_t arg, size_t start) {
  std::vector<std::string> out;
  for (std::string text : texts) {
    if (start < arg) {
      text = line.substr(start, arg - start) + text;
    } else {
      if (text.size() < start - arg) continue;
      text.erase(0, start - arg);
    }
    out.push_back(text);
  }
  return out;
}

std::vector<std::string> file_name_completions(const std::string& line, size_t arg, size_t start,
                                               size_t end) {
  std::vector<std::string> names;
  if (arg > end || end > line.size() || start > end) return names;
  std::string word = line.substr(arg, end - arg);
  for (int state = 0;; state++) {
    char* match = rl_filename_completion_function(word.c_str(), state);
    if (!match) break;
    std::string name = match;
    free(match);
    if (is_directory(name)) name += '/';
    names.push_back(name);
  }
  std::vector<std::string> out = in_readline_word(names, line, arg, start);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::vector<std::string> label_completions(const std::string& line, size_t end,
                                           const std::vector<std::string>& labels, size_t* arg) {
  std::vector<std::string> out;
  size_t k = line.find_first_not_of(' ');
  if (end > line.size() || k == std::string::npos || k >= end) return out;
  const char letter = line[k];
  if (letter != 'x' && letter != 'y' && letter != 'z' && letter != 'C') return out;
  size_t from = k + 1;
  if (letter == 'C') {
    // The entry under the cursor: behind the last white space outside
    // quotes, or at the quote that opens it.
    bool quoted = false;
    for (size_t p = k + 1; p < end; p++) {
      if (quoted) {
        quoted = line[p] != '"';
      } else if (line[p] == '"') {
        quoted = true;
        from = p;
      } else if (is_space(line[p])) {
        from = p + 1;
      }
    }
  } else {
    while (from < end && is_space(line[from])) from++;
  }
  std::string prefix = line.substr(from, end - from);
  const bool quoted = !prefix.empty() && prefix[0] == '"';
  if (quoted) prefix.erase(0, 1);
  if (prefix.find('"') != std::string::npos) return out;
  // A number is no label.
  if (!quoted && !prefix.empty() &&
      (prefix[0] == '+' || prefix[0] == '-' || (prefix[0] >= '0' && prefix[0] <= '9'))) {
    return out;
  }
  for (bool exact : {true, false}) {
    for (const std::string& l : labels) {
      if (l.size() < prefix.size()) continue;
      std::string head = l.substr(0, prefix.size());
      if (exact ? head != prefix : !same_label_ignoring_case(head, prefix)) continue;
      // Quotes where the text would not read back as this one label.
      bool plain = !quoted && !l.empty() && l[0] != '"' && l[0] != '+' && l[0] != '-' &&
                   !(l[0] >= '0' && l[0] <= '9');
      if (letter == 'C') {
        unsigned char c0 = static_cast<unsigned char>(l[0]);
        plain = plain && (isalpha(c0) || c0 == '_' || c0 >= 0x80) &&
                std::find_if(l.begin(), l.end(), is_space) == l.end();
      }
      std::string text = plain ? l : "\"" + l + "\"";
      if (std::find(out.begin(), out.end(), text) == out.end()) out.push_back(text);
    }
    if (!out.empty()) break;
  }
  *arg = from;
  return out;
}

// Called by readline when a signal broke its read. Ctrl-C drops the line
// typed so far and shows a fresh prompt, as a shell does; SIGTERM and SIGHUP
// end the line, and read_line then ends the input.
static int on_signal_event() {
  if (stop_requested()) {
    rl_replace_line("", 0);
    rl_done = 1;
  } else if (interrupted()) {
    clear_interrupt();
    rl_replace_line("", 0);
    rl_crlf();
    rl_on_new_line();
    rl_redisplay();
  }
  return 0;
}

LineInput::LineInput(std::string history_file, FILE* err)
    : history_file_(std::move(history_file)), err_(err) {
  rl_readline_name = "kurvatab";
  rl_signal_event_hook = on_signal_event;
  rl_attempted_completion_function = attempt_completion;
  rl_initialize();
  // Pasted lines run one by one, as when typed.
  rl_variable_bind("enable-bracketed-paste", "off");
  // Readline takes the character set from the environment; numbers are read
  // and written in the C locale whatever the environment says.
  setlocale(LC_NUMERIC, "C");

  using_history();
  stifle_history(kHistoryLines);
  if (history_file_.empty()) return;
  int e = read_history(history_file_.c_str());
  if (e != 0 && e != ENOENT) report("read", e);
}

namespace {
// Readline's line handler takes no context; its state is process-wide too.
struct CallbackLine {
  bool done = false;
  bool eof = false;
  std::string text;
};
CallbackLine callback_line;

void on_callback_line(char* got) {
  callback_line.done = true;
  callback_line.eof = got == nullptr;
  if (got) callback_line.text = got;
  free(got);
  rl_callback_handler_remove();
}
}  // namespace

LineInput::~LineInput() {
  if (installed_) rl_callback_handler_remove();
  rl_attempted_completion_function = nullptr;
  label_source = nullptr;
  clear_history();
}

CommandInput::Result LineInput::read_line(std::string* line) {
  line->clear();
  if (installed_) {
    // A line begun through read_line_for and given up (a follow ended by
    // Ctrl-C): readline takes the terminal afresh.
    rl_callback_handler_remove();
    installed_ = false;
  }
  char* got = readline(prompt_.c_str());
  if (stop_requested()) {
    free(got);
    return kEnd;
  }
  if (!got) {
    // End of input (Ctrl-D): end the prompt's line as a typed line would.
    fputc('\n', rl_outstream ? rl_outstream : stdout);
    fflush(rl_outstream ? rl_outstream : stdout);
    return kEnd;
  }
  std::string text = got;
  free(got);
  if (text.size() > max_line()) return kTooLong;
  remember(text);
  *line = std::move(text);
  return kLine;
}

CommandInput::Result LineInput::read_line_for(std::string* line, int timeout_ms) {
  line->clear();
  if (!installed_) {
    callback_line = CallbackLine();
    rl_callback_handler_install(prompt_.c_str(), on_callback_line);
    installed_ = true;
  }
  FILE* in = rl_instream ? rl_instream : stdin;
  while (!callback_line.done) {
    pollfd p{fileno(in), POLLIN, 0};
    int r = poll(&p, 1, timeout_ms);
    if (r == 0 || (r < 0 && errno == EINTR)) return kPending;
    if (r < 0) return kError;
    rl_callback_read_char();
  }
  installed_ = false;
  if (callback_line.eof) {
    FILE* out = rl_outstream ? rl_outstream : stdout;
    fputc('\n', out);
    fflush(out);
    return kEnd;
  }
  std::string text = std::move(callback_line.text);
  if (text.size() > max_line()) return kTooLong;
  remember(text);
  *line = std::move(text);
  return kLine;
}

int LineInput::fd() const { return fileno(rl_instream ? rl_instream : stdin); }

void LineInput::set_label_source(LabelSource source) { label_source = std::move(source); }

void LineInput::remember(const std::string& line) {
  if (line.find_first_not_of(' ') == std::string::npos) return;
  HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
  if (last && last->line && line == last->line) return;
  add_history(line.c_str());
  if (history_file_.empty()) return;
  const char* path = history_file_.c_str();
  int e = append_history(1, path);
  // The first line of the first run: there is no file to append to yet.
  if (e == ENOENT) e = write_history(path);
  if (e == 0) e = history_truncate_file(path, kHistoryLines);
  if (e != 0) report("written", e);
}

void LineInput::report(const char* what, int err) {
  if (reported_) return;
  reported_ = true;
  fprintf(err_, " history file %s can't be %s: %s\n", history_file_.c_str(), what, strerror(err));
}
