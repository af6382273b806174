// The link to Grace: plotting a scan and the hard copy, batch and parameter
// requests. Grace (the program xmgrace) is started on the first plot and fed
// text commands through a GracePipe; the points of each plot reach it
// through a plot file of their own.
#ifndef KURVATAB_GRACE_GRACE_LINK_H_
#define KURVATAB_GRACE_GRACE_LINK_H_

#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/options.h"
#include "base/status.h"
#include "grace/grace_pipe.h"
#include "index/index_table.h"
#include "read/points.h"
#include "read/spectra.h"

struct GraceLink {
  // A link through this process's grace_np pipe, or through `pipe`, which
  // must outlive the link.
  GraceLink();
  explicit GraceLink(GracePipe& pipe);
  // Ends every Grace the link started and removes the plot files (grace_end).
  ~GraceLink();
  GraceLink(const GraceLink&) = delete;
  GraceLink& operator=(const GraceLink&) = delete;

  GracePipe* pipe;

  // A Grace this link started, with the plot files made for it. Grace reads
  // a plot file some time after the plot has been sent, and nothing tells
  // when, so a Grace's files are removed only once that Grace has ended.
  struct Started {
    int pid;
    std::vector<std::string> files;
  };
  std::vector<Started> started;  // oldest first; the last one may be connected

  std::string tmpname;  // the plot file of the last plot

  // The scan the connected Grace was given last by a plot: its 0-based
  // position and number; -1 when none since Grace started.
  int plotted_ref = -1;
  int plotted_scan = -1;

  // What the connected Grace holds, as far as this program set it: a y axis
  // made logarithmic by a plot, and the hard copy device and print file as
  // the commands that set them ("": as Grace started).
  bool logy = false;
  std::string device;
  std::string print_to;
};

// Plots the scan at 0-based position `ref` (already checked by the caller):
// starts Grace when none is connected, writes the points to a new plot file
// and sends the command sequence that reads them as a new data set. Messages
// go to con.out; "Can't run Grace." and the pipe's errors to con.err.
// Columns chosen by label are resolved for the scan (output/column_choice.h)
// and name the axes; a scan that lacks one is not plotted and
// Status::not_found is returned with the line saying why.
//
// The plotting calls below return their failure for the caller to print;
// what Grace or its pipe could not do ("Can't run Grace.", the pipe's
// errors) has gone to con.err already, and such a failure carries no
// message.
Status gracesend_scan(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref);

// Plots the picked spectrum of the scan at 0-based position `ref` as a new
// data set: counts against energy when the header gives a calibration,
// else against the channel number. Log scale, purge, title and legend as
// for a scan; no error bars, no monitor. A scan without that spectrum is
// not plotted.
Status gracesend_spectrum(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref,
                          const SpectrumPick& pick);

// Starts Grace when none is connected, with the lines a plot prints about
// it ("Starting xmgrace, please wait!"; why it failed and "Can't run
// Grace."). True when a Grace is connected.
bool grace_start(GraceLink& g, Console& con);

// As gracesend_scan, for a scan that may still be growing: plots only the
// data lines that end by the offset `until` (a line not yet whole, or not
// yet in the table, stays out). True when the new set was sent; false
// after the lines saying why it was not (a scan that lacks a column chosen
// by label is not plotted, without a line: the follow has said so).
bool gracesend_scan_until(GraceLink& g, IndexTable& t, const PlotOptions& st, Console& con, int ref,
                          int64_t until);

// A point of a plot: x, y and the error as a plot file holds them.
struct PlotPoint {
  double x = 0, y = 0, e = 0;
};

// What a plot makes of a data line.
enum class PointUse {
  kPoint,  // a point
  kNoY,    // no y: the line is left out
  kNoX,    // no x: the scan's points end here
};

// The point of the data line that `p` holds, by the plot's rules: 1e-6 is
// added to y; the error is the square root of that y when it is 1 or more
// (with st.errorbar); y and the error are divided by a monitor of 1 or more
// (with st.normalize), else *unnormalised is set.
PointUse plot_point(const PointReader& p, const PlotOptions& st, PlotPoint* pt, bool* unnormalised);

// The line telling how many points of the scan at `ref` normalisation left
// as they were.
void print_unnormalised(FILE* out, int64_t unnormalised, int64_t points, int ref, int scan);

// Appends `pt` to the set the connected Grace made last ("S_ POINT x, y",
// and the error with st.errorbar), all digits of each value; it shows at
// the next gracesend_redraw. A point that is no number is left out, as
// Grace leaves it out of a plot file. kFailed when it could not be
// delivered (nothing is printed; pipe->error() says why).
enum class PointSent { kSent, kLeftOut, kFailed };
PointSent gracesend_point(GraceLink& g, const PlotOptions& st, const PlotPoint& pt);

// Shows the points appended: AUTOSCALE when st.autoscale, REDRAW, flush.
// False as for gracesend_point.
bool gracesend_redraw(GraceLink& g, const PlotOptions& st);

// Draws a curve over the last plot in the connected Grace, as a set of its
// own read from a plot file: a red line without symbols, with `legend` and
// `comment` (shown as they stand, escaped for Grace). Starts no Grace.
// False, after a line saying why, when it could not be sent.
bool gracesend_curve(GraceLink& g, Console& con, const std::vector<double>& x,
                     const std::vector<double>& y, const std::string& legend,
                     const std::string& comment);

// Asks the running Grace for a hard copy with the `graceprint` parameters.
// `name` (the rest of the command line) may name a file: the hard copy then
// goes there in the format of its extension, and Grace's device and print
// file are set back afterwards.
Status gracesend_print(GraceLink& g, const PlotOptions& st, Console& con, const char* name);

// Makes Grace run the batch file `name` (exactly as typed) at once. Fails
// when the file is not found or refused, or the command could not be
// handed to the pipe.
Status gracesend_batch(GraceLink& g, Console& con, const char* name);

// Makes Grace load the parameter file `name`; results as gracesend_batch.
Status gracesend_parameter(GraceLink& g, Console& con, const char* name);

// Tells the connected Grace to exit, waits a few seconds for every Grace the
// link started to end (stopping those that do not, with a line on
// `errors`), then removes their plot files. Safe to call more than once.
void grace_end(GraceLink& g, FILE* errors);

#endif  // KURVATAB_GRACE_GRACE_LINK_H_
