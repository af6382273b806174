#include "output/hdf5_export.h"

#include <hdf5.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/interrupt.h"
#include "base/safe_file.h"
#include "format/data_line.h"
#include "format/header.h"
#include "index/scan_reader.h"
#include "output/hdf5_file.h"
#include "read/column_choice.h"
#include "read/columns.h"
#include "read/points.h"
#include "read/spectra.h"

#ifndef KURVATAB_VERSION
#define KURVATAB_VERSION "unknown"
#endif

namespace {

// Buffered values of all columns of one scan, at most.
constexpr size_t kColumnBufferBytes = 8u << 20;
// Rows per chunk of a column dataset, at most.
constexpr size_t kChunkRows = 16384;
// Scans of at least this many data lines are stored compressed.
constexpr hsize_t kCompressRows = kChunkRows;
// Columns of one scan that are exported; a line with more values is
// reported and its values beyond are left out.
constexpr size_t kMaxColumns = 1024;
// Motor positions of one scan, and the bytes of their names, at most.
constexpr size_t kMaxPositioners = 65536;
constexpr size_t kMaxMotorText = 1u << 20;
// Groups keep the order their members were made in, so that readers list
// scans and columns in file order.
constexpr unsigned kLinkOrder = H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED;
// Groups of up to this many members keep them in their header; larger ones
// need a heap and two indexes, some KiB each.
constexpr unsigned kCompactLinks = 64;
// Spectra of all analysers buffered before they are written, at most (one
// row each whatever their size).
constexpr size_t kSpectrumBufferBytes = 4u << 20;
// Each of the buffers the library converts strings in as they are written.
constexpr size_t kConversionBytes = 8192;
// Lines of a string dataset buffered before they are written.
constexpr size_t kLineBatch = 4096;
constexpr size_t kLineBatchBytes = 1u << 20;

// Owns an HDF5 identifier of any kind.
class Hid {
 public:
  Hid() = default;
  explicit Hid(hid_t id) : id_(id) {}
  ~Hid() { reset(); }
  Hid(Hid&& o) noexcept : id_(o.release()) {}
  Hid& operator=(Hid&& o) noexcept {
    if (this != &o) {
      reset();
      id_ = o.release();
    }
    return *this;
  }
  Hid(const Hid&) = delete;
  Hid& operator=(const Hid&) = delete;

  hid_t get() const { return id_; }
  explicit operator bool() const { return id_ >= 0; }
  hid_t release() {
    hid_t id = id_;
    id_ = -1;
    return id;
  }
  void reset() {
    if (id_ >= 0) H5Idec_ref(id_);
    id_ = -1;
  }

 private:
  hid_t id_ = -1;
};

// The library's settings for the whole process: errors are reported by us,
// not printed on stderr, and the library's free lists stay small.
void init_library() {
  static bool done = false;
  if (done) return;
  done = true;
  H5open();
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  H5set_free_list_limits(1 << 20, 256 << 10, 1 << 20, 256 << 10, 1 << 20, 256 << 10);
#ifdef __GLIBC__
  // Each compressed chunk makes zlib and the library allocate and free a
  // few hundred KiB; by default the allocator hands such blocks back to the
  // system (and gets fresh zeroed pages) every time, which doubles the time
  // of a long scan. Keep up to 8 MiB of freed memory for reuse instead.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
}

herr_t collect_error(unsigned, const H5E_error2_t* e, void* data) {
  auto* found = static_cast<std::vector<std::string>*>(data);
  std::string text = e->desc ? e->desc : "";
  if (text.empty()) {
    char msg[256];
    if (H5Eget_msg(e->min_num, nullptr, msg, sizeof msg) > 0) text = msg;
  }
  found->push_back(text);
  return 0;
}

// The reason of the library's last failure, from its error stack: the
// system's message when a system call failed, else the innermost
// description. Clears the stack.
std::string h5_reason() {
  std::vector<std::string> found;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, collect_error, &found);
  H5Eclear2(H5E_DEFAULT);
  for (const std::string& s : found) {
    size_t at = s.find("error message = '");
    if (at == std::string::npos) continue;
    at += strlen("error message = '");
    size_t end = s.find('\'', at);
    return s.substr(at, end == std::string::npos ? std::string::npos : end - at);
  }
  for (const std::string& s : found)
    if (!s.empty()) return s;
  return "HDF5 library error";
}

bool utf8_valid(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    if (c < 0x80) {
      n = 0;
    } else if (c >= 0xc2 && c <= 0xdf) {
      n = 1;
    } else if (c >= 0xe0 && c <= 0xef) {
      n = 2;
    } else if (c >= 0xf0 && c <= 0xf4) {
      n = 3;
    } else {
      return false;
    }
    if (s.size() - i - 1 < n) return false;
    for (size_t k = 1; k <= n; k++)
      if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Now, as ISO 8601 with the local offset.
std::string iso_now() {
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  char out[40];
  size_t n = strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S%z", &tm);
  std::string s(out, n);
  if (s.size() >= 5) s.insert(s.size() - 2, ":");  // +0100 -> +01:00
  return s;
}

// A dataset name for `label` that is not in `used` yet: '/' (and NUL) are
// replaced, a repeated name gets "_2", "_3" ...
std::string unique_name(std::string label, std::set<std::string>* used) {
  for (char& c : label)
    if (c == '/' || c == '\0') c = '_';
  if (label.empty() || label == ".") label = "_" + label;
  std::string name = label;
  for (int k = 2; used->count(name); k++) name = label + "_" + std::to_string(k);
  used->insert(name);
  return name;
}

}  // namespace

// ---------------------------------------------------------------------------

struct Hdf5Export::Impl {
  Impl(IndexTable& table, const ExportOptions& st, Console& console)
      : t(table), cols(st), normalize(st.normalize != 0), con(console) {}
  ~Impl() { discard(); }

  IndexTable& t;
  ColumnChoice cols;
  bool normalize;
  Console& con;

  std::string shown;         // the target as the messages name it
  FileReplacement out;       // the file being built, and the target it replaces
  std::string earlier_path;  // the earlier file, as the library can open it
  std::string scan_file;     // absolute path of the scan file
  bool earlier = false;      // the target exists and its scans are kept
  mode_t mode = 0644;
  bool failed = false;
  bool open = false;  // the file being built exists
  HeldFile io;        // shared with the file's driver
  Hid file, str_utf8, str_ascii, dxpl, scalar;
  std::vector<char> conversion = std::vector<char>(2 * kConversionBytes);  // dxpl's buffers
  // Shared creation properties; gcpl_sized by the room a group needs.
  Hid gcpl, dcpl_compact, dcpl_plain, dcpl_lines;
  // An empty string dataset, not linked: copied for each empty list of
  // lines; the library deletes it when it is closed, before the file.
  Hid no_lines;
  std::map<unsigned, Hid> gcpl_sized;
  std::set<std::string> written;
  std::string last_group;
  int added = 0;
  std::vector<int> occurrence;  // per position, for the group names
  // For the motor names (#O) and their mnemonics (#o): the hseek the
  // texts below were found for, and the texts of those lines, joined by two
  // blanks.
  int64_t motors_at[2] = {-1, -1};
  std::string motor_text[2];

