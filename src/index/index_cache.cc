#include "index/index_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "base/safe_file.h"

// An entry, every integer an unsigned LEB128 number in its shortest form
// ("zz" marks a signed one, zigzag-coded):
//
//   "KTINDEX3"
//   path length, path bytes; device; inode; zz(mtime ns), zz(ctime ns)
//   length covered (IndexFileLength); record count
//   last_head length, bytes; tail length, bytes
//   per record: zz(scan - previous scan), zz(ncol from #N),
//     hseek (first record only: each later one starts where the one before
//     ends), eseek - hseek, vseek - hseek (0 when none), hseek - cseek,
//     lpos - previous lpos, lines, lhead (the #L line), text length, text bytes
//   checksum of all the bytes before it: 8 bytes, least significant first
//
// The shortest form makes the coding of a table unique, so an entry read
// back is the entry that was written byte for byte.

namespace {

constexpr char kMagic[8] = {'K', 'T', 'I', 'N', 'D', 'E', 'X', '3'};
constexpr size_t kIoBlock = 64 * 1024;
constexpr uint64_t kMaxString = 64 * 1024;          // path, last_head, tail
constexpr uint64_t kMaxLength = uint64_t(1) << 62;  // no sum of offsets overflows
constexpr time_t kStaleTemp = 3600;                 // a temporary file this old was left by a crash

// 64-bit words through a multiply and a shift: a bijection of the state for
// each word, so a change within one word always changes the result. The
// result does not depend on how the bytes are split between calls.
class Checksum {
 public:
  void update(const char* p, size_t n) {
    total_ += n;
    if (fill_ > 0) {
      size_t k = std::min(n, 8 - fill_);
      memcpy(pending_ + fill_, p, k);
      fill_ += k;
      p += k;
      n -= k;
      if (fill_ < 8) return;
      h_ = mix(h_, word(pending_));
      fill_ = 0;
    }
    for (; n >= 8; p += 8, n -= 8) h_ = mix(h_, word(p));
    memcpy(pending_, p, n);
    fill_ = n;
  }
  uint64_t value() const {
    uint64_t h = h_;
    if (fill_ > 0) {
      char last[8] = {};
      memcpy(last, pending_, fill_);
      h = mix(h, word(last));
    }
    return mix(h, total_);
  }

 private:
  static uint64_t word(const char* p) {
    uint64_t w = 0;
    for (int k = 7; k >= 0; k--) w = w << 8 | static_cast<unsigned char>(p[k]);
    return w;
  }
  static uint64_t mix(uint64_t h, uint64_t w) {
    h = (h ^ w) * UINT64_C(0x9E3779B97F4A7C15);
    return h ^ h >> 29;
  }
  uint64_t h_ = UINT64_C(0x6B7572766174616B);
  uint64_t total_ = 0;
  char pending_[8] = {};
  size_t fill_ = 0;
};

uint64_t zigzag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v < 0 ? -1 : 0);
}

int64_t unzigzag(uint64_t u) { return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1); }

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

class EntryWriter {
 public:
  explicit EntryWriter(int fd) : fd_(fd) { buf_.reserve(kIoBlock + 64); }
  void number(uint64_t v) {
    while (v >= 0x80) {
      buf_ += static_cast<char>(v | 0x80);
      v >>= 7;
    }
    buf_ += static_cast<char>(v);
    if (buf_.size() >= kIoBlock) flush();
  }
  void bytes(const char* p, size_t n) {
    number(n);
    buf_.append(p, n);
    if (buf_.size() >= kIoBlock) flush();
  }
  void raw(const char* p, size_t n) { buf_.append(p, n); }
  // Appends the checksum and writes what is left.
  bool finish() {
    flush();
    uint64_t c = sum_.value();
    for (int k = 0; k < 8; k++) buf_ += static_cast<char>(c >> (8 * k));
    ok_ = ok_ && write_all(fd_, buf_.data(), buf_.size());
    return ok_;
  }

 private:
  void flush() {
    sum_.update(buf_.data(), buf_.size());
    ok_ = ok_ && write_all(fd_, buf_.data(), buf_.size());
    buf_.clear();
  }
  int fd_;
  std::string buf_;
  Checksum sum_;
  bool ok_ = true;
};

