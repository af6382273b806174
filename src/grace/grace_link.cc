#include "grace/grace_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/file_trust.h"
#include "base/safe_file.h"
#include "base/text.h"
#include "grace/grace_process.h"
#include "read/column_choice.h"
#include "read/points.h"

namespace {

// How long a Grace told to exit may take before it is stopped.
constexpr int kExitWaitMs = 5000;

// A text shown by Grace (legend, comment, title), inside quotes. Grace's
// reader takes \" as a quote and keeps every other backslash, and its text
// drawing shows \\ as one backslash; so both are escaped. A line feed would
// end the command, and other control characters have no place in a label:
// they become '?'. A text may not end in a backslash (it would escape the
// closing quote): a blank is put behind one.
std::string quote_text(const std::string& text) {
  std::string q = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') {
      q += '\\';
      q += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      q += '?';
    } else {
      q += c;
    }
  }
  if (!text.empty() && text.back() == '\\') q += ' ';
  return q + "\"";
}

// A file name for Grace to read or write, inside quotes. Grace takes the
// name as it stands but for \", so only quotes are escaped. A name holding
// a line feed, or ending in a backslash, cannot be written: false.
bool quote_path(const std::string& path, std::string* quoted) {
  if (path.find('\n') != std::string::npos || (!path.empty() && path.back() == '\\')) {
    return false;
  }
  *quoted = "\"";
  for (char c : path) {
    if (c == '"') *quoted += '\\';
    *quoted += c;
  }
  *quoted += '"';
  return true;
}

// The absolute path of the file `name`, in *path and quoted for Grace in
// *quoted. False, with *why set, when it cannot be had or named to Grace.
bool grace_file_name(const std::string& name, std::string* path, std::string* quoted,
                     std::string* why) {
  *path = absolute_path(name, why);
  if (path->empty()) return false;
  if (quote_path(*path, quoted)) return true;
  *why = "Grace cannot be given a name with a line feed, or a backslash at its end";
  return false;
}

// The commands of one operation. After the first command that cannot be
// delivered the rest are dropped, and the reason is printed once.
class Commands {
 public:
  Commands(GraceLink& g, FILE* errors) : pipe_(*g.pipe), errors_(errors) {}

  void send(const std::string& cmd) {
    if (failed_) return;
    if (cmd.size() > GracePipe::kMaxCommand) {
      // Not a failure of the pipe: the other commands still go.
      fprintf(errors_, "Grace: command of %zu characters is too long, not sent: %s...\n",
              cmd.size(), cmd.substr(0, 40).c_str());
      return;
    }
    if (!pipe_.send(cmd)) fail();
  }

  // Delivers what is held back; a Grace that is not running is not asked.
  void flush() {
    if (!failed_ && pipe_.is_open() && !pipe_.flush()) fail();
  }

  bool failed() const { return failed_; }
  // A failure said on the error stream already: no message of its own.
  Status status() const { return failed_ ? Status::error("") : Status(); }

 private:
  void fail() {
    failed_ = true;
    std::string why = pipe_.error();
    fprintf(errors_, "Grace: %s\n", why.empty() ? "command not delivered" : why.c_str());
  }

  GracePipe& pipe_;
  FILE* errors_;
  bool failed_ = false;
};

void remove_files(GraceLink::Started& s) {
  for (const std::string& f : s.files) unlink(f.c_str());
  s.files.clear();
}

// Starts Grace. Returns false, after a line saying why when that is known,
// when it could not be started.
bool start_grace(GraceLink& g, Console& con) {
  fflush(con.out);
  fflush(con.err);
  int pid = g.pipe->open();
  if (pid < 0) {
    std::string why = g.pipe->error();
    if (!why.empty()) fprintf(con.err, "%s\n", why.c_str());
    return false;
  }
  // The files of earlier Graces that have ended are no longer read.
  for (size_t k = 0; k < g.started.size();) {
    if (g.pipe->has_ended(g.started[k].pid)) {
      remove_files(g.started[k]);
      g.started.erase(g.started.begin() + static_cast<std::ptrdiff_t>(k));
    } else {
      k++;
    }
  }
  g.started.push_back({pid, {}});
  g.plotted_ref = g.plotted_scan = -1;
  g.logy = false;
  g.device.clear();
  g.print_to.clear();
  grace_process.link = &g;
  return true;
}

