#include "grace/grace_link.h"

#include <grace_np.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "grace/grace_process.h"
#include "index/scan_reader.h"
#include "output/column_choice.h"
#include "output/points.h"

namespace {

constexpr int kGraceBufferSize = 2048;
// grace_np cuts a formatted command after this many characters without a
// word, so longer commands are refused here instead.
constexpr size_t kGraceCommandMax = kGraceBufferSize - 3;

// Formats one command and hands it to grace_np, which ends it with a line
// feed of its own.
__attribute__((format(printf, 1, 2))) void grace_send(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(ap2);
    return;
  }
  std::string cmd(static_cast<size_t>(n), '\0');
  vsnprintf(&cmd[0], cmd.size() + 1, fmt, ap2);
  va_end(ap2);
  if (cmd.size() > kGraceCommandMax) {
    grace_report("Grace: command of " + std::to_string(cmd.size()) +
                 " characters is too long, not sent: " + cmd.substr(0, 40) + "...");
    return;
  }
  GracePrintf("%s", cmd.c_str());
}

// True when `name` opens for reading and is not a directory (a directory
// opens on Linux but is no file Grace could read).
bool file_opens(const char* name) {
  FILE* f = fopen(name, "r");
  if (!f) return false;
  struct stat sb;
  bool ok = fstat(fileno(f), &sb) == 0 && !S_ISDIR(sb.st_mode);
  fclose(f);
  return ok;
}

