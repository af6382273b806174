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

// Reads the words of a spectrum command: a point number, "+" for the sum
// over the points, "a" and the analyser's number (1-based), in any order,
// blanks between them; what follows them (an output name) is left in
// *rest, blanks around it dropped. False with *why set for a number that is
// no point or analyser.
bool parse_spectrum_pick(const char* text, SpectrumPick* pick, std::string* rest, std::string* why);

// "point 5", "last point" or "sum over the points", and "of analyser 2"
// when there are several: what a message or a legend calls the pick.
std::string describe_pick(const SpectrumPick& pick, int64_t point);

// A spectrum picked from a scan, with what the header says of its analyser.
struct PickedSpectrum {
  Spectrum s;          // for a sum: channel by channel, as long as the longest
  int64_t point = 0;   // the point's number in the scan (the last one for a sum)
  int64_t points = 0;  // spectra summed (1 for a single point)
  McaInfo info;
};

// The picked spectrum. False with *why set when the scan has no such point,
// or no such spectrum there (or in any point, for a sum).
bool pick_spectrum(IndexTable& t, scanRef& r, const SpectrumPick& pick, PickedSpectrum* out,
                   std::string* why);

// Every point's spectrum of one analyser, one entry a point (empty for a
// point without one). False with *why set when the scan has none, or when
// they hold more than `most` values together.
bool all_spectra(IndexTable& t, scanRef& r, size_t analyser, size_t most,
                 std::vector<std::vector<double>>* out, McaInfo* info, std::string* why);

#endif  // KURVATAB_READ_SPECTRA_H_
