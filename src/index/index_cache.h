// The index cache: the index table of a large scan file kept between runs,
// so that opening the file again reads only what it gained since.
//
// One entry per file, in $XDG_CACHE_HOME/kurvatab/ (default
// ~/.cache/kurvatab/), named after a hash of the file's real path. An entry
// holds the path, the file's device, inode and times, the length it
// covers, the bytes a reindex checks, and every record with its text, and
// ends in a checksum. It is used only for the same path, device and inode
// and those bytes unchanged in the file, and then only for a file of the
// same length and times, or a longer one whose #S lines all still stand
// where the entry has them; then the table is exactly that of a full pass. Anything else (no entry,
// another file, a shorter or changed file, a damaged entry) means a full pass, after which the
// entry is written again.
//
// Entries are the user's own (mode 0600, in a folder of mode 0700), written
// to a temporary file and renamed into place, and all of them together stay
// within kCacheMaxTotal (the entries used longest ago are dropped first).
// Failing to write one is silent: the cache only saves time.
// KURVATAB_NO_CACHE=1 in the environment turns the cache off.
#ifndef KURVATAB_INDEX_INDEX_CACHE_H_
#define KURVATAB_INDEX_INDEX_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "index/index_table.h"

// Files shorter than this are always read in full.
constexpr int64_t kCacheMinFile = int64_t(1) << 20;
// The entries of the cache folder together stay within this.
constexpr int64_t kCacheMaxTotal = int64_t(256) << 20;

// The cache folder, created when missing (`create`). Empty when the cache is
// off, when neither XDG_CACHE_HOME nor HOME names an absolute folder, or
// when the folder is not the user's own or others may write to it.
std::string index_cache_dir(bool create);

// Path of the entry for the file whose real path is `real_path`.
std::string index_cache_entry(const std::string& dir, const std::string& real_path);

// The hooks of index_file. index_cache_load fills the empty table `t` from
// its entry when the entry is valid for the open file, brings it up to date
// when the file grew, and returns true; otherwise leaves `t` empty and
// returns false. index_cache_store writes the entry of `t` (a file of at
// least kCacheMinFile bytes opened by name). index_cache_refresh writes it
// after the table has grown, once the file has gained more than the entry
// holds (at least kCacheMinFile) since the entry was written.
bool index_cache_load(IndexTable& t);
void index_cache_store(IndexTable& t);
void index_cache_refresh(IndexTable& t);

// The file an entry belongs to.
struct CacheId {
  std::string path;  // real path
  uint64_t dev = 0;
  uint64_t ino = 0;
  int64_t mtime_ns = 0;  // modification and change times when written
  int64_t ctime_ns = 0;
};

// Writes the entry of `t` for the file `id` to `fd` (from its current
// position). Returns false when a write failed.
bool cache_encode(int fd, const IndexTable& t, const CacheId& id);

// Reads an entry from `fd` into the empty table `t`. `accept` is shown the
// entry's file and the length it covers before any record is read; the
// entry is read on only when it returns true. Returns true when the entry
// is accepted, whole, well-formed and its checksum right: `t` then holds its
// records, texts, IndexFileLength, last_head and tail (and `*id`, when
// given, its file). Otherwise returns false and leaves `t` empty.
bool cache_decode(int fd, IndexTable& t,
                  const std::function<bool(const CacheId&, int64_t length)>& accept,
                  CacheId* id = nullptr);

// The checksum an entry ends with, over the n bytes in front of it.
uint64_t cache_checksum(const char* p, size_t n);

#endif  // KURVATAB_INDEX_INDEX_CACHE_H_
