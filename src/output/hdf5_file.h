// A file driver for the HDF5 library that writes through a descriptor of
// ours and holds the library's small writes (object headers, heaps, small
// datasets: some twenty a scan, a few hundred bytes each) until about a
// MiB of them is held, then writes them out in address order, adjacent
// pieces in one system call. Reads see what is held. The files are those
// the library's default driver makes.
//
// A failing system call is remembered with its errno, so that the export
// can name the reason ("File too large") that the library's own report
// leaves out.
#ifndef KURVATAB_OUTPUT_HDF5_FILE_H_
#define KURVATAB_OUTPUT_HDF5_FILE_H_

#include <hdf5.h>

#include <cstddef>

// What the export and the driver of one open file share; it must outlive
// the file.
struct HeldFile {
  int fd = -1;                       // the file; the driver works on a duplicate
  size_t most = 1u << 20;            // bytes of small writes held, at most
  int error = 0;                     // errno of the first system call that failed
  bool discard = false;              // writes are dropped (a failed file is being closed)
  class HeldWrites* held = nullptr;  // the writes held, while the file is open
};

// Sets the file access list `fapl` to the driver on `f`. False when the
// library refuses it (its error stack says why).
bool set_fapl_held(hid_t fapl, HeldFile* f);

// Writes out what is held, so that a failure is met by the scan whose
// writes failed. False on failure, with `f->error` set.
bool flush_held(HeldFile* f);

#endif  // KURVATAB_OUTPUT_HDF5_FILE_H_
