#include "format/scan_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int64_t ScanFile::size() const {
  FileIdentity id;
  return identity(&id) == 0 ? id.size : -1;
}

size_t ScanFile::read_fully(int64_t offset, char* buf, size_t n, int* error) const {
  size_t got = 0;
  if (error) *error = 0;
  while (got < n) {
    std::string_view part;
    const int e = read(offset + static_cast<int64_t>(got), n - got, &part, buf + got);
    if (part.data() != buf + got && !part.empty()) memcpy(buf + got, part.data(), part.size());
    got += part.size();
    if (e && error) *error = e;
    if (e || part.empty()) break;
  }
  return got;
}

bool ScanFile::is(const struct stat& st) const {
  FileIdentity id;
  return identity(&id) == 0 && id.dev == static_cast<uint64_t>(st.st_dev) &&
         id.ino == static_cast<uint64_t>(st.st_ino);
}

PosixScanFile::~PosixScanFile() {
  if (owns_ && fd_ >= 0) close(fd_);
}

int PosixScanFile::read(int64_t offset, size_t n, std::string_view* result, char* scratch) const {
  size_t got = 0;
  int error = 0;
  if (offset < 0) {
    error = EINVAL;
    n = 0;
  }
  // A regular file gives all it has in one call; a signal may cut it short.
  while (got < n) {
    ssize_t r = pread(fd_, scratch + got, n - got, static_cast<off_t>(offset + int64_t(got)));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) error = errno ? errno : EIO;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  *result = std::string_view(scratch, got);
  return error;
}

namespace {

int64_t nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

int PosixScanFile::identity(FileIdentity* id) const {
  struct stat st;
  if (fstat(fd_, &st) != 0) return errno;
  id->dev = static_cast<uint64_t>(st.st_dev);
  id->ino = static_cast<uint64_t>(st.st_ino);
  id->size = static_cast<int64_t>(st.st_size);
  id->mtime_ns = nanoseconds(st.st_mtim);
  id->ctime_ns = nanoseconds(st.st_ctim);
  id->regular = S_ISREG(st.st_mode);
  return 0;
}

std::unique_ptr<PosixScanFile> open_scan_file(const std::string& path, int* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  // Only a regular file can be indexed and watched for growth; a folder,
  // FIFO or device would fail or never end.
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? EISDIR : 0;
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *error = 0;
  return std::make_unique<PosixScanFile>(fd, true);
}

MemoryScanFile::MemoryScanFile(std::string bytes) : bytes_(std::move(bytes)) {}

int MemoryScanFile::read(int64_t offset, size_t n, std::string_view* result,
                         char* /*scratch*/) const {
  *result = std::string_view();
  if (offset < 0) return EINVAL;
  const int64_t size = static_cast<int64_t>(bytes_.size());
  if (offset >= size) return fail_error_ && offset >= fail_at_ ? fail_error_ : 0;
  size_t take = static_cast<size_t>(size - offset);
  if (take > n) take = n;
  if (step_ && take > step_) take = step_;
  int error = 0;
  if (fail_error_) {
    if (offset >= fail_at_) return fail_error_;
    if (offset + static_cast<int64_t>(take) > fail_at_) {
      take = static_cast<size_t>(fail_at_ - offset);
      error = fail_error_;
    }
  }
  *result = std::string_view(bytes_.data() + offset, take);
  return error;
}

int MemoryScanFile::identity(FileIdentity* out) const {
  *out = id;
  out->size = static_cast<int64_t>(bytes_.size());
  return 0;
}
