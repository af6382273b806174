#include "frontend/interpreter.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "analysis/file_check.h"
#include "analysis/fit.h"
#include "analysis/peak_stats.h"
#include "base/interrupt.h"
#include "frontend/column_settings.h"
#include "frontend/follow_command.h"
#include "frontend/ini_file.h"
#include "frontend/loop.h"
#include "frontend/terminal.h"
#include "grace/grace_link.h"
#include "index/index_table.h"
#include "output/export.h"
#include "output/hdf5_export.h"
#include "output/listing.h"
#include "output/sink.h"
#include "read/column_choice.h"

bool FileCommandInput::take_line(std::string* line, bool* too_long) {
  size_t nl = buf_.find('\n');
  size_t n = nl == std::string::npos ? buf_.size() : nl;
  // Past the bound the rest of the line is read and dropped, so memory
  // stays bounded and the tail never runs as a command of its own.
  if (!dropping_) {
    size_t room = max_line_ - partial_.size();
    partial_.append(buf_, 0, n < room ? n : room);
    if (n > room) dropping_ = true;
  }
  if (nl == std::string::npos) {
    buf_.clear();
    return false;
  }
  buf_.erase(0, nl + 1);
  *too_long = dropping_;
  line->swap(partial_);
  partial_.clear();
  dropping_ = false;
  return true;
}

ssize_t FileCommandInput::fill() {
  char chunk[4096];
  ssize_t r = read(fd_, chunk, sizeof chunk);
  if (r > 0) buf_.append(chunk, size_t(r));
  return r;
}

CommandInput::Result FileCommandInput::read_line_for(std::string* line, int timeout_ms) {
  line->clear();
  bool too_long = false;
  for (;;) {
    if (take_line(line, &too_long)) return too_long ? kTooLong : kLine;
    if (eof_) {
      // A last line without its line feed still counts.
      if (partial_.empty() && !dropping_) return kEnd;
      bool dropped = dropping_;
      line->swap(partial_);
      partial_.clear();
      dropping_ = false;
      return dropped ? kTooLong : kLine;
    }
    if (timeout_ms >= 0) {
      pollfd p{fd_, POLLIN, 0};
      int r = poll(&p, 1, timeout_ms);
      if (r == 0 || (r < 0 && errno == EINTR)) return kPending;
      if (r < 0) return kError;
    }
    ssize_t r = fill();
    if (r == 0) eof_ = true;
    if (r < 0 && errno == EINTR && stop_requested()) return kEnd;
    if (r < 0 && errno == EINTR) {
      if (timeout_ms >= 0) return kPending;
      continue;
    }
    if (r < 0) return kError;
  }
}

CommandInput::Result FileCommandInput::read_line(std::string* line) {
  return read_line_for(line, -1);
}

