#include "output/hdf5_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

#if H5_VERSION_GE(1, 13, 0)
#error "the HDF5 file driver is written for the library's 1.10 and 1.12 driver interface"
#endif

namespace {

// Writes the pieces `run` one after another at `at` of `fd`: 0, or the
// errno of the failure.
int write_run(int fd, std::vector<iovec> run, off_t at) {
  for (size_t i = 0; i < run.size();) {
    const int count = int(std::min<size_t>(run.size() - i, IOV_MAX));
    ssize_t w = pwritev(fd, &run[i], count, at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return w < 0 ? errno : EIO;
    at += w;
    for (; i < run.size() && size_t(w) >= run[i].iov_len; i++) w -= ssize_t(run[i].iov_len);
    if (w > 0) {
      run[i].iov_base = static_cast<char*>(run[i].iov_base) + w;
      run[i].iov_len -= size_t(w);
    }
  }
  return 0;
}

// Writes of this size and more (chunks of long scans) go to the file at
// once.
constexpr size_t kDirectBytes = 64u << 10;
// The largest address the file can have, as for the library's own driver.
constexpr haddr_t kMaxAddr = (haddr_t(1) << (8 * sizeof(off_t) - 1)) - 1;

bool out_of_range(haddr_t addr, size_t size) {
  return addr > kMaxAddr || size > kMaxAddr || addr + size > kMaxAddr;
}

}  // namespace

// The writes held: pieces by address, none overlapping another (adjacent
// ones are joined when written out).
class HeldWrites {
 public:
  HeldWrites(HeldFile* shared, int fd, haddr_t eof) : shared_(shared), fd_(fd), eof_(eof) {}
  ~HeldWrites() { close(fd_); }
  HeldWrites(const HeldWrites&) = delete;
  HeldWrites& operator=(const HeldWrites&) = delete;

  haddr_t eoa = 0;
  int* fd_handle() { return &fd_; }
  HeldFile* shared() const { return shared_; }
  haddr_t eof() const { return eof_; }

