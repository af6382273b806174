#include "frontend/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/interrupt.h"
#include "frontend/interpreter.h"
#include "frontend/loop.h"
#include "read/spectra.h"

extern char** environ;

namespace {

bool is_terminal(FILE* f) {
  const int fd = fileno(f);
  return fd >= 0 && isatty(fd);
}

// A positive number of at most 100,000, or 0.
int positive(const char* text) {
  if (!text || !*text) return 0;
  char* end = nullptr;
  const long v = strtol(text, &end, 10);
  return *end == '\0' && v > 0 && v <= 100000 ? int(v) : 0;
}

// Lines `text` takes on a screen `cols` wide: each of its lines at least
// one, a longer one as many as it fills.
int screen_lines(const char* p, size_t n, int cols) {
  int lines = 0;
  const char* end = p + n;
  while (p < end) {
    const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
    const size_t len = size_t((nl ? nl : end) - p);
    lines += len == 0 ? 1 : int((len + size_t(cols) - 1) / size_t(cols));
    p = nl ? nl + 1 : end;
  }
  return lines;
}

}  // namespace

std::vector<std::string> pager_command(const char* pager) {
  if (!pager) return {"less", "-FRX"};
  std::vector<std::string> argv;
  const char* p = pager;
  for (;;) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    const char* word = p;
    while (*p && *p != ' ' && *p != '\t') p++;
    argv.emplace_back(word, size_t(p - word));
  }
  if (argv.size() == 1 && argv[0] == "cat") argv.clear();
  return argv;
}

std::vector<std::string> listing_pager(const Console& con) {
  if (!is_terminal(con.out)) return {};
  return pager_command(getenv("PAGER"));
}

bool is_long_listing(char letter, const char* arg) {
  if (letter == '\0') return false;
  if (letter == '(') {
    const LoopSpec loop = parse_loop(arg);
    return loop.redirect.empty() && loop.e != '\0' && strchr("chepo", loop.e) != nullptr;
  }
  if (!strchr("wWM", letter)) return strchr("tSpco", letter) != nullptr;
  // The exports list the whole scan when their output is "-" (stdout).
  std::string name = arg;
  SpectrumPick pick;
  std::string why;
  if (letter == 'M' && !parse_spectrum_pick(arg, &pick, &name, &why)) return false;
  const size_t at = name.find_first_not_of(' ');
  return at != std::string::npos && name[at] == '-';
}

Pager::Pager(Console& con, const std::vector<std::string>& argv) : con_(con), saved_(con) {
  if (argv.empty()) return;
  // What was written before comes first.
  fflush(con.out);
  fflush(con.my_stdout);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
  // The pager gets the signals as a program started from the shell would:
  // this program ignores SIGPIPE and SIGXFSZ.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t to_default, none;
  sigemptyset(&to_default);
  sigaddset(&to_default, SIGPIPE);
  sigaddset(&to_default, SIGXFSZ);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &to_default);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const int err = posix_spawnp(&pid_, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[0]);
  if (err != 0) {
    close(fds[1]);
    return;
  }
  pipe_ = fdopen(fds[1], "w");
  if (!pipe_) {
    close(fds[1]);
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    return;
  }
  con_.out = pipe_;
  con_.my_stdout = pipe_;
}

Pager::~Pager() {
  if (!pipe_) return;
  con_.out = saved_.out;
  con_.my_stdout = saved_.my_stdout;
  // A pager that was quit leaves writes failing with EPIPE: nothing to say.
  fclose(pipe_);
  int status;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    // SIGTERM or SIGHUP end the program: the pager goes with it. Ctrl-C is
    // the pager's own (less takes it to stop a search).
    if (stop_requested()) kill(pid_, SIGTERM);
  }
}

ScreenSize screen_size(int fd) {
  ScreenSize size;
  winsize ws = {};
  const bool known = ioctl(fd, TIOCGWINSZ, &ws) == 0;
  const int rows = known && ws.ws_row > 0 ? ws.ws_row : positive(getenv("LINES"));
  const int cols = known && ws.ws_col > 0 ? ws.ws_col : positive(getenv("COLUMNS"));
  if (rows > 0) size.rows = rows;
  if (cols > 0) size.cols = cols;
  return size;
}

std::string table_end(const IndexTable& t, ScreenSize screen, int below) {
  const int room = std::max(screen.rows - below, 2);
  // Every row takes a line at least: no more than `room` rows can be shown.
  const int first = std::max(t.Indexed - room, 0);
  char* text = nullptr;
  size_t size = 0;
  FILE* m = open_memstream(&text, &size);
  if (!m) return "";
  Console con;
  con.out = m;
  index_print(t, con, first);
  fclose(m);
  std::string rows(text, size);
  free(text);
  if (first == 0 && screen_lines(rows.data(), rows.size(), screen.cols) <= room) return rows;
  // The last rows that fit below the line that says what is above.
  size_t from = rows.size();
  int used = 0, shown = 0;
  while (from > 0) {
    size_t start = from - 1;  // at the row's line feed
    while (start > 0 && rows[start - 1] != '\n') start--;
    const int lines = screen_lines(rows.data() + start, from - start, screen.cols);
    if (shown > 0 && used + lines > room - 1) break;
    used += lines;
    shown++;
    from = start;
  }
  return " " + std::to_string(t.Indexed - shown) + " scans above: t lists the whole table\n" +
         rows.substr(from);
}

void startup_table(Session& s) {
  if (!is_terminal(s.con.out)) {
    index_print(s.index, s.con);
    return;
  }
  // Room is left for the status as it will be printed, and the prompt.
  char* text = nullptr;
  size_t size = 0;
  FILE* m = open_memstream(&text, &size);
  if (!m) {
    index_print(s.index, s.con);
    return;
  }
  const ScreenSize screen = screen_size(fileno(s.con.out));
  FILE* out = s.con.out;
  s.con.out = m;
  status(s);
  s.con.out = out;
  fclose(m);
  const int below = screen_lines(text, size, screen.cols) + 1;
  free(text);
  const std::string shown = table_end(s.index, screen, below);
  fwrite(shown.data(), 1, shown.size(), s.con.out);
}