// The record at the 1-based current index, or null when i names none.
static const scanRef* current_record(const Session& s, int i) {
  return i >= 1 ? index_record(s.index, i - 1) : nullptr;
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

void status(Session& s) { status(s, s.index.Indexed); }

void status(Session& s, int i) {
  const Settings& st = s.settings;
  FILE* o = s.con.out;
  const ColumnTexts cols = column_texts(s, current_scan(s, i));
  fprintf(o, "\n %s, type ? to get list of commands\n", st.prgname.c_str());
  fprintf(o, "\n current file is : %s with %d entries\n", s.index.inf_name.c_str(),
          s.index.Indexed);
  fprintf(o,
          " setting is : x=%s, y=%s autoscale=%s autopurge=%s\n"
          " errorbar=%s logscale=%s normalization=%s(z=%s)\n"
          " title=%s  comments=%s\n",
          cols.x.c_str(), cols.y.c_str(), onoff(st.autoscale), onoff(st.autopurge),
          onoff(st.errorbar), onoff(st.logscale), onoff(st.normalize), cols.z.c_str(),
          onoff(st.titleauto), onoff(st.comments));
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

// ---------------------------------------------------------------------------
// The command table.

namespace {

// What a handler works on: the session and the interpreter's current index.
struct Interp {
  Session& s;
  int i;  // 1-based current index
  bool quit = false;
  CommandInput* input = nullptr;  // where the command lines come from
};

// What an operation on one scan made of it.
enum class Done {
  kOk,
  kSkipped,  // the scan lacks a column chosen by label (a line said so)
  kFailed,   // a line said why
};
using Operation = Done (*)(Session& s, int ref);

// The listings return their position: at a position checked they do not
// fail (a write to a loop's file that fails is said when it is closed).
Done listed(int) { return Done::kOk; }

// One command: its letter, its handler, whether its argument is a file
// name (for completion), its letter and operation inside loops (the loop's
// letters differ: there `h` lists the header and `e` header and data), and,
// for the commands added after the designed ones, its line in `?`. The
// handler returns false when the command failed (a line said why).
struct CommandEntry {
  char letter;  // '\0' for a command that exists only inside loops
  bool (*run)(Interp& in, const CommandEntry& e, const char* c);
  bool takes_file = false;
  char loop_letter = '\0';
  Operation loop_op = nullptr;
  const char* help = nullptr;
};

// S, c, p and v: move to the position, then act when it names a record.
bool at_position(Interp& in, const char* c, Operation op) {
  in.i = getnum(c, in.i);
  return check_index(in.s.index, in.s.con, in.i - 1).report(in.s.con.out) &&
         op(in.s, in.i - 1) == Done::kOk;
}

Done op_header(Session& s, int ref) { return listed(scan_header(s.index, s.con, ref)); }
Done op_comment(Session& s, int ref) { return listed(scan_comment(s.index, s.con, ref)); }
Done op_print(Session& s, int ref) { return listed(scan_print(s.index, s.con, ref)); }
Done op_fit_redraw(Session& s, int ref);
// What a scan operation's Status makes of the scan, its message printed.
Done done_from(const Status& st, FILE* out) {
  if (st.report(out)) return Done::kOk;
  return st.is_not_found() ? Done::kSkipped : Done::kFailed;
}

Done op_view(Session& s, int ref) {
  const Status st = gracesend_scan(s.grace, s.index, s.settings, s.con, ref);
  // The scan fitted last is drawn with its fit.
  if (st.ok() && s.fitted_ref == ref && s.fitted_scan == s.index.Index[size_t(ref)].scan)
    op_fit_redraw(s, ref);
  return done_from(st, s.con.out);
}
Done op_header_data(Session& s, int ref) {
  scan_header(s.index, s.con, ref);
  return listed(scan_print(s.index, s.con, ref));
}

bool cmd_header(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_header);
}
bool cmd_comment(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_comment);
}
bool cmd_print(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_print);
}
bool cmd_view(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_view);
}

bool cmd_index(Interp& in, const CommandEntry&, const char* c) {
  in.i = getnum(c, in.i);
  if (check_index(in.s.index, in.s.con, in.i - 1).report(in.s.con.out)) return true;
  in.i = in.s.index.Indexed;
  return false;
}

bool cmd_scan(Interp& in, const CommandEntry&, const char* c) {
  // Without a current scan (an index left outside the table by a rejected
  // position) a relative number counts from scan number 0.
  const scanRef* r = current_record(in.s, in.i);
  int target = getnum(c, r ? r->scan : 0);
  int found;
  const Status st = get_index(in.s.index, in.s.con, in.i - 1, target, &found);
  in.i = found + 1;
  // With no scans at all nothing is said, and nothing failed.
  return st.report(in.s.con.out) || found < 0;
}

bool cmd_write(Interp& in, const CommandEntry&, const char* c) {
  return scan_write(in.s.index, in.s.settings, in.s.con, in.i - 1, c).report(in.s.con.out);
}

bool cmd_wformat(Interp& in, const CommandEntry&, const char* c) {
  return scan_printf(in.s.index, in.s.settings, in.s.con, in.i - 1, c).report(in.s.con.out);
}

bool cmd_table(Interp& in, const CommandEntry&, const char*) {
  const IndexTable& t = in.s.index;
  const int listed = index_print(t, in.s.con);
  if (listed < t.Indexed && interrupted())
    fprintf(in.s.con.out, " table listing stopped by Ctrl-C after %d of %d scans\n", listed,
            t.Indexed);
  return true;
}

bool cmd_reindex(Interp& in, const CommandEntry&, const char*) {
  // Asked for by the user: the whole file is read again, cache or not.
  index_rebuild(in.s.index, in.s.con);
  in.i = in.s.index.Indexed;
  return in.s.index.read_error == 0;
}

