// The parts of the user's settings that the layers below the interpreter
// read: which columns a scan's points come from, how an export is written,
// how a plot is drawn. The interpreter's Settings is built from them, and
// each operation is handed only the part it reads.
#ifndef KURVATAB_BASE_OPTIONS_H_
#define KURVATAB_BASE_OPTIONS_H_

#include <map>
#include <memory>
#include <string>

extern const char kDefaultGracePrint[];  // "DEVICE \"PostScript\" PAGE SIZE 300,400"
extern const char kDefaultWFormat[];     // "%8.4lf %8.4lf\n"
extern const char kDefaultWColumns[];    // "1 -1"

// Column numbers of x, y and the monitor: 1-based, negative ones count from
// the last column. A column may be chosen by its label on the scan's #L line
// instead: the label is then set beside the number, which is kept but not
// used; an empty label means the number was chosen. Labels are resolved per
// scan (output/column_choice.h) before a scan is read.
struct ColumnChoice {
  int xcol = 1;
  int ycol = -1;
  int zcol = -2;
  std::string xlabel;
  std::string ylabel;
  std::string zlabel;
  // While a loop runs: a label missing in a scan is counted here, by label,
  // instead of said for every scan (the loop says it once at its end).
  std::shared_ptr<std::map<std::string, int>> missing;
};

// What the column exports read. Flags count as on when non-zero.
struct ExportOptions : ColumnChoice {
  int normalize = 0;
  int errorbar = 0;
  int comments = 1;
  std::string wformat = kDefaultWFormat;  // ends in a real line feed
  std::string wcolumns = kDefaultWColumns;
};

// What a plot reads, on top of the export's choices.
struct PlotOptions : ExportOptions {
  int autoscale = 1;
  int autopurge = 0;
  int logscale = 0;
  int titleauto = 1;
  int legendauto = 1;
  std::string graceprint = kDefaultGracePrint;
  int graceGraph = 0;  // graph addressed by the plotting commands; never changes
};

#endif  // KURVATAB_BASE_OPTIONS_H_