// A new file of the running Grace in TMPDIR (else /tmp), named by its
// absolute path in *name and removed when that Grace has ended. Returns its
// descriptor, or -1 with *why set.
int make_grace_file(GraceLink& g, std::string* name, std::string* why) {
  const char* dir = getenv("TMPDIR");
  *name = absolute_path((dir && *dir) ? dir : "/tmp", why);
  if (name->empty()) {
    *why = "in TMPDIR: " + *why;
    return -1;
  }
  if (name->back() != '/') *name += '/';
  *name += "kurvatabXXXXXX";
  int fd = mkostemp(&(*name)[0], O_CLOEXEC);
  if (fd < 0) {
    *why = *name + ": " + strerror(errno);
    return -1;
  }
  g.started.back().files.push_back(*name);
  return fd;
}

// A new plot file of the running Grace, its descriptor in *fd.
Status make_plot_file(GraceLink& g, int* fd) {
  std::string name, why;
  *fd = make_grace_file(g, &name, &why);
  if (*fd < 0) return Status::errorf(" Can't create temporary plot file %s\n", why.c_str());
  g.tmpname = name;
  return Status();
}

// The file `name` for Grace to read, as a copy of the running Grace's own:
// a name in a folder others may write could name another file by the time
// Grace reads it. The file is opened once, without following someone
// else's link; only a regular file is taken, with `trusted` only one that
// belongs to the user alone. Sets *quoted to the copy's name quoted for
// Grace (the file's own name when no Grace runs, which is then not asked).
// False with *why set; *found is false when there is no such file.
bool grace_copy(GraceLink& g, const char* name, bool trusted, std::string* quoted, std::string* why,
                bool* found) {
  struct stat sb;
  bool refused = false;
  int fd = open_unfollowed(name, O_RDONLY, 0, &sb, why, &refused);
  *found = fd >= 0 || refused;
  if (fd < 0) return false;
  // A directory opens on Linux but is no file Grace could read.
  if (S_ISDIR(sb.st_mode)) {
    close(fd);
    *found = false;
    return false;
  }
  if (!S_ISREG(sb.st_mode)) {
    *why = "it is no plain file";
  } else if (trusted) {
    *why = untrusted_reason(sb, name);
  }
  std::string path, copy;
  if (why->empty() && (!g.pipe->is_open() || g.started.empty())) {
    close(fd);
    return grace_file_name(name, &path, quoted, why);
  }
  int to = why->empty() ? make_grace_file(g, &copy, why) : -1;
  if (to >= 0) {
    int err = copy_fd(fd, to);
    if (close(to) != 0 && err == 0) err = errno;
    if (err) *why = copy + ": " + strerror(err);
  }
  close(fd);
  return why->empty() && grace_file_name(copy, &path, quoted, why);
}

// Writes the points the walk `points` hands out to `out`, each value with
// all its digits. Counts in *unnormalised the points that normalisation
// left as they were, in *points_written all points. Returns false on a
// write error.
bool write_points(FILE* out, PointReader& points, const PlotOptions& st, int64_t* points_written,
                  int64_t* unnormalised) {
  for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
    if (step == PointReader::kComment) continue;
    PlotPoint pt;
    bool left = false;
    PointUse use = plot_point(points, st, &pt, &left);
    if (use == PointUse::kNoX) break;
    if (use == PointUse::kNoY) continue;
    if (st.errorbar) {
      fprintf(out, "%.17g %.17g %.17g\n", pt.x, pt.y, pt.e);
    } else {
      fprintf(out, "%.17g %.17g\n", pt.x, pt.y);
    }
    ++*points_written;
    if (left) ++*unnormalised;
  }
  return !ferror(out);
}

// Sends "GETP" for an automatic parameter file when it is present and
// belongs to the user alone.
void send_auto_file(GraceLink& g, Commands& cmds, Console& con, const char* name,
                    const char* message) {
  std::string quoted, why;
  bool found;
  if (!grace_copy(g, name, true, &quoted, &why, &found)) {
    if (found) fprintf(con.out, " %s not loaded: %s\n", name, why.c_str());
    return;
  }
  fprintf(con.out, "%s", message);
  cmds.send("GETP " + quoted + "\n");
}

// Columns chosen by label name the axes: the x and y columns' names in this
// scan, y divided by the monitor's when normalising.
void send_axis_labels(Commands& cmds, const ColumnChoice& names, const PlotOptions& st) {
  std::string y = names.ylabel;
  if (st.normalize) y += "/" + names.zlabel;
  cmds.send("XAXIS LABEL " + quote_text(names.xlabel) + "\n");
  cmds.send("YAXIS LABEL " + quote_text(y) + "\n");
}