bool cmd_file(Interp& in, const CommandEntry&, const char* c) {
  const bool opened = index_open(in.s.index, c).report(in.s.con.out);
  if (opened) index_file(in.s.index, in.s.con);
  in.i = in.s.index.Indexed;
  return opened && in.s.index.read_error == 0;
}

bool cmd_dir(Interp& in, const CommandEntry&, const char* c) { return index_dir(in.s.con, c) == 0; }

LoopAction loop_action(Session& s, char letter);

bool cmd_loop(Interp& in, const CommandEntry&, const char* c) {
  Session& s = in.s;
  // A label the scans lack is said once per label, with the scans skipped.
  auto missing = std::make_shared<std::map<std::string, int>>();
  s.settings.missing = missing;
  bool failed;
  in.i = loop(s.index, s.con, in.i, c, loop_commands(s), &failed);
  s.settings.missing.reset();
  for (const auto& [label, scans] : *missing) {
    fprintf(s.con.out, " label \"%s\" not found in %d scan(s) of the loop: skipped\n",
            label.c_str(), scans);
  }
  return !failed;
}

bool cmd_batch(Interp& in, const CommandEntry&, const char* c) {
  return gracesend_batch(in.s.grace, in.s.con, c).report(in.s.con.out);
}

bool cmd_parameter(Interp& in, const CommandEntry&, const char* c) {
  return gracesend_parameter(in.s.grace, in.s.con, c).report(in.s.con.out);
}

bool cmd_hardcopy(Interp& in, const CommandEntry&, const char* c) {
  return gracesend_print(in.s.grace, in.s.settings, in.s.con, c).report(in.s.con.out);
}

// H, F and C keep the text exactly as typed, blanks behind the letter
// included; the letter alone only shows the value.
void set_text(std::string* value, const char* c) {
  if (*c) *value = c;
}

bool cmd_graceprint(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.graceprint, c);
  fprintf(in.s.con.out, "parameters of the h (grace hardcopy) command set to \"%s\" \n",
          st.graceprint.c_str());
  return true;
}

bool cmd_format(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.wformat, c);
  fprintf(in.s.con.out, " format used by the W command set to \"%s\" with columns \"%s\"\n",
          st.wformat.c_str(), st.wcolumns.c_str());
  if (*c) fputs(wformat_fit(st).c_str(), in.s.con.out);
  return true;
}

bool cmd_columns(Interp& in, const CommandEntry&, const char* c) {
  Settings& st = in.s.settings;
  set_text(&st.wcolumns, c);
  fprintf(in.s.con.out, " columns used by the W command set to \"%s\" with format \"%s\"\n",
          st.wcolumns.c_str(), st.wformat.c_str());
  if (*c) fputs(wcolumns_fit(in.s, current_scan(in.s, in.i)).c_str(), in.s.con.out);
  return true;
}

// x, y and z: a number as always, or a label. A choice that does not fit
// the current scan is kept, and said so after the message.
bool cmd_column(Interp& in, const CommandEntry& e, const char* c) {
  Settings& st = in.s.settings;
  const ColumnArg arg = parse_column_arg(c);
  if (arg.kind == ColumnArg::kNumber) {
    st.*column_member(e.letter) = arg.number;
    (st.*column_label_member(e.letter)).clear();
  } else if (arg.kind == ColumnArg::kLabel) {
    st.*column_label_member(e.letter) = arg.label;
  }
  const scanRef* r = current_scan(in.s, in.i);
  fputs(columns_message(in.s, r).c_str(), in.s.con.out);
  if (arg.kind != ColumnArg::kNothing) fputs(column_fit(in.s, r, e.letter).c_str(), in.s.con.out);
  return true;
}

bool cmd_toggle(Interp& in, const CommandEntry& e, const char*) {
  const FlagSetting* f = find_flag(e.letter);
  int& flag = in.s.settings.*f->member;
  flag = flag == 0 ? 1 : 0;
  fprintf(in.s.con.out, " %s turned %s\n", f->toggle_what, onoff(flag));
  return true;
}

// ---------------------------------------------------------------------------
// Columns by label: the column listing.

Done op_list_columns(Session& s, int ref) {
  return listed(scan_columns_list(s.index, s.con, ref, s.settings));
}

bool cmd_list_columns(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_list_columns);
}

