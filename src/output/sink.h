// Where an export goes, apart from what it writes. A run begins with the
// name of its output, takes scans one at a time, and ends in commit() (the
// output is complete and in place) or discard() (nothing of the run is kept
// where the sink can take it back). A sink returns its failures, with the
// line that says why for the caller to print; after a failure the later
// calls of the run do nothing (and fail with no message of their own). The
// lines that tell what is written go to the console it was given as it
// goes on. A loop over scans builds its action from a sink: one run for the
// whole range.
#ifndef KURVATAB_OUTPUT_SINK_H_
#define KURVATAB_OUTPUT_SINK_H_

#include <memory>
#include <string>

#include "base/console.h"
#include "base/options.h"
#include "base/status.h"
#include "index/index_table.h"

class ScanSink {
 public:
  virtual ~ScanSink() = default;

  // True when a run writes one output, named at begin(), that every scan
  // goes into; false when each scan goes to an output of its own (a loop
  // then begins with an empty name, so each scan gets its generated name,
  // and keeps the word behind ")" for its listings).
  virtual bool one_output() const = 0;
  // Takes the output's name as typed; a failure when the run cannot go on.
  virtual Status begin(const std::string& name) = 0;
  // Writes the scan at the 0-based position `ref`; Status::not_found when
  // it was skipped for a column chosen by label that it lacks.
  virtual Status add(int ref) = 0;
  virtual Status commit() = 0;
  virtual void discard() = 0;
};

// What writes one scan as text: `name` as the column exports take it (a
// file; "-" for con.my_stdout; empty for the generated name). A scan that
// lacks a column chosen by label gives Status::not_found.
using TextWriter = Status (*)(IndexTable& t, const ExportOptions& st, Console& con, int ref,
                              const char* name);

// Text files: each scan written by `write` on its own, to the output named
// at begin(). `t`, `st` and `con` must outlive the sink.
std::unique_ptr<ScanSink> text_sink(IndexTable& t, const ExportOptions& st, Console& con,
                                    TextWriter write);

#endif  // KURVATAB_OUTPUT_SINK_H_