  // Notes a failure, the first one only, for the public call to return;
  // returns false. The temporary file is discarded by the caller's commit()
  // or at the end of the job, once the groups and datasets still open
  // further up have been closed: the library must not close the file under
  // them.
  bool fail(const std::string& reason) {
    if (!failed) error = " unable to write HDF5 on '" + shown + "': " + reason + "\n";
    failed = true;
    return false;
  }
  std::string error;  // the failure not yet returned
  // What a public call returns: a failure is said once.
  Status result(bool done) {
    if (done) return Status();
    Status s = Status::error(std::move(error));
    error.clear();
    return s;
  }
  // The reason of a failed system call of the file's driver comes first:
  // the library's report does not name it.
  bool fail_h5() { return fail(io.error ? strerror(io.error) : h5_reason()); }
  // For an identifier just made: false after the report when it failed.
  bool made(const Hid& id) { return id ? true : fail_h5(); }
  bool ok(herr_t r) { return r >= 0 ? true : fail_h5(); }

  void discard() {
    no_lines.reset();
    if (failed && file) write_nowhere();
    file.reset();
    out.discard();
    open = false;
  }

  // After a failed write the library cannot close the file (it flushes
  // what it holds first, fails again and leaves its state to crash the
  // process at exit). The file is thrown away: its driver drops the writes
  // so that the close succeeds.
  void write_nowhere() { io.discard = true; }

  hid_t str_type(std::string_view s) const {
    return utf8_valid(s) ? str_utf8.get() : str_ascii.get();
  }

  bool begin(const char* name);
  bool choose_target(const char* name);
  bool make_temp();
  bool open_file();
  bool add(int ref);
  bool commit();
  bool check_earlier();
  std::string group_name(int ref);
  std::string motors_before(int64_t hseek, char key);

  // Dataset creation properties without modification times (they cost
  // time, and make every export of the same scans differ).
  Hid new_dcpl() {
    // The header is made no larger than its messages need: most datasets
    // get no attribute, and the room the library keeps for them by
    // default is a third of a small scan's file.
    Hid dcpl(H5Pcreate(H5P_DATASET_CREATE));
    if (!made(dcpl) || !ok(H5Pset_obj_track_times(dcpl.get(), 0)) ||
        !ok(H5Pset_dset_no_attrs_hint(dcpl.get(), 1)))
      return Hid();
    return dcpl;
  }

  bool attr(hid_t obj, const char* name, const std::string& value);
  bool text(hid_t loc, const char* name, const std::string& value);
  // A group with room in its header for `links` members and `attrs`
  // attributes (NX_class among them).
  Hid group(hid_t loc, const char* name, const char* nx_class, unsigned links, unsigned attrs = 1);
  bool write_scan(int ref, const std::string& gname);
};

namespace {

// Creates a dataset of `rows` elements (at most `max_rows`, unlimited when
// it is H5S_UNLIMITED) with the creation properties `dcpl`.
Hid create_dataset(Hdf5Export::Impl& x, hid_t loc, const char* name, hid_t type, hsize_t rows,
                   hsize_t max_rows, hid_t dcpl) {
  Hid space(H5Screate_simple(1, &rows, &max_rows));
  if (!x.made(space)) return Hid();
  Hid d(H5Dcreate2(loc, name, type, space.get(), H5P_DEFAULT, dcpl, H5P_DEFAULT));
  x.made(d);
  return d;
}

// Writes `n` elements from `buf` at row `start` of the dataset.
bool write_rows(Hdf5Export::Impl& x, hid_t dset, hid_t mem_type, hsize_t start, hsize_t n,
                const void* buf) {
  Hid fspace(H5Dget_space(dset));
  Hid mspace(H5Screate_simple(1, &n, nullptr));
  return x.made(fspace) && x.made(mspace) &&
         x.ok(H5Sselect_hyperslab(fspace.get(), H5S_SELECT_SET, &start, nullptr, &n, nullptr)) &&
         x.ok(H5Dwrite(dset, mem_type, mspace.get(), fspace.get(), x.dxpl.get(), buf));
}

// A string dataset of lines. Lines are written a batch at a time; when all
// of them fit one batch (the usual header) the dataset is made at its final
// size in one write.
class LineList {
 public:
  LineList(Hdf5Export::Impl& x, hid_t loc, const char* name) : x_(x), loc_(loc), name_(name) {}

  bool add(std::string_view line) {
    lines_.emplace_back(line);
    bytes_ += line.size() + 16;
    return lines_.size() < kLineBatch && bytes_ < kLineBatchBytes ? true : flush(true);
  }

  bool finish() { return flush(false); }

 private:
  bool flush(bool more) {
    hsize_t n = lines_.size();
    // No lines (most scans' comments): a copy of an empty dataset made
    // once costs half as much as making one, the library's copy of the
    // creation properties for strings included.
    if (!dset_ && !more && n == 0) {
      if (!x_.no_lines) {
        const hsize_t zero = 0;
        Hid space(H5Screate_simple(1, &zero, &zero));
        x_.no_lines = Hid(H5Dcreate_anon(x_.file.get(), x_.str_ascii.get(), space.get(),
                                         x_.dcpl_plain.get(), H5P_DEFAULT));
        if (!x_.made(space) || !x_.made(x_.no_lines)) return false;
      }
      return x_.ok(H5Ocopy(x_.no_lines.get(), ".", loc_, name_, H5P_DEFAULT, H5P_DEFAULT));
    }
    if (!dset_) {
      hsize_t max = more ? H5S_UNLIMITED : n;
      hid_t dcpl = more                                  ? x_.dcpl_lines.get()
                   : n > 0 && n * sizeof(hvl_t) <= 32768 ? x_.dcpl_compact.get()
                                                         : x_.dcpl_plain.get();
      dset_ = create_dataset(x_, loc_, name_, x_.str_ascii.get(), n, max, dcpl);
      if (!dset_) return false;
    } else {
      hsize_t dims = written_ + n;
      if (n > 0 && !x_.ok(H5Dset_extent(dset_.get(), &dims))) return false;
    }
    if (n == 0) return true;
    std::vector<const char*> ptrs;
    ptrs.reserve(lines_.size());
    for (const std::string& s : lines_) ptrs.push_back(s.c_str());
    if (!write_rows(x_, dset_.get(), x_.str_ascii.get(), written_, n, ptrs.data())) return false;
    written_ += n;
    lines_.clear();
    bytes_ = 0;
    return true;
  }

  Hdf5Export::Impl& x_;
  hid_t loc_;
  const char* name_;
  Hid dset_;
  std::vector<std::string> lines_;
  size_t bytes_ = 0;
  hsize_t written_ = 0;
};

// True when every value reads back from float32 as the same double, bit
// for bit (NaN, infinities and -0 included).
bool fits_float32(const double* v, size_t n) {
  for (size_t k = 0; k < n; k++) {
    const double back = static_cast<float>(v[k]);
    if (memcmp(&back, &v[k], sizeof back) != 0) return false;
  }
  return true;
}

// The measurement group: one dataset per column, rows streamed in through a
// buffer of at most kColumnBufferBytes. A scan whose rows all fit the buffer
// is written at the end, each column contiguous at its final size, as
// float32 when every value of the column is exactly a float32 (counts,
// whole numbers below 2^24, steps of powers of two) and else as float64.
// Longer scans go to chunked float64 datasets made with the row count the
// index gives and shrunk at the end when the file held fewer.
class Measurement {
 public:
  Measurement(Hdf5Export::Impl& x, hid_t loc) : x_(x), loc_(loc) {}