// ---------------------------------------------------------------------------

bool cmd_help(Interp& in, const CommandEntry&, const char*) {
  put_cmds(in.s);
  status(in.s, in.i);
  return true;
}

bool cmd_quit(Interp& in, const CommandEntry&, const char*) {
  in.quit = true;
  return true;
}

// a: statistics of a scan, one line; in a loop one row of a table whose
// header the loop's begin writes. K: the check of the whole file.
// Columns chosen by label are resolved for the scan first (the monitor only
// when normalising); a scan that lacks one gets the line that says so and
// no statistics.
bool columns_of(Session& s, int ref, ColumnChoice* cols) {
  ColumnChoice wanted = s.settings;
  if (!s.settings.normalize) wanted.zlabel.clear();
  std::string why;
  if (resolve_columns(s.index, s.index.Index[size_t(ref)], wanted, cols, &why)) return true;
  fputs(why.c_str(), s.con.out);
  return false;
}
bool stats_of(Session& s, int ref, ScanStats* stats) {
  ColumnChoice cols;
  if (!columns_of(s, ref, &cols)) return false;
  *stats = scan_stats(s.index, ref, cols, s.settings.normalize != 0);
  return true;
}
Done op_stats_line(Session& s, int ref) {
  ScanStats stats;
  if (!stats_of(s, ref, &stats)) return Done::kSkipped;
  write_stats_line(s.con.my_stdout, stats);
  return Done::kOk;
}
Done op_stats(Session& s, int ref) {
  ScanStats stats;
  if (!stats_of(s, ref, &stats)) return Done::kSkipped;
  write_stats_row(s.con.my_stdout, stats);
  return Done::kOk;
}
bool cmd_stats(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_stats_line);
}

// g: the fit of a scan, one line; in a loop one row of a table whose
// header the loop's begin writes. When Grace shows the scan (plotted last),
// the fitted curve is drawn over it; a later plot of the scan draws it too.
enum class FitOutput { kLine, kRow, kCurveOnly };

void draw_fit(Session& s, const ScanFit& f) {
  const FitResult& r = f.fit;
  const double w = std::fabs(r.p[1]);
  const double span = f.xmax - f.xmin;
  // Smooth: at least 20 points per FWHM, and never fewer than 500.
  const double per_width = w > 0 ? std::ceil(20 * span / w) : 0;
  const int n = per_width > 500 ? (per_width < 20000 ? int(per_width) : 20000) : 500;
  std::vector<double> x, y;
  model_curve(f.model, r.p, f.xmin, f.xmax, n + 1, &x, &y);
  char legend[160];
  snprintf(legend, sizeof legend, "%s: %s %.6g FWHM %.4g", model_name(f.model).c_str(),
           f.model.shape == FitShape::kStep ? "edge" : "centre", r.p[0], r.p[1]);
  const std::string comment =
      "fit " + model_name(f.model) + " of " + s.index.inf_name + " #S" + std::to_string(f.scan);
  gracesend_curve(s.grace, s.con, x, y, legend, comment);
}

// A fit that gave no result (its line says why) failed.
Done fit_scan(Session& s, int ref, FitOutput output) {
  ColumnChoice cols;
  if (!columns_of(s, ref, &cols)) return Done::kSkipped;
  const Settings& st = s.settings;
  const ScanFit f = scan_fit(s.index, ref, cols, st.normalize != 0, st.errorbar != 0, st.fit_model);
  if (output == FitOutput::kLine) write_fit_line(s.con.my_stdout, f);
  if (output == FitOutput::kRow) write_fit_row(s.con.my_stdout, f);
  if (f.fit.status != FitResult::kFitted) return Done::kFailed;
  s.fitted_ref = ref;
  s.fitted_scan = f.scan;
  if (s.grace.pipe->is_open() && s.grace.plotted_ref == ref && s.grace.plotted_scan == f.scan)
    draw_fit(s, f);
  return Done::kOk;
}
Done op_fit_line(Session& s, int ref) { return fit_scan(s, ref, FitOutput::kLine); }
Done op_fit(Session& s, int ref) { return fit_scan(s, ref, FitOutput::kRow); }
Done op_fit_redraw(Session& s, int ref) { return fit_scan(s, ref, FitOutput::kCurveOnly); }
bool cmd_fit(Interp& in, const CommandEntry&, const char* c) {
  return at_position(in, c, op_fit_line);
}