class EntryReader {
 public:
  explicit EntryReader(int fd) : fd_(fd), buf_(new char[kIoBlock]) {}
  bool number(uint64_t* v) {
    uint64_t r = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (pos_ == end_ && !fill()) return false;
      const auto b = static_cast<unsigned char>(buf_[pos_++]);
      if (shift == 63 && b > 1) return false;  // beyond 64 bits
      r |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) {
        *v = r;
        return b != 0 || shift == 0;  // the shortest form only
      }
    }
    return false;
  }
  bool bytes(std::string* s, uint64_t max) {
    uint64_t n;
    if (!number(&n) || n > max) return false;
    s->clear();
    while (s->size() < n) {
      if (pos_ == end_ && !fill()) return false;
      size_t k = std::min(static_cast<size_t>(n - s->size()), end_ - pos_);
      s->append(buf_.get() + pos_, k);
      pos_ += k;
    }
    return true;
  }
  bool raw(char* p, size_t n) {
    for (size_t k = 0; k < n; k++) {
      if (pos_ == end_ && !fill()) return false;
      p[k] = buf_[pos_++];
    }
    return true;
  }
  // Reads the checksum and tests it against the bytes before it; the entry
  // must end there.
  bool checksum_ends_entry() {
    sum_.update(buf_.get() + hashed_, pos_ - hashed_);
    hashed_ = pos_;
    const uint64_t want = sum_.value();
    char c[8];
    if (!raw(c, 8)) return false;
    uint64_t got = 0;
    for (int k = 7; k >= 0; k--) got = got << 8 | static_cast<unsigned char>(c[k]);
    return got == want && pos_ == end_ && !fill();
  }

 private:
  bool fill() {
    sum_.update(buf_.get() + hashed_, end_ - hashed_);
    pos_ = end_ = hashed_ = 0;
    for (;;) {
      ssize_t r = read(fd_, buf_.get(), kIoBlock);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      end_ = static_cast<size_t>(r);
      return true;
    }
  }
  int fd_;
  std::unique_ptr<char[]> buf_;
  size_t pos_ = 0, end_ = 0, hashed_ = 0;
  Checksum sum_;
};

// Length of a record's text: up to and with its line feed, which is its
// only one.
size_t text_length(const char* txt) {
  const void* nl = memchr(txt, '\n', kMaxScanText);
  return nl ? static_cast<size_t>(static_cast<const char*>(nl) - txt) + 1 : 0;
}

bool read_records(EntryReader& in, IndexTable& t, uint64_t count) {
  const int64_t length = t.IndexFileLength;
  int64_t scan = 0, lpos = 0, end = 0;
  std::string text;
  for (uint64_t k = 0; k < count; k++) {
    uint64_t dscan, ncol, hseek = static_cast<uint64_t>(end), size, voff, cback, dlpos, lines,
                          lhead;
    if (!in.number(&dscan) || !in.number(&ncol) || (k == 0 && !in.number(&hseek)) ||
        !in.number(&size) || !in.number(&voff) || !in.number(&cback) || !in.number(&dlpos) ||
        !in.number(&lines) || !in.number(&lhead) || !in.bytes(&text, kMaxScanText)) {
      return false;
    }
    // The #L line lies in the header, behind the #S line.
    const uint64_t header = voff ? voff : size;
    if (lhead > kLabelsFar || (lhead == kLabelsFar ? header <= kLabelsFar : lhead >= header)) {
      return false;
    }
    const int64_t d = unzigzag(dscan), n = unzigzag(ncol);
    if (d < -(INT64_C(1) << 33) || d > (INT64_C(1) << 33)) return false;
    scan += d;
    // Offsets within the file, in file order; the data start inside the
    // scan, the comments start before it, one line at least per record.
    if (scan < INT_MIN || scan > INT_MAX || n < INT_MIN || n > INT_MAX ||
        hseek > static_cast<uint64_t>(length) || size == 0 ||
        size > static_cast<uint64_t>(length) - hseek || voff >= size || cback > hseek ||
        dlpos == 0 || dlpos > hseek + 1 || static_cast<uint64_t>(lpos) + dlpos > hseek + 1 ||
        lines > size || text.empty() || text.find('\n') != text.size() - 1) {
      return false;
    }
    scanRef& r = t.add_record();
    r.scan = static_cast<int>(scan);
    r.ncol = r.ncol_N = static_cast<int>(n);
    r.hseek = static_cast<int64_t>(hseek);
    r.eseek = end = r.hseek + static_cast<int64_t>(size);
    r.vseek = voff ? r.hseek + static_cast<int64_t>(voff) : 0;
    r.cseek = r.hseek - static_cast<int64_t>(cback);
    r.lpos = lpos += static_cast<int64_t>(dlpos);
    r.lines = static_cast<int64_t>(lines);
    r.lhead = static_cast<uint32_t>(lhead);
    r.txt = t.texts.add(text.data(), text.size());
  }
  return count == 0 || end == length;
}