void send_plot_commands(Commands& cmds, GraceLink& g, const std::string& label_text,
                        const PlotOptions& st, const ColumnChoice* axis_names, Console& con,
                        const std::string& file) {
  const int graph = st.graceGraph;
  const std::string label = quote_text(label_text);
  if (st.autopurge) cmds.send(string_printf("KILL G%d\nG%d ON\nWITH G%d", graph, graph, graph));
  send_auto_file(g, cmds, con, "kurvatab.par", "Automatic xmgr parameter file : kurvatab.par\n");
  if (st.autopurge || st.autoscale) {
    cmds.send("AUTOSCALE ONREAD XYAXES\n");
  } else {
    cmds.send("AUTOSCALE ONREAD NONE\n");
  }
  // The y scale is set before the data is read, so that scaling on read
  // finds the axis it scales for; a log axis stays log until set back.
  if (st.logscale) {
    cmds.send(string_printf("G%d TYPE LOGY\n", graph));
    g.logy = true;
  } else if (g.logy) {
    cmds.send("YAXES SCALE NORMAL\n");
    g.logy = false;
  }
  cmds.send("READ BLOCK " + file + "\n");
  if (st.errorbar) {
    cmds.send(string_printf("BLOCK XYDY \"%d:%d:%d\"\n", 1, 2, 3));
  } else {
    cmds.send(string_printf("BLOCK XY \"%d:%d\"\n", 1, 2));
  }
  cmds.send("S_ COMMENT " + label + "\n");
  cmds.send("S_ LEGEND " + label + "\n");
  if (!st.logscale) cmds.send(string_printf("G%d TYPE XY\n", graph));
  if (axis_names) send_axis_labels(cmds, *axis_names, st);
  send_auto_file(g, cmds, con, "kurvatab.bat", "Automatic xmgr parameters file : kurvatab.bat\n");
  if (st.titleauto) cmds.send("SUBTITLE " + label + "\n");
  cmds.send(string_printf("LEGEND %s\n", st.legendauto ? "ON" : "OFF"));
  cmds.send("REDRAW\n");
}

// Checks a batch or parameter file named by the user and sends `command`
// with its absolute path. `kind` is "batch" or "parameter".
Status send_file_request(GraceLink& g, Console& con, const char* name, const char* kind,
                         const char* command) {
  std::string quoted, why;
  bool found;
  if (!grace_copy(g, name, false, &quoted, &why, &found)) {
    if (found) return Status::errorf(" xmgr %s file %s: %s\n", kind, name, why.c_str());
    return Status::errorf(" xmgr %s file %s not found\n", kind, name);
  }
  fprintf(con.out, "Using xmgr %s file %s\n", kind, name);
  Commands cmds(g, con.err);
  cmds.send(std::string(command) + " " + quoted + "\n");
  // Without a flush the request would wait in the pipe until the next plot.
  cmds.flush();
  return cmds.status();
}

// Skips blanks; true when the text at *p starts with `word` (any case)
// followed by a character that cannot continue a word. Moves *p past it.
bool take_word(const char** p, const char* word) {
  const char* s = *p;
  while (*s == ' ' || *s == '\t') s++;
  size_t n = strlen(word);
  if (strncasecmp(s, word, n) != 0 || isalnum(static_cast<unsigned char>(s[n]))) return false;
  *p = s + n;
  return true;
}

// Takes a quoted string at *p as Grace reads it (a quote after a backslash
// does not end it); returns it with its quotes, or "" when there is none.
std::string take_quoted(const char** p) {
  const char* s = *p;
  while (*s == ' ' || *s == '\t') s++;
  if (*s != '"') return std::string();
  const char* e = s + 1;
  while (*e && *e != '"') e += (*e == '\\' && e[1] == '"') ? 2 : 1;
  if (*e != '"') return std::string();
  *p = e + 1;
  return std::string(s, static_cast<size_t>(e + 1 - s));
}