bool cmd_fit_model(Interp& in, const CommandEntry&, const char* c) {
  FitModel& m = in.s.settings.fit_model;
  FILE* o = in.s.con.out;
  if (std::string(c).find_first_not_of(' ') == std::string::npos) {
    fprintf(o, " fit model is %s (G gauss|lorentz|voigt|step none|const|line)\n",
            model_name(m).c_str());
    return true;
  }
  std::string why;
  if (!parse_fit_model(c, &m, &why)) {
    fprintf(o, " %s\n", why.c_str());
    return false;
  }
  fprintf(o, " fit model set to %s\n", model_name(m).c_str());
  return true;
}

// Findings are what K is asked for: they do not make it fail.
bool cmd_check(Interp& in, const CommandEntry&, const char*) {
  Session& s = in.s;
  if (!s.index.inf) {
    fprintf(s.con.out, " no scan file to check\n");
    return false;
  }
  CheckProgress progress;
  char* held = nullptr;
  size_t held_size = 0;
  FILE* hold = nullptr;
  const std::vector<std::string> pager = listing_pager(s.con);
  if (s.meter) progress = s.meter->reporter("checking");
  // The progress line would be drawn over the findings on the terminal, and
  // the pager would show nothing while the pass runs: the findings wait in
  // memory until the pass has ended.
  if (s.meter || !pager.empty()) hold = open_memstream(&held, &held_size);
  CheckSummary sum = check_file(s.index.inf.get(), s.settings, hold ? hold : s.con.out, progress);
  Pager paged(s.con, pager);
  if (hold) {
    fclose(hold);
    fwrite(held, 1, held_size, s.con.out);
    free(held);
  }
  write_check_summary(s.con.out, s.index.inf_name, sum);
  return true;
}

// u and U: follow the scan at the position as the file grows, in Grace or
// in the console; afterwards the scan followed last is current.
bool cmd_follow(Interp& in, const CommandEntry& e, const char* c) {
  // Without a position the running scan: the last of the file, once the
  // file has been looked at for new scans (the prompt may still be at the
  // one before).
  const char* rest = c;
  while (*rest == ' ') rest++;
  if (!*rest && in.s.index.Indexed > 0) {
    check_index(in.s.index, in.s.con, in.s.index.Indexed - 1).report(in.s.con.out);
    in.i = in.s.index.Indexed;
  } else {
    in.i = getnum(c, in.i);
  }
  if (!in.input || !check_index(in.s.index, in.s.con, in.i - 1).report(in.s.con.out)) return false;
  in.i = follow_command(in.s, *in.input, in.i - 1, e.letter == 'u') + 1;
  return true;
}

// n: HDF5 (NeXus) export. At the prompt the current scan goes into the named
// file (default: the scan file's name with ".h5"); in a loop every scan goes
// into one file, named by the word behind ")" and written when the loop ends.
bool cmd_hdf5(Interp& in, const CommandEntry&, const char* c) {
  return scan_hdf5(in.s.index, in.s.settings, in.s.con, in.i - 1, c).report(in.s.con.out);
}

// m: a spectrum of the current scan in Grace; M: spectra as text.
bool cmd_spectrum_plot(Interp& in, const CommandEntry&, const char* c) {
  SpectrumPick pick;
  std::string rest, why;
  if (!parse_spectrum_pick(c, &pick, &rest, &why)) {
    fprintf(in.s.con.out, " %s\n", why.c_str());
    return false;
  }
  if (!rest.empty()) {
    fprintf(in.s.con.out, " m takes a point, + and a1, a2 ...: '%s' is none of them\n",
            rest.c_str());
    return false;
  }
  if (!check_index(in.s.index, in.s.con, in.i - 1).report(in.s.con.out)) return false;
  return gracesend_spectrum(in.s.grace, in.s.index, in.s.settings, in.s.con, in.i - 1, pick)
      .report(in.s.con.out);
}

Done op_spectrum_plot(Session& s, int ref) {
  return done_from(gracesend_spectrum(s.grace, s.index, s.settings, s.con, ref, SpectrumPick()),
                   s.con.out);
}

