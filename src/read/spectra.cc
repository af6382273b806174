#include "read/spectra.h"

#include <string_view>

#include "index/scan_reader.h"
#include "read/column_choice.h"
#include "read/points.h"

void read_mca_header(IndexTable& t, const scanRef& r, McaHeader* h) {
  const int64_t end = r.vseek > 0 ? r.vseek : r.eseek;
  ScanReader in(t.inf, r.hseek);
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

bool pick_spectrum(IndexTable& t, scanRef& r, const SpectrumPick& pick, Spectrum* s,
                   int64_t* points_with, std::string* why) {
  s->clear();
  *points_with = 0;
  if (r.vseek <= 0) {
    *why = "no data";
    return false;
  }
  PointReader points(t, r, ColumnChoice());
  points.skip_lines_without_numbers();
  points.keep_spectra();
  points.read_only({1});
  int64_t seen = 0;
  bool found = false;
  for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
    if (step != PointReader::kData) continue;
    seen++;
    const bool has = points.spectrum_count() > pick.analyser;
    const Spectrum* here = has ? &points.spectra()[pick.analyser] : nullptr;
    if (pick.sum) {
      if (!here) continue;
      ++*points_with;
      if (s->counts.size() < here->counts.size()) s->counts.resize(here->counts.size(), 0.0);
      for (size_t k = 0; k < here->counts.size(); k++) s->counts[k] += here->counts[k];
      s->integers = s->integers && here->integers;
      s->bad = s->bad || here->bad;
      found = true;
      continue;
    }
    if (pick.point > 0 && seen != pick.point) continue;
    if (here) {
      *s = *here;
      *points_with = 1;
    } else {
      s->clear();
      *points_with = 0;
    }
    found = here != nullptr;
    if (pick.point > 0) break;
  }
  s->complete = found;
  if (found) return true;
  if (pick.point > seen) {
    *why = "no point " + std::to_string(pick.point) + " (" + std::to_string(seen) + " points)";
  } else if (seen == 0) {
    *why = "no data";
  } else {
    *why = "no spectrum " +
           std::string(pick.analyser > 0 ? std::to_string(pick.analyser + 1) + " " : "") +
           (pick.sum ? "in any point"
                     : "at point " + std::to_string(pick.point > 0 ? pick.point : seen));
  }
  return false;
}