// True when execvp would find `prog`: an executable regular file in one of
// the PATH directories (an empty entry is the current directory).
bool program_on_path(const char* prog) {
  const char* env = getenv("PATH");
  std::string path = env ? env : "/bin:/usr/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string full = (dir.empty() ? "." : dir) + "/" + prog;
    struct stat sb;
    if (stat(full.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && access(full.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// Starts xmgrace and takes a new temporary plot file. Returns false (after
// a line saying why, when we know) when Grace could not be started.
bool start_grace(GraceLink& g, Console& con) {
  const char* display = getenv("DISPLAY");
  if (!display || !*display) {
    fprintf(con.err,
            "xmgrace: no display (DISPLAY is not set): run kurvatab in an X session, or set "
            "DISPLAY\n");
    return false;
  }
  if (!program_on_path("xmgrace")) {
    fprintf(con.err,
            "xmgrace: not found on PATH (or not executable): install the grace package "
            "(apt-get install grace)\n");
    return false;
  }
  // A Grace window closed by the user must not take the program with it:
  // writes to its pipe then fail with EPIPE instead of raising SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  fflush(con.out);
  fflush(con.err);
  fflush(nullptr);
  if (GraceOpen(kGraceBufferSize) == -1) return false;

  // The file of an earlier Grace is no longer read by anyone.
  if (!g.tmpname.empty()) grace_remove_tmpfile(g.tmpname);
  std::string error;
  g.tmpname = grace_make_tmpfile(&error);
  if (g.tmpname.empty()) fprintf(con.out, "%s\n", error.c_str());
  grace_register_atexit();
  return true;
}

// Writes the points of scan `rec` to `out`. Returns false on a write error.
bool write_points(FILE* out, IndexTable& t, scanRef& rec, const PlotOptions& st) {
  PointReader points(t, rec, st);
  for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
    if (step == PointReader::kComment) continue;
    int err = 0;
    double x = points.x(&err);
    if (err) break;
    double y = points.y(&err);
    if (err) continue;  // no y to plot: leave the point out rather than invent one
    y += 0.000001;
    double e = 0.0;
    if (st.errorbar && y >= 1.0) e = sqrt(y);
    if (st.normalize) {
      double z = points.z(&err);
      if (err == 0 && z >= 1.0) {
        y = y / z;
        if (st.errorbar) e = sqrt(e * e + y * y / z) / z;
      }
    }
    if (st.errorbar) {
      fprintf(out, "%lf %lf %lf\n", x, y, e);
    } else {
      fprintf(out, "%lf %lf\n", x, y);
    }
  }
  return !ferror(out);
}

// Sends "GETP" for an automatic parameter file when it is present.
void send_auto_file(Console& con, const char* name, const char* message) {
  if (!file_opens(name)) return;
  fprintf(con.out, "%s", message);
  grace_send("GETP \"%s\"\n", name);
}

// Columns chosen by label name the axes: the x and y columns' names in this
// scan (y divided by the monitor's when normalising), inside Grace's quotes
// with backslash and '"' escaped.
std::string grace_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

void send_axis_labels(const ColumnChoice& names, const PlotOptions& st) {
  std::string y = names.ylabel;
  if (st.normalize) y += "/" + names.zlabel;
  grace_send("XAXIS LABEL \"%s\"\n", grace_escape(names.xlabel).c_str());
  grace_send("YAXIS LABEL \"%s\"\n", grace_escape(y).c_str());
}

void send_plot_commands(const GraceLink& g, const IndexTable& t, const scanRef& rec,
                        const PlotOptions& st, const ColumnChoice* axis_names, Console& con) {
  const int graph = st.graceGraph;
  const char* file = t.inf_name.c_str();
  if (st.autopurge) grace_send("KILL G%d\nG%d ON\nWITH G%d", graph, graph, graph);
  send_auto_file(con, "kurvatab.par", "Automatic xmgr parameter file : kurvatab.par\n");
  if (st.autopurge || st.autoscale) {
    grace_send("AUTOSCALE ONREAD XYAXES\n");
  } else {
    grace_send("AUTOSCALE ONREAD NONE\n");
  }
  grace_send("READ BLOCK \"%s\"\n", g.tmpname.c_str());
  if (st.errorbar) {
    grace_send("BLOCK XYDY \"%d:%d:%d\"\n", 1, 2, 3);
  } else {
    grace_send("BLOCK XY \"%d:%d\"\n", 1, 2);
  }
  grace_send("S_ COMMENT \"%s #S%d\"\n", file, rec.scan);
  grace_send("S_ LEGEND \"%s #S%d\"\n", file, rec.scan);
  grace_send("G%d TYPE %s\n", graph, st.logscale ? "LOGY" : "XY");
  if (axis_names) send_axis_labels(*axis_names, st);
  send_auto_file(con, "kurvatab.bat", "Automatic xmgr parameters file : kurvatab.bat\n");
  if (st.titleauto) grace_send("SUBTITLE \"%s #S%d\"\n", file, rec.scan);
  grace_send("LEGEND %s\n", st.legendauto ? "ON" : "OFF");
  grace_send("REDRAW\n");
}

// Sends a batch or parameter file request after checking that the file is
// there. `kind` is "batch" or "parameter".
int send_file_request(Console& con, const char* name, const char* kind, bool batch) {
  GraceErrorScope scope(con.err);
  if (!file_opens(name)) {
    fprintf(con.out, " xmgr %s file %s not found\n", kind, name);
    return -1;
  }
  fprintf(con.out, "Using xmgr %s file %s\n", kind, name);
  if (batch) {
    grace_send("READ BATCH \"%s\"\n", name);
  } else {
    grace_send("GETP \"%s\"\n", name);
  }
  // Without a flush the request would wait in grace_np's buffer until the
  // next plot.
  if (GraceIsOpen()) GraceFlush();
  return 0;
}

}  // namespace

int gracesend_scan(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref) {
  GraceErrorScope scope(con.err);
  if (!GraceIsOpen()) {
    fprintf(con.out, "Starting xmgrace, please wait!\n");
    if (!start_grace(g, con)) {
      fprintf(con.err, "Can't run Grace.\n");
      return ref;
    }
  }
  if (!t.inf || ref < 0 || ref >= t.Indexed) return ref;
  scanRef& rec = t.Index[ref];
  if (rec.lines <= 1) {
    fprintf(con.out, " No data to plot lines = %" PRId64 "\n", rec.lines);
    return ref;
  }
  // Columns chosen by label are resolved for this scan (the monitor only
  // when it is read); a scan that lacks one is not plotted.
  PlotOptions plot = st;
  {
    ColumnChoice wanted = st;
    if (!st.normalize) wanted.zlabel.clear();
    std::string why;
    if (!resolve_columns(t, rec, wanted, &plot, &why)) {
      fputs(why.c_str(), con.out);
      return kSkippedScan;
    }
  }
  const bool named_axes = !st.xlabel.empty() || !st.ylabel.empty();
  if (g.tmpname.empty()) {
    std::string error;
    g.tmpname = grace_make_tmpfile(&error);
    if (g.tmpname.empty()) {
      fprintf(con.out, "%s\n", error.c_str());
      return ref;
    }
  }
  FILE* out = fopen(g.tmpname.c_str(), "w");
  if (!out) {
    fprintf(con.out, " Can't write temporary plot file %s: %s\n", g.tmpname.c_str(),
            strerror(errno));
    return ref;
  }
  bool written = write_points(out, t, rec, plot);
  int saved_errno = errno;
  if (fclose(out) != 0) {
    written = false;
    saved_errno = errno;
  }
  if (!written) {
    fprintf(con.out, " Can't write temporary plot file %s: %s\n", g.tmpname.c_str(),
            strerror(saved_errno));
    return ref;
  }
  send_plot_commands(g, t, rec, st, named_axes ? &plot : nullptr, con);
  GraceFlush();
  return ref;
}

void gracesend_print(GraceLink&, const PlotOptions& st, const char*) {
  GraceErrorScope scope(nullptr);
  const char* text = st.graceprint.empty() ? kDefaultGracePrint : st.graceprint.c_str();
  grace_send("%s\n", text);
  grace_send("PRINT\n");
  // Without a flush the request would wait in grace_np's buffer until the
  // next plot.
  if (GraceIsOpen()) GraceFlush();
}

int gracesend_batch(GraceLink&, Console& con, const char* name) {
  return send_file_request(con, name, "batch", true);
}

int gracesend_parameter(GraceLink&, Console& con, const char* name) {
  return send_file_request(con, name, "parameter", false);
}