bool decode(int fd, IndexTable& t, const std::function<bool(const CacheId&, int64_t)>& accept,
            CacheId* id) {
  EntryReader in(fd);
  char magic[sizeof kMagic];
  CacheId file;
  uint64_t length, count, mtime, ctime;
  if (!in.raw(magic, sizeof magic) || memcmp(magic, kMagic, sizeof magic) != 0 ||
      !in.bytes(&file.path, kMaxString) || !in.number(&file.dev) || !in.number(&file.ino) ||
      !in.number(&mtime) || !in.number(&ctime) || !in.number(&length) || length > kMaxLength ||
      !in.number(&count) || count > static_cast<uint64_t>(INT_MAX - 512) || count > length) {
    return false;
  }
  file.mtime_ns = unzigzag(mtime);
  file.ctime_ns = unzigzag(ctime);
  if (!accept(file, static_cast<int64_t>(length))) return false;
  t.IndexFileLength = static_cast<int64_t>(length);
  if (!in.bytes(&t.last_head, kMaxString) || !in.bytes(&t.tail, kMaxString) ||
      t.tail.size() > length || !read_records(in, t, count) || !in.checksum_ends_entry()) {
    return false;
  }
  if (id) *id = std::move(file);
  return true;
}

// The cache is off with KURVATAB_NO_CACHE set to anything but "" or "0".
bool cache_off() {
  const char* off = getenv("KURVATAB_NO_CACHE");
  return off && *off && strcmp(off, "0") != 0;
}

// mkdir -p with mode 0700 for what it creates.
void make_dirs(const std::string& dir) {
  for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    mkdir(dir.substr(0, slash).c_str(), 0700);
    if (slash == std::string::npos) break;
  }
}

// True when `path` is a folder of the user's own that no one else may
// write, reached through no link but one of the user's own.
bool own_folder(const std::string& path) {
  struct stat st;
  std::string why;
  int fd = open_unfollowed(path, O_RDONLY | O_DIRECTORY, 0, &st, &why);
  if (fd < 0) return false;
  close(fd);
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

uint64_t path_hash(const std::string& s) {
  uint64_t h = UINT64_C(0xcbf29ce484222325);
  for (unsigned char c : s) h = (h ^ c) * UINT64_C(0x100000001b3);
  return h;
}

bool is_entry_name(const std::string& n) {
  return n.size() > 4 && n.compare(n.size() - 4, 4, ".idx") == 0;
}

bool is_temp_name(const std::string& n) { return n.find(".idx.tmp.") != std::string::npos; }

// Drops the entries used longest ago until all of them, with the
// temporary files being written, take at most kCacheMaxTotal. Temporary
// files left by a crash go first.
void trim_cache(const std::string& dir) {
  struct Entry {
    std::string path;
    int64_t size;
    struct timespec used;
  };
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<Entry> entries;
  int64_t total = 0;
  const time_t now = time(nullptr);
  while (struct dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    const bool temp = is_temp_name(name);
    if (!temp && !is_entry_name(name)) continue;
    const std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (temp && now - st.st_mtime > kStaleTemp) {
      unlink(path.c_str());
      continue;
    }
    total += st.st_size;
    if (!temp) entries.push_back({path, static_cast<int64_t>(st.st_size), st.st_mtim});
  }
  closedir(d);
  if (total <= kCacheMaxTotal) return;
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.used.tv_sec != b.used.tv_sec) return a.used.tv_sec < b.used.tv_sec;
    if (a.used.tv_nsec != b.used.tv_nsec) return a.used.tv_nsec < b.used.tv_nsec;
    return a.path < b.path;
  });
  for (const Entry& e : entries) {
    if (total <= kCacheMaxTotal) break;
    if (unlink(e.path.c_str()) == 0) total -= e.size;
  }
}

}  // namespace

uint64_t cache_checksum(const char* p, size_t n) {
  Checksum c;
  c.update(p, n);
  return c.value();
}

bool cache_encode(int fd, const IndexTable& t, const CacheId& id) {
  EntryWriter out(fd);
  out.raw(kMagic, sizeof kMagic);
  out.bytes(id.path.data(), id.path.size());
  out.number(id.dev);
  out.number(id.ino);
  out.number(zigzag(id.mtime_ns));
  out.number(zigzag(id.ctime_ns));
  out.number(static_cast<uint64_t>(t.IndexFileLength));
  out.number(static_cast<uint64_t>(t.Indexed));
  out.bytes(t.last_head.data(), t.last_head.size());
  out.bytes(t.tail.data(), t.tail.size());
  int64_t scan = 0, lpos = 0;
  for (int k = 0; k < t.Indexed; k++) {
    const scanRef& r = t.Index[k];
    const size_t n = r.txt ? text_length(r.txt) : 0;
    if (n == 0) return false;
    out.number(zigzag(r.scan - scan));
    out.number(zigzag(r.ncol_N));
    if (k == 0) out.number(static_cast<uint64_t>(r.hseek));
    out.number(static_cast<uint64_t>(r.eseek - r.hseek));
    out.number(static_cast<uint64_t>(r.vseek ? r.vseek - r.hseek : 0));
    out.number(static_cast<uint64_t>(r.hseek - r.cseek));
    out.number(static_cast<uint64_t>(r.lpos - lpos));
    out.number(static_cast<uint64_t>(r.lines));
    out.number(r.lhead);
    out.bytes(r.txt, n);
    scan = r.scan;
    lpos = r.lpos;
  }
  return out.finish();
}

