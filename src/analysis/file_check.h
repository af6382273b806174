// A check of a whole scan file: one pass from its start to its end that
// reports what makes scans unreliable: column counts that disagree, text or
// NUL lines among the data, scans without data or aborted, a last scan still
// being written, repeated scan numbers, x that is not monotonic, values that
// are not finite. The file is read on its own, by the indexer's rules for
// where scans and their data begin and end; the index table is neither used
// nor changed, and no finding stops the pass.
//
// Each finding is one line naming the scan number, the scan's 1-based
// position and the file's line number:
//
//    scan 7 (i=7) line 120: 2 values where #N says 3 (first of 4 such lines in this scan)
//
// Findings that can repeat within a scan (a column count, text, NUL lines,
// values, steps of x) are reported once per scan, at their first line, with
// how many there are. A scan's findings are written in line order when the
// scan ends.
#ifndef KURVATAB_ANALYSIS_FILE_CHECK_H_
#define KURVATAB_ANALYSIS_FILE_CHECK_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "base/options.h"
#include "format/scan_file.h"

enum class CheckKind {
  kLabels,      // #N and the number of #L labels differ
  kColumns,     // data lines with a number of values other than #N
  kText,        // lines among the data that hold text
  kNul,         // lines that begin with a NUL byte
  kEmpty,       // a scan without data lines
  kAborted,     // a comment says the scan was aborted
  kUnfinished,  // the file ends without a line feed: the last scan is being written
  kRepeated,    // a scan number used before
  kXOrder,      // x steps against the scan's direction
  kNotFinite,   // values that are not a number or infinite
  kSpectra,     // spectra cut short, of another length, without a point, or missing at one
};
constexpr int kCheckKinds = 11;

struct CheckSummary {
  int scans = 0;
  int64_t lines = 0;
  int64_t bytes = 0;       // bytes read
  int64_t length = 0;      // the file's length when the check began
  int64_t stopped_at = 0;  // the first line Ctrl-C kept from the check; 0: none
  int64_t findings[kCheckKinds] = {};

  int64_t total() const;
  int64_t count(CheckKind k) const { return findings[static_cast<int>(k)]; }
};

// Reports (bytes done, the file's length, finished) now and then during the
// pass; optional.
using CheckProgress = std::function<void(int64_t done, int64_t total, bool finished)>;

// Reads `inf` (not owned; none: an empty file) from its start to
// its end, or up to the line at which Ctrl-C is seen (the scan it is in is
// then not judged), and writes the findings to `out`. x is the column `cols.xcol`, or
// each scan's column labelled `cols.xlabel` when that is set.
CheckSummary check_file(const ScanFile* inf, const ColumnChoice& cols, FILE* out,
                        const CheckProgress& progress = nullptr);

// The closing lines: the file's name, scans, lines and findings, then the
// count of each kind found; and a note when less was read than the file held
// at the start (Ctrl-C stopped the check, the file was shortened, or it could
// not be read).
void write_check_summary(FILE* out, const std::string& name, const CheckSummary& s);

#endif  // KURVATAB_ANALYSIS_FILE_CHECK_H_
