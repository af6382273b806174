#include "index/index_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/interrupt.h"
#include "base/text.h"
#include "format/data_line.h"
#include "format/header.h"
#include "index/block_reader.h"
#include "index/index_cache.h"
#include "index/plain_lines.h"

namespace {

// The texts' first chunk; each further chunk is twice as large, up to
// kTextChunk: a small file costs little.
constexpr size_t kFirstTextChunk = 512;
constexpr size_t kTextChunk = 64 * 1024;
constexpr size_t kReadBlock = 128 * 1024;  // stays in the cache while it is scanned
constexpr size_t kMinReadBlock = 4 * 1024;
// A pass over this much or more reads ahead on a thread of its own; a
// shorter one would gain less than the thread costs.
constexpr int64_t kReadAheadFrom = 1 << 20;
// How much of a line's start the indexer keeps when the line spans blocks:
// enough for the longest description text plus the "#S" and the number.
constexpr size_t kLineHead = kMaxScanText + 256;
// How much of the last #S line and of the file's end a reindex compares.
constexpr size_t kHeadCheck = 256;
constexpr size_t kTailCheck = 4096;

bool digit19(char c) { return c >= '1' && c <= '9'; }

}  // namespace

const char* TextStore::add(const char* s, size_t n, bool line_feed) {
  const size_t need = n + line_feed + 1;
  if (need > chunk_size_ - chunk_used_) {
    const size_t grown = chunk_size_ == 0 ? kFirstTextChunk : std::min(2 * chunk_size_, kTextChunk);
    const size_t size = std::max(need, grown);
    chunks_.emplace_back(new char[size]);
    chunk_size_ = size;
    chunk_used_ = 0;
  }
  char* d = chunks_.back().get() + chunk_used_;
  memcpy(d, s, n);
  if (line_feed) d[n] = '\n';
  d[need - 1] = '\0';
  chunk_used_ += need;
  used_total_ += need;
  last_size_ = need;
  return d;
}

void TextStore::drop_last() {
  chunk_used_ -= last_size_;
  used_total_ -= last_size_;
  last_size_ = 0;
}

void TextStore::clear() {
  chunks_.clear();
  chunk_used_ = chunk_size_ = used_total_ = last_size_ = 0;
}

scanRef& IndexTable::add_record() {
  if (Indexed >= IndexSize) IndexSize += 512;
  Index.emplace_back();
  Indexed++;
  return Index.back();
}

namespace {

std::string expand_home(const std::string& name, bool* ok) {
  *ok = true;
  if (name.empty() || name[0] != '~') return name;
  const char* home = getenv("HOME");
  if (!home) {
    *ok = false;
    return name;
  }
  return std::string(home) + name.substr(1);
}

void close_file(IndexTable& t) {
  t.inf.reset();
  t.inf_path.clear();
}

// The no-file state, after a file could not be opened.
void no_file(IndexTable& t) {
  t.inf_name = "NO FILE";
  t.Indexed = 0;
  t.Index.clear();
  t.texts.clear();
  t.IndexFileLength = 0;
}

// `path` as seen from the working folder now; unchanged when it is absolute
// already or the working folder cannot be had.
std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return path;
  std::string abs = cwd;
  free(cwd);
  if (abs.empty() || abs.back() != '/') abs += '/';
  return abs + path;
}

}  // namespace

Status index_open(IndexTable& t, const char* name) {
  while (*name == ' ') name++;
  std::string given(name);
  size_t nl = given.find('\n');
  if (nl != std::string::npos) given.resize(nl);
  bool home_ok;
  std::string path = expand_home(given, &home_ok);

  close_file(t);
  t.real_path.clear();
  int err = ENOENT;
  if (home_ok) t.inf = open_scan_file(path, &err);
  if (!t.inf) {
    no_file(t);
    if (err == ENOENT) return Status::errorf(" file %s not found\n", path.c_str());
    if (err == 0)
      return Status::errorf(" file %s can't be read: not a regular file\n", path.c_str());
    return Status::errorf(" file %s can't be read: %s\n", path.c_str(), strerror(err));
  }
  t.inf_name = given;
  if (char* real = realpath(path.c_str(), nullptr)) {
    t.real_path = real;
    free(real);
  }
  t.inf_path = absolute_path(path);
  return Status();
}

