#include "frontend/interpreter.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "frontend/ini_file.h"
#include "grace/grace_link.h"
#include "index/index_table.h"
#include "loop/loop.h"
#include "output/export.h"
#include "output/hdf5_export.h"
#include "output/listing.h"

CommandInput::Result FileCommandInput::read_line(std::string* line) {
  line->clear();
  bool any = false;
  bool too_long = false;
  int ch;
  while ((ch = getc_unlocked(in_)) != EOF) {
    any = true;
    if (ch == '\n') break;
    // Past the bound the rest of the line is read and dropped, so memory
    // stays bounded and the tail never runs as a command of its own.
    if (line->size() < max_line_)
      line->push_back(static_cast<char>(ch));
    else
      too_long = true;
  }
  if (ch == EOF && ferror(in_)) return kError;
  if (!any) return kEnd;
  return too_long ? kTooLong : kLine;
}

// The record at the 1-based current index, or null when i names none.
static const scanRef* current_record(const Session& s, int i) {
  if (i < 1 || i > s.index.Indexed) return nullptr;
  return &s.index.Index[i - 1];
}

std::string prompt_text(const Session& s, int i) {
  const IndexTable& t = s.index;
  if (t.Indexed == 0) return t.inf_name + " >";
  // After a rejected position the current index may name no record; the
  // prompt then shows the index alone instead of reading past the table.
  const scanRef* r = current_record(s, i);
  std::string text = t.inf_name + " (i=" + std::to_string(i);
  if (r) text += ", s=" + std::to_string(r->scan);
  return text + ") >";
}

void prompt(Session& s, int i) { fputs(prompt_text(s, i).c_str(), s.con.out); }

void status(Session& s) {
  const Settings& st = s.settings;
  FILE* o = s.con.out;
  fprintf(o, "\n %s, type ? to get list of commands\n", st.prgname.c_str());
  fprintf(o, "\n current file is : %s with %d entries\n", s.index.inf_name.c_str(),
          s.index.Indexed);
  fprintf(o,
          " setting is : x=%d, y=%d autoscale=%s autopurge=%s\n"
          " errorbar=%s logscale=%s normalization=%s(z=%d)\n"
          " title=%s  comments=%s\n",
          st.xcol, st.ycol, onoff(st.autoscale), onoff(st.autopurge), onoff(st.errorbar),
          onoff(st.logscale), onoff(st.normalize), st.zcol, onoff(st.titleauto),
          onoff(st.comments));
  fprintf(o, " current W command parameters are \"C %s\", \"F %s\"\n", st.wcolumns.c_str(),
          st.wformat.c_str());
  fprintf(o, " current H command parameters \"%s\" used for grace hardcopy\n",
          st.graceprint.c_str());
}

static const char* const kHelpLines[] = {
    "  v : view indexed scan using xmgrace ( current, index or relative\n",
    "  h : hard copy from xmgrace\n",
    "  S, c : scan header, comments  p : print current scan \n",
    "  t : print the index table     w : write current scan to a file (-=stdout)\n",
    "  i : set current index         s : set current scan\n",
    "  r : reindex the file          q : quit\n",
    "  f : use another file          d : set searched dir\n",
    "  ( : (start|istart,end,v|w|W|p|h|c|e)[fileloop]  loop  (3,5,w) (s4,7,v) ....\n",
    "  x, y , z : set xmgr columns x or y, or the monitor (z) (1..N or -1=last column\n\n",
    "  b to send a batch file        B to send a parameter file to xmgr\n",
    "    files 'kurvatab.bat' or 'kurvatab.par' are send automaticaly with the view command\n",
    "  A : toggle automatic AUTOSCALE in xmgrace\n",
    "  E : toggle error bar mode in data\n",
    "  L : toggle automatic LOG scale\n",
    "  N : toggle automatic NORMALIZATION\n",
    "  P : toggle automatic PURGE in xmgrace\n",
    "  T : toggle automatic TITLE in xmgrace\n",
    "  l : toggle automatic LEGEND in xmgrace\n",
    "  H : hard copy parameters\n",
    "  # : toggle writing comments in file\n",
    "  W : write to file according to the following specifications\n",
};

// Commands added to the design's list, printed after it.
static const char* const kNewHelpLines[] = {
    "  n : write current scan to an HDF5 (NeXus) file, n [file]; in loops (1,9,n)file.h5\n",
};