// Notes the hard copy device and print file that the parameters `text`
// set in Grace, so that they can be set again after a hard copy to a file.
void note_print_settings(GraceLink& g, const std::string& text) {
  const char* s = text.c_str();
  for (const char* p = s; *p; p++) {
    if (p != s && (isalnum(static_cast<unsigned char>(p[-1])) || p[-1] == '_')) continue;
    const char* q = p;
    if (take_word(&q, "HARDCOPY")) {
      if (!take_word(&q, "DEVICE")) continue;
      std::string device = take_quoted(&q);
      if (!device.empty()) g.device = "HARDCOPY DEVICE " + device + "\n";
      continue;
    }
    if (!take_word(&q, "PRINT") || !take_word(&q, "TO")) continue;
    if (take_word(&q, "DEVICE")) {
      g.print_to = "PRINT TO DEVICE\n";
      continue;
    }
    std::string file = take_quoted(&q);
    if (!file.empty()) g.print_to = "PRINT TO " + file + "\n";
  }
}

// A new plot file filled by `write`, named for Grace in *quoted.
Status write_plot_file(GraceLink& g, const std::function<bool(FILE*)>& write, std::string* quoted) {
  int fd;
  Status s = make_plot_file(g, &fd);
  if (!s.ok()) return s;
  const std::string name = g.tmpname;
  std::string path, why;
  if (!grace_file_name(name, &path, quoted, &why)) {
    close(fd);
    return Status::errorf(" temporary plot file %s: %s\n", name.c_str(), why.c_str());
  }
  FILE* out = fdopen(fd, "w");
  if (!out) {
    s = Status::errorf(" Can't write temporary plot file %s: %s\n", name.c_str(), strerror(errno));
    close(fd);
    return s;
  }
  bool written = write(out);
  int saved_errno = errno;
  if (fclose(out) != 0) {
    written = false;
    saved_errno = errno;
  }
  if (written) return Status();
  return Status::errorf(" Can't write temporary plot file %s: %s\n", name.c_str(),
                        strerror(saved_errno));
}

// The plot of gracesend_scan and gracesend_scan_until: the scan's points
// from its data lines that end by `until` (-1: all of them). A scan that
// lacks a column chosen by label gives Status::not_found, with the line
// saying so for gracesend_scan (the follow has said it).
Status plot_scan(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref,
                 int64_t until) {
  if (!grace_start(g, con)) return Status::error("");
  scanRef* found = index_record(t, ref);
  if (!found) return Status::error("");
  scanRef& rec = *found;
  if (rec.lines <= 1) return Status::errorf(" No data to plot lines = %" PRId64 "\n", rec.lines);
  // Columns chosen by label are resolved for this scan (the monitor only
  // when it is read) and name the axes.
  PlotOptions plot = st;
  {
    ColumnChoice wanted = st;
    if (!st.normalize) wanted.zlabel.clear();
    std::string why;
    if (!resolve_columns(t, rec, wanted, &plot, &why))
      return Status::not_found(until < 0 ? why : std::string());
  }
  const bool named_axes = !st.xlabel.empty() || !st.ylabel.empty();
  // Each plot has a file of its own: Grace reads it later, when the next
  // plot may already be written.
  int64_t points = 0, unnormalised = 0;
  auto write = [&](FILE* out) {
    if (until < 0) {
      PointReader walk(t, rec, plot);
      return write_points(out, walk, plot, &points, &unnormalised);
    }
    PointReader::Resume from;
    from.offset = rec.vseek;
    from.until = until;
    PointReader walk(t, rec, plot, from);
    return write_points(out, walk, plot, &points, &unnormalised);
  };
  std::string quoted;
  Status s = write_plot_file(g, write, &quoted);
  if (!s.ok()) return s;
  Commands cmds(g, con.err);
  send_plot_commands(cmds, g, t.inf_name + " #S" + std::to_string(rec.scan), st,
                     named_axes ? &plot : nullptr, con, quoted);
  cmds.flush();
  if (unnormalised > 0) print_unnormalised(con.out, unnormalised, points, ref, rec.scan);
  if (cmds.failed()) return cmds.status();
  g.plotted_ref = ref;
  g.plotted_scan = rec.scan;
  return Status();
}

struct HardcopyFormat {
  const char* extension;
  const char* device;
};

const HardcopyFormat kFormats[] = {
    {"ps", "PostScript"}, {"eps", "EPS"},   {"png", "PNG"},
    {"jpg", "JPEG"},      {"jpeg", "JPEG"}, {"svg", "SVG"},
};

}  // namespace

GraceLink::GraceLink() : GraceLink(grace_np_pipe()) {}

GraceLink::GraceLink(GracePipe& p) : pipe(&p) {}

GraceLink::~GraceLink() { grace_end(*this, stderr); }

