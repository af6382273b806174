#include "follow/file_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

constexpr uint32_t kFileEvents =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF;
// Only what happens to names: writes to other files of a busy folder do
// not wake the follow.
constexpr uint32_t kDirEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;

}  // namespace

FileWatch::FileWatch(std::string path) : path_(std::move(path)) {
  size_t slash = path_.rfind('/');
  name_ = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  std::string dir = slash == std::string::npos || slash == 0 ? "/" : path_.substr(0, slash);
  ifd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (ifd_ < 0) return;
  dir_wd_ = inotify_add_watch(ifd_, dir.c_str(), kDirEvents | IN_ONLYDIR);
  watch_file();
}

FileWatch::~FileWatch() {
  if (ifd_ >= 0) close(ifd_);
}

void FileWatch::watch_file() {
  if (ifd_ < 0) return;
  int wd = inotify_add_watch(ifd_, path_.c_str(), kFileEvents);
  // The old file may live on under another name: stop hearing about it.
  if (file_wd_ >= 0 && wd != file_wd_) inotify_rm_watch(ifd_, file_wd_);
  file_wd_ = wd;
}

bool FileWatch::drain() {
  if (ifd_ < 0) return false;
  bool concerned = false;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    ssize_t n = read(ifd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (char* p = buf; p < buf + n;) {
      const inotify_event* ev = reinterpret_cast<const inotify_event*>(p);
      if (ev->wd == file_wd_) {
        concerned = true;
        if (ev->mask & IN_IGNORED) file_wd_ = -1;  // the file is gone
      } else if (ev->wd == dir_wd_ && ev->len > 0 && name_ == ev->name) {
        concerned = true;
      } else if (ev->mask & IN_Q_OVERFLOW) {
        concerned = true;
      }
      p += sizeof(inotify_event) + ev->len;
    }
  }
  return concerned;
}

FileWatch::Change FileWatch::look(const ScanFile& open_file, int64_t known, int* fresh) {
  *fresh = -1;
  // Not blocking on a FIFO that took the file's name.
  int f = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (f < 0) return kGone;
  struct stat now;
  if (fstat(f, &now) != 0 || !S_ISREG(now.st_mode)) {
    close(f);
    return kGone;
  }
  FileIdentity cur;
  if (open_file.identity(&cur) == 0 && !open_file.is(now)) {
    fcntl(f, F_SETFL, 0);
    *fresh = f;
    watch_file();
    return kReplaced;
  }
  close(f);
  // The open file itself: after the open above, a network file system
  // client has asked the server, and fstat gives the present size.
  if (open_file.identity(&cur) != 0) return kSame;
  if (cur.size > known) return kGrown;
  if (cur.size < known) return kTruncated;
  return kSame;
}