void put_cmds(Session& s) {
  FILE* o = s.con.out;
  fprintf(o, "\n %s %s see also kurvatab.html\nrecognized commands are\n", kProgramRelease,
          kProgramDate);
  for (const char* line : kHelpLines) fputs(line, o);
  fprintf(o, "  F : format string, pe : \"%s\"\n", s.settings.wformat.c_str());
  fprintf(o, "  C : column numbers separate by spacespe, pe : \"%s\"\n",
          s.settings.wcolumns.c_str());
  for (const char* line : kNewHelpLines) fputs(line, o);
}

// ---------------------------------------------------------------------------
// The command table.

namespace {

// What a handler works on: the session and the interpreter's current index.
struct Interp {
  Session& s;
  int i;  // 1-based current index
  bool quit = false;
};

using Operation = int (*)(Session& s, int ref);

struct CommandEntry {
  char letter;  // '\0' for a command that exists only inside loops
  void (*run)(Interp& in, const CommandEntry& e, const char* c);
  // Toggles and column commands: the setting they change and, for toggles,
  // the words of their message.
  int Settings::*value = nullptr;
  const char* what = nullptr;
  // Inside a loop: the letter and what it does with each scan (the loop's
  // letters differ: there `h` lists the header and `e` header and data).
  char loop_letter = '\0';
  Operation loop_op = nullptr;
};

// S, c, p and v: move to the position, then act when it names a record.
void at_position(Interp& in, const char* c, Operation op) {
  in.i = getnum(c, in.i);
  if (check_index(in.s.index, in.s.con, in.i - 1)) op(in.s, in.i - 1);
}

int op_header(Session& s, int ref) { return scan_header(s.index, s.con, ref); }
int op_comment(Session& s, int ref) { return scan_comment(s.index, s.con, ref); }
int op_print(Session& s, int ref) { return scan_print(s.index, s.con, ref); }
int op_view(Session& s, int ref) {
  return gracesend_scan(s.grace, s.index, s.settings, s.con, ref);
}
int op_header_data(Session& s, int ref) {
  scan_header(s.index, s.con, ref);
  return scan_print(s.index, s.con, ref);
}
int op_write(Session& s, int ref) { return scan_write(s.index, s.settings, s.con, ref, ""); }
int op_wformat(Session& s, int ref) { return scan_printf(s.index, s.settings, s.con, ref, ""); }

void cmd_header(Interp& in, const CommandEntry&, const char* c) { at_position(in, c, op_header); }
void cmd_comment(Interp& in, const CommandEntry&, const char* c) {
  at_position(in, c, op_comment);
}
void cmd_print(Interp& in, const CommandEntry&, const char* c) { at_position(in, c, op_print); }
void cmd_view(Interp& in, const CommandEntry&, const char* c) { at_position(in, c, op_view); }

void cmd_index(Interp& in, const CommandEntry&, const char* c) {
  in.i = getnum(c, in.i);
  if (!check_index(in.s.index, in.s.con, in.i - 1)) in.i = in.s.index.Indexed;
}

void cmd_scan(Interp& in, const CommandEntry&, const char* c) {
  // Without a current scan (an index left outside the table by a rejected
  // position) a relative number counts from scan number 0.
  const scanRef* r = current_record(in.s, in.i);
  int target = getnum(c, r ? r->scan : 0);
  in.i = get_index(in.s.index, in.s.con, in.i - 1, target) + 1;
}

void cmd_write(Interp& in, const CommandEntry&, const char* c) {
  scan_write(in.s.index, in.s.settings, in.s.con, in.i - 1, c);
}

void cmd_wformat(Interp& in, const CommandEntry&, const char* c) {
  scan_printf(in.s.index, in.s.settings, in.s.con, in.i - 1, c);
}

void cmd_table(Interp& in, const CommandEntry&, const char*) {
  index_print(in.s.index, in.s.con);
}

void cmd_reindex(Interp& in, const CommandEntry&, const char*) {
  index_free(in.s.index);
  index_file(in.s.index, in.s.con);
  in.i = in.s.index.Indexed;
}

void cmd_file(Interp& in, const CommandEntry&, const char* c) {
  if (index_open(in.s.index, in.s.con, c)) index_file(in.s.index, in.s.con);
  in.i = in.s.index.Indexed;
}

void cmd_dir(Interp& in, const CommandEntry&, const char* c) { index_dir(in.s.con, c); }

LoopAction loop_action(Session& s, char letter);

void cmd_loop(Interp& in, const CommandEntry&, const char* c) {
  Session& s = in.s;
  in.i = loop(s.index, s.con, in.i, c, [&s](char letter) { return loop_action(s, letter); });
}

void cmd_batch(Interp& in, const CommandEntry&, const char* c) {
  gracesend_batch(in.s.grace, in.s.con, c);
}

void cmd_parameter(Interp& in, const CommandEntry&, const char* c) {
  gracesend_parameter(in.s.grace, in.s.con, c);
}

void cmd_hardcopy(Interp& in, const CommandEntry&, const char* c) {
  gracesend_print(in.s.grace, in.s.settings, c);
}

// H, F and C keep the text exactly as typed, blanks behind the letter
// included; the letter alone only shows the value.
void set_text(std::string* value, const char* c) {
  if (*c) *value = c;
}

void cmd_graceprint(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.graceprint, c);
  fprintf(in.s.con.out, "parameters of the h (grace hardcopy) command set to \"%s\" \n",
          st.graceprint.c_str());
}

