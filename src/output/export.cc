#include "output/export.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "base/interrupt.h"
#include "base/safe_file.h"
#include "base/text.h"
#include "index/scan_reader.h"
#include "output/number_format.h"
#include "read/columns.h"
#include "read/points.h"
#include "read/spectra.h"

namespace {

// Where one export goes: con.my_stdout (never closed here) or a file this
// owns. What is written collects in a buffer that goes out in large writes.
// Every write is checked; the first failure keeps its errno and ends the
// export, and finish() tells it once with the output's name.
class ExportOut {
 public:
  explicit ExportOut(Console& con) : con_(con) {}
  ~ExportOut() {
    if (own_ && f_) fclose(f_);
  }
  ExportOut(const ExportOut&) = delete;
  ExportOut& operator=(const ExportOut&) = delete;

  void use_stdout() {
    f_ = con_.my_stdout;
    own_ = false;
    name_ = "stdout";
  }
  Status open(const std::string& name, const std::function<bool(const struct stat&)>& is_scan) {
    name_ = name;
    std::string why;
    f_ = open_output(name, is_scan, &why);
    own_ = true;
    if (!f_)
      return Status::errorf(" unable to write data on '%s': %s\n", name.c_str(), why.c_str());
    return Status();
  }

  bool ok() const { return ok_; }
  const std::string& name() const { return name_; }

  // The buffer to append to; end each line with line_done().
  std::string* buf() { return &buf_; }
  void line_done() {
    if (buf_.size() >= kFlushAt) flush_buf();
  }

  void print(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n <= 0) return;
    const size_t at = buf_.size();
    buf_.resize(at + size_t(n) + 1);
    va_start(ap, fmt);
    vsnprintf(&buf_[at], size_t(n) + 1, fmt, ap);
    va_end(ap);
    buf_.resize(at + size_t(n));
    line_done();
  }
  // The line `in` holds, verbatim.
  void copy(ScanReader& in, std::string_view line) {
    if (!in.line_is_cut()) {
      buf_.append(line);
      line_done();
      return;
    }
    flush_buf();
    if (ok_ && !in.copy_line(f_)) fail();
  }

  // Flushes, and closes a file. A failure unless all of the export reached
  // its output.
  Status finish() {
    flush_buf();
    if (ok_ && fflush(f_) != 0) fail();
    if (own_) {
      if (fclose(f_) != 0) fail();
      f_ = nullptr;
    }
    if (ok_) return Status();
    return Status::errorf(" error writing data on '%s': %s\n", name_.c_str(), strerror(errno_));
  }

 private:
  static constexpr size_t kFlushAt = 128 * 1024;

  void flush_buf() {
    if (ok_ && !buf_.empty() && fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) fail();
    buf_.clear();
  }
  void fail() {
    if (!ok_) return;
    ok_ = false;
    errno_ = errno ? errno : EIO;
  }

  Console& con_;
  FILE* f_ = nullptr;
  bool own_ = false;
  bool ok_ = true;
  int errno_ = 0;
  std::string name_;
  std::string buf_;
};

// The record at `ref` into *r; a failure for a position outside the table.
Status export_record(IndexTable& t, int ref, scanRef** r) {
  *r = index_record(t, ref);
  return *r ? Status() : Status::errorf(" %d is not a valid index\n", ref);
}

Status has_data(const scanRef& r) {
  return r.lines > 0 ? Status() : Status::errorf(" No data to write = %d\n", int(r.lines));
}

// Chooses the output of an export and opens it.
Status outputfile(IndexTable& t, Console& con, int ref, int s, const char* name, ExportOut* out) {
  fprintf(con.out, " writing data on '%s'\n", name);
  while (*name == ' ') name++;
  if (*name == '-') {
    fprintf(con.out, " writing data for (i=%d, s=%d) on 'stdout'\n", ref + 1, s);
    out->use_stdout();
    return Status();
  }
  std::string file = name;
  while (!file.empty() && (file.back() == ' ' || file.back() == '\n' || file.back() == '\r')) {
    file.pop_back();
  }
  if (file.empty() || file[0] == '*') {
    char generated[50];
    snprintf(generated, sizeof generated, "scan%03d.%03d", s, ref + 1);
    file = generated;
  }
  fprintf(con.out, " writing data for (i=%d, s=%d) on '%s'\n", ref + 1, s, file.c_str());
  return out->open(file, scan_file_test(t));
}