void index_use(IndexTable& t, std::unique_ptr<ScanFile> file, const std::string& name) {
  close_file(t);
  t.real_path.clear();
  t.inf = std::move(file);
  t.inf_name = name;
  if (!t.inf) no_file(t);
}

scanRef* index_record(IndexTable& t, int ref) {
  if (!t.inf || ref < 0 || ref >= t.Indexed || size_t(ref) >= t.Index.size()) return nullptr;
  return &t.Index[size_t(ref)];
}

const scanRef* index_record(const IndexTable& t, int ref) {
  return index_record(const_cast<IndexTable&>(t), ref);
}

std::function<bool(const struct stat&)> scan_file_test(const IndexTable& t) {
  return [&t](const struct stat& st) { return t.inf && t.inf->is(st); };
}

int index_dir(Console& con, const char* name) {
  while (*name == ' ') name++;
  bool home_ok;
  std::string path = expand_home(name, &home_ok);
  const bool entered = home_ok && chdir(path.c_str()) == 0;
  char* cwd = getcwd(nullptr, 0);
  fprintf(con.out, "current working dir : %s\n", cwd ? cwd : strerror(errno));
  free(cwd);
  return entered ? 0 : -1;
}

void index_free(IndexTable& t) {
  t.Index.clear();
  t.texts.clear();
  t.IndexSize = 0;
}

namespace {

// One pass over the file, one line at a time, by the three-state rules.
class Indexer {
 public:
  explicit Indexer(IndexTable& t) : t_(t) {}

  // Reads the file from `offset` on to its end, or, when `stoppable`, up
  // to the block at which Ctrl-C was seen (then `stopped` is set).
  int64_t run(int64_t offset);

  bool stoppable = false;
  bool stopped = false;
  IndexState state = waithead;
  int64_t lseek = 0;
  int64_t lpos = 0;

 private:
  void line(const char* p, size_t n, int64_t pseek);
  void other_line(const char* p, size_t n, int64_t pseek);
  void open_record(const char* p, size_t n, int64_t pseek);
  void append_head(const char* q, const char* stop);
  const char* lines_of_block(const char* p, const char* end, const char* block, int64_t pos);