void cmd_format(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.wformat, c);
  fprintf(in.s.con.out, " format used by the W command set to \"%s\" with columns \"%s\"\n",
          st.wformat.c_str(), st.wcolumns.c_str());
}

void cmd_columns(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.wcolumns, c);
  fprintf(in.s.con.out, " columns used by the W command set to \"%s\" with format \"%s\"\n",
          st.wcolumns.c_str(), st.wformat.c_str());
}

void cmd_column(Interp& in, const CommandEntry& e, const char* c) {
  Settings& st = in.s.settings;
  st.*e.value = getanum(c, st.*e.value);
  fprintf(in.s.con.out, " using columns x=%d and y=%d for xmgr, z=%d as monitor\n", st.xcol,
          st.ycol, st.zcol);
}

void cmd_toggle(Interp& in, const CommandEntry& e, const char*) {
  int& flag = in.s.settings.*e.value;
  flag = flag == 0 ? 1 : 0;
  fprintf(in.s.con.out, " %s turned %s\n", e.what, onoff(flag));
}

void cmd_help(Interp& in, const CommandEntry&, const char*) {
  put_cmds(in.s);
  status(in.s);
}

void cmd_quit(Interp& in, const CommandEntry&, const char*) { in.quit = true; }

// n: HDF5 (NeXus) export. At the prompt the current scan goes into the named
// file (default: the scan file's name with ".h5"); in a loop every scan goes
// into one file, named by the word behind ")" and written when the loop ends.
void cmd_hdf5(Interp& in, const CommandEntry&, const char* c) {
  scan_hdf5(in.s.index, in.s.settings, in.s.con, in.i - 1, c);
}

LoopAction hdf5_loop_action(Session& s) {
  auto job = std::make_shared<Hdf5Export>(s.index, s.settings, s.con);
  LoopAction a;
  a.own_redirect = true;
  a.begin = [job](const std::string& name) { return job->begin(name.c_str()); };
  a.run = [job](int ref) { job->add(ref); };
  a.end = [job]() { job->commit(); };
  return a;
}

const CommandEntry kCommands[] = {
    {'S', cmd_header, nullptr, nullptr, 'h', op_header},
    {'c', cmd_comment, nullptr, nullptr, 'c', op_comment},
    {'p', cmd_print, nullptr, nullptr, 'p', op_print},
    {'v', cmd_view, nullptr, nullptr, 'v', op_view},
    {'i', cmd_index},
    {'s', cmd_scan},
    {'w', cmd_write, nullptr, nullptr, 'w', op_write},
    {'W', cmd_wformat, nullptr, nullptr, 'W', op_wformat},
    {'\0', nullptr, nullptr, nullptr, 'e', op_header_data},
    {'t', cmd_table},
    {'r', cmd_reindex},
    {'f', cmd_file},
    {'d', cmd_dir},
    {'(', cmd_loop},
    {'b', cmd_batch},
    {'B', cmd_parameter},
    {'h', cmd_hardcopy},
    {'H', cmd_graceprint},
    {'F', cmd_format},
    {'C', cmd_columns},
    {'x', cmd_column, &Settings::xcol},
    {'y', cmd_column, &Settings::ycol},
    {'z', cmd_column, &Settings::zcol},
    {'A', cmd_toggle, &Settings::autoscale, "automatic autoscale"},
    {'E', cmd_toggle, &Settings::errorbar, "error bars"},
    {'L', cmd_toggle, &Settings::logscale, "automatic log scale"},
    {'N', cmd_toggle, &Settings::normalize, "automatic normalization"},
    {'P', cmd_toggle, &Settings::autopurge, "automatic purge"},
    {'T', cmd_toggle, &Settings::titleauto, "automatic title"},
    {'l', cmd_toggle, &Settings::legendauto, "automatic legend"},
    {'#', cmd_toggle, &Settings::comments, "comments in file"},
    {'?', cmd_help},
    {'q', cmd_quit},
    {'n', cmd_hdf5, nullptr, nullptr, 'n', nullptr},  // loop: hdf5_loop_action
};