  // `ncols` columns to begin with, named by `labels` where there is one;
  // the scan has at most `rows` rows.
  bool start(size_t ncols, std::vector<std::string> labels, int64_t rows) {
    labels_ = std::move(labels);
    rows_ = rows > 0 ? hsize_t(rows) : 0;
    if (ncols > kMaxColumns) ncols = kMaxColumns;
    size_t fit = kColumnBufferBytes / (sizeof(double) * (ncols > 0 ? ncols : 1));
    chunk_rows_ = kChunkRows;
    if (rows_ < chunk_rows_) chunk_rows_ = size_t(rows_ > 0 ? rows_ : 1);
    if (fit < chunk_rows_) chunk_rows_ = fit;
    cap_rows_ = chunk_rows_;
    return widen(ncols);
  }

  bool add_row(const std::vector<double>& v) {
    if (written_ + buffered_ >= rows_) return true;  // never more than the index counted
    if (v.size() > cols_.size()) {
      if (v.size() > kMaxColumns) dropped_ = true;
      if (!widen(v.size() < kMaxColumns ? v.size() : kMaxColumns)) return false;
    }
    size_t n = v.size() < cols_.size() ? v.size() : cols_.size();
    for (size_t c = 0; c < n; c++) cols_[c].buf[buffered_] = v[c];
    for (size_t c = n; c < cols_.size(); c++) cols_[c].buf[buffered_] = NAN;
    // The whole scan in the buffer waits for finish().
    if (++buffered_ < cap_rows_ || (written_ == 0 && buffered_ == rows_)) return true;
    return flush();
  }

  bool finish() {
    if (written_ == 0) return write_whole();
    if (!flush()) return false;
    for (Column& col : cols_) {
      if (col.exists && written_ == rows_) continue;
      Hid d = open(col);
      if (!d || (written_ < rows_ && !x_.ok(H5Dset_extent(d.get(), &written_)))) return false;
    }
    return true;
  }

  size_t count() const { return cols_.size(); }
  const std::string& name(size_t c) const { return cols_[c].name; }
  // Column `c` is wanted again after finish(): kept open if its dataset is
  // made then.
  void keep(size_t c) { cols_[c].keep = true; }
  // The dataset of column `c`, after finish().
  Hid dataset(size_t c) {
    if (cols_[c].kept) return std::move(cols_[c].kept);
    Hid d(H5Dopen2(loc_, cols_[c].name.c_str(), H5P_DEFAULT));
    x_.made(d);
    return d;
  }
  bool dropped() const { return dropped_; }

 private:
  struct Column {
    std::string name;
    std::string label;    // as written, empty when the column has none
    bool exists = false;  // its dataset has been made
    bool keep = false;    // wanted open after finish()
    Hid kept;
    std::vector<double> buf;
  };

  // Adds columns up to `ncols`; the rows already buffered read NaN there.
  bool widen(size_t ncols) {
    size_t fit = kColumnBufferBytes / (sizeof(double) * (ncols > 0 ? ncols : 1));
    if (fit < cap_rows_) {
      if (!flush()) return false;
      cap_rows_ = fit > 0 ? fit : 1;
      for (Column& col : cols_) {
        col.buf.resize(cap_rows_);
        col.buf.shrink_to_fit();
      }
    }
    while (cols_.size() < ncols) {
      Column col;
      size_t c = cols_.size();
      col.label = c < labels_.size() ? labels_[c] : "";
      col.name = unique_name(col.label.empty() ? "col" + std::to_string(c + 1) : col.label, &used_);
      col.buf.assign(cap_rows_, NAN);
      cols_.push_back(std::move(col));
    }
    return true;
  }

  // The name is the label unless it had to be changed.
  static bool renamed(const Column& col) { return !col.label.empty() && col.label != col.name; }
  bool name_attr(const Column& col, hid_t d) {
    return !renamed(col) || x_.attr(d, "long_name", col.label);
  }

  // The buffered rows, all the scan has, written once: no chunk index, no
  // fill value. The columns are made with the library's default creation
  // properties, which it uses without copying them for each dataset (a
  // third of the cost of making one); their headers then hold modification
  // times. The file is set to make these headers no larger than their
  // messages, except for columns that get an attribute.
  bool write_whole() {
    const hsize_t n = buffered_;
    Hid space(H5Screate_simple(1, &n, &n));
    if (!x_.made(space)) return false;
    for (Column& col : cols_) {
      const bool f32 = n > 0 && fits_float32(col.buf.data(), buffered_);
      const bool attrs = col.keep || renamed(col);
      if (attrs && !x_.ok(H5Fset_dset_no_attrs_hint(x_.file.get(), 0))) return false;
      Hid d(H5Dcreate2(loc_, col.name.c_str(), f32 ? H5T_IEEE_F32LE : H5T_IEEE_F64LE, space.get(),
                       H5P_DEFAULT, H5P_DATASET_CREATE_DEFAULT, H5P_DEFAULT));
      if (attrs && !x_.ok(H5Fset_dset_no_attrs_hint(x_.file.get(), 1))) return false;
      if (!x_.made(d) || !name_attr(col, d.get())) return false;
      if (n > 0) {
        void* p = col.buf.data();
        if (f32) {  // narrowed in place, each float over a double already read
          for (size_t k = 0; k < n; k++) {
            const float v = static_cast<float>(col.buf[k]);
            memcpy(static_cast<char*>(p) + k * sizeof v, &v, sizeof v);
          }
        }
        if (!x_.ok(H5Dwrite(d.get(), f32 ? H5T_NATIVE_FLOAT : H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL,
                            H5P_DEFAULT, p)))
          return false;
      }
      if (col.keep) col.kept = std::move(d);
    }
    written_ = n;
    buffered_ = 0;
    return true;
  }

  // The column's chunked dataset, made on first use. A dataset is open only
  // while it is written: an open one holds some KiB of the library's
  // memory, and a scan may have many columns.
  Hid open(Column& col) {
    if (col.exists) {
      Hid d(H5Dopen2(loc_, col.name.c_str(), H5P_DEFAULT));
      x_.made(d);
      return d;
    }
    if (!dcpl_ && !make_dcpl()) return Hid();
    Hid d = create_dataset(x_, loc_, col.name.c_str(), H5T_IEEE_F64LE, rows_, rows_, dcpl_.get());
    col.exists = bool(d);
    return d && name_attr(col, d.get()) ? std::move(d) : Hid();
  }

  // Chunks of the rows the buffer holds, NaN where the file holds fewer
  // rows than the index counted; long scans compressed.
  bool make_dcpl() {
    dcpl_ = x_.new_dcpl();
    hsize_t chunk = chunk_rows_;
    double nan = NAN;
    if (!dcpl_ || !x_.ok(H5Pset_chunk(dcpl_.get(), 1, &chunk)) ||
        !x_.ok(H5Pset_fill_value(dcpl_.get(), H5T_NATIVE_DOUBLE, &nan)))
      return false;
    bool compress = rows_ >= kCompressRows && H5Zfilter_avail(H5Z_FILTER_DEFLATE) > 0 &&
                    H5Zfilter_avail(H5Z_FILTER_SHUFFLE) > 0;
    return !compress ||
           (x_.ok(H5Pset_shuffle(dcpl_.get())) && x_.ok(H5Pset_deflate(dcpl_.get(), 1)));
  }