  IndexTable& t_;
  scanRef* cur_ = nullptr;    // record of the scan being read
  DataLineRule rule_;         // follows spectra from line to line
  std::string head_;          // start of a line that spans blocks
  bool head_spaces_ = false;  // that line so far is white space only
  bool head_cut_ = false;     // head_ holds only the start of that line
  char head_last_ = '\0';     // its last character that is not white space
  int64_t head_seek_ = -1;    // its offset; -1 when no line is pending
  // The start of the last #S line read (IndexTable::last_head, which is
  // set once the pass ends); last_head_n_ is -1 before the first.
  char last_head_[kHeadCheck];
  int last_head_n_ = -1;
};

// The scan number of the #S line `p` (n bytes, with its line feed if it
// has one), and in *text, *len the description its record keeps without
// its line feed: what follows the number, cut to kMaxScanText - 1
// characters.
int head_fields(const char* p, size_t n, const char** text, size_t* len) {
  const char* end = p + n;
  const int num = scan_number(std::string_view(p, n));
  const char* q = p + 2;
  while (q < end && *q == ' ') q++;
  while (q < end && is_digit(*q)) q++;
  while (q < end && *q == ' ') q++;
  *len = static_cast<size_t>(end - q);
  if (*len > 0 && q[*len - 1] == '\n') --*len;
  if (*len > kMaxScanText - 1) *len = kMaxScanText - 1;
  *text = q;
  return num;
}

void Indexer::open_record(const char* p, size_t n, int64_t pseek) {
  if (t_.Indexed > 0) t_.Index.back().eseek = pseek;
  scanRef& r = t_.add_record();
  const char* text;
  size_t len;
  r.scan = head_fields(p, n, &text, &len);
  r.hseek = pseek;
  last_head_n_ = int(n < kHeadCheck ? n : kHeadCheck);
  memcpy(last_head_, p, size_t(last_head_n_));
  r.lpos = lpos;
  r.cseek = lseek;
  r.txt = t_.texts.add(text, len, true);
  cur_ = &r;
}

inline void Indexer::line(const char* p, size_t n, int64_t pseek) {
  lpos++;
  // The common case first: a data line that starts with a digit.
  if (state == waitend && !rule_.in_spectrum() &&
      (digit19(p[0]) || (p[0] == '-' && n > 1 && digit19(p[1])))) {
    cur_->lines++;
    return;
  }
  other_line(p, n, pseek);
}

void Indexer::other_line(const char* p, size_t n, int64_t pseek) {
  const char c0 = p[0];
  const LineKind kind = rule_.next(c0, [&] {
    return head_cut_ && p == head_.data() ? head_last_ == '\\'
                                          : ends_in_backslash(std::string_view(p, n));
  });
  if (kind == LineKind::kSpectrum) return;
  if (kind == LineKind::kHash) {
    const char c1 = n > 1 ? p[1] : '\0';
    if (state == waitend && c1 == 'S') state = waithead;
    if (state == waitdata && c1 == 'S') state = waithead;
    if (state == waitdata && c1 == 'N') {
      cur_->ncol = cur_->ncol_N = column_count(std::string_view(p, n));
    }
    if (state == waitdata && c1 == 'L') {
      const int64_t d = pseek - cur_->hseek;
      cur_->lhead = d < int64_t(kLabelsFar) ? uint32_t(d) : kLabelsFar;
    }
    if (state == waithead && c1 == 'S') {
      open_record(p, n, pseek);
      state = waitdata;
    }
    return;
  }
  if (kind == LineKind::kNul) {
    if (state == waitend) {
      state = waithead;
      lseek = pseek;
    }
    return;
  }
  if (state == waitdata) {
    cur_->vseek = pseek;
    lseek = pseek;
    state = waitend;
  }
  if (state == waitend && holds_number(std::string_view(p, n))) cur_->lines++;
}

int64_t Indexer::run(int64_t offset) {
  const ScanFile& file = *t_.inf;
  int64_t pos = offset;  // file offset of the block
  const int64_t length = std::max<int64_t>(file.size(), 0);
  const int64_t total = t_.progress ? length : 0;
  if (t_.progress) t_.progress(pos, total, false);
  // A file on disk is read into scratch, no larger than what is left of
  // the file (a file that grows meanwhile is read in blocks of that size);
  // one in memory is read where it lies. A long pass reads a block ahead,
  // into two buffers of half the size: the same memory.
  const bool ahead = length - offset >= kReadAheadFrom;
  const size_t block_size =
      ahead ? kReadBlock / 2
            : static_cast<size_t>(std::clamp<int64_t>(length - offset, int64_t(kMinReadBlock),
                                                      int64_t(kReadBlock)));
  BlockReader blocks(file, offset, block_size, ahead);
  for (;;) {
    std::string_view got_block;
    const int error = blocks.next(&got_block);
    const size_t got = got_block.size();
    if (error && !t_.read_error) {
      t_.read_error = error;
      t_.read_error_at = pos + static_cast<int64_t>(got);
    }
    if (got == 0) break;
    t_.bytes_read += static_cast<int64_t>(got);
    const char* block = got_block.data();
    const char* p = block;
    const char* end = p + got;
    if (head_seek_ >= 0) {
      // Continue the line that began in an earlier block.
      const char* nl = static_cast<const char*>(memchr(p, '\n', got));
      const char* stop = nl ? nl + 1 : end;
      append_head(p, stop);
      p = stop;
      if (nl) {
        line(head_.data(), head_.size(), head_seek_);
        head_seek_ = -1;
      }
    }
    p = lines_of_block(p, end, block, pos);
    if (p < end) {
      // A line that goes on in the next block.
      head_seek_ = pos + (p - block);
      head_.assign(p, 1);
      head_spaces_ = is_space(p[0]);
      head_cut_ = false;
      head_last_ = is_space(p[0]) ? '\0' : p[0];
      append_head(p + 1, end);
    }
    pos += static_cast<int64_t>(got);
    if (t_.progress) t_.progress(pos, total, false);
    if (stoppable && interrupted()) {
      stopped = true;
      break;
    }
  }
  // A last line without a line feed.
  if (head_seek_ >= 0) line(head_.data(), head_.size(), head_seek_);
  head_seek_ = -1;
  if (last_head_n_ >= 0) t_.last_head.assign(last_head_, size_t(last_head_n_));
  if (t_.progress) t_.progress(pos, total, true);
  return pos;
}

// Hands every whole line of [p, end) to line(); returns the start of the
// unfinished line at the end (end when there is none). `block` lies at file
// offset `pos`. While a scan's data are being counted, the lines that begin
// with a digit (or a minus and a digit) are counted in runs without a call
// each.
const char* Indexer::lines_of_block(const char* p, const char* end, const char* block,
                                    int64_t pos) {
  for (;;) {
    if (state == waitend && !rule_.in_spectrum()) {
      int64_t counted = 0;
      p = count_plain_lines(p, end, &counted);
      cur_->lines += counted;
      lpos += counted;
    }
    const char* e = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!e) return p;
    line(p, static_cast<size_t>(e - p) + 1, pos + (p - block));
    p = e + 1;
  }
}