bool grace_start(GraceLink& g, Console& con) {
  if (g.pipe->is_open()) return true;
  fprintf(con.out, "Starting xmgrace, please wait!\n");
  if (start_grace(g, con)) return true;
  fprintf(con.err, "Can't run Grace.\n");
  return false;
}

PointUse plot_point(const PointReader& p, const PlotOptions& st, PlotPoint* pt,
                    bool* unnormalised) {
  int err = 0;
  double x = p.x(&err);
  if (err) return PointUse::kNoX;
  double y = p.y(&err);
  if (err) return PointUse::kNoY;  // no y to plot: leave the point out rather than invent one
  y += 0.000001;
  double z = 0.0;
  *unnormalised = false;
  if (st.normalize) {
    z = p.z(&err);
    if (err != 0 || !(z >= 1.0)) {
      *unnormalised = true;
      z = 0.0;
    }
  }
  const double e = st.errorbar ? count_error(y, z) : 0.0;
  if (z >= 1.0) y = y / z;
  *pt = PlotPoint{x, y, e};
  return PointUse::kPoint;
}

void print_unnormalised(FILE* out, int64_t unnormalised, int64_t points, int ref, int scan) {
  fprintf(out, " %lld of %lld points of (i=%d, s=%d) left unnormalised: monitor below 1\n",
          static_cast<long long>(unnormalised), static_cast<long long>(points), ref + 1, scan);
}

Status gracesend_scan(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref) {
  return plot_scan(g, t, st, con, ref, -1);
}

bool gracesend_scan_until(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref,
                          int64_t until) {
  return plot_scan(g, t, st, con, ref, until < 0 ? 0 : until).report(con.out);
}

PointSent gracesend_point(GraceLink& g, const PlotOptions& st, const PlotPoint& pt) {
  // Sent as a command, a value that is no number would stop on an error.
  if (!std::isfinite(pt.x) || !std::isfinite(pt.y) || (st.errorbar && !std::isfinite(pt.e))) {
    return PointSent::kLeftOut;
  }
  if (!g.pipe->send(string_printf("S_ POINT %.17g, %.17g", pt.x, pt.y)) ||
      (st.errorbar && !g.pipe->send(string_printf("S_.Y1[S_.LENGTH - 1] = %.17g", pt.e)))) {
    return PointSent::kFailed;
  }
  return PointSent::kSent;
}

Status gracesend_spectrum(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref,
                          const SpectrumPick& pick) {
  if (!t.inf || ref < 0 || ref >= t.Indexed) return Status::error("");
  scanRef& rec = t.Index[size_t(ref)];
  PickedSpectrum sp;
  std::string why;
  if (!pick_spectrum(t, rec, pick, &sp, &why))
    return Status::errorf(" scan %d (i=%d): %s\n", rec.scan, ref + 1, why.c_str());
  if (!grace_start(g, con)) return Status::error("");
  auto write = [&sp](FILE* out) {
    for (size_t k = 0; k < sp.s.counts.size(); k++) {
      const double ch = double(sp.info.channel(int64_t(k)));
      fprintf(out, "%.17g %.17g\n", sp.info.energy(ch), sp.s.counts[k]);
    }
    return !ferror(out);
  };
  std::string quoted;
  Status s = write_plot_file(g, write, &quoted);
  if (!s.ok()) return s;
  // Counts alone: no error bars, nothing divided by a monitor.
  PlotOptions plot = st;
  plot.errorbar = 0;
  plot.normalize = 0;
  plot.xlabel = sp.info.has_calib ? "energy" : "channel";
  plot.ylabel = "counts";
  Commands cmds(g, con.err);
  send_plot_commands(
      cmds, g, t.inf_name + " #S" + std::to_string(rec.scan) + " " + describe_pick(pick, sp.point),
      plot, &plot, con, quoted);
  cmds.flush();
  // What Grace shows last is no scan.
  g.plotted_ref = g.plotted_scan = -1;
  return cmds.status();
}

bool gracesend_redraw(GraceLink& g, const PlotOptions& st) {
  if (st.autoscale && !g.pipe->send("AUTOSCALE")) return false;
  return g.pipe->send("REDRAW") && g.pipe->flush();
}

