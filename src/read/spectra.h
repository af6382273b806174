// A scan's spectra, per point and per analyser, read through the points
// reader: their shape over the scan (for the HDF5 export), and one point's
// spectrum or the sum over the points (for the plot and the text export).
#ifndef KURVATAB_READ_SPECTRA_H_
#define KURVATAB_READ_SPECTRA_H_

#include <cstdint>
#include <string>
#include <vector>

#include "format/spectrum.h"
#include "index/index_table.h"

// One analyser's spectra over a scan.
struct SpectrumShape {
  int64_t width = 0;     // most values in one of its spectra
  bool integers = true;  // every value of every spectrum a whole number
  int digits = 0;        // most digits of such a number
};

// The spectra of a scan as a whole.
struct ScanSpectra {
  McaHeader header;                      // the #@ fields of the scan's header
  std::vector<SpectrumShape> analysers;  // by place among a point's spectra
  int64_t points = 0;                    // data lines read
};

// Reads the #@ fields of the scan's header (from #S to its first data line)
// into `h`.
void read_mca_header(IndexTable& t, const scanRef& r, McaHeader* h);

// Reads the header's fields and walks the scan's data for the shape of its
// spectra. A scan without spectra has no analysers.
void survey_spectra(IndexTable& t, scanRef& r, ScanSpectra* out);

// Which spectrum to take from a scan.
struct SpectrumPick {
  int64_t point = 0;  // 1-based number of the point in the scan; 0: the last
  bool sum = false;   // the sum over all points instead of one point
  size_t analyser = 0;
};

// The picked spectrum. For a sum, `s` is the channel-wise sum (the longest
// spectrum's length, shorter ones adding nothing beyond their end) and
// `*points` the points that had one. Returns false with `*why` set when the
// scan has no such point or spectrum.
bool pick_spectrum(IndexTable& t, scanRef& r, const SpectrumPick& pick, Spectrum* s,
                   int64_t* points, std::string* why);

#endif  // KURVATAB_READ_SPECTRA_H_