// The '#' lines from the record's cseek up to its eseek: those that begin
// before eseek, and the first line in any case.
void copy_comment_block(IndexTable& t, const scanRef& r, ExportOut& out) {
  ScanReader in(t.inf.get(), r.cseek);
  std::string_view line;
  for (bool more = in.next(&line); more && out.ok();
       more = in.next_beginning_with('#', r.eseek, &line)) {
    if (line[0] == '#') {
      out.copy(in, line);
    } else {
      in.skip_rest();
    }
  }
}

// How an export ended.
struct ExportEnd {
  int64_t written = 0;     // data lines written
  int64_t stopped_at = 0;  // file line number of the line that ended it; 0: none did
};

// Walks the scan's data lines: a '#' line among them is copied in place
// when `comments` is on; each data line is handed to `write_line`, which
// returns false to end the export there. Stops at the end of the file.
template <class WriteLine>
ExportEnd export_data(PointReader& points, bool comments, ExportOut& out, WriteLine write_line) {
  ExportEnd end;
  for (PointReader::Step step; out.ok() && (step = points.next()) != PointReader::kEnd;) {
    if (step == PointReader::kComment) {
      if (comments) out.copy(points.in(), points.line());
      continue;
    }
    // Ctrl-C stops it as a line that cannot be written does.
    if (interrupted() || !write_line(points)) {
      end.stopped_at = points.line_number();
      break;
    }
    end.written++;
    out.line_done();
  }
  return end;
}

// Closes the export. An export that stopped early failed too: it tells
// where it stopped.
Status finish_export(ExportOut& out, const IndexTable& t, const scanRef& r, const ExportEnd& end) {
  Status s = out.finish();
  if (!s.ok() || end.stopped_at == 0) return s;
  return Status::errorf(
      " writing data on '%s' stopped at line %lld of %s: %lld of %lld data lines written\n",
      out.name().c_str(), static_cast<long long>(end.stopped_at), t.inf_name.c_str(),
      static_cast<long long>(end.written), static_cast<long long>(r.lines));
}

// The header line naming the columns written: "#L" and the names, two
// blanks apart as on a scan's own #L line.
void write_label_line(ExportOut& out, const std::vector<std::string>& names) {
  std::string* b = out.buf();
  b->append("#L");
  for (size_t k = 0; k < names.size(); k++) b->append(k ? "  " : " ").append(names[k]);
  b->push_back('\n');
  out.line_done();
}

}  // namespace

Status scan_write(IndexTable& t, const ExportOptions& st, Console& con, int ref, const char* name) {
  scanRef* r;
  Status s = export_record(t, ref, &r);
  if (s.ok()) s = has_data(*r);
  if (!s.ok()) return s;
  ColumnChoice cols;
  std::string why;
  if (!resolve_columns(t, *r, st, &cols, &why)) return Status::not_found(why);
  ExportOut out(con);
  s = outputfile(t, con, ref, r->scan, name, &out);
  if (!s.ok()) return s;
  if (st.comments) {
    copy_comment_block(t, *r, out);
    out.print("#\n#kurvatab extracted columns %d, %d %d\n", cols.xcol, cols.ycol, cols.zcol);
    out.print("#\n#  x    y   %s n  %s %s\n#\n", st.errorbar ? "s(y)" : "",
              st.normalize ? "y/n" : "", st.errorbar && st.normalize ? "s(y/n)" : "");
    if (has_label(st)) {
      const std::string& y = cols.ylabel;
      const std::string yz = y + "/" + cols.zlabel;
      std::vector<std::string> names = {cols.xlabel, y};
      if (st.errorbar) names.push_back("s(" + y + ")");
      names.push_back(cols.zlabel);
      if (st.normalize) names.push_back(yz);
      if (st.normalize && st.errorbar) names.push_back("s(" + yz + ")");
      write_label_line(out, names);
    }
  }
  static const DoubleFormat kX("%15.5lf"), kValue("%15.7lg");
  int64_t unnormalised = 0;
  PointReader points(t, *r, cols);
  points.read_only({cols.xcol, cols.ycol, cols.zcol});
  const ExportEnd end = export_data(points, st.comments, out, [&](const PointReader& pt) {
    int err;
    double x = pt.x(&err);
    if (err) return false;
    // An unreadable y or monitor column gives NaN, written as "nan"; it
    // has no normalised value.
    double y = pt.y(&err);
    double z = pt.z(&err);
    double e = y > 1.0 ? sqrt(y) : 1.0;
    std::string* b = out.buf();
    kX.append(b, x);
    b->push_back(' ');
    kValue.append(b, y);
    if (st.errorbar) {
      b->push_back(' ');
      kValue.append(b, e);
    }
    b->push_back(' ');
    kValue.append(b, z);
    if (st.normalize && z >= 1.0) {
      b->push_back(' ');
      kValue.append(b, y / z);
      if (st.errorbar) {
        b->push_back(' ');
        kValue.append(b, sqrt(e * e + y * y / z) / z);
      }
    } else if (st.normalize) {
      unnormalised++;
    }
    b->push_back('\n');
    return true;
  });
  s = finish_export(out, t, *r, end);
  if (unnormalised == 0) return s;
  // Said after the export's own line, whether it failed or not.
  char note[160];
  snprintf(note, sizeof note,
           " %lld of %lld points of (i=%d, s=%d) left unnormalised: monitor below 1\n",
           static_cast<long long>(unnormalised), static_cast<long long>(end.written), ref + 1,
           r->scan);
  if (!s.ok()) return Status::error(s.message() + note);
  fputs(note, con.out);
  return s;
}

