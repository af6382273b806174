#include "read/spectra.h"

#include <string_view>

#include "base/text.h"
#include "index/scan_reader.h"
#include "read/column_choice.h"
#include "read/points.h"

void read_mca_header(IndexTable& t, const scanRef& r, McaHeader* h) {
  const int64_t end = r.vseek > 0 ? r.vseek : r.eseek;
  ScanReader in(t.inf.get(), r.hseek);
  std::string_view line;
  while (in.tell() < end && in.next(&line)) {
    in.skip_rest();
    if (line.size() > 2 && line[0] == '#' && line[1] == '@') h->add_line(line);
  }
}

void survey_spectra(IndexTable& t, scanRef& r, ScanSpectra* out) {
  read_mca_header(t, r, &out->header);
  if (r.vseek <= 0) return;
  PointReader points(t, r, ColumnChoice());
  points.skip_lines_without_numbers();
  points.keep_spectra();
  points.read_only({1});
  for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
    if (step != PointReader::kData) continue;
    out->points++;
    const size_t n = points.spectrum_count();
    if (out->analysers.size() < n) out->analysers.resize(n);
    for (size_t k = 0; k < n; k++) {
      const Spectrum& s = points.spectra()[k];
      SpectrumShape& a = out->analysers[k];
      if (int64_t(s.counts.size()) > a.width) a.width = int64_t(s.counts.size());
      a.integers = a.integers && s.integers;
      if (s.digits > a.digits) a.digits = s.digits;
    }
  }
}

namespace {

// A walk over the scan's points with their spectra.
struct SpectrumWalk {
  SpectrumWalk(IndexTable& t, scanRef& r) : points(t, r, ColumnChoice()) {
    points.skip_lines_without_numbers();
    points.keep_spectra();
    points.read_only({1});
  }
  // The next point's spectrum of `analyser` (null when it has none); false
  // after the last point.
  bool next(size_t analyser, const Spectrum** s) {
    for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
      if (step != PointReader::kData) continue;
      *s = points.spectrum_count() > analyser ? &points.spectra()[analyser] : nullptr;
      return true;
    }
    return false;
  }
  PointReader points;
};

std::string no_spectrum(const SpectrumPick& pick, int64_t point) {
  return "no spectrum" +
         (pick.analyser > 0 ? " of analyser " + std::to_string(pick.analyser + 1) : "") +
         (pick.sum ? " in any point" : " at point " + std::to_string(point));
}

}  // namespace

bool pick_spectrum(IndexTable& t, scanRef& r, const SpectrumPick& pick, PickedSpectrum* out,
                   std::string* why) {
  McaHeader header;
  read_mca_header(t, r, &header);
  out->info = header.analyser(pick.analyser);
  out->s.clear();
  out->point = out->points = 0;
  if (r.vseek <= 0) {
    *why = "no data";
    return false;
  }
  SpectrumWalk walk(t, r);
  int64_t seen = 0;
  bool found = false;
  for (const Spectrum* here; walk.next(pick.analyser, &here);) {
    seen++;
    if (pick.sum) {
      if (!here) continue;
      std::vector<double>& sum = out->s.counts;
      if (sum.size() < here->counts.size()) sum.resize(here->counts.size(), 0.0);
      for (size_t k = 0; k < here->counts.size(); k++) sum[k] += here->counts[k];
      out->points++;
      out->point = seen;
      found = true;
    } else if (pick.point == 0 || seen == pick.point) {
      found = here != nullptr;
      if (here) out->s = *here;
      out->point = seen;
      out->points = found ? 1 : 0;
      if (pick.point > 0) break;
    }
  }
  out->s.complete = found;
  if (found) return true;
  if (pick.point > seen) {
    *why = "no point " + std::to_string(pick.point) + " (" + std::to_string(seen) + " points)";
  } else if (seen == 0) {
    *why = "no data";
  } else {
    *why = no_spectrum(pick, out->point);
  }
  return false;
}

bool all_spectra(IndexTable& t, scanRef& r, size_t analyser, size_t most,
                 std::vector<std::vector<double>>* out, McaInfo* info, std::string* why) {
  McaHeader header;
  read_mca_header(t, r, &header);
  *info = header.analyser(analyser);
  out->clear();
  bool any = false;
  size_t values = 0;
  if (r.vseek > 0) {
    SpectrumWalk walk(t, r);
    for (const Spectrum* here; walk.next(analyser, &here);) {
      out->emplace_back();
      if (!here) continue;
      any = true;
      values += here->counts.size();
      if (values > most) {
        out->clear();
        *why = "its spectra hold more than " + std::to_string(most) +
               " values; write them a point at a time";
        return false;
      }
      out->back() = here->counts;
    }
  }
  if (any) return true;
  SpectrumPick pick;
  pick.analyser = analyser;
  pick.sum = true;
  *why = no_spectrum(pick, 0);
  return false;
}

bool parse_spectrum_pick(const char* text, SpectrumPick* pick, std::string* rest,
                         std::string* why) {
  const char* p = text;
  for (;;) {
    while (*p == ' ' || *p == '\t') p++;
    const char* word = p;
    while (*p && !is_space(*p)) p++;
    std::string_view w(word, size_t(p - word));
    if (w.empty()) break;
    const bool analyser = w.size() > 1 && (w[0] == 'a' || w[0] == 'A');
    std::string_view digits = analyser ? w.substr(1) : w;
    if (w == "+") {
      pick->sum = true;
      continue;
    }
    bool number = !digits.empty();
    for (char c : digits) number = number && is_digit(c);
    if (!number) {
      p = word;
      break;
    }
    int n = 0;
    bool clamped = false;
    read_int(digits, &n, &clamped);
    if (n < 1 || clamped) {
      *why = "no " + std::string(analyser ? "analyser " : "point ") + std::string(digits);
      return false;
    }
    if (analyser) {
      pick->analyser = size_t(n - 1);
    } else {
      pick->point = n;
    }
  }
  std::string_view r(p);
  while (!r.empty() && is_space(r.back())) r.remove_suffix(1);
  *rest = r;
  return true;
}

std::string describe_pick(const SpectrumPick& pick, int64_t point) {
  std::string s = pick.sum ? "sum over the points" : "point " + std::to_string(point);
  if (pick.analyser > 0) s += " of analyser " + std::to_string(pick.analyser + 1);
  return s;
}