bool cache_decode(int fd, IndexTable& t,
                  const std::function<bool(const CacheId&, int64_t length)>& accept, CacheId* id) {
  if (decode(fd, t, accept, id)) return true;
  index_reset(t);
  return false;
}

std::string index_cache_dir(bool create) {
  if (cache_off()) return "";
  std::string base;
  const char* xdg = getenv("XDG_CACHE_HOME");
  const char* home = getenv("HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else if (home && home[0] == '/') {
    base = std::string(home) + "/.cache";
  } else {
    return "";
  }
  std::string dir = base + "/kurvatab";
  if (create) make_dirs(dir);
  // Entries are trimmed there: neither it nor the folder it lies in may be
  // someone else's or lead elsewhere through someone else's link.
  return own_folder(base) && own_folder(dir) ? dir : "";
}

std::string index_cache_entry(const std::string& dir, const std::string& real_path) {
  char name[32];
  snprintf(name, sizeof name, "%016llx.idx", static_cast<unsigned long long>(path_hash(real_path)));
  return dir + "/" + name;
}

bool index_cache_load(IndexTable& t) {
  FileIdentity st;
  if (t.real_path.empty() || !t.inf || t.inf->identity(&st) != 0 || st.size < kCacheMinFile) {
    return false;
  }
  const std::string dir = index_cache_dir(false);
  if (dir.empty()) return false;
  const int fd =
      open(index_cache_entry(dir, t.real_path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat es;
  // Only an entry no one else could have written. A file rewritten in place
  // keeps its inode, often its length too: at the same length its times
  // must be those the entry was written with; a longer one must still hold
  // every #S line where the entry has it.
  bool ok = fstat(fd, &es) == 0 && S_ISREG(es.st_mode) && es.st_uid == geteuid() &&
            (es.st_mode & 077) == 0 && cache_decode(fd, t, [&](const CacheId& id, int64_t length) {
              return id.path == t.real_path && id.dev == st.dev && id.ino == st.ino &&
                     (length < st.size || (length == st.size && id.mtime_ns == st.mtime_ns &&
                                           id.ctime_ns == st.ctime_ns));
            });
  ok = ok && index_covered_unchanged(t);
  // A grown file is read on from the last scan; with no scan, from the start.
  ok = ok && (st.size == t.IndexFileLength || (t.Indexed > 0 && index_heads_unchanged(t)));
  if (ok) futimens(fd, nullptr);  // the entry was used now: it is dropped last
  close(fd);
  if (!ok) {
    index_reset(t);
    return false;
  }
  t.cached_length = t.IndexFileLength;
  t.cached_bytes = es.st_size;
  index_note_times(t);
  if (st.size > t.IndexFileLength) {
    index_continue(t);
    index_cache_refresh(t);
  }
  return true;
}

void index_cache_store(IndexTable& t) {
  FileIdentity st;
  if (t.real_path.empty() || !t.inf || t.IndexFileLength < kCacheMinFile ||
      t.inf->identity(&st) != 0) {
    return;
  }
  const std::string dir = index_cache_dir(true);
  if (dir.empty()) return;
  FileReplacement entry;
  if (!entry.begin(index_cache_entry(dir, t.real_path), 0600, FileReplacement::kReplaceName, "",
                   ".tmp."))
    return;
  const CacheId id{t.real_path, st.dev, st.ino, st.mtime_ns, st.ctime_ns};
  struct stat ws;
  if (!cache_encode(entry.fd(), t, id) || fstat(entry.fd(), &ws) != 0 ||
      !entry.commit(false))  // a torn entry fails its checksum: no need to wait for the disk
    return;
  t.cached_length = t.IndexFileLength;
  t.cached_bytes = ws.st_size;
  trim_cache(dir);
}

void index_cache_refresh(IndexTable& t) {
  if (t.cached_length >= 0 &&
      t.IndexFileLength - t.cached_length < std::max(kCacheMinFile, t.cached_bytes)) {
    return;
  }
  index_cache_store(t);
}