bool WFormat::parse(const std::string& wformat, std::string* bad) {
  pieces.clear();
  conversions = 0;
  bad->clear();
  // printf would end the format at a NUL byte.
  std::string f = wformat.substr(0, wformat.find('\0'));
  for (size_t at = f.find("\\n"); at != std::string::npos; at = f.find("\\n", at)) {
    f[at] = ' ';
    f[at + 1] = '\n';
  }
  std::string literal;
  size_t i = 0;
  while (i < f.size()) {
    if (f[i] != '%') {
      literal.push_back(f[i++]);
      continue;
    }
    size_t start = i++;
    if (i < f.size() && f[i] == '%') {
      literal.push_back('%');
      i++;
      continue;
    }
    DoubleFormat conv;
    if (!conv.read(f, &i)) {
      *bad = f.substr(start, i + 1 - start);
      return false;
    }
    if (++conversions > kMaxWColumns) return false;
    if (!literal.empty()) pieces.push_back({literal, -1});
    literal.clear();
    pieces.push_back({conv.conversion(), conversions - 1});
  }
  if (!literal.empty()) pieces.push_back({literal, -1});
  return true;
}

Status scan_printf(IndexTable& t, const ExportOptions& st, Console& con, int ref,
                   const char* name) {
  scanRef* r;
  Status s = export_record(t, ref, &r);
  if (s.ok()) s = has_data(*r);
  if (!s.ok()) return s;
  const char* cols = st.wcolumns.c_str();
  const char* fmt = st.wformat.c_str();
  std::vector<ListedColumn> list;
  int nc = read_column_list(st.wcolumns, &list);
  if (nc < 0) {
    return Status::errorf(" printing failed ; %d column(s) < 0, column(s)  \"%s\", format \"%s\"\n",
                          nc, cols, fmt);
  }
  if (nc == 0) {
    return Status::errorf(
        " printing failed ; no column number or label in column(s) \"%s\", format \"%s\"\n", cols,
        fmt);
  }
  WFormat wf;
  std::string bad;
  if (!wf.parse(st.wformat, &bad)) {
    if (bad.empty()) {
      return Status::errorf(" printing failed ; more than %d conversions in format \"%s\"\n",
                            kMaxWColumns, fmt);
    }
    return Status::errorf(
        " printing failed ; conversion \"%s\" not allowed in format \"%s\""
        " (only %%e %%E %%f %%F %%g %%G %%a %%A and %%%%)\n",
        bad.c_str(), fmt);
  }
  std::vector<int> p;
  std::vector<std::string> names;
  std::string why;
  if (!resolve_column_list(t, *r, list, &p, &names, &why)) return Status::not_found(why);
  ExportOut out(con);
  s = outputfile(t, con, ref, r->scan, name, &out);
  if (!s.ok()) return s;
  fprintf(con.out, " printing %d column(s) \"%s\" with format \"%s\"\n", nc, cols, fmt);
  if (st.comments) {
    copy_comment_block(t, *r, out);
    out.print("#\n#kurvatab extracted columns \"%s\"\n", cols);
    if (!names.empty()) write_label_line(out, names);
  }
  // Conversions beyond the listed columns write "nan".
  double x[kMaxWColumns];
  for (double& v : x) v = NAN;
  std::vector<DoubleFormat> conversions;
  for (const WFormat::Piece& piece : wf.pieces) {
    if (piece.arg >= 0) conversions.emplace_back(piece.text);
  }
  PointReader points(t, *r, st);
  points.read_only(p);
  const ExportEnd end = export_data(points, st.comments, out, [&](const PointReader& pt) {
    for (int j = 0; j < nc; j++) {
      int err;
      x[j] = pt.column(p[size_t(j)], &err);
      if (err) return false;
    }
    std::string* b = out.buf();
    for (const WFormat::Piece& piece : wf.pieces) {
      if (piece.arg < 0) {
        b->append(piece.text);
      } else {
        conversions[size_t(piece.arg)].append(b, x[piece.arg]);
      }
    }
    return true;
  });
  return finish_export(out, t, *r, end);
}