  bool flush() {
    if (buffered_ == 0) return true;
    for (Column& col : cols_) {
      Hid d = open(col);
      if (!d || !write_rows(x_, d.get(), H5T_NATIVE_DOUBLE, written_, buffered_, col.buf.data()))
        return false;
    }
    written_ += buffered_;
    buffered_ = 0;
    return true;
  }

  Hdf5Export::Impl& x_;
  hid_t loc_;
  std::vector<std::string> labels_;
  std::vector<Column> cols_;
  std::set<std::string> used_;
  Hid dcpl_;
  hsize_t rows_ = 0;
  size_t chunk_rows_ = 1, cap_rows_ = 1, buffered_ = 0;
  hsize_t written_ = 0;
  bool dropped_ = false;
};

// The spectra of a scan: for each analyser a group instrument/mca_N
// (NXdetector) holding `data`, points x channels, one chunk a point,
// compressed, with the channel numbers, calibration and times the header
// gives, and measurement/mca_N linking its data and the group. Whole
// numbers are stored as 32- or 64-bit integers, anything else as float64;
// where a point has no spectrum, or a shorter one, the row holds the fill
// value (-1, or NaN for float64).
class McaWriter {
 public:
  McaWriter(Hdf5Export::Impl& x, hid_t instrument, hid_t meas)
      : x_(x), instrument_(instrument), meas_(meas) {}

  bool started() const { return started_; }

  // Makes the datasets for the shape the scan's spectra have, `rows` points
  // at most.
  bool start(const ScanSpectra& sp, hsize_t rows) {
    started_ = true;
    rows_ = rows;
    for (size_t n = 0; n < sp.analysers.size(); n++) {
      const SpectrumShape& shape = sp.analysers[n];
      Analyser a;
      a.width = hsize_t(shape.width);
      // Whole numbers of up to 15 digits read exactly as doubles.
      a.kind = !shape.integers      ? kFloat
               : shape.digits <= 9  ? kInt32
               : shape.digits <= 15 ? kInt64
                                    : kFloat;
      if (a.width > 0 && rows_ > 0 && !make(n, sp.header.analyser(n), &a)) return false;
      // The buffer is shared by the analysers.
      const size_t row_bytes = 8 * size_t(a.width) * sp.analysers.size();
      a.rows_per_flush = std::max<size_t>(1, kSpectrumBufferBytes / std::max<size_t>(1, row_bytes));
      analysers_.push_back(std::move(a));
    }
    return true;
  }

  // The spectra of the point in row `row`.
  bool add(hsize_t row, const Spectrum* s, size_t n) {
    if (row >= rows_) return true;
    for (size_t k = 0; k < analysers_.size(); k++) {
      Analyser& a = analysers_[k];
      if (!a.data) continue;
      if (a.buffered == 0) a.first_row = row;
      const size_t at = a.buffered * size_t(a.width);
      a.values.resize(at + size_t(a.width));
      const Spectrum* here = k < n ? &s[k] : nullptr;
      size_t have = here ? here->counts.size() : 0;
      if (have > a.width) have = size_t(a.width);
      for (size_t c = 0; c < have; c++) a.values[at + c] = here->counts[c];
      for (size_t c = have; c < a.width; c++) a.values[at + c] = fill(a.kind);
      if (here && !here->complete) cut_++;
      if (++a.buffered >= a.rows_per_flush && !flush(a)) return false;
    }
    return true;
  }

  // Writes what is buffered and trims the datasets to the `rows` written.
  bool finish(hsize_t rows) {
    for (size_t n = 0; n < analysers_.size(); n++) {
      Analyser& a = analysers_[n];
      if (!a.data) continue;
      if (!flush(a)) return false;
      hsize_t dims[2] = {rows < rows_ ? rows : rows_, a.width};
      if (dims[0] < rows_ && !x_.ok(H5Dset_extent(a.data.get(), dims))) return false;
      a.data.reset();
      if (!link(n, a)) return false;
      a.group.reset();
    }
    return true;
  }

  int64_t cut() const { return cut_; }

  // The spectra of the points from the first that has any, held while the
  // shape of the scan's spectra is not known, so that a scan is read once.
  // False when they outgrow kSpectrumBufferBytes: the shape is then to be
  // surveyed and nothing held is lost (start(), then replay()).
  bool holding() const { return !held_.empty(); }
  bool hold(hsize_t row, const Spectrum* s, size_t n) {
    held_.push_back({row, std::vector<Spectrum>(s, s + n)});
    held_bytes_ += sizeof(Held) + n * sizeof(Spectrum);
    if (shape_.size() < n) shape_.resize(n);
    for (size_t k = 0; k < n; k++) {
      SpectrumShape& a = shape_[k];
      a.width = std::max(a.width, int64_t(s[k].counts.size()));
      a.integers = a.integers && s[k].integers;
      a.digits = std::max(a.digits, s[k].digits);
      held_bytes_ += s[k].counts.size() * sizeof(double);
    }
    return held_bytes_ <= kSpectrumBufferBytes;
  }
  // The shape of the spectra held.
  const std::vector<SpectrumShape>& held_shape() const { return shape_; }
  // Adds the spectra held, after start().
  bool replay() {
    for (const Held& h : held_)
      if (!add(h.row, h.spectra.data(), h.spectra.size())) return false;
    held_.clear();
    return true;
  }

 private:
  enum Kind { kInt32, kInt64, kFloat };
  struct Held {
    hsize_t row;
    std::vector<Spectrum> spectra;
  };
  struct Analyser {
    Hid group, data;
    hsize_t width = 0;
    Kind kind = kFloat;
    std::vector<double> values;  // rows buffered, each `width` values
    size_t buffered = 0, rows_per_flush = 1;
    hsize_t first_row = 0;
  };

  static double fill(Kind k) { return k == kFloat ? NAN : -1.0; }

