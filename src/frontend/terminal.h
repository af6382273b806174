// What changes when standard output is a terminal: long listings go through
// the user's pager, and the start-up shows only the end of an index table
// that the screen does not hold. Output that is piped or redirected is
// written as it always was.
#ifndef KURVATAB_FRONTEND_TERMINAL_H_
#define KURVATAB_FRONTEND_TERMINAL_H_

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "frontend/session.h"

// The pager as a program and its arguments, from `pager` (the environment's
// PAGER; null when it is not set): its words, split at blanks and run
// without a shell. Unset: "less -FRX" (quits at once when the text fits the
// screen, keeps colours, leaves the screen as it is). Empty or "cat": no
// pager (an empty list).
std::vector<std::string> pager_command(const char* pager);

// The pager for a long listing on con.out: pager_command(PAGER) when con.out
// is a terminal, else none.
std::vector<std::string> listing_pager(const Console& con);

// True when the command `letter` with argument text `arg` lists a whole scan
// or the whole table: t, S, c, p, o, the exports w, W and M to "-" (standard
// output), and loops of listings (c, h, e, p, o) that are not redirected to
// a file.
bool is_long_listing(char letter, const char* arg);

// While it lives, what is written on con.out and con.my_stdout goes to the
// pager `argv` (none: nothing changes), run on the other end of a pipe.
// When the pager cannot be started, the output is written directly. A pager
// that is quit early makes writes fail (EPIPE; SIGPIPE is ignored), which
// ends a listing quietly. The destructor closes the pipe, waits for the pager
// (the terminal is then the program's again) and puts the streams back.
class Pager {
 public:
  Pager(Console& con, const std::vector<std::string>& argv);
  ~Pager();
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  bool running() const { return pipe_ != nullptr; }

 private:
  Console& con_;
  Console saved_;
  FILE* pipe_ = nullptr;
  pid_t pid_ = -1;
};

struct ScreenSize {
  int rows = 24;
  int cols = 80;
};

// The size of the terminal on `fd` (TIOCGWINSZ); where it is unknown, LINES
// and COLUMNS when they hold a positive number, else 24 rows of 80.
ScreenSize screen_size(int fd);

// What the start-up prints of the table so that the last rows and `below`
// lines after them fit `screen`: the whole table when it fits, else one line
// saying how many scans are above and that t lists them, then the last rows
// (a row longer than the screen is wide takes several lines).
std::string table_end(const IndexTable& t, ScreenSize screen, int below);

// The start-up's index table: on a terminal table_end(), leaving room for
// the status that follows and the prompt; elsewhere the whole table.
void startup_table(Session& s);

#endif  // KURVATAB_FRONTEND_TERMINAL_H_
