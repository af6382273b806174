// Opening and replacing files in folders that others may write.
//
// A name in such a folder may be a link someone else planted, pointing at a
// file of the user's, or a FIFO that would hold an open up for ever. So a
// file is opened once, without following a link that is not the user's own
// and without waiting; what it is is then told from the open descriptor,
// never from the name looked at again.
#ifndef KURVATAB_BASE_SAFE_FILE_H_
#define KURVATAB_BASE_SAFE_FILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <string>

// Opens `name` with `flags` (O_RDONLY, O_WRONLY | O_CREAT ...; O_TRUNC is
// not taken) and `mode` for a file it creates. A symbolic link is followed
// only when it belongs to the user, and then only to a name that is no
// further link and a file that belongs to the user too. A FIFO or device does not block the open.
// Fills *st from the descriptor. Returns the descriptor (close-on-exec, blocking again), or -1 with
// *why set to the reason, e.g. "it is a link that belongs to uid 1001, not to you"; *refused (when
// given) then tells a file refused by these rules from one the system could not open (strerror).
int open_unfollowed(const std::string& name, int flags, mode_t mode, struct stat* st,
                    std::string* why, bool* refused = nullptr);

// As open_unfollowed, then only a regular file is kept (else *why is "not
// a regular file"); with `own`, only one that belongs to the user.
int open_regular(const std::string& name, int flags, mode_t mode, bool own, struct stat* st,
                 std::string* why, bool* refused = nullptr);

// Opens `name` to write an output file into, as "w" would, but only a
// regular file (created with mode 0666 less the umask when missing),
// reached through no link of someone else's, and not a file for which
// `is_kept` (when set) is true of its stat (the scan file being read: "it is
// the scan file being read"), which would be emptied. Null with *why set.
FILE* open_output(const std::string& name, const std::function<bool(const struct stat&)>& is_kept,
                  std::string* why);

// Copies what is left to read of `from` to `to`, each at its own offset.
// Returns 0, or the errno of the failed read or write.
int copy_fd(int from, int to);

// Replacing a file whole: what is written goes to a new file beside the
// target, which takes the target's place only once written whole and on
// disk. The old file is left as it was when anything fails, and the new
// one is removed. The target is the named file, or the file that a link
// of the user's own names; an existing target must be a regular file of
// the user's own.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement() { discard(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  enum Options {
    kKeepMode = 1,      // an existing target's mode instead of `mode`
    kPrivateWrite = 2,  // no write access for group and others
    kReplaceName = 4,   // the name is replaced, whatever stands there (a
                        // link included): in a folder only the user writes
  };

  // Chooses the target for `name` and creates the new file with `mode`
  // less the umask, as `options` say. The new file is named `prefix`, the
  // target's base name, `suffix` and six random characters. False with
  // error() set.
  bool begin(const std::string& name, mode_t mode, int options, const char* prefix,
             const char* suffix);

  // The new file, open for writing, and its path.
  int fd() const { return fd_; }
  const std::string& temp_path() const { return temp_; }
  // The path the new file takes the place of.
  const std::string& target() const { return target_; }
  // The existing target, open for reading (-1 when there was none) and
  // what fstat said of it.
  int old_fd() const { return old_fd_; }
  const struct stat& old_stat() const { return old_st_; }

  // Syncs (with `sync`) and closes the new file and renames it onto the
  // target. False with error() set (the new file is then removed).
  bool commit(bool sync = true);
  // Removes the new file when it has not taken the target's place.
  void discard();

  const std::string& error() const { return error_; }
  // True when begin() failed because the target is not one to replace
  // (someone else's link or file, no regular file), not for want of room
  // or rights.
  bool refused() const { return refused_; }

 private:
  bool fail(const std::string& why);
  void close_fds();

  int fd_ = -1;
  int old_fd_ = -1;
  struct stat old_st_ = {};
  std::string temp_;
  std::string target_;
  std::string error_;
  bool refused_ = false;
};

#endif  // KURVATAB_BASE_SAFE_FILE_H_
