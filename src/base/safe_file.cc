#include "base/safe_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Why an open failed: the file is not one to use (refused), or the system
// said no (errno).
struct Refusal {
  std::string text;
  bool refused = false;
  int err = 0;
  void refuse(const std::string& why) {
    text = why;
    refused = true;
  }
  void io(int e) {
    text = strerror(e);
    err = e;
  }
};

std::string owner_reason(const char* what, uid_t uid) {
  return std::string(what) + " belongs to uid " + std::to_string(uid) + ", not to you";
}

// The text of the link that `lfd` (opened with O_PATH) is, or "" when it
// cannot be read.
std::string link_text(int lfd) {
  std::string text(256, '\0');
  for (;;) {
    ssize_t n = readlinkat(lfd, "", &text[0], text.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < text.size()) {
      text.resize(static_cast<size_t>(n));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

// open_unfollowed, telling in *path the name that was opened: `name`, or
// the target of the user's link `name`.
int open_target(const std::string& name, int flags, mode_t mode, struct stat* st, std::string* path,
                Refusal* why) {
  const int f = (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  *path = name;
  int fd = open(name.c_str(), f, mode);
  bool linked = false;
  // A link met with O_NOFOLLOW fails with ELOOP, or ENOTDIR with O_DIRECTORY.
  const int first_errno = errno;
  if (fd < 0 && (errno == ELOOP || (errno == ENOTDIR && (flags & O_DIRECTORY)))) {
    // The link itself is held open: what it says can no longer change.
    int lfd = open(name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat lst;
    if (lfd < 0 || fstat(lfd, &lst) != 0 || !S_ISLNK(lst.st_mode)) {
      if (lfd >= 0) close(lfd);
      why->io(first_errno);
      return -1;
    }
    std::string target = link_text(lfd);
    close(lfd);
    if (lst.st_uid != geteuid()) {
      why->refuse(owner_reason("it is a link that", lst.st_uid));
      return -1;
    }
    if (target.empty()) {
      why->refuse("it is a link that cannot be read");
      return -1;
    }
    if (target[0] != '/') {
      size_t slash = name.rfind('/');
      if (slash != std::string::npos) target = name.substr(0, slash + 1) + target;
    }
    *path = target;
    linked = true;
    fd = open(target.c_str(), f, mode);
    if (fd < 0 && (errno == ELOOP || (errno == ENOTDIR && (flags & O_DIRECTORY)))) {
      why->refuse("it is a link to a link");
      return -1;
    }
  }
  if (fd < 0) {
    // A FIFO without a reader refuses a writer that does not wait.
    if (errno == ENXIO)
      why->refuse("not a regular file");
    else
      why->io(errno);
    return -1;
  }
  if (fstat(fd, st) != 0) {
    why->io(errno);
    close(fd);
    return -1;
  }
  if (linked && st->st_uid != geteuid()) {
    why->refuse(owner_reason("the file its link names", st->st_uid));
    close(fd);
    return -1;
  }
  int fl = fcntl(fd, F_GETFL);
  if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

int open_checked(const std::string& name, int flags, mode_t mode, bool own, struct stat* st,
                 std::string* path, Refusal* why) {
  int fd = open_target(name, flags, mode, st, path, why);
  if (fd < 0) return -1;
  if (!S_ISREG(st->st_mode)) {
    why->refuse("not a regular file");
  } else if (own && st->st_uid != geteuid()) {
    why->refuse(owner_reason("it", st->st_uid));
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace

int open_unfollowed(const std::string& name, int flags, mode_t mode, struct stat* st,
                    std::string* why, bool* refused) {
  std::string path;
  Refusal r;
  int fd = open_target(name, flags, mode, st, &path, &r);
  *why = r.text;
  if (refused) *refused = r.refused;
  return fd;
}

int open_regular(const std::string& name, int flags, mode_t mode, bool own, struct stat* st,
                 std::string* why, bool* refused) {
  std::string path;
  Refusal r;
  int fd = open_checked(name, flags, mode, own, st, &path, &r);
  *why = r.text;
  if (refused) *refused = r.refused;
  return fd;
}

FILE* open_output(const std::string& name, const std::function<bool(const struct stat&)>& is_kept,
                  std::string* why) {
  struct stat st;
  int fd = open_regular(name, O_WRONLY | O_CREAT, 0666, false, &st, why);
  if (fd < 0) return nullptr;
  if (is_kept && is_kept(st)) {
    *why = "it is the scan file being read";
    // A new, empty file is not truncated: on a journalling file system that
    // is a change of the inode all the same, and a loop writes thousands of
    // files.
  } else if (st.st_size != 0 && ftruncate(fd, 0) != 0) {
    *why = strerror(errno);
  } else if (FILE* f = fdopen(fd, "w")) {
    return f;
  } else {
    *why = strerror(errno);
  }
  close(fd);
  return nullptr;
}

int copy_fd(int from, int to) {
  bool fallback = false;
  for (;;) {
    ssize_t n = fallback ? 0 : copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
    if (n < 0 && !fallback &&
        (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      fallback = true;  // not between these files: read and write
      continue;
    }
    if (fallback) {
      char buf[1 << 16];
      n = read(from, buf, sizeof buf);
      for (ssize_t done = 0; n > 0 && done < n;) {
        ssize_t w = write(to, buf + done, size_t(n - done));
        if (w < 0) {
          n = -1;
          break;
        }
        done += w;
      }
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
  }
}

bool FileReplacement::begin(const std::string& name, mode_t mode, int options, const char* prefix,
                            const char* suffix) {
  discard();
  error_.clear();
  refused_ = false;
  target_ = name;
  if (!(options & kReplaceName)) {
    Refusal why;
    old_fd_ = open_checked(name, O_RDONLY, 0, true, &old_st_, &target_, &why);
    // A missing file is made; so is the missing target of the user's link.
    if (old_fd_ < 0 && why.err != ENOENT) {
      refused_ = why.refused;
      return fail(why.text);
    }
  }
  if (old_fd_ >= 0 && (options & kKeepMode)) {
    mode = old_st_.st_mode & 07777;
  } else {
    mode_t mask = umask(022);
    umask(mask);
    mode &= ~mask;
  }
  if (options & kPrivateWrite) mode &= ~static_cast<mode_t>(S_IWGRP | S_IWOTH);
  size_t slash = target_.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string pattern = target_.substr(0, base) + prefix + target_.substr(base) + suffix + "XXXXXX";
  fd_ = mkostemp(&pattern[0], O_CLOEXEC);
  if (fd_ < 0) return fail(strerror(errno));
  temp_ = pattern;
  // A file system without modes still takes the file.
  fchmod(fd_, mode);
  return true;
}

bool FileReplacement::commit(bool sync) {
  if (fd_ < 0 || temp_.empty()) return fail("nothing to write");
  int err = !sync || fsync(fd_) == 0 ? 0 : errno;
  if (close(fd_) != 0 && err == 0) err = errno;
  fd_ = -1;
  if (err == 0 && rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err != 0) return fail(strerror(err));
  temp_.clear();
  close_fds();
  return true;
}

void FileReplacement::discard() {
  close_fds();
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

void FileReplacement::close_fds() {
  if (fd_ >= 0) close(fd_);
  if (old_fd_ >= 0) close(old_fd_);
  fd_ = old_fd_ = -1;
}

bool FileReplacement::fail(const std::string& why) {
  error_ = why;
  discard();
  return false;
}