  bool read(haddr_t addr, size_t size, char* buf) {
    const haddr_t end = addr + size;
    for (size_t done = 0; done < size;) {
      ssize_t n = pread(fd_, buf + done, size - done, off_t(addr + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(errno);
      if (n == 0) {  // past the end of the file: zeros
        memset(buf + done, 0, size - done);
        break;
      }
      done += size_t(n);
    }
    for (auto it = first_after(addr); it != pieces_.end() && it->first < end; ++it) {
      const haddr_t from = std::max(addr, it->first);
      const haddr_t to = std::min(end, end_of(*it));
      memcpy(buf + (from - addr), it->second.data() + (from - it->first), to - from);
    }
    return true;
  }

  bool write(haddr_t addr, size_t size, const char* buf) {
    if (shared_->discard) return true;
    eof_ = std::max(eof_, haddr_t(addr + size));
    if (size < kDirectBytes) {
      hold(addr, size, buf);
      return held_ <= shared_->most || flush();
    }
    if (overlaps(addr, size) && !flush()) return false;
    iovec v{const_cast<char*>(buf), size};
    int err = write_run(fd_, {v}, off_t(addr));
    return err ? failed(err) : true;
  }

  // Everything held, in address order, adjacent pieces in one call.
  bool flush() {
    if (shared_->discard) pieces_.clear();
    std::vector<iovec> run;
    haddr_t start = 0, next = 0;
    for (auto& [at, data] : pieces_) {
      if (!run.empty() && at != next) {
        if (int err = write_run(fd_, std::move(run), off_t(start))) return failed(err);
        run.clear();
      }
      if (run.empty()) start = at;
      run.push_back(iovec{data.data(), data.size()});
      next = at + data.size();
    }
    if (!run.empty()) {
      if (int err = write_run(fd_, std::move(run), off_t(start))) return failed(err);
    }
    pieces_.clear();
    held_ = 0;
    return true;
  }

  // The file ends at the end of its allocated space.
  bool truncate() {
    if (!flush()) return false;
    if (shared_->discard) return true;
    struct stat st;
    if (fstat(fd_, &st) != 0) return failed(errno);
    if (haddr_t(st.st_size) != eoa && ftruncate(fd_, off_t(eoa)) != 0) return failed(errno);
    eof_ = eoa;
    return true;
  }

  bool failed(int err) {
    if (shared_->error == 0) shared_->error = err;
    return false;
  }

 private:
  using Pieces = std::map<haddr_t, std::vector<char>>;
  static haddr_t end_of(const Pieces::value_type& p) { return p.first + p.second.size(); }

  // The first piece that ends after `addr`.
  Pieces::iterator first_after(haddr_t addr) {
    auto it = pieces_.upper_bound(addr);
    if (it != pieces_.begin() && end_of(*std::prev(it)) > addr) --it;
    return it;
  }

  bool overlaps(haddr_t addr, size_t size) {
    auto it = first_after(addr);
    return it != pieces_.end() && it->first < addr + size;
  }

  // Keeps a copy of the write; pieces it overlaps are joined with it, the
  // new bytes over the old.
  void hold(haddr_t addr, size_t size, const char* buf) {
    if (!overlaps(addr, size)) {
      pieces_.emplace(addr, std::vector<char>(buf, buf + size));
      held_ += size;
      return;
    }
    auto first = first_after(addr), last = first;
    haddr_t start = std::min(addr, first->first), end = addr + size;
    for (; last != pieces_.end() && last->first < addr + size; ++last)
      end = std::max(end, end_of(*last));
    std::vector<char> joined(end - start);
    for (auto it = first; it != last; ++it) {
      memcpy(joined.data() + (it->first - start), it->second.data(), it->second.size());
      held_ -= it->second.size();
    }
    memcpy(joined.data() + (addr - start), buf, size);
    pieces_.erase(first, last);
    held_ += joined.size();
    pieces_.emplace(start, std::move(joined));
  }

  HeldFile* shared_;
  int fd_;
  haddr_t eof_;
  Pieces pieces_;
  size_t held_ = 0;
};

namespace {

// The library's view of an open file: its public part first.
struct File {
  H5FD_t pub;
  HeldWrites* held;
};

HeldWrites* held_of(const H5FD_t* f) { return reinterpret_cast<const File*>(f)->held; }

void* fapl_copy(const void* info) {
  void* copy = malloc(sizeof(HeldFile*));
  if (copy) memcpy(copy, info, sizeof(HeldFile*));
  return copy;
}

herr_t fapl_free(void* info) {
  free(info);
  return 0;
}

H5FD_t* open_file(const char*, unsigned flags, hid_t fapl, haddr_t maxaddr) {
  const void* info = H5Pget_driver_info(fapl);
  if (!info || maxaddr == 0 || maxaddr == HADDR_UNDEF) return nullptr;
  HeldFile* shared;
  memcpy(&shared, info, sizeof shared);
  const int fd = fcntl(shared->fd, F_DUPFD_CLOEXEC, 0);
  struct stat st;
  if (fd < 0 || ((flags & H5F_ACC_TRUNC) && ftruncate(fd, 0) != 0) || fstat(fd, &st) != 0) {
    if (shared->error == 0) shared->error = errno;
    if (fd >= 0) close(fd);
    return nullptr;
  }
  File* f = static_cast<File*>(calloc(1, sizeof(File)));
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->held = new HeldWrites(shared, fd, haddr_t(st.st_size));
  shared->held = f->held;
  return &f->pub;
}

herr_t close_file(H5FD_t* pub) {
  HeldWrites* h = held_of(pub);
  const bool ok = h->flush();
  h->shared()->held = nullptr;
  delete h;
  free(reinterpret_cast<File*>(pub));
  return ok ? 0 : -1;
}

herr_t query(const H5FD_t*, unsigned long* flags) {
  if (flags)
    *flags = H5FD_FEAT_AGGREGATE_METADATA | H5FD_FEAT_ACCUMULATE_METADATA | H5FD_FEAT_DATA_SIEVE |
             H5FD_FEAT_AGGREGATE_SMALLDATA | H5FD_FEAT_POSIX_COMPAT_HANDLE |
             H5FD_FEAT_DEFAULT_VFD_COMPATIBLE;
  return 0;
}

haddr_t get_eoa(const H5FD_t* pub, H5FD_mem_t) { return held_of(pub)->eoa; }

herr_t set_eoa(H5FD_t* pub, H5FD_mem_t, haddr_t addr) {
  if (addr > kMaxAddr) return -1;
  held_of(pub)->eoa = addr;
  return 0;
}

haddr_t get_eof(const H5FD_t* pub, H5FD_mem_t) { return held_of(pub)->eof(); }

herr_t get_handle(H5FD_t* pub, hid_t, void** handle) {
  *handle = held_of(pub)->fd_handle();
  return 0;
}

herr_t read(H5FD_t* pub, H5FD_mem_t, hid_t, haddr_t addr, size_t size, void* buf) {
  if (out_of_range(addr, size)) return -1;
  return held_of(pub)->read(addr, size, static_cast<char*>(buf)) ? 0 : -1;
}

herr_t write(H5FD_t* pub, H5FD_mem_t, hid_t, haddr_t addr, size_t size, const void* buf) {
  if (out_of_range(addr, size)) return -1;
  return held_of(pub)->write(addr, size, static_cast<const char*>(buf)) ? 0 : -1;
}

herr_t flush(H5FD_t* pub, hid_t, hbool_t) { return held_of(pub)->flush() ? 0 : -1; }

herr_t truncate(H5FD_t* pub, hid_t, hbool_t) { return held_of(pub)->truncate() ? 0 : -1; }

hid_t driver_id() {
  static hid_t id = -1;
  if (id >= 0) return id;
  static const H5FD_class_t kClass = {
      "kurvatab_held",       // name
      kMaxAddr,              // maxaddr
      H5F_CLOSE_WEAK,        // fc_degree
      nullptr,               // terminate
      nullptr,               // sb_size
      nullptr,               // sb_encode
      nullptr,               // sb_decode
      sizeof(HeldFile*),     // fapl_size
      nullptr,               // fapl_get
      fapl_copy,             // fapl_copy
      fapl_free,             // fapl_free
      0,                     // dxpl_size
      nullptr,               // dxpl_copy
      nullptr,               // dxpl_free
      open_file,             // open
      close_file,            // close
      nullptr,               // cmp: the library opens our file once
      query,                 // query
      nullptr,               // get_type_map
      nullptr,               // alloc
      nullptr,               // free
      get_eoa,               // get_eoa
      set_eoa,               // set_eoa
      get_eof,               // get_eof
      get_handle,            // get_handle
      read,                  // read
      write,                 // write
      flush,                 // flush
      truncate,              // truncate
      nullptr,               // lock
      nullptr,               // unlock
      H5FD_FLMAP_DICHOTOMY,  // fl_map
  };
  id = H5FDregister(&kClass);
  return id;
}

}  // namespace

bool set_fapl_held(hid_t fapl, HeldFile* f) {
  const hid_t id = driver_id();
  return id >= 0 && H5Pset_driver(fapl, id, &f) >= 0;
}

bool flush_held(HeldFile* f) { return !f->held || f->held->flush(); }
