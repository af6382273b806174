// Scans written to an HDF5 file in the NeXus layout, for h5py, numpy and the
// NeXus viewers.
//
// Layout: the root (NXroot) names the scan file it was made from; one group
// per scan, "<scan number>.<occurrence>" ("57.1", and "57.2" for the second
// scan numbered 57 in the file), an NXentry holding
//   title, start_time                 the #S text; the #D date (ISO 8601 when
//                                     it reads as a date)
//   measurement/<label>               one dataset per column, every number
//                                     exactly as the column reader reads it
//                                     (NaN where a line has fewer): float32
//                                     when each value of a short scan's
//                                     column is one, else float64
//   plot/                             NXdata: x and y of the settings (and the
//                                     monitor with normalisation on), linked
//   monitor/data                      NXmonitor, with normalisation on
//   instrument/positioners/<motor>    #O names with the scan's #P values
//   instrument/specfile/scan_header   the header lines, verbatim
//   instrument/specfile/comments      the '#' lines among and after the data
//   instrument/mca_N/data             the spectra of analyser N, points x
//                                     channels ("interpretation": "spectrum"),
//                                     whole numbers as integers;
//                                     -1 (NaN for float64) where a point has
//                                     none or a shorter one; beside it
//                                     channels, calibration, preset_time,
//                                     live_time, elapsed_time when given
//   measurement/mca_N/data, info      links to the data and to its group
//
// Every group lists its members in the order they were made.
//
// Safety: the new file is built under a temporary name beside the target,
// with the scans of an earlier file copied into it, and renamed over the
// target only once complete; any failure leaves an earlier file as it was.
// A file made from another scan file, a file that is not HDF5 and the scan
// file itself are refused. Memory stays bounded: rows are streamed into
// chunked datasets, one chunk of each column buffered at a time.
#ifndef KURVATAB_OUTPUT_HDF5_EXPORT_H_
#define KURVATAB_OUTPUT_HDF5_EXPORT_H_

#include <memory>

#include "base/console.h"
#include "base/options.h"
#include "base/status.h"
#include "index/index_table.h"
#include "output/sink.h"

// One export run: begin, add any number of scans, commit. Lines go to
// con.out, one per scan written and one for the file; a failure is returned
// with the line naming the file and the reason; after a failure the
// remaining calls do nothing. A run that is not committed is discarded with
// its temporary file. `t` and `con` must outlive the run.
class Hdf5Export : public ScanSink {
 public:
  Hdf5Export(IndexTable& t, const ExportOptions& st, Console& con);
  ~Hdf5Export() override;
  Hdf5Export(const Hdf5Export&) = delete;
  Hdf5Export& operator=(const Hdf5Export&) = delete;

  // Every scan of a run goes into one file.
  bool one_output() const override { return true; }
  // `name` is the target as typed (blanks around it are dropped); an empty
  // name gives the scan file's name with ".h5" added, in the current
  // directory. Checks the target and creates the temporary file.
  Status begin(const std::string& name) override;
  // Writes the scan at the 0-based position `ref`, replacing one of the
  // same name written before.
  Status add(int ref) override;
  // Copies the scans of the earlier file that were not written again,
  // completes the file and puts it in place.
  Status commit() override;
  // Removes the temporary file; an earlier file stays as it was.
  void discard() override;

  struct Impl;  // the run's state, in the .cc file

 private:
  std::unique_ptr<Impl> impl_;
};

// The `n` command: the scan at the 0-based position `ref` into the file
// `name` (as for Hdf5Export::begin).
Status scan_hdf5(IndexTable& t, const ExportOptions& st, Console& con, int ref, const char* name);

#endif  // KURVATAB_OUTPUT_HDF5_EXPORT_H_