bool cmd_spectrum_write(Interp& in, const CommandEntry&, const char* c) {
  return scan_spectra(in.s.index, in.s.settings, in.s.con, in.i - 1, c).report(in.s.con.out);
}

// Where the exports of a letter go; null for the letters that are not
// exports.
std::shared_ptr<ScanSink> output_sink(Session& s, char letter) {
  switch (letter) {
    case 'w':
      return text_sink(s.index, s.settings, s.con, scan_write);
    case 'W':
      return text_sink(s.index, s.settings, s.con, scan_printf);
    case 'n':
      return std::make_shared<Hdf5Export>(s.index, s.settings, s.con);
    case 'M':
      return text_sink(s.index, s.settings, s.con, scan_spectra);
    default:
      return nullptr;
  }
}

void say_skipped(Session& s, int skipped) {
  if (skipped) {
    fprintf(s.con.out, " %d scan(s) skipped: a chosen label is missing or ambiguous there\n",
            skipped);
  }
}

// A loop over an export: one run of its sink for the whole range.
LoopAction sink_loop_action(Session& s, std::shared_ptr<ScanSink> sink) {
  LoopAction a;
  a.own_redirect = sink->one_output();
  auto skipped = std::make_shared<int>(0);
  a.begin = [&s, sink](const std::string& name) {
    return sink->begin(sink->one_output() ? name : "").report(s.con.out);
  };
  a.run = [&s, sink, skipped](int ref) {
    const Done done = done_from(sink->add(ref), s.con.out);
    if (done == Done::kSkipped) ++*skipped;
    return done == Done::kOk;
  };
  a.end = [&s, sink, skipped] {
    const bool committed = sink->commit().report(s.con.out);
    say_skipped(s, *skipped);
    return committed;
  };
  return a;
}

const CommandEntry kCommands[] = {
    {'S', cmd_header, false, 'h', op_header},
    {'c', cmd_comment, false, 'c', op_comment},
    {'p', cmd_print, false, 'p', op_print},
    {'v', cmd_view, false, 'v', op_view},
    {'i', cmd_index},
    {'s', cmd_scan},
    {'w', cmd_write, true},  // in loops: output_sink
    {'W', cmd_wformat, true},
    {'\0', nullptr, false, 'e', op_header_data},
    {'t', cmd_table},
    {'r', cmd_reindex},
    {'f', cmd_file, true},
    {'d', cmd_dir, true},
    {'(', cmd_loop},
    {'b', cmd_batch, true},
    {'B', cmd_parameter, true},
    {'h', cmd_hardcopy},
    {'H', cmd_graceprint},
    {'F', cmd_format},
    {'C', cmd_columns},
    {'x', cmd_column},
    {'y', cmd_column},
    {'z', cmd_column},
    {'A', cmd_toggle},
    {'E', cmd_toggle},
    {'L', cmd_toggle},
    {'N', cmd_toggle},
    {'P', cmd_toggle},
    {'T', cmd_toggle},
    {'l', cmd_toggle},
    {'#', cmd_toggle},
    {'?', cmd_help},
    {'q', cmd_quit},
    {'a', cmd_stats, false, 'a', op_stats,
     "  a : statistics of a scan: points, y range, peak, FWHM and its centre, centre of mass,\n"
     "      integral (current, index or relative); in a loop one table: (10,40,a)peaks.txt\n"},
    {'K', cmd_check, false, '\0', nullptr,
     "  K : check the whole file: column counts, text and NUL lines among the data, empty,\n"
     "      aborted, unfinished or repeated scans, x not monotonic, values not finite\n"},
    {'u', cmd_follow, false, '\0', nullptr,
     "  u : follow the running scan in xmgrace ( current, index or relative; Enter ends\n"},
    {'U', cmd_follow, false, '\0', nullptr,
     "  U : follow the running scan in the console, its lines as p prints them\n"},
    {'n', cmd_hdf5, true, '\0', nullptr,  // in loops: output_sink
     "  n : write current scan to an HDF5 (NeXus) file, n [file]; in loops (1,9,n)file.h5\n"},
    // Columns by label.
    {'o', cmd_list_columns, false, 'o', op_list_columns,
     "  o : list the columns of a scan: number, label, value in the first data line\n"
     "  x, y, z, C : take labels too: y Detector, x \"2theta\", C Theta Detector Monitor\n"},
    {'g', cmd_fit, false, 'g', op_fit,
     "  g : fit the peak (current, index or relative) with the model of G; in a loop one\n"
     "      table: (10,40,g)fits.txt; drawn over the scan when xmgrace shows it\n"},
    {'G', cmd_fit_model, false, '\0', nullptr,
     "  G : fit model: G [gauss|lorentz|voigt|step] [none|const|line]; G alone shows it\n"},
    // Spectra of multichannel analysers.
    {'m', cmd_spectrum_plot, false, 'm', op_spectrum_plot,
     "  m : plot a spectrum of the current scan in xmgrace, m [point] [+] [a2]: the last point,\n"
     "      or the one given, + the sum over the points, a2 the second analyser\n"},
    {'M', cmd_spectrum_write, true, '\0', nullptr,
     "  M : write spectra of the current scan, M [point] [+] [a2] [file|-]: without a point\n"
     "      each point's spectrum a column; in loops (1,9,M)\n"},
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
  if (std::shared_ptr<ScanSink> sink = output_sink(s, letter)) return sink_loop_action(s, sink);
  for (const CommandEntry& e : kCommands) {
    if (e.loop_letter != letter) continue;
    Operation op = e.loop_op;
    // Scans skipped for a column label they lack are counted; the loop
    // ends with one line saying how many.
    auto skipped = std::make_shared<int>(0);
    a.run = [&s, op, skipped](int ref) {
      const Done done = op(s, ref);
      if (done == Done::kSkipped) ++*skipped;
      return done == Done::kOk;
    };
    a.end = [&s, skipped] {
      say_skipped(s, *skipped);
      return true;
    };
    break;
  }
  if (letter == 'a') {
    a.begin = [&s](const std::string&) {
      write_stats_header(s.con.my_stdout);
      return true;
    };
  }
  if (letter == 'g') {
    a.begin = [&s](const std::string&) {
      write_fit_header(s.con.my_stdout, s.settings.fit_model);
      return true;
    };
  }
  return a;
}