void Indexer::append_head(const char* q, const char* stop) {
  for (const char* e = stop; e > q; e--) {
    if (!is_space(e[-1])) {
      head_last_ = e[-1];
      break;
    }
  }
  if (head_spaces_) {
    // More white space in front of a number does not change the data-line
    // test, so a line of blanks never fills the kept head.
    while (q < stop && is_space(*q) && *q != '\n') q++;
    if (q < stop) head_spaces_ = false;
  }
  size_t room = kLineHead > head_.size() ? kLineHead - head_.size() : 0;
  size_t add = static_cast<size_t>(stop - q);
  if (add > room) head_cut_ = true;
  head_.append(q, add < room ? add : room);
}

}  // namespace

namespace {

// Reads n bytes at offset into out; false when fewer could be read.
bool read_at(IndexTable& t, int64_t offset, size_t n, std::string* out) {
  out->resize(n);
  if (offset < 0) return false;
  size_t got = n ? t.inf->read_fully(offset, &(*out)[0], n) : 0;
  t.bytes_read += static_cast<int64_t>(got);
  return got == n;
}

// Runs the indexer from `offset` to the end of the file and closes the table.
void index_from(IndexTable& t, Indexer& ix, int64_t offset) {
  // The length is what was read: bytes appended while indexing are not
  // covered yet, so the next length test still sees them.
  t.IndexFileLength = ix.run(offset);
  if (t.Indexed > 0) t.Index.back().eseek = t.IndexFileLength;
  size_t n = t.IndexFileLength < static_cast<int64_t>(kTailCheck)
                 ? static_cast<size_t>(t.IndexFileLength)
                 : kTailCheck;
  if (!read_at(t, t.IndexFileLength - static_cast<int64_t>(n), n, &t.tail)) t.tail.clear();
  index_note_times(t);
}

void print_closing(const IndexTable& t, Console& con) {
  if (t.stopped_at >= 0) {
    fprintf(con.out,
            " indexing of %s stopped by Ctrl-C at byte %lld of %lld: no scans kept; r indexes it\n",
            t.inf_name.c_str(), static_cast<long long>(t.stopped_at),
            static_cast<long long>(t.inf ? t.inf->size() : 0));
  }
  if (t.read_error) {
    fprintf(con.out, " file %s can't be read past byte %lld: %s\n", t.inf_name.c_str(),
            static_cast<long long>(t.read_error_at), strerror(t.read_error));
  }
  fprintf(con.out, "\n current file is : %s with %d entries\n", t.inf_name.c_str(), t.Indexed);
}

}  // namespace

void index_reset(IndexTable& t) {
  index_free(t);
  t.Indexed = 0;
  t.IndexSize = 512;
  t.IndexFileLength = 0;
  t.last_head.clear();
  t.tail.clear();
  t.read_error = 0;
  t.read_error_at = 0;
  t.stopped_at = -1;
}

namespace {

// A full pass over the file, through the cache when `use_cache`; silent.
// A pass that is `stoppable` and stopped by Ctrl-C leaves an empty table
// that covers nothing: what was read up to there is not kept, as the last
// record read may be cut anywhere in its data.
void build_table(IndexTable& t, bool use_cache, bool stoppable) {
  index_reset(t);
  if (!t.inf) {
    // Nothing to index: the no-file state.
    t.inf_name = "NO FILE";
  } else if (!use_cache || !index_cache_load(t)) {
    Indexer ix(t);
    ix.stoppable = stoppable;
    index_from(t, ix, 0);
    t.cached_length = -1;
    if (ix.stopped) {
      const int64_t at = t.IndexFileLength;
      index_reset(t);
      t.stopped_at = at;
    } else if (!t.read_error) {
      index_cache_store(t);
    }
  }
}

}  // namespace

void index_build(IndexTable& t) { build_table(t, true, false); }