namespace {

// Spectra held as columns, at most: 256 MiB of values.
constexpr size_t kMostSpectrumValues = size_t(32) << 20;

// A value with the fewest digits that read back as the same double.
void append_shortest(std::string* b, double v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  b->append(buf, size_t(r.ptr - buf));
}

void append_channel(std::string* b, const McaInfo& info, size_t k) {
  const int64_t ch = info.channel(int64_t(k));
  b->append(std::to_string(ch));
  char energy[40];
  snprintf(energy, sizeof energy, " %.10g", info.energy(double(ch)));
  b->append(energy);
}

}  // namespace

Status scan_spectra(IndexTable& t, const ExportOptions&, Console& con, int ref, const char* text) {
  scanRef* r;
  Status s = export_record(t, ref, &r);
  if (!s.ok()) return s;
  SpectrumPick pick;
  std::string name, why;
  if (!parse_spectrum_pick(text ? text : "", &pick, &name, &why))
    return Status::error(" " + why + "\n");
  const bool one = pick.sum || pick.point > 0;
  PickedSpectrum sp;
  std::vector<std::vector<double>> all;
  McaInfo info;
  if (one ? !pick_spectrum(t, *r, pick, &sp, &why)
          : !all_spectra(t, *r, pick.analyser, kMostSpectrumValues, &all, &info, &why)) {
    return Status::errorf(" scan %d (i=%d): %s\n", r->scan, ref + 1, why.c_str());
  }
  if (name.empty() || name[0] == '*') {
    char generated[64];
    snprintf(generated, sizeof generated, "mca%03d.%03d", r->scan, ref + 1);
    name = generated;
  }
  ExportOut out(con);
  s = outputfile(t, con, ref, r->scan, name.c_str(), &out);
  if (!s.ok()) return s;
  out.print("#F %s\n", t.inf_name.c_str());
  out.print("#S %d\n", r->scan);
  if (one) {
    out.print("#kurvatab spectrum: %s", describe_pick(pick, sp.point).c_str());
    if (pick.sum) out.print(", %lld spectra", static_cast<long long>(sp.points));
    out.print("\n#  channel  %s  counts\n", sp.info.has_calib ? "energy" : "channel");
    for (size_t k = 0; k < sp.s.counts.size() && out.ok(); k++) {
      std::string* b = out.buf();
      append_channel(b, sp.info, k);
      b->push_back(' ');
      append_shortest(b, sp.s.counts[k]);
      b->push_back('\n');
      out.line_done();
    }
  } else {
    size_t width = 0;
    for (const std::vector<double>& c : all) width = std::max(width, c.size());
    out.print("#kurvatab spectra of %zu point(s)%s, a column each (nan: none there)\n", all.size(),
              pick.analyser ? (", analyser " + std::to_string(pick.analyser + 1)).c_str() : "");
    std::string* b = out.buf();
    b->append("#  channel  ").append(info.has_calib ? "energy" : "channel");
    for (size_t p = 0; p < all.size(); p++) b->append("  p").append(std::to_string(p + 1));
    b->push_back('\n');
    out.line_done();
    for (size_t k = 0; k < width && out.ok(); k++) {
      b = out.buf();
      append_channel(b, info, k);
      for (const std::vector<double>& c : all) {
        b->push_back(' ');
        append_shortest(b, k < c.size() ? c[k] : NAN);
      }
      b->push_back('\n');
      out.line_done();
    }
  }
  return out.finish();
}