// Runs one command line (without its newline). False when the command
// failed, or the line named no command (an empty line is none and fine).
bool run_line(Interp& in, const std::string& line) {
  const char* p = line.c_str();
  while (*p == ' ') p++;
  // A file that shrank or was rewritten in place no longer matches the
  // table, which would show what is no longer there: said once, before any
  // command but those that index anew or end.
  if (!strchr("rfq", *p)) {
    std::string how = index_changed_since(in.s.index);
    if (!how.empty())
      fprintf(in.s.con.out, " %s %s: r reindexes it\n", in.s.index.inf_name.c_str(), how.c_str());
  }
  const CommandEntry* e = find_command(*p);
  if (!e) {
    status(in.s, in.i);
    // An empty line (in a script with CR LF line ends too) asks for nothing.
    return *p == '\0' || strcmp(p, "\r") == 0;
  }
  // A Ctrl-C typed before the command does not stop it; one typed while it
  // runs stops it, and is spent with it.
  clear_interrupt();
  bool ok;
  {
    // Long listings at a terminal go through the user's pager.
    Pager paged(in.s.con,
                is_long_listing(*p, p + 1) ? listing_pager(in.s.con) : std::vector<std::string>());
    ok = e->run(in, *e, p + 1);
  }
  const bool stopped = interrupted();
  clear_interrupt();
  return ok && !stopped;
}

}  // namespace

void put_cmds(Session& s) {
  FILE* o = s.con.out;
  fprintf(o, "\n %s %s see also kurvatab.html\nrecognized commands are\n", kProgramRelease,
          kProgramDate);
  for (const char* line : kHelpLines) fputs(line, o);
  fprintf(o, "  F : format string, pe : \"%s\"\n", s.settings.wformat.c_str());
  fprintf(o, "  C : column numbers separate by spacespe, pe : \"%s\"\n",
          s.settings.wcolumns.c_str());
  for (const CommandEntry& e : kCommands)
    if (e.help) fputs(e.help, o);
}

LoopLookup loop_commands(Session& s) {
  return [&s](char letter) { return loop_action(s, letter); };
}

bool command_takes_file(char letter) {
  const CommandEntry* e = find_command(letter);
  return e && e->takes_file;
}