int index_file(IndexTable& t, Console& con) {
  build_table(t, true, true);
  print_closing(t, con);
  return t.Indexed;
}

int index_rebuild(IndexTable& t, Console& con) {
  build_table(t, false, true);
  print_closing(t, con);
  return t.Indexed;
}

bool index_covered_unchanged(IndexTable& t) {
  std::string probe;
  return read_at(t, t.IndexFileLength - static_cast<int64_t>(t.tail.size()), t.tail.size(),
                 &probe) &&
         probe == t.tail &&
         (t.Indexed == 0 ||
          (read_at(t, t.Index.back().hseek, t.last_head.size(), &probe) && probe == t.last_head));
}

bool index_heads_unchanged(IndexTable& t) {
  std::string line;
  for (int k = 0; k < t.Indexed; k++) {
    const scanRef& r = t.Index[size_t(k)];
    // The start of the line is enough to tell it from another scan's.
    size_t n = size_t(std::min<int64_t>(r.eseek - r.hseek, int64_t(kHeadCheck)));
    if (!read_at(t, r.hseek, n, &line) || line.compare(0, 2, "#S") != 0) return false;
    size_t nl = line.find('\n');
    if (nl != std::string::npos) line.resize(nl + 1);
    const char* text;
    size_t len;
    if (head_fields(line.data(), line.size(), &text, &len) != r.scan) return false;
    // The text read may be cut short of the record's (its line feed too).
    if (strncmp(r.txt, text, len) != 0) return false;
  }
  return true;
}

namespace {

// The open file's length and times, false when none is open.
bool file_times(IndexTable& t, FileIdentity* st) { return t.inf && t.inf->identity(st) == 0; }

}  // namespace

void index_note_times(IndexTable& t) {
  FileIdentity st;
  if (!file_times(t, &st)) return;
  t.file_mtime_ns = st.mtime_ns;
  t.file_ctime_ns = st.ctime_ns;
}

std::string index_changed_since(IndexTable& t) {
  FileIdentity st;
  if (!file_times(t, &st) || !st.regular || t.file_ctime_ns < 0) return "";
  const char* how = nullptr;
  if (st.size < t.IndexFileLength) {
    how = "is shorter than when it was indexed";
  } else if (st.size == t.IndexFileLength &&
             (st.mtime_ns != t.file_mtime_ns || st.ctime_ns != t.file_ctime_ns)) {
    how = "was rewritten since it was indexed";
  }
  if (!how || st.ctime_ns == t.said_changed_ns) return "";
  t.said_changed_ns = st.ctime_ns;
  return how;
}

void index_continue(IndexTable& t) {
  // Read the last scan again from its #S line: it may have grown, and new
  // scans may follow it. Counts the column reader stored are dropped, as a
  // full rebuild would.
  scanRef last = t.Index.back();
  t.Index.pop_back();
  t.Indexed--;
  t.texts.drop_last();
  for (scanRef& r : t.Index) r.ncol = r.ncol_N;
  t.read_error = 0;
  Indexer ix(t);
  ix.lseek = last.cseek;
  ix.lpos = last.lpos - 1;
  index_from(t, ix, last.hseek);
}

namespace {

IndexChange refresh(IndexTable& t, bool stoppable) {
  IndexChange change;
  int64_t now = index_current_length(t);
  if (now == t.IndexFileLength) return change;
  // The bytes the table covers must still be those it was built from.
  bool grew = t.inf && t.Indexed > 0 && now > t.IndexFileLength && index_covered_unchanged(t);
  if (!grew) {
    build_table(t, false, stoppable);
    change.kind = IndexChange::kRebuilt;
    return change;
  }
  const int before = t.Indexed;
  const int64_t last_lines = t.Index.back().lines;
  index_continue(t);
  index_cache_refresh(t);
  change.kind = IndexChange::kGrown;
  change.added = t.Indexed - before;
  change.last_grown = t.Indexed >= before && t.Index[size_t(before - 1)].lines != last_lines;
  return change;
}

}  // namespace

IndexChange index_refresh(IndexTable& t) { return refresh(t, false); }

int index_update(IndexTable& t, Console& con) {
  if (refresh(t, true).kind == IndexChange::kNone) build_table(t, false, true);
  print_closing(t, con);
  return t.Indexed;
}

