#include "index/index_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "base/interrupt.h"
#include "index_testing.h"

namespace {

namespace fs = std::filesystem;

// What opening a file whose entry is valid reads: its end and last #S line.
constexpr int64_t kCheckBytes = 4096 + 256;

// A large scan file in a fresh folder, with the cache in that folder too.
struct CacheCase {
  TempDir dir;
  ScopedEnv home{"XDG_CACHE_HOME", dir.file("cache").c_str()};
  ScopedEnv on{"KURVATAB_NO_CACHE", nullptr};
  std::string path = dir.write("scan.dat", large_scan_file(1000));
  std::string folder() const { return dir.file("cache/kurvatab"); }
  std::string entry(const std::string& file = "") const {
    return index_cache_entry(folder(), fs::canonical(file.empty() ? path : file));
  }
  int64_t entries() const {  // files in the cache folder
    std::error_code ec;
    return std::distance(fs::directory_iterator(folder(), ec), fs::directory_iterator());
  }
  // The table, closing message and listing of a full pass without the cache.
  std::string full_pass() const {
    ScopedEnv off("KURVATAB_NO_CACHE", "1");
    return seen(OpenedFile(path));
  }
  static std::string seen(const OpenedFile& f) { return render_table(f.t) + f.seen; }
};

mode_t mode_of(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Changes the byte `back` bytes before the end of `path`, in place.
void poke(const std::string& path, size_t back) {
  std::string b = read_file(path);
  b[b.size() - back] ^= 0x10;
  std::ofstream(path, std::ios::binary) << b;
}

// Rewrites `path` in place (same inode) with each `from` and `to` swapped,
// then appends `more`. Timestamps move in steps of a clock tick: one passes.
void rewrite(const std::string& path, const std::string& from, const std::string& to,
             const std::string& more = "") {
  std::string b = read_file(path);
  size_t a = b.find(from), z = b.find(to);
  b.replace(a, from.size(), to);
  if (z != std::string::npos && from.size() == to.size()) b.replace(z, to.size(), from);
  usleep(20000);
  std::ofstream(path, std::ios::binary) << b << more;
}

TEST(IndexCache, SavedPrivatelyAndReused) {
  CacheCase c;
  const std::string small =
      c.dir.write("small.dat", "#S 1 a\n1 2\n" + std::string(kCacheMinFile - 12, '\n'));
  OpenedFile{small};  // 1 byte short of 1 MiB: not cached
  append_file(small, "\n");
  ScopedEnv("KURVATAB_NO_CACHE", "1"), OpenedFile{small};  // the cache switched off
  EXPECT_EQ(0, c.entries());
  OpenedFile first(c.path);
  EXPECT_GE(first.t.bytes_read, first.t.IndexFileLength);
  EXPECT_EQ(S_IFREG | 0600u, mode_of(c.entry()));
  EXPECT_EQ(S_IFDIR | 0700u, mode_of(c.folder()));
  EXPECT_EQ(1, c.entries());  // no temporary left
  OpenedFile second(c.path);
  EXPECT_LE(second.t.bytes_read, kCheckBytes);
  EXPECT_EQ(c.full_pass(), c.seen(second));  // every field and text byte (NUL, cut title)
  fs::remove(c.entry());  // index_rebuild reads the whole file and writes the entry
  index_rebuild(second.t, second.tc.con);
  EXPECT_GE(second.t.bytes_read, second.t.IndexFileLength);
  EXPECT_LE(OpenedFile(c.path).t.bytes_read, kCheckBytes);
  ScopedEnv on("KURVATAB_NO_CACHE", "0");  // on, as when unset
  OpenedFile{small};
  EXPECT_EQ(2, c.entries());
  ASSERT_EQ(0, chmod(c.folder().c_str(), 0777));  // a folder others may write to is not used
  EXPECT_EQ("", index_cache_dir(true));
}

// Ctrl-C stops a pass: nothing of it is kept or cached, and the next look
// at a scan reads the file in full.
TEST(IndexFile, CtrlCKeepsAndCachesNothing) {
  CacheCase c;
  TestConsole tc;
  IndexTable t;
  index_open(t, c.path.c_str());
  note_signal(SIGINT);
  index_file(t, tc.con);
  clear_interrupt();
  EXPECT_EQ(" indexing of " + c.path + " stopped by Ctrl-C at byte 65536 of " +
                std::to_string(fs::file_size(c.path)) + ": no scans kept; r indexes it\n\n" +
                " current file is : " + c.path + " with 0 entries\n",
            tc.out.str(true));
  EXPECT_EQ("Indexed=0 IndexSize=512 length=0\n", render_table(t));
  EXPECT_EQ(0, c.entries());  // nothing cached
  EXPECT_TRUE(check_index(t, tc.con, 0).ok() && t.Indexed == 1000);
}

// A stale, damaged, foreign or not private entry means a full pass, and the
// entry written again serves the next open; a file that only grew reuses it.
TEST(IndexCache, EntryRefusedUnlessValidAndRewritten) {
  const std::tuple<const char*, bool, std::function<void(const CacheCase& c)>> cases[] = {
      {"file grew", true, [](auto& c) { append_file(c.path, large_scan_file(2)); }},
      {"file grew by 1 MiB under a running program", true,
       [](auto& c) {
         OpenedFile running(c.path);
         append_file(c.path, large_scan_file(1000));
         index_refresh(running.t);  // writes the entry again
       }},
      {"replaced by a copy (another inode) that grew", false,
       [](auto& c) {
         c.dir.write("new", read_file(c.path) + "#S 2000 copy\n1 2\n");
         fs::rename(c.dir.file("new"), c.path);
       }},
      {"truncated", false, [](auto& c) { fs::resize_file(c.path, fs::file_size(c.path) - 500); }},
      {"last bytes changed, same length", false, [](auto& c) { poke(c.path, 3); }},
      {"rewritten in place, same length: two scans swapped", false,
       [](auto& c) { rewrite(c.path, "#S 500 ", "#S 501 "); }},
      {"rewritten in place: a #S made #C, a scan appended", false,
       [](auto& c) { rewrite(c.path, "#S 500 ", "#C 500 ", "#S 1001 new\n1 2\n"); }},
      {"a byte of the entry changed", false, [](auto& c) { poke(c.entry(), 100); }},
      {"entry readable by others", false, [](auto& c) { chmod(c.entry().c_str(), 0644); }},
      {"entry a link to a valid entry", false,
       [](auto& c) {
         fs::rename(c.entry(), c.entry() + ".real");
         fs::create_symlink(c.entry() + ".real", c.entry());
       }},
      {"entry of another file", false,
       [](auto& c) {
         OpenedFile{c.dir.write("other.dat", large_scan_file(1001))};
         fs::copy_file(c.entry(c.dir.file("other.dat")), c.entry(),
                       fs::copy_options::overwrite_existing);
       }},
  };
  for (const auto& [what, reused, change] : cases) {
    CacheCase c;
    OpenedFile{c.path};
    change(c);
    OpenedFile second(c.path);
    EXPECT_EQ(c.full_pass(), c.seen(second)) << what;
    EXPECT_EQ(reused, second.t.bytes_read < kCacheMinFile) << what;
    EXPECT_LE(OpenedFile(c.path).t.bytes_read, reused ? kCacheMinFile : kCheckBytes) << what;
    EXPECT_EQ(S_IFREG | 0600u, mode_of(c.entry())) << what;
  }
}

TEST(IndexCache, WriteFailureIsSilentAndLeavesNoFile) {
  CacheCase c;
  fs::create_directories(c.entry() + "/x");  // not a file where the entry goes
  EXPECT_EQ(c.full_pass(), c.seen(OpenedFile(c.path)));
  EXPECT_EQ(1, c.entries());
  ScopedEnv home("XDG_CACHE_HOME", c.path.c_str());  // a cache home that is a file
  EXPECT_EQ(c.full_pass(), c.seen(OpenedFile(c.path)));
}

// Writing an entry keeps the folder within 256 MiB: the entries used longest
// ago go (not the one just used), and temporaries a crash left; other files stay.
TEST(IndexCache, EntriesUsedLongestAgoAreDroppedPastTheBound) {
  CacheCase c;
  OpenedFile{c.path};
  const std::string f = c.folder() + "/", mine = fs::path(c.entry()).filename();
  const std::tuple<std::string, off_t, time_t> files[] = {
      {"00000000000000a1.idx", 100 << 20, 2000000000},  // sparse
      {"00000000000000a2.idx", 100 << 20, 1000000000},
      {"00000000000000a3.idx", 100 << 20, 1500000000},
      {"00000000000000a4.idx.tmp.Xy12ab", 1000, time(nullptr) - 7200},
      {"notes.txt", 1000, 0},
      {mine, -1, 900000000},
  };
  for (const auto& [name, size, used] : files) {
    if (size >= 0) append_file(f + name, ""), fs::resize_file(f + name, uintmax_t(size));
    struct timespec times[2] = {{used, 0}, {used, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (f + name).c_str(), times, 0));
  }
  OpenedFile hit(c.path);
  index_rebuild(hit.t, hit.tc.con);
  for (const auto& [name, size, used] : files)
    EXPECT_EQ(name.compare(0, 16, "00000000000000a2") != 0 &&
                  name.compare(0, 16, "00000000000000a4") != 0,
              fs::exists(f + name))
        << name;
}

// A cache folder, or the folder it is made in, that is another user's link
// is not used: trimming there would delete the *.idx files it points at.
TEST(IndexCache, FolderThroughAnotherUsersLinkIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "planting files of another user needs root";
  TempDir d;
  fs::create_directories(d.file("victim"));
  d.write("victim/0000000000000001.idx", "keep");
  fs::create_directories(d.file("base"));
  fs::create_symlink(d.file("victim"), d.file("base/kurvatab"));
  fs::create_symlink(d.file("victim"), d.file("link"));
  for (const char* base : {"base", "link"}) {
    const std::string planted = d.file(base == std::string("base") ? "base/kurvatab" : "link");
    ASSERT_EQ(0, lchown(planted.c_str(), 65534, 65534));
    ScopedEnv xdg("XDG_CACHE_HOME", d.file(base).c_str());
    EXPECT_EQ("", index_cache_dir(true)) << base;
  }
  fs::remove(d.file("link"));
  fs::create_symlink(d.file("victim"), d.file("link"));  // the user's own link is followed
  ScopedEnv xdg("XDG_CACHE_HOME", d.file("link").c_str());
  EXPECT_EQ(d.file("link/kurvatab"), index_cache_dir(true));
  EXPECT_EQ("keep", read_file(d.file("victim/0000000000000001.idx")));
}

// Any one byte changed changes the checksum, also among the last ones that
// do not fill a word (damage there may pass every other check of an entry).
TEST(CacheChecksum, EveryByteCounts) {
  const std::string text = "#S 1 one scan\n#N 3\n";
  for (size_t n = 1; n <= text.size(); n++) {
    for (size_t k = 0; k < n; k++) {
      std::string b = text.substr(0, n);
      b[k] ^= 0x10;
      EXPECT_NE(cache_checksum(text.data(), n), cache_checksum(b.data(), n)) << n << " " << k;
    }
  }
}

}  // namespace
