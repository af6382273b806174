// What a line among a scan's data is: the one rule the indexer, the data
// listing and the points reader share.
//
//   '#' first    a header or comment line; never data
//   NUL first    ends the scan's data (the indexer's rule)
//   '@' first    a spectrum of a multichannel analyser ("@A 12 0 3 ...\"),
//                together with the lines that continue it: each line of it
//                but the last ends in a backslash. Neither data nor comment:
//                passed over by everything that reads data
//   otherwise    a data line; the indexer counts it when a number reads
//                from it (holds_number)
//
// A '#' or NUL line ends a spectrum even after a backslash, so a spectrum cut
// short by an aborted scan never swallows the next scan's header.
#ifndef KURVATAB_FORMAT_DATA_LINE_H_
#define KURVATAB_FORMAT_DATA_LINE_H_

#include <string_view>

#include "base/text.h"

enum class LineKind { kHash, kNul, kSpectrum, kData };

// True when the last character of `line` that is not white space is a
// backslash.
inline bool ends_in_backslash(std::string_view line) {
  size_t n = line.size();
  while (n > 0 && is_space(line[n - 1])) n--;
  return n > 0 && line[n - 1] == '\\';
}

// Follows the lines of a file in order; a spectrum's continuation lines are
// known only from the line before them.
class DataLineRule {
 public:
  // The kind of the next line, which begins with `first`. `continues()` is
  // called for a line of a spectrum only and tells whether it ends in a
  // backslash.
  template <class Continues>
  LineKind next(char first, Continues continues) {
    if (first == '#' || first == '\0') {
      in_spectrum_ = false;
      return first == '#' ? LineKind::kHash : LineKind::kNul;
    }
    if (first == '@' || in_spectrum_) {
      in_spectrum_ = continues();
      return LineKind::kSpectrum;
    }
    return LineKind::kData;
  }

  // True when the next line continues a spectrum.
  bool in_spectrum() const { return in_spectrum_; }

 private:
  bool in_spectrum_ = false;
};

#endif  // KURVATAB_FORMAT_DATA_LINE_H_