  bool make(size_t n, const McaInfo& info, Analyser* a) {
    const std::string name = "mca_" + std::to_string(n);
    Hid g = x_.group(instrument_, name.c_str(), "NXdetector", 6);
    if (!g) return false;
    Hid dcpl = x_.new_dcpl();
    if (!dcpl) return false;
    hsize_t dims[2] = {rows_, a->width}, chunk[2] = {1, a->width};
    hid_t file_type = a->kind == kInt32   ? H5T_STD_I32LE
                      : a->kind == kInt64 ? H5T_STD_I64LE
                                          : H5T_IEEE_F64LE;
    const double f = fill(a->kind);
    const int64_t fi = -1;
    if (!x_.ok(H5Pset_chunk(dcpl.get(), 2, chunk)) ||
        !x_.ok(a->kind == kFloat ? H5Pset_fill_value(dcpl.get(), H5T_NATIVE_DOUBLE, &f)
                                 : H5Pset_fill_value(dcpl.get(), H5T_NATIVE_INT64, &fi)))
      return false;
    if (H5Zfilter_avail(H5Z_FILTER_DEFLATE) > 0 && H5Zfilter_avail(H5Z_FILTER_SHUFFLE) > 0 &&
        (!x_.ok(H5Pset_shuffle(dcpl.get())) || !x_.ok(H5Pset_deflate(dcpl.get(), 1))))
      return false;
    Hid space(H5Screate_simple(2, dims, dims));
    if (!x_.made(space)) return false;
    a->data = Hid(
        H5Dcreate2(g.get(), "data", file_type, space.get(), H5P_DEFAULT, dcpl.get(), H5P_DEFAULT));
    // Viewers draw each row as a curve.
    if (!x_.made(a->data) || !x_.attr(a->data.get(), "interpretation", "spectrum")) return false;
    if (info.has_chann) {
      std::vector<int64_t> ch(a->width);
      for (hsize_t k = 0; k < a->width; k++) ch[k] = info.channel(int64_t(k));
      if (!vector(g.get(), "channels", H5T_STD_I64LE, H5T_NATIVE_INT64, ch.size(), ch.data()))
        return false;
    }
    if (info.has_calib &&
        !vector(g.get(), "calibration", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 3, info.calib))
      return false;
    static const char* const kTimes[] = {"preset_time", "live_time", "elapsed_time"};
    for (int k = 0; k < info.ctimes; k++)
      if (!scalar(g.get(), kTimes[k], info.ctime[k])) return false;
    a->group = std::move(g);
    return true;
  }

  // measurement/mca_N, after the columns: the data and the group it
  // belongs to.
  bool link(size_t n, const Analyser& a) {
    const std::string name = "mca_" + std::to_string(n);
    std::string link = name;
    for (int k = 2; H5Lexists(meas_, link.c_str(), H5P_DEFAULT) > 0; k++)
      link = name + "_" + std::to_string(k);
    Hid m = x_.group(meas_, link.c_str(), "NXcollection", 2);
    hid_t g = a.group.get();
    return m && x_.ok(H5Lcreate_hard(g, "data", m.get(), "data", H5P_DEFAULT, H5P_DEFAULT)) &&
           x_.ok(H5Lcreate_hard(g, ".", m.get(), "info", H5P_DEFAULT, H5P_DEFAULT));
  }

  bool vector(hid_t loc, const char* name, hid_t file_type, hid_t mem_type, hsize_t n,
              const void* buf) {
    Hid space(H5Screate_simple(1, &n, nullptr));
    if (!x_.made(space)) return false;
    Hid d(H5Dcreate2(loc, name, file_type, space.get(), H5P_DEFAULT,
                     n * 8 <= 32768 ? x_.dcpl_compact.get() : x_.dcpl_plain.get(), H5P_DEFAULT));
    return x_.made(d) && x_.ok(H5Dwrite(d.get(), mem_type, H5S_ALL, H5S_ALL, H5P_DEFAULT, buf));
  }

  bool scalar(hid_t loc, const char* name, double v) {
    Hid space(H5Screate(H5S_SCALAR));
    if (!x_.made(space)) return false;
    Hid d(H5Dcreate2(loc, name, H5T_IEEE_F64LE, space.get(), H5P_DEFAULT, x_.dcpl_compact.get(),
                     H5P_DEFAULT));
    return x_.made(d) &&
           x_.ok(H5Dwrite(d.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, &v));
  }

  bool flush(Analyser& a) {
    if (a.buffered == 0) return true;
    hsize_t start[2] = {a.first_row, 0}, count[2] = {hsize_t(a.buffered), a.width};
    Hid fspace(H5Dget_space(a.data.get()));
    Hid mspace(H5Screate_simple(2, count, nullptr));
    if (!x_.made(fspace) || !x_.made(mspace) ||
        !x_.ok(H5Sselect_hyperslab(fspace.get(), H5S_SELECT_SET, start, nullptr, count, nullptr)))
      return false;
    herr_t r;
    const size_t n = a.buffered * size_t(a.width);
    if (a.kind == kFloat) {
      r = H5Dwrite(a.data.get(), H5T_NATIVE_DOUBLE, mspace.get(), fspace.get(), H5P_DEFAULT,
                   a.values.data());
    } else if (a.kind == kInt32) {
      std::vector<int32_t> v(n);
      for (size_t k = 0; k < n; k++) v[k] = int32_t(a.values[k]);
      r = H5Dwrite(a.data.get(), H5T_NATIVE_INT32, mspace.get(), fspace.get(), H5P_DEFAULT,
                   v.data());
    } else {
      std::vector<int64_t> v(n);
      for (size_t k = 0; k < n; k++) v[k] = int64_t(a.values[k]);
      r = H5Dwrite(a.data.get(), H5T_NATIVE_INT64, mspace.get(), fspace.get(), H5P_DEFAULT,
                   v.data());
    }
    a.buffered = 0;
    a.values.clear();
    return x_.ok(r);
  }

  Hdf5Export::Impl& x_;
  hid_t instrument_, meas_;
  bool started_ = false;
  hsize_t rows_ = 0;
  std::vector<Analyser> analysers_;
  int64_t cut_ = 0;
  std::vector<Held> held_;
  size_t held_bytes_ = 0;
  std::vector<SpectrumShape> shape_;
};

// The 1-based column `pos` of a scan of `ncol` columns as the column reader
// resolves it, as a 0-based index; -1 when the scan has no such column.
long resolve_column(int pos, int ncol, size_t have) {
  int64_t c = pos < 0 ? int64_t(pos) + 1 + ncol : pos;
  if (c < 1) c = 1;
  return uint64_t(c) <= have ? long(c - 1) : -1;
}

}  // namespace

bool Hdf5Export::Impl::attr(hid_t obj, const char* name, const std::string& value) {
  hid_t type = str_type(value);
  Hid a(H5Acreate2(obj, name, type, scalar.get(), H5P_DEFAULT, H5P_DEFAULT));
  const char* p = value.c_str();
  return made(a) && ok(H5Awrite(a.get(), type, &p));
}

bool Hdf5Export::Impl::text(hid_t loc, const char* name, const std::string& value) {
  hid_t type = str_type(value);
  Hid d(H5Dcreate2(loc, name, type, scalar.get(), H5P_DEFAULT, dcpl_compact.get(), H5P_DEFAULT));
  const char* p = value.c_str();
  return made(d) && ok(H5Dwrite(d.get(), type, H5S_ALL, H5S_ALL, dxpl.get(), &p));
}

Hid Hdf5Export::Impl::group(hid_t loc, const char* name, const char* nx_class, unsigned links,
                            unsigned attrs) {
  // A header made too small for what goes into it gets a second block,
  // which costs as much again to make and to write as the first. The
  // library sizes it by the links expected; a string attribute takes the
  // room of about three links.
  const unsigned room = std::min(links + 3 * attrs, kCompactLinks);
  Hid& sized = gcpl_sized[room];
  if (!sized) {
    sized = Hid(H5Pcopy(gcpl.get()));
    if (!made(sized) || !ok(H5Pset_est_link_info(sized.get(), room, 8))) return Hid();
  }
  Hid g(H5Gcreate2(loc, name, H5P_DEFAULT, sized.get(), H5P_DEFAULT));
  if (!made(g) || !attr(g.get(), "NX_class", nx_class)) return Hid();
  return g;
}

