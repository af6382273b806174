// The scan file as every reader sees it: bytes read at an offset, and the
// file's size and identity. Nothing else of the file is used, so a reader
// works the same on a file on disk (PosixScanFile: pread on a descriptor)
// and on bytes in memory (MemoryScanFile: tests and fuzz targets).
//
// A file may change under its readers (a scan file grows while it is read);
// a read simply hands out what is there now.
#ifndef KURVATAB_FORMAT_SCAN_FILE_H_
#define KURVATAB_FORMAT_SCAN_FILE_H_

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// What tells one file from another and a changed file from the same one.
struct FileIdentity {
  uint64_t dev = 0;
  uint64_t ino = 0;
  int64_t size = 0;
  int64_t mtime_ns = 0;  // last modification
  int64_t ctime_ns = 0;  // last change of contents or attributes
  bool regular = true;
};

class ScanFile {
 public:
  virtual ~ScanFile() = default;

  // Reads up to `n` bytes at `offset`. `*result` is set to the bytes read,
  // which lie either in `scratch` (room for `n` bytes) or in memory the file
  // owns (valid until the file changes or goes). A read may return fewer
  // than `n` bytes before the end of the file; only an empty result means
  // the end. Returns 0, or the errno of a failed read (`*result` then holds
  // what was read before it).
  virtual int read(int64_t offset, size_t n, std::string_view* result, char* scratch) const = 0;

  // True when reads always hand out bytes the file owns: `scratch` may then
  // be null.
  virtual bool reads_in_place() const { return false; }

  // The file as it is now. Returns 0 or an errno.
  virtual int identity(FileIdentity* id) const = 0;

  // Present length; -1 when it cannot be had.
  int64_t size() const;

  // Reads `n` bytes at `offset` into `buf`, in as many reads as it takes.
  // Returns the bytes read: fewer only at the end of the file or on an
  // error; `*error` (when given) is then 0 at the end and the errno of a
  // failed read.
  size_t read_fully(int64_t offset, char* buf, size_t n, int* error = nullptr) const;

  // True when `st` (of a path, a descriptor) is this very file.
  bool is(const struct stat& st) const;
};

// A file open on a descriptor, read with pread(2): its stream position is
// neither used nor changed.
class PosixScanFile final : public ScanFile {
 public:
  // Reads the file open as `fd`; closes it at the end when `owns`.
  PosixScanFile(int fd, bool owns) : fd_(fd), owns_(owns) {}
  ~PosixScanFile() override;
  PosixScanFile(const PosixScanFile&) = delete;
  PosixScanFile& operator=(const PosixScanFile&) = delete;

  int read(int64_t offset, size_t n, std::string_view* result, char* scratch) const override;
  int identity(FileIdentity* id) const override;
  int fd() const { return fd_; }

 private:
  int fd_;
  bool owns_;
};

// Opens `path` for reading as a regular file (close-on-exec, not blocking
// on a FIFO). Null when it cannot be: `*error` is then the errno, or 0 for
// a file that is not a regular file.
std::unique_ptr<PosixScanFile> open_scan_file(const std::string& path, int* error);

// The file held in memory. Reads hand out its bytes where they lie.
class MemoryScanFile final : public ScanFile {
 public:
  explicit MemoryScanFile(std::string bytes = "");

  int read(int64_t offset, size_t n, std::string_view* result, char* scratch) const override;
  bool reads_in_place() const override { return true; }
  int identity(FileIdentity* id) const override;

  // The bytes, to be changed as a file on disk would be (appended to,
  // rewritten in place, cut short).
  std::string& bytes() { return bytes_; }

  // Each read hands out at most `n` bytes (0: no limit), so a reader meets
  // lines that span its blocks on small files.
  void set_read_step(size_t n) { step_ = n; }

  // Reads from offset `at` on fail with `error` (0: none fail).
  void fail_from(int64_t at, int error) {
    fail_at_ = at;
    fail_error_ = error;
  }

  // Device, inode and times that identity() reports; the size is the bytes'.
  FileIdentity id;

 private:
  std::string bytes_;
  size_t step_ = 0;
  int64_t fail_at_ = 0;
  int fail_error_ = 0;
};

#endif  // KURVATAB_FORMAT_SCAN_FILE_H_
