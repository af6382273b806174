#include "format/spectrum.h"

#include "base/text.h"

namespace {

// The numbers of `s` behind a key, at most `most` of them.
int read_numbers(std::string_view s, double* out, int most) {
  std::string scratch;
  const char* p = s.data();
  const char* end = p + s.size();
  int n = 0;
  while (n < most && read_number(&p, end, &out[n], &scratch)) n++;
  return n;
}

bool starts_with(std::string_view s, std::string_view key) {
  return s.size() >= key.size() && s.substr(0, key.size()) == key;
}

}  // namespace

bool McaHeader::add_line(std::string_view line) {
  if (!starts_with(line, "#@")) return false;
  double v[4];
  McaInfo m;
  if (starts_with(line, "#@CHANN")) {
    int n = read_numbers(line.substr(7), v, 4);
    m.has_chann = n >= 1;
    m.channels = n >= 1 ? int64_t(v[0]) : 0;
    m.first = n >= 2 ? int64_t(v[1]) : 0;
    m.last = n >= 3 ? int64_t(v[2]) : m.first + m.channels - 1;
    m.reduction = n >= 4 && v[3] >= 1 ? int64_t(v[3]) : 1;
    chann.push_back(m);
  } else if (starts_with(line, "#@CALIB")) {
    int n = read_numbers(line.substr(7), v, 3);
    m.has_calib = n >= 1;
    for (int k = 0; k < n; k++) m.calib[k] = v[k];
    if (n < 2) m.calib[1] = 0;
    calib.push_back(m);
  } else if (starts_with(line, "#@CTIME")) {
    m.ctimes = read_numbers(line.substr(7), m.ctime, 3);
    ctime.push_back(m);
  } else if (starts_with(line, "#@MCA")) {
    if (layout.empty()) {
      std::string_view t = line.substr(5);
      while (!t.empty() && is_space(t.front())) t.remove_prefix(1);
      while (!t.empty() && is_space(t.back())) t.remove_suffix(1);
      layout = t;
    }
  } else {
    return false;
  }
  return true;
}

McaInfo McaHeader::analyser(size_t n) const {
  McaInfo m;
  auto pick = [n](const std::vector<McaInfo>& v) -> const McaInfo* {
    if (v.empty()) return nullptr;
    return n < v.size() ? &v[n] : &v[0];
  };
  if (const McaInfo* c = pick(chann)) {
    m.has_chann = c->has_chann;
    m.channels = c->channels;
    m.first = c->first;
    m.last = c->last;
    m.reduction = c->reduction;
  }
  if (const McaInfo* c = pick(calib)) {
    m.has_calib = c->has_calib;
    for (int k = 0; k < 3; k++) m.calib[k] = c->calib[k];
  }
  if (const McaInfo* c = pick(ctime)) {
    m.ctimes = c->ctimes;
    for (int k = 0; k < 3; k++) m.ctime[k] = c->ctime[k];
  }
  return m;
}

void add_spectrum_line(std::string_view line, bool first, Spectrum* s, std::string* scratch) {
  size_t i = 0;
  if (first) {
    // "@A", then the analyser's number if any.
    i = line.size() >= 2 && line[1] == 'A' ? 2 : 1;
    while (i < line.size() && is_digit(line[i])) i++;
  }
  size_t end = line.size();
  while (end > i && is_space(line[end - 1])) end--;
  s->complete = !(end > i && line[end - 1] == '\\');
  if (!s->complete) end--;
  const char* p = line.data() + i;
  const char* stop = line.data() + end;
  for (;;) {
    while (p < stop && is_space(*p)) p++;
    if (p == stop) break;
    const char* at = p;
    double v;
    if (!read_number(&p, stop, &v, scratch)) {
      s->bad = true;
      break;
    }
    if (s->counts.size() >= kMostChannels) {
      s->capped = true;
      continue;
    }
    s->counts.push_back(v);
    // A whole number: an optional sign and digits only.
    const char* d = at;
    if (*d == '-' || *d == '+') d++;
    int digits = 0;
    while (d < p && is_digit(*d)) d++, digits++;
    if (d != p || digits == 0) {
      s->integers = false;
    } else if (digits > s->digits) {
      s->digits = digits;
    }
  }
}