bool Hdf5Export::Impl::begin(const char* name) {
  init_library();
  return choose_target(name) && make_temp() && open_file();
}

// The target's name and what stands there now; refuses what must not be
// replaced.
bool Hdf5Export::Impl::choose_target(const char* name) {
  std::string typed(trim(name ? name : ""));
  if (typed.empty()) {
    std::string base = t.inf_name;
    size_t slash = base.rfind('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    typed = base + ".h5";
  }
  shown = typed;
  if (!t.inf) return fail("no scan file is open");
  scan_file = t.real_path.empty() ? t.inf_name : t.real_path;

  // The file replaced is the one named, or the one a link of the user's
  // names; the earlier file must be the user's own regular file.
  if (!out.begin(typed, 0666, FileReplacement::kKeepMode, ".", ".")) return fail(out.error());
  open = true;
  if (out.old_fd() < 0) return true;
  if (t.inf->is(out.old_stat())) return fail("it is the scan file being read");
  // The library reads the earlier file through the descriptor opened here.
  earlier_path = "/proc/self/fd/" + std::to_string(out.old_fd());
  if (!check_earlier()) return false;
  earlier = true;
  return true;
}

// The new file, a copy of the earlier file if any.
bool Hdf5Export::Impl::make_temp() {
  // The scans of an earlier file are kept by working on a copy of it.
  int err = earlier ? copy_fd(out.old_fd(), out.fd()) : 0;
  return err ? fail(strerror(err)) : true;
}

bool Hdf5Export::Impl::open_file() {
  Hid fapl(H5Pcreate(H5P_FILE_ACCESS));
  if (!made(fapl) || !ok(H5Pset_libver_bounds(fapl.get(), H5F_LIBVER_V110, H5F_LIBVER_LATEST)))
    return false;
  // Chunks go to the file as they are written and the metadata cache is
  // kept small, so memory does not grow with the file. Objects are not
  // evicted from it as they close: that writes each one's metadata at once
  // and doubles the time of a file of short scans.
  H5AC_cache_config_t mdc;
  mdc.version = H5AC__CURR_CACHE_CONFIG_VERSION;
  if (!ok(H5Pget_mdc_config(fapl.get(), &mdc))) return false;
  mdc.set_initial_size = 1;
  mdc.initial_size = 1 << 20;
  mdc.min_size = 1 << 20;
  mdc.max_size = 4 << 20;
  if (!ok(H5Pset_mdc_config(fapl.get(), &mdc)) || !ok(H5Pset_cache(fapl.get(), 0, 1, 0, 1.0)))
    return false;
  // Metadata and small datasets are placed in blocks of 64 KiB rather than
  // 2 KiB: fewer gaps between them, a slightly smaller file.
  if (!ok(H5Pset_meta_block_size(fapl.get(), 64 << 10)) ||
      !ok(H5Pset_small_data_block_size(fapl.get(), 64 << 10)))
    return false;
  // The library writes through our descriptor of the file, its small
  // writes joined.
  io.fd = out.fd();
  if (!set_fapl_held(fapl.get(), &io)) return fail_h5();
  if (earlier) {
    file = Hid(H5Fopen(out.temp_path().c_str(), H5F_ACC_RDWR, fapl.get()));
  } else {
    // The space of a scan replaced later is kept track of in the file and
    // used again.
    Hid fcpl(H5Pcreate(H5P_FILE_CREATE));
    if (!made(fcpl) ||
        !ok(H5Pset_file_space_strategy(fcpl.get(), H5F_FSPACE_STRATEGY_FSM_AGGR, 1, 1)) ||
        !ok(H5Pset_link_creation_order(fcpl.get(), kLinkOrder)))
      return false;
    file = Hid(H5Fcreate(out.temp_path().c_str(), H5F_ACC_TRUNC, fcpl.get(), fapl.get()));
  }
  // Dataset headers no larger than their messages, for the datasets made
  // with the default creation properties.
  if (!made(file) || !ok(H5Fset_dset_no_attrs_hint(file.get(), 1))) return false;

  scalar = Hid(H5Screate(H5S_SCALAR));
  if (!made(scalar)) return false;
  str_utf8 = Hid(H5Tcopy(H5T_C_S1));
  str_ascii = Hid(H5Tcopy(H5T_C_S1));
  // The library's conversion buffers default to 1 MiB each, allocated and
  // cleared for every write of strings; a few KiB of our own do (larger
  // batches go through in parts).
  dxpl = Hid(H5Pcreate(H5P_DATASET_XFER));
  gcpl = Hid(H5Pcreate(H5P_GROUP_CREATE));
  hsize_t chunk = kLineBatch;
  if (!made(gcpl) || !ok(H5Pset_obj_track_times(gcpl.get(), 0)) ||
      !ok(H5Pset_link_creation_order(gcpl.get(), kLinkOrder)) ||
      !ok(H5Pset_link_phase_change(gcpl.get(), kCompactLinks, kCompactLinks * 3 / 4)) ||
      !(dcpl_compact = new_dcpl()) || !ok(H5Pset_layout(dcpl_compact.get(), H5D_COMPACT)) ||
      !(dcpl_plain = new_dcpl()) || !(dcpl_lines = new_dcpl()) ||
      !ok(H5Pset_chunk(dcpl_lines.get(), 1, &chunk)))
    return false;
  return made(str_utf8) && made(str_ascii) && made(dxpl) &&
         ok(H5Pset_buffer(dxpl.get(), kConversionBytes, conversion.data(),
                          conversion.data() + kConversionBytes)) &&
         ok(H5Tset_size(str_utf8.get(), H5T_VARIABLE)) &&
         ok(H5Tset_cset(str_utf8.get(), H5T_CSET_UTF8)) &&
         ok(H5Tset_size(str_ascii.get(), H5T_VARIABLE));
}

// The earlier file must be one of ours, made from this scan file.
bool Hdf5Export::Impl::check_earlier() {
#if H5_VERSION_GE(1, 12, 0)
  htri_t is_h5 = H5Fis_accessible(earlier_path.c_str(), H5P_DEFAULT);
#else
  htri_t is_h5 = H5Fis_hdf5(earlier_path.c_str());
#endif
  if (is_h5 < 0) return fail_h5();
  if (is_h5 == 0) return fail("not an HDF5 file");
  Hid old(H5Fopen(earlier_path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT));
  if (!made(old)) return false;
  if (H5Aexists(old.get(), "scan_file") <= 0)
    return fail("not written by kurvatab (its root names no scan file)");
  Hid a(H5Aopen(old.get(), "scan_file", H5P_DEFAULT));
  Hid type(H5Aget_type(a.get()));
  if (!made(a) || !made(type)) return false;
  if (H5Tget_class(type.get()) != H5T_STRING || H5Tis_variable_str(type.get()) <= 0)
    return fail("its root's scan_file is not a string");
  Hid mem(H5Tcopy(type.get()));
  char* value = nullptr;
  if (!made(mem) || !ok(H5Aread(a.get(), mem.get(), &value))) return false;
  std::string made_from = value ? value : "";
  H5free_memory(value);
  if (made_from != scan_file) return fail("it was made from another scan file, " + made_from);
  return true;
}

// "<scan number>.<occurrence>": the occurrence counts the scans of the same
// number from the start of the file.
std::string Hdf5Export::Impl::group_name(int ref) {
  if (occurrence.size() != size_t(t.Indexed)) {
    occurrence.assign(size_t(t.Indexed), 0);
    std::unordered_map<int, int> seen;
    for (int i = 0; i < t.Indexed; i++) occurrence[size_t(i)] = ++seen[t.Index[size_t(i)].scan];
  }
  return std::to_string(t.Index[size_t(ref)].scan) + "." + std::to_string(occurrence[size_t(ref)]);
}

// The texts of the run of #O (`key`) or #o lines nearest before `hseek`,
// joined by two blanks; empty when there is none. A loop walks forward, so
// each search only goes back to the scan searched before.
std::string Hdf5Export::Impl::motors_before(int64_t hseek, char key) {
  const int k = key == 'o';
  int64_t floor = motors_at[k] >= 0 && motors_at[k] <= hseek ? motors_at[k] : 0;
  if (floor == 0) motor_text[k].clear();
  motor_names_before(*t.inf, key, hseek, floor, kMaxMotorText, &motor_text[k]);
  motors_at[k] = hseek;
  return motor_text[k];
}

bool Hdf5Export::Impl::write_scan(int ref, const std::string& gname) {
  scanRef& r = t.Index[size_t(ref)];
  hid_t f = file.get();
  if (H5Lexists(f, gname.c_str(), H5P_DEFAULT) > 0 && !ok(H5Ldelete(f, gname.c_str(), H5P_DEFAULT)))
    return false;
  Hid entry = group(f, gname.c_str(), "NXentry", 6, 2);
  if (!entry) return false;
  Hid instrument = group(entry.get(), "instrument", "NXinstrument", 3);
  Hid specfile = instrument ? group(instrument.get(), "specfile", "NXcollection", 2) : Hid();
  if (!specfile) return false;

  // The header: the lines from #S up to the first data line, without the
  // spectra that may stand before it.
  std::string title, date, l_text, o_text, mnemonics;
  std::vector<double> positions;
  bool positions_ok = true, cut = false;
  {
    LineList header(*this, specfile.get(), "scan_header");
    int64_t end = r.vseek > 0 ? r.vseek : r.eseek;
    ScanReader in(t.inf.get(), r.hseek);
    DataLineRule rule;
    std::string_view line;
    bool first = true;
    while (in.tell() < end && in.next(&line)) {
      cut |= in.line_is_cut();
      in.skip_rest();
      if (rule.next(line[0], [&] { return in.last_char() == '\\'; }) == LineKind::kSpectrum)
        continue;
      std::string_view l = line_body(line);
      if (first && is_key(l, 'S')) {
        title = scan_line_title(l);
      } else if (is_key(l, 'D') && date.empty()) {
        date = date_text(l);
      } else if (is_key(l, 'L')) {
        l_text = l.substr(2);
      } else if (is_key(l, 'O') && positions_ok) {
        add_motor_names(l, &o_text);
        positions_ok = o_text.size() <= kMaxMotorText;
      } else if (is_key(l, 'o') && positions_ok) {
        add_motor_names(l, &mnemonics);
        positions_ok = mnemonics.size() <= kMaxMotorText;
      } else if (is_key(l, 'P') && positions_ok) {
        add_positions(l, &positions);
        positions_ok = positions.size() <= kMaxPositioners;
      }
      first = false;
      if (!header.add(l)) return false;
    }
    if (!header.finish()) return false;
  }
  if (!text(entry.get(), "title", title)) return false;
  if (!date.empty()) {
    std::string iso = iso_date(date);
    if (!text(entry.get(), "start_time", iso.empty() ? date : iso)) return false;
  }

  // Motor positions, named by the #O lines of the scan or of the header
  // before it; by their mnemonics (#o) when there are none.
  if (!positions.empty() && positions_ok) {
    if (o_text.empty()) o_text = motors_before(r.hseek, 'O');
    if (o_text.empty()) o_text = !mnemonics.empty() ? mnemonics : motors_before(r.hseek, 'o');
    std::vector<std::string> names =
        split_labels(o_text, int(positions.size()), positions.size() + 1);
    if (names.size() == positions.size()) {
      Hid pos = group(instrument.get(), "positioners", "NXcollection", unsigned(names.size()));
      if (!pos) return false;
      std::set<std::string> used;
      Hid space(H5Screate(H5S_SCALAR));
      if (!made(space)) return false;
      for (size_t k = 0; k < names.size(); k++) {
        std::string n = unique_name(names[k], &used);
        // Made as the columns of short scans are, see Measurement::write_whole.
        Hid d(H5Dcreate2(pos.get(), n.c_str(), H5T_IEEE_F64LE, space.get(), H5P_DEFAULT,
                         H5P_DATASET_CREATE_DEFAULT, H5P_DEFAULT));
        if (!made(d) ||
            !ok(H5Dwrite(d.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, &positions[k])))
          return false;
        if (n != names[k] && !attr(d.get(), "long_name", names[k])) return false;
      }
    }
  }

  // The data, and the '#' lines among and after them.
  Hid meas =
      group(entry.get(), "measurement", "NXcollection", unsigned(r.ncol_N > 0 ? r.ncol_N : 4));
  if (!meas) return false;
  Measurement m(*this, meas.get());
  McaWriter mca(*this, instrument.get(), meas.get());
  LineList comments(*this, specfile.get(), "comments");
  int ncol = 0;
  bool started = false;
  int64_t left_out = 0;  // spectra behind the last data line
  hsize_t rows = 0;
  int64_t left_out_big = 0;  // spectra past the most a point keeps
  if (r.vseek > 0) {
    PointReader points(t, r, cols);
    points.skip_lines_without_numbers();
    points.keep_spectra();
    for (PointReader::Step step; (step = points.next()) != PointReader::kEnd;) {
      cut |= points.in().line_is_cut();
      if (step == PointReader::kComment) {
        if (!comments.add(line_body(points.line()))) return false;
        continue;
      }
      const std::vector<double>& v = points.values().values;
      if (!started) {
        started = true;
        ncol = points.ncol();
        size_t n = size_t(ncol > 0 ? ncol : 0);
        if (v.size() > n) n = v.size();
        if (!m.start(n, split_labels(l_text, ncol, kMaxColumns), r.lines)) return false;
      }
      if (!m.add_row(v)) return false;
      const hsize_t row = hsize_t(points.data_lines() - 1);
      if (mca.started()) {
        if (!mca.add(row, points.spectra(), points.spectrum_count())) return false;
      } else if ((points.spectrum_count() > 0 || mca.holding()) &&
                 !mca.hold(row, points.spectra(), points.spectrum_count())) {
        // Too many spectra to hold: the scan is read once more for their shape.
        ScanSpectra sp;
        survey_spectra(t, r, &sp);
        if (!mca.start(sp, hsize_t(r.lines)) || !mca.replay()) return false;
      }
    }
    if (mca.holding()) {
      ScanSpectra sp;
      read_mca_header(t, r, &sp.header);
      sp.analysers = mca.held_shape();
      if (!mca.start(sp, hsize_t(r.lines)) || !mca.replay()) return false;
    }
    ScanReader in(t.inf.get(), points.offset());
    std::string_view line;
    DataLineRule rule;
    while (in.tell() < r.eseek && in.next(&line)) {
      cut |= in.line_is_cut();
      const bool continued = rule.in_spectrum();
      const char last = in.last_char();
      if (rule.next(line[0], [last] { return last == '\\'; }) == LineKind::kSpectrum && !continued)
        left_out++;
      in.skip_rest();
      if (line[0] == '#' && !comments.add(line_body(line))) return false;
    }
    rows = hsize_t(points.data_lines());
    left_out_big = points.spectra_left_out();
  }
  if (!started) {
    // No data: empty columns, as many as #N or the labels say.
    std::vector<std::string> labels = split_labels(l_text, r.ncol_N, kMaxColumns);
    ncol = r.ncol_N > 0 ? r.ncol_N : int(labels.size());
    if (!m.start(size_t(ncol), labels, 0)) return false;
  }
  // The plot: y against x of the settings, linked from measurement/.
  // Columns chosen by label are this scan's columns of those names; a scan
  // that lacks one has its data written but no plot (one line says why).
  ColumnChoice wanted = cols, plot_cols;
  if (!normalize) wanted.zlabel.clear();
  std::string why;
  const bool plotted = resolve_columns(t, r, wanted, &plot_cols, &why);
  long y = -1, x = -1, z = -1;
  if (plotted) {
    y = resolve_column(plot_cols.ycol, ncol, m.count());
    x = resolve_column(plot_cols.xcol, ncol, m.count());
    z = normalize ? resolve_column(plot_cols.zcol, ncol, m.count()) : -1;
    for (long c : {y, x, z})
      if (c >= 0 && y >= 0 && x >= 0) m.keep(size_t(c));
  }
  if (!m.finish() || !mca.finish(rows) || !comments.finish()) return false;
  if (m.dropped())
    fprintf(con.out, " scan %s: only the first %zu columns exported\n", gname.c_str(), kMaxColumns);
  if (cut)
    fprintf(con.out, " scan %s: lines longer than %zu bytes kept in part\n", gname.c_str(),
            ScanReader::kMaxHeld);
  if (left_out)
    fprintf(con.out, " scan %s: %lld spectrum(s) after the last data line left out\n",
            gname.c_str(), (long long)left_out);
  if (left_out_big)
    fprintf(con.out,
            " scan %s: %lld spectrum(s) past %zu a point or %zu values left out in part or whole\n",
            gname.c_str(), static_cast<long long>(left_out_big), kMostSpectra, kMostChannels);
  if (mca.cut())
    fprintf(con.out, " scan %s: %lld spectrum(s) cut short, kept as far as they go\n",
            gname.c_str(), (long long)mca.cut());

  if (!plotted) {
    fputs(why.c_str(), con.out);
    return true;
  }
  if (y < 0 || x < 0) return true;
  Hid plot = group(entry.get(), "plot", "NXdata", 3, 3);
  if (!plot || !attr(plot.get(), "signal", m.name(size_t(y))) ||
      !attr(plot.get(), "axes", m.name(size_t(x))) || !attr(entry.get(), "default", "plot"))
    return false;
  std::set<std::string> linked;
  for (long c : {y, x, z}) {
    if (c < 0 || !linked.insert(m.name(size_t(c))).second) continue;
    const char* n = m.name(size_t(c)).c_str();
    Hid d = m.dataset(size_t(c));
    if (!d || !attr(d.get(), "target", "/" + gname + "/measurement/" + n) ||
        !ok(H5Olink(d.get(), plot.get(), n, H5P_DEFAULT, H5P_DEFAULT)))
      return false;
  }
  if (z >= 0) {
    Hid mon = group(entry.get(), "monitor", "NXmonitor", 1);
    if (!mon || !ok(H5Lcreate_hard(meas.get(), m.name(size_t(z)).c_str(), mon.get(), "data",
                                   H5P_DEFAULT, H5P_DEFAULT)))
      return false;
  }
  return true;
}

bool Hdf5Export::Impl::add(int ref) {
  if (failed || !open) return false;
  // Ctrl-C: the file is not written, the earlier one stays as it was.
  if (interrupted()) return fail("stopped by Ctrl-C");
  if (!index_record(t, ref)) {
    error = " " + std::to_string(ref) + " is not a valid index\n";
    return false;
  }
  std::string gname = group_name(ref);
  fprintf(con.out, " writing HDF5 for (i=%d, s=%d) on '%s' as %s\n", ref + 1,
          t.Index[size_t(ref)].scan, shown.c_str(), gname.c_str());
  // What the library has written of the scan goes to the file now, so
  // that a failure is reported with the scan that met it.
  if (!write_scan(ref, gname)) return false;
  if (!flush_held(&io)) return fail_h5();
  written.insert(gname);
  last_group = gname;
  added++;
  return true;
}

bool Hdf5Export::Impl::commit() {
  if (interrupted() && !failed) fail("stopped by Ctrl-C");
  if (failed || !open || added == 0) {  // nothing to add: the earlier file stays as it is
    discard();
    return false;
  }
  hid_t f = file.get();
  H5G_info_t root;
  if (!ok(H5Gget_info(f, &root))) return false;
  long kept = long(root.nlinks) - long(written.size());
  unsigned maj, min, rel;
  H5get_libversion(&maj, &min, &rel);
  const std::string lib =
      std::to_string(maj) + "." + std::to_string(min) + "." + std::to_string(rel);
  const std::pair<const char*, std::string> root_attrs[] = {{"NX_class", "NXroot"},
                                                            {"file_name", shown},
                                                            {"file_time", iso_now()},
                                                            {"creator", "kurvatab"},
                                                            {"creator_version", KURVATAB_VERSION},
                                                            {"scan_file", scan_file},
                                                            {"HDF5_Version", lib},
                                                            {"default", last_group}};
  for (const auto& [name, value] : root_attrs) {
    // An earlier file has them all.
    if ((H5Aexists(f, name) > 0 && !ok(H5Adelete(f, name))) || !attr(f, name, value)) return false;
  }
  no_lines.reset();
  if (!ok(H5Fclose(file.release()))) return false;
  // On disk before it takes the target's place.
  if (!out.commit()) return fail(out.error());
  open = false;
  fprintf(con.out, " HDF5 file '%s': %d scan(s) written", shown.c_str(), added);
  if (earlier) fprintf(con.out, ", %ld kept from the earlier file", kept);
  fputc('\n', con.out);
  return true;
}

Hdf5Export::Hdf5Export(IndexTable& t, const ExportOptions& st, Console& con)
    : impl_(new Impl(t, st, con)) {}
Hdf5Export::~Hdf5Export() = default;
Status Hdf5Export::begin(const std::string& name) {
  return impl_->result(impl_->begin(name.c_str()));
}
Status Hdf5Export::add(int ref) { return impl_->result(impl_->add(ref)); }
Status Hdf5Export::commit() { return impl_->result(impl_->commit()); }
void Hdf5Export::discard() { impl_->discard(); }

Status scan_hdf5(IndexTable& t, const ExportOptions& st, Console& con, int ref, const char* name) {
  if (!index_record(t, ref)) return Status::errorf(" %d is not a valid index\n", ref);
  Hdf5Export job(t, st, con);
  Status s = job.begin(name);
  if (s.ok()) s = job.add(ref);
  return s.ok() ? job.commit() : s;
}
