// Multichannel analyser (MCA) spectra as scan files carry them: header
// fields that describe the analysers, and per point one or more spectra
// written before the point's data line.
//
//   #@MCA 16C                 the writer's layout (16 values a line)
//   #@CHANN 1201 1110 1200 1  channels, first, last, reduction
//   #@CALIB 0.1 0.01 0        energy = a + b*channel + c*channel^2
//   #@CTIME 1 0.9 1.0         preset, live and elapsed time
//   @A 0 0 3 ... 0\           a spectrum; every line of it but the last
//    0 1 0 ... 0\             ends in a backslash
//    0 0 0 0                  (which lines belong to one: data_line.h)
//
// A scan with several analysers has one #@CHANN (#@CALIB, #@CTIME) line for
// each, in the analysers' order, or one for all. Its points carry their
// spectra in turn before the data line, "@A1 ...", "@A2 ..." or "@A ..." each
// time; the analyser is the spectrum's place among those of its point.
#ifndef KURVATAB_FORMAT_SPECTRUM_H_
#define KURVATAB_FORMAT_SPECTRUM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the header says of one analyser. Absent fields are marked as such.
struct McaInfo {
  bool has_chann = false;
  int64_t channels = 0;  // as #@CHANN gives them
  int64_t first = 0;     // number of the first channel
  int64_t last = 0;
  int64_t reduction = 1;

  bool has_calib = false;
  double calib[3] = {0, 1, 0};  // a, b, c

  int ctimes = 0;               // times given by #@CTIME (0 to 3)
  double ctime[3] = {0, 0, 0};  // preset, live, elapsed

  // Channel number of the k-th value of a spectrum.
  int64_t channel(int64_t k) const { return first + k * (reduction > 0 ? reduction : 1); }
  // Energy of channel number `ch` (the channel itself without #@CALIB).
  double energy(double ch) const { return calib[0] + calib[1] * ch + calib[2] * ch * ch; }
};

// The #@ fields of one scan's header, in the order they stand.
struct McaHeader {
  std::vector<McaInfo> chann, calib, ctime;  // one entry per line of each kind
  std::string layout;                        // text of the first #@MCA line

  // Reads a header line (with or without its line end). Returns true when it
  // is one of the fields above (even when its numbers do not read).
  bool add_line(std::string_view line);

  // What holds for analyser `n` (0-based): its own line of each kind, or the
  // first line of that kind when the header has fewer of them.
  McaInfo analyser(size_t n) const;
};

// What is kept of pathological input: values of one spectrum (real
// analysers have up to some 16,384 channels), and spectra before one data
// line (detectors of up to some hundred elements). Beyond them values and
// spectra are passed over, so a point holds at most 64 MiB of values.
constexpr size_t kMostChannels = size_t(1) << 16;
constexpr size_t kMostSpectra = 128;

// One spectrum, as read.
struct Spectrum {
  std::vector<double> counts;  // every value, bit for bit as strtod reads it
  bool integers = true;        // every value was written as a whole number
  int digits = 0;              // most digits of a whole number among them
  bool complete = false;       // its last line ends without a backslash
  bool bad = false;            // text that is not a number stood in it
  bool capped = false;         // values beyond kMostChannels were passed over

  void clear() {
    counts.clear();
    integers = true;
    digits = 0;
    complete = bad = capped = false;
  }
};

// Reads the values of one line of a spectrum into `s`: the first line
// ("@A", "@A1" ... then values) or a line that continues it. Sets
// `complete` when the line does not end in a backslash. `scratch` is working
// space a caller keeps between lines.
void add_spectrum_line(std::string_view line, bool first, Spectrum* s, std::string* scratch);

#endif  // KURVATAB_FORMAT_SPECTRUM_H_
