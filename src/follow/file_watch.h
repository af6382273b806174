// Watches a scan file by its path while the program keeps up with it.
//
// Two ways of noticing a change, because neither is enough alone:
// - inotify on the file (writes, attribute changes) and on its folder (the
//   name created, moved or removed): immediate, and costs nothing while the
//   file is quiet, but blind to writes made by another host on a network
//   file system;
// - look(): the path opened again and compared with the file being read.
//   Opening makes a network file system client ask the server for the
//   file's present size instead of the one it cached, and the path shows a
//   file that was replaced (written anew and renamed over the old name)
//   while the old one is still open. The caller looks about twice a second
//   and after each inotify event.
#ifndef KURVATAB_FOLLOW_FILE_WATCH_H_
#define KURVATAB_FOLLOW_FILE_WATCH_H_

#include <cstdint>
#include <string>

#include "format/scan_file.h"

class FileWatch {
 public:
  enum Change {
    kSame,       // the path names the open file, at the length known
    kGrown,      // the open file is longer than known
    kTruncated,  // the open file is shorter than known
    kReplaced,   // the path names another file now
    kGone,       // nothing readable under the path (the open file stays)
  };

  // `path` must be absolute. Without inotify (its limits reached, another
  // system) fd() is -1 and only look() sees changes.
  explicit FileWatch(std::string path);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  const std::string& path() const { return path_; }

  // Readable when inotify has events to drain(); -1 without inotify.
  int fd() const { return ifd_; }

  // Reads every pending inotify event; true when one concerned the file.
  // Never waits.
  bool drain();

  // Opens the path again and compares it with `open`, the file being read,
  // whose first `known` bytes are known. For kReplaced `*fresh` is the
  // new file, opened for reading (the caller owns it; the watch moves to
  // it); otherwise *fresh is -1.
  Change look(const ScanFile& open, int64_t known, int* fresh);

 private:
  void watch_file();

  std::string path_;
  std::string name_;  // the last component of path_
  int ifd_ = -1;
  int file_wd_ = -1;
  int dir_wd_ = -1;
};

#endif  // KURVATAB_FOLLOW_FILE_WATCH_H_