int interprete(Session& s, CommandInput& input) {
  Interp in{s, s.index.Indexed};
  in.input = &input;
  // Completion at the terminal offers the current scan's labels.
  struct LabelSource {
    CommandInput& input;
    ~LabelSource() { input.set_label_source(nullptr); }
  } labels{input};
  input.set_label_source([&s, &in] { return current_labels(s, in.i); });
  std::string line;
  for (;;) {
    if (input.shows_prompt())
      input.set_prompt(prompt_text(s, in.i));
    else
      prompt(s, in.i);
    fflush(s.con.out);
    fflush(s.con.my_stdout);
    CommandInput::Result r = input.read_line(&line);
    if (r == CommandInput::kEnd || stop_requested()) return 0;
    if (r == CommandInput::kError) {
      fprintf(s.con.err, " cannot read commands: %s\n", strerror(errno));
      s.failed = true;
      return s.settings.exit_on_error ? kFailedRunStatus : 0;
    }
    bool ok = false;
    if (r == CommandInput::kTooLong)
      fprintf(s.con.out, " command line longer than %zu characters, ignored\n", input.max_line());
    else
      ok = run_line(in, line);
    if (!ok) s.failed = true;
    if (!ok && s.settings.exit_on_error) return kFailedRunStatus;
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

// --help and --version anywhere on the command line answer on standard
// output and end the run at once, before the initialization file is read.
// True when one was given (the run then ends with status 0).
static bool conventional_option(Session& s, int argc, char** argv) {
  for (int k = 1; k < argc; k++) {
    if (strcmp(argv[k], "--version") == 0) {
      fprintf(s.con.out, "%s %s\n", kProgramRelease, kProgramDate);
      return true;
    }
    if (strcmp(argv[k], "--help") == 0) {
      const Settings defaults;
      fprintf(s.con.out, "%s %s\n", kProgramRelease, kProgramDate);
      fprintf(s.con.out, "usage : %s [-Xx] [-Yx] [file]\n", s.settings.prgname.c_str());
      fprintf(s.con.out,
              "  -Xn        take column n as x (default %d)\n"
              "  -Yn        take column n as y (default %d)\n"
              "  -e, --exit-on-error\n"
              "             end the run at the first command that fails, with status %d\n"
              "  --help     print this text and exit\n"
              "  --version  print the release and exit\n"
              "commands are read from standard input; ? lists them\n",
              defaults.xcol, defaults.ycol, kFailedRunStatus);
      return true;
    }
  }
  return false;
}

bool command_line(Session& s, int argc, char** argv) {
  for (int k = 0; k < argc; k++) {
    const char* a = argv[k];
    if (a[0] != '-') {
      if (!index_open(s.index, a).report(s.con.out)) s.failed = true;
      continue;
    }
    if (strcmp(a, "-e") == 0 || strcmp(a, "--exit-on-error") == 0) {
      s.settings.exit_on_error = true;
      continue;
    }
    // The number stands directly behind the letter; it is taken without a
    // range check, so -X alone sets 0.
    bool range_error;
    if (a[1] == 'X') {
      s.settings.xcol = decimal_conversion(a + 2, &range_error);
      s.settings.xlabel.clear();
    } else if (a[1] == 'Y') {
      s.settings.ycol = decimal_conversion(a + 2, &range_error);
      s.settings.ylabel.clear();
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

  if (conventional_option(s, argc, argv)) {
    fflush(s.con.out);
    return 0;
  }
  const bool ini_writable = ini_read(s);
  if (argc > 1 && !command_line(s, argc - 1, argv + 1)) return 3;
  int result = 0;
  if (s.failed && st.exit_on_error) {
    result = kFailedRunStatus;
  } else {
    if (s.index.inf) {
      index_file(s.index, s.con);
      startup_table(s);
      clear_interrupt();  // spent on the indexing it stopped
    }
    status(s);
    result = interprete(s, in);
  }
  // SIGTERM or SIGHUP: the settings are written as at q, Grace is ended with
  // the session, and the status tells the signal.
  const int stop = stop_requested();
  std::string refused;
  if (ini_writable && !ini_write(s, &refused) && !refused.empty()) {
    fprintf(s.con.out, " %s not written: %s (the settings of this run are not kept)\n",
            st.ininame.c_str(), refused.c_str());
  }
  fflush(s.con.out);
  return stop ? 128 + stop : result;
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
