// The indexing rules written out line by line, as a model the fuzz targets
// compare the indexer with: every record field, and the invariants every
// reader relies on (records in file order, offsets within the file, hseek <
// vseek (when set) < eseek, counts never above the file's line count); and a
// round trip of the whole file through the line reader.
#ifndef KURVATAB_FUZZ_INDEX_MODEL_H_
#define KURVATAB_FUZZ_INDEX_MODEL_H_

#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_util.h"
#include "index/index_table.h"
#include "index/scan_reader.h"

namespace fuzz_index {

// The model and the checks are the yardstick, not what is fuzzed: they give
// the fuzzer no coverage feedback (and cost no tracing of their compares).
#define FUZZ_MODEL inline __attribute__((no_sanitize("coverage")))

struct Model {
  int scan = 0;
  int ncol = 0;
  int64_t hseek = 0, vseek = 0, cseek = 0, eseek = 0, lpos = 0, lines = 0;
  std::string_view txt;  // in the file, without the line feed the record adds
  bool line_feed = true;
};

FUZZ_MODEL bool c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// "%d" (and atoi), with values beyond int clamped.
FUZZ_MODEL int model_int(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && c_space(s[i])) i++;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; i++) {
    if (v < INT64_C(1) << 40) v = v * 10 + (s[i] - '0');
  }
  if (neg) v = -v;
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

FUZZ_MODEL bool model_number(std::string_view line) {
  static std::string s;  // sscanf ends at the first NUL, as the C string does
  s.assign(line);
  double d;
  return sscanf(s.c_str(), "%lf", &d) == 1;
}

// The description text: after "#S", blanks, digits, blanks; the rest of the
// line without its line feed, at most kMaxScanText - 1 bytes, then a line
// feed. Compared as the C string a listing prints: it ends at a NUL, before
// the line feed.
FUZZ_MODEL std::string_view model_text(std::string_view line, bool* line_feed) {
  size_t q = 2;
  while (q < line.size() && line[q] == ' ') q++;
  while (q < line.size() && line[q] >= '0' && line[q] <= '9') q++;
  while (q < line.size() && line[q] == ' ') q++;
  std::string_view t = line.substr(q);
  if (!t.empty() && t.back() == '\n') t.remove_suffix(1);
  if (t.size() > kMaxScanText - 1) t = t.substr(0, kMaxScanText - 1);
  const size_t nul = t.find('\0');
  *line_feed = nul == std::string_view::npos;
  return t.substr(0, nul);
}

// A spectrum line ("@A ...") goes on in the next line when its last
// character that is not white space is a backslash.
FUZZ_MODEL bool model_continues(std::string_view line) {
  while (!line.empty() && c_space(line.back())) line.remove_suffix(1);
  return !line.empty() && line.back() == '\\';
}

// Into *v, whose room is kept from one run to the next.
FUZZ_MODEL void model_index(std::string_view f, int64_t* line_count, std::vector<Model>* out) {
  std::vector<Model>& v = *out;
  v.clear();
  bool spectrum = false;  // the line before continues into this one
  int state = waithead;
  int64_t lseek = 0, lpos = 0;
  size_t pos = 0;
  while (pos < f.size()) {
    size_t nl = f.find('\n', pos);
    size_t end = nl == std::string_view::npos ? f.size() : nl + 1;
    std::string_view line = f.substr(pos, end - pos);
    const int64_t pseek = int64_t(pos);
    pos = end;
    lpos++;
    const char c0 = line[0];
    if (c0 == '#' || c0 == '\0') {
      spectrum = false;
    } else if (c0 == '@' || spectrum) {
      spectrum = model_continues(line);
      continue;
    }
    if (c0 == '#') {
      const char c1 = line.size() > 1 ? line[1] : '\0';
      if (state == waitend && c1 == 'S') state = waithead;
      if (state == waitdata && c1 == 'S') state = waithead;
      if (state == waitdata && c1 == 'N') v.back().ncol = model_int(line.substr(2));
      if (state == waithead && c1 == 'S') {
        if (!v.empty()) v.back().eseek = pseek;
        Model m;
        m.scan = model_int(line.substr(2));
        m.hseek = pseek;
        m.lpos = lpos;
        m.cseek = lseek;
        m.txt = model_text(line, &m.line_feed);
        v.push_back(m);
        state = waitdata;
      }
      continue;
    }
    if (c0 == '\0') {
      if (state == waitend) {
        state = waithead;
        lseek = pseek;
      }
      continue;
    }
    if (state == waitdata) {
      v.back().vseek = pseek;
      lseek = pseek;
      state = waitend;
    }
    if (state == waitend && model_number(line)) v.back().lines++;
  }
  if (!v.empty()) v.back().eseek = int64_t(f.size());
  *line_count = lpos;
}