bool gracesend_curve(GraceLink& g, Console& con, const std::vector<double>& x,
                     const std::vector<double>& y, const std::string& legend,
                     const std::string& comment) {
  if (!g.pipe->is_open() || g.started.empty()) return false;
  std::string quoted;
  auto write = [&x, &y](FILE* out) {
    for (size_t k = 0; k < x.size() && k < y.size(); k++)
      if (std::isfinite(x[k]) && std::isfinite(y[k])) fprintf(out, "%.17g %.17g\n", x[k], y[k]);
    return !ferror(out);
  };
  if (!write_plot_file(g, write, &quoted).report(con.out)) return false;
  Commands cmds(g, con.err);
  cmds.send("READ BLOCK " + quoted + "\n");
  cmds.send("BLOCK XY \"1:2\"\n");
  cmds.send("S_ SYMBOL 0\n");
  cmds.send("S_ LINE TYPE 1\n");
  cmds.send("S_ LINE COLOR 2\n");
  cmds.send("S_ COMMENT " + quote_text(comment) + "\n");
  cmds.send("S_ LEGEND " + quote_text(legend) + "\n");
  cmds.send("REDRAW\n");
  cmds.flush();
  return !cmds.failed();
}

Status gracesend_print(GraceLink& g, const PlotOptions& st, Console& con, const char* name) {
  const std::string params = st.graceprint.empty() ? kDefaultGracePrint : st.graceprint;
  std::string file = name;
  file.erase(0, file.find_first_not_of(' '));
  file.erase(file.find_last_not_of(' ') + 1);
  Commands cmds(g, con.err);
  if (file.empty()) {
    cmds.send(params + "\n");
    cmds.send("PRINT\n");
    cmds.flush();
    note_print_settings(g, params);
    return cmds.status();
  }

  size_t dot = file.rfind('.');
  std::string ext = dot == std::string::npos || file.find('/', dot) != std::string::npos
                        ? std::string()
                        : file.substr(dot + 1);
  const HardcopyFormat* kind = nullptr;
  for (const HardcopyFormat& f : kFormats) {
    if (strcasecmp(ext.c_str(), f.extension) == 0) kind = &f;
  }
  if (!kind) {
    if (strcasecmp(ext.c_str(), "pdf") == 0) {
      return Status::error(
          " h: this Grace has no PDF device: name the file .ps, .eps, .png, .jpg or .svg\n");
    }
    return Status::errorf(
        " h: cannot tell the format of %s: name it .ps, .eps, .png, .jpg or .svg\n", file.c_str());
  }
  std::string path, quoted, why;
  if (!grace_file_name(file, &path, &quoted, &why))
    return Status::errorf(" h: %s: %s\n", file.c_str(), why.c_str());
  // Grace does not tell whether it wrote the file: a folder it cannot write
  // to is found out here.
  const std::string folder = path.substr(0, std::max<size_t>(path.rfind('/'), 1));
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return Status::errorf(" h: no hard copy to %s: its folder %s: %s\n", file.c_str(),
                          folder.c_str(), strerror(errno));
  }
  cmds.send(params + "\n");
  note_print_settings(g, params);
  cmds.send(string_printf("HARDCOPY DEVICE \"%s\"\n", kind->device));
  cmds.send("PRINT TO " + quoted + "\n");
  cmds.send("PRINT\n");
  // As Grace started: PostScript, to a file named after the project.
  cmds.send(g.device.empty() ? "HARDCOPY DEVICE \"PostScript\"\n" : g.device);
  cmds.send(g.print_to.empty() ? "PRINT TO \"\"\n" : g.print_to);
  cmds.flush();
  if (!cmds.failed()) fprintf(con.out, " hard copy (%s) goes to %s\n", kind->device, path.c_str());
  return cmds.status();
}

Status gracesend_batch(GraceLink& g, Console& con, const char* name) {
  // Grace runs a file named by READ BATCH only some time later, after the
  // commands that follow it; loaded like a parameter file, its commands run
  // at once, in order.
  return send_file_request(g, con, name, "batch", "GETP");
}

Status gracesend_parameter(GraceLink& g, Console& con, const char* name) {
  return send_file_request(g, con, name, "parameter", "GETP");
}

void grace_end(GraceLink& g, FILE* errors) {
  if (g.pipe->is_open()) g.pipe->close();
  for (GraceLink::Started& s : g.started) {
    if (!g.pipe->end(s.pid, kExitWaitMs)) {
      fprintf(errors, "xmgrace (process %d) did not exit within %d seconds: stopped\n", s.pid,
              kExitWaitMs / 1000);
    }
    remove_files(s);
  }
  g.started.clear();
  if (grace_process.link == &g) grace_process.link = nullptr;
}