namespace {

// "00" to "99", two characters each.
constexpr char kPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546"
    "4748495051525354555657585960616263646566676869707172737475767778798081828384858687888990919293"
    "949596979899";

// Writes v as "%<width>lld" writes it at d (width at most 4); returns the
// end. d has room for 20 characters and the padding. The digits are
// written where they end up, from the last: no copy of them to read back.
char* put_int(char* d, int64_t v, int width) {
  uint64_t u = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
  int n = 1 + (v < 0);
  for (uint64_t rest = u; rest >= 10; rest /= 10) n++;
  if (n < width) {
    memcpy(d, "    ", 4);
    d += width - n;
  }
  char* const e = d + n;
  char* q = e;
  for (; u >= 100; u /= 100) {
    q -= 2;
    memcpy(q, kPairs + 2 * (u % 100), 2);
  }
  if (u >= 10) {
    q -= 2;
    memcpy(q, kPairs + 2 * u, 2);
  } else {
    *--q = char('0' + u);
  }
  if (v < 0) *--q = '-';
  return e;
}

}  // namespace

int index_print(const IndexTable& t, Console& con, int first) {
  // Put together here and written in large pieces: a table of a hundred
  // thousand scans is printed at every start.
  constexpr size_t kPiece = 64 * 1024;
  constexpr size_t kRowNumbers = 128;  // a row without its text, at most
  std::string b(kPiece + kRowNumbers + kMaxScanText, '\0');
  char* const start = &b[0];
  char* d = start;
  for (int k = std::max(first, 0); k < t.Indexed; k++) {
    const scanRef& r = t.Index[k];
    *d++ = ' ';
    d = put_int(d, k + 1, 4);
    memcpy(d, "  Scan ", 7);
    d = put_int(d + 7, r.scan, 4);
    memcpy(d, "  Lines ", 8);
    d = put_int(d + 8, r.lines, 4);
    memcpy(d, " N ", 3);
    d = put_int(d + 3, r.ncol, 3);
    memcpy(d, " (", 2);
    d = put_int(d + 2, r.lpos, 0);
    *d++ = ')';
    if (r.lines != 0 && r.txt) {
      *d++ = ' ';
      // Up to a NUL, as "%s" prints it. The table keeps at most
      // kMaxScanText characters of a text; a longer one goes out by itself.
      const size_t n = strlen(r.txt);
      if (n <= kMaxScanText) {
        memcpy(d, r.txt, n);
        d += n;
      } else {
        fwrite(start, 1, size_t(d - start), con.out);
        fwrite(r.txt, 1, n, con.out);
        d = start;
      }
    } else {
      *d++ = '\n';
    }
    if (size_t(d - start) >= kPiece || k + 1 == t.Indexed) {
      const size_t n = size_t(d - start);
      d = start;
      if (fwrite(start, 1, n, con.out) != n || (k + 1 < t.Indexed && interrupted())) return k + 1;
    }
  }
  return t.Indexed;
}

int64_t index_current_length(IndexTable& t) { return t.inf ? t.inf->size() : -1; }

Status check_index(IndexTable& t, Console& con, int i) {
  if (t.inf && i >= t.Indexed - 1) {
    if (index_current_length(t) != t.IndexFileLength) {
      fprintf(con.out, "reindexing\n");
      index_update(t, con);
    }
  }
  if (i >= 0 && i < t.Indexed) return Status();
  return Status::errorf(" %d is not a valid index\n", i);
}

Status get_index(IndexTable& t, Console& con, int i0, int s, int* found) {
  *found = -1;
  if (t.Indexed == 0) return Status::not_found("");
  for (int64_t k = int64_t(i0) + 1; k < t.Indexed; k++) {
    if (k >= 0 && t.Index[k].scan == s) {
      *found = static_cast<int>(k);
      return Status();
    }
  }
  for (int k = 0; k <= i0 && k < t.Indexed; k++) {
    if (t.Index[k].scan == s) {
      *found = k;
      return Status();
    }
  }
  if (t.inf && index_current_length(t) != t.IndexFileLength) {
    fprintf(con.out, " scan %d not found in the index_table, reindexing\n", s);
    int old = t.Indexed;
    index_update(t, con);
    for (int k = old; k < t.Indexed; k++) {
      if (t.Index[k].scan == s) {
        *found = k;
        return Status();
      }
    }
  }
  *found = i0;
  return Status::not_found(" scan " + std::to_string(s) + " not found in the index_table, ???\n");
}