FUZZ_MODEL void check_table(const IndexTable& t, std::string_view f, const char* when) {
  int64_t line_count = 0;
  static std::vector<Model> want;
  model_index(f, &line_count, &want);
  const int64_t len = int64_t(f.size());
  FUZZ_CHECK(t.IndexFileLength == len, "%s: IndexFileLength %" PRId64 ", file %" PRId64, when,
             t.IndexFileLength, len);
  FUZZ_CHECK(size_t(t.Indexed) == want.size() && t.Index.size() == want.size(),
             "%s: %d records, model %zu", when, t.Indexed, want.size());
  FUZZ_CHECK(t.IndexSize >= t.Indexed, "%s: IndexSize %d < Indexed %d", when, t.IndexSize,
             t.Indexed);
  int64_t prev_h = -1;
  for (size_t k = 0; k < want.size(); k++) {
    const scanRef& r = t.Index[k];
    const Model& m = want[k];
    // The invariants, stated on their own.
    FUZZ_CHECK(r.hseek > prev_h, "%s: record %zu out of file order", when, k);
    FUZZ_CHECK(r.hseek >= 0 && r.eseek <= len && r.cseek >= 0 && r.cseek <= r.hseek,
               "%s: record %zu offsets outside the file", when, k);
    FUZZ_CHECK(r.hseek < r.eseek, "%s: record %zu hseek >= eseek", when, k);
    FUZZ_CHECK(r.vseek == 0 || (r.hseek < r.vseek && r.vseek < r.eseek),
               "%s: record %zu vseek %" PRId64 " outside (%" PRId64 ", %" PRId64 ")", when, k,
               r.vseek, r.hseek, r.eseek);
    FUZZ_CHECK(r.lines >= 0 && r.lines <= line_count && r.lpos >= 1 && r.lpos <= line_count,
               "%s: record %zu counts beyond the file's %" PRId64 " lines", when, k, line_count);
    prev_h = r.hseek;
    // The fields, against the model.
    FUZZ_CHECK(r.scan == m.scan && r.ncol == m.ncol && r.hseek == m.hseek && r.vseek == m.vseek &&
                   r.cseek == m.cseek && r.eseek == m.eseek && r.lpos == m.lpos &&
                   r.lines == m.lines,
               "%s: record %zu is scan %d N %d h %" PRId64 " v %" PRId64 " c %" PRId64 " e %" PRId64
               " lpos %" PRId64 " lines %" PRId64 "; model scan %d N %d h %" PRId64 " v %" PRId64
               " c %" PRId64 " e %" PRId64 " lpos %" PRId64 " lines %" PRId64,
               when, k, r.scan, r.ncol, r.hseek, r.vseek, r.cseek, r.eseek, r.lpos, r.lines, m.scan,
               m.ncol, m.hseek, m.vseek, m.cseek, m.eseek, m.lpos, m.lines);
    FUZZ_CHECK(r.txt && strlen(r.txt) == m.txt.size() + m.line_feed &&
                   memcmp(r.txt, m.txt.data(), m.txt.size()) == 0 &&
                   (!m.line_feed || r.txt[m.txt.size()] == '\n'),
               "%s: record %zu text differs", when, k);
  }
}

// The whole file through the line reader, copied back verbatim (into one
// stream for all runs, written again from its start).
FUZZ_MODEL void check_reader(const ScanFile& inf, std::string_view f) {
  static fuzz::MemSink copy;
  rewind(copy.f());
  ScanReader in(&inf, 0);
  std::string_view line;
  int64_t end = 0;
  while (in.next(&line)) {
    FUZZ_CHECK(!line.empty() && in.tell() > end, "the line reader did not advance");
    end = in.tell();
    FUZZ_CHECK(in.copy_line(copy.f()), "copy_line failed");
  }
  FUZZ_CHECK(end == int64_t(f.size()) && copy.str() == f, "the line reader lost bytes");
}

// How many bytes each read of the file hands out (0: all that is asked
// for): small steps make lines span the readers' blocks on small inputs.
inline size_t read_step(uint8_t choice) {
  const size_t s = choice >> 3;
  return s < 16 ? s : (s - 15) * 97;
}

// The input: two bytes that choose where the file is cut for a first
// indexing, one byte that chooses the read step and a filler (a header line
// longer than the indexer keeps of a line that spans its blocks), then the
// file. False for an input too short to hold them.
struct Input {
  std::string file;
  size_t cut = 0;
  uint8_t choice = 0;
};

inline bool decode(const uint8_t* data, size_t size, Input* in) {
  if (size < 3) return false;
  const size_t cut_choice = size_t(data[0]) << 8 | data[1];
  const uint8_t filler = data[2];
  std::string& file = in->file;
  if (filler & 1) {
    const size_t n = kMaxScanText + 256 + (filler >> 3) * 7;
    file.reserve(n + 2 + size - 3);
    file += '#';
    file.append(n, filler & 2 ? ' ' : 'x');
    file += '\n';
    if (filler & 4) file[n / 2] = '\0';
  }
  const size_t prefix = file.size();
  file.append(reinterpret_cast<const char*>(data + 3), size - 3);
  in->cut = prefix + cut_choice % (size - 3 + 1);
  in->choice = filler;
  return true;
}

}  // namespace fuzz_index

#endif  // KURVATAB_FUZZ_INDEX_MODEL_H_