const CommandEntry* find_command(char letter) {
  if (letter == '\0') return nullptr;
  for (const CommandEntry& e : kCommands)
    if (e.letter == letter) return &e;
  return nullptr;
}

LoopAction loop_action(Session& s, char letter) {
  LoopAction a;
  if (letter == '\0') return a;
  if (letter == 'n') return hdf5_loop_action(s);
  for (const CommandEntry& e : kCommands) {
    if (e.loop_letter != letter) continue;
    Operation op = e.loop_op;
    a.run = [&s, op](int ref) { op(s, ref); };
    break;
  }
  return a;
}

// Runs one command line (without its newline).
void run_line(Interp& in, const std::string& line) {
  const char* p = line.c_str();
  while (*p == ' ') p++;
  const CommandEntry* e = find_command(*p);
  if (!e) {
    status(in.s);
    return;
  }
  e->run(in, *e, p + 1);
}

}  // namespace

int interprete(Session& s, CommandInput& input) {
  Interp in{s, s.index.Indexed};
  std::string line;
  for (;;) {
    if (input.shows_prompt())
      input.set_prompt(prompt_text(s, in.i));
    else
      prompt(s, in.i);
    fflush(s.con.out);
    fflush(s.con.my_stdout);
    CommandInput::Result r = input.read_line(&line);
    if (r == CommandInput::kEnd) return 0;
    if (r == CommandInput::kError) {
      fprintf(s.con.err, " cannot read commands: %s\n", strerror(errno));
      return 0;
    }
    if (r == CommandInput::kTooLong) {
      fprintf(s.con.out, " command line longer than %zu characters, ignored\n",
              input.max_line());
      continue;
    }
    run_line(in, line);
    if (in.quit) return 0;
  }
}

int interprete(Session& s, FILE* in) {
  FileCommandInput input(in);
  return interprete(s, input);
}

// ---------------------------------------------------------------------------
// Start-up.

void usage(Session& s, const char* msg) {
  FILE* e = s.con.err;
  const Settings defaults;
  if (msg) fprintf(e, "%s\n", msg);
  fprintf(e, "%s %s\n", kProgramRelease, kProgramDate);
  fprintf(e, "usage : %s [-Xx] [-Yx] [file]\n", s.settings.prgname.c_str());
  fprintf(e, "default value are X=%d Y=%d )\n", defaults.xcol, defaults.ycol);
}

bool command_line(Session& s, int argc, char** argv) {
  for (int k = 0; k < argc; k++) {
    const char* a = argv[k];
    if (a[0] != '-') {
      index_open(s.index, s.con, a);
      continue;
    }
    // The number stands directly behind the letter; it is taken without a
    // range check, so -X alone sets 0.
    bool range_error;
    if (a[1] == 'X') {
      s.settings.xcol = decimal_conversion(a + 2, &range_error);
    } else if (a[1] == 'Y') {
      s.settings.ycol = decimal_conversion(a + 2, &range_error);
    } else {
      usage(s, "unknown args");
      return false;
    }
  }
  return true;
}

static int run(int argc, char** argv, CommandInput& in, Session& s) {
  Settings& st = s.settings;
  s.con.my_stdout = s.con.out;
  st.prgname = argc > 0 && argv[0] ? argv[0] : "kurvatab";
  st.graceprint = kDefaultGracePrint;
  st.wformat = kDefaultWFormat;
  st.wcolumns = kDefaultWColumns;
  // A name of any length: the path is never cut.
  st.ininame = st.prgname + ".ini";

  ini_read(s);
  if (argc > 1 && !command_line(s, argc - 1, argv + 1)) return 3;
  if (s.index.inf) {
    index_file(s.index, s.con);
    index_print(s.index, s.con);
  }
  status(s);
  interprete(s, in);
  ini_write(s);
  fflush(s.con.out);
  return 0;
}

int kurvatab_main(int argc, char** argv, FILE* in, Session& s) {
  FileCommandInput input(in);
  return kurvatab_main(argc, argv, input, s);
}

int kurvatab_main(int argc, char** argv, CommandInput& in, Session& s) {
  try {
    return run(argc, argv, in, s);
  } catch (const std::bad_alloc&) {
    fprintf(s.con.out, "unable to allocate enough memory, exit!\n");
    fflush(s.con.out);
    return 3;
  }
}
