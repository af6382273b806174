#include "index/index_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "index_testing.h"
#include "testutil.h"

namespace {

// The checks a valid entry costs: the end of the file and the last #S line.
constexpr int64_t kCheckBytes = 4096 + 256;

// A large scan file in a fresh folder, with the cache in that folder too.
struct CacheCase {
  TempDir dir;
  ScopedEnv home{"XDG_CACHE_HOME", dir.file("cache").c_str()};
  ScopedEnv on{"KURVATAB_NO_CACHE", nullptr};
  std::string path = dir.write("scan.dat", large_scan_file(1000));

  std::string folder() const { return dir.file("cache/kurvatab"); }
  std::string entry() const { return entry_of(path); }
  std::string entry_of(const std::string& file) const {
    char* real = realpath(file.c_str(), nullptr);
    std::string e = index_cache_entry(folder(), real ? real : "");
    free(real);
    return e;
  }
  // The table and the output of a full pass, without the cache.
  std::string full_pass(int64_t* bytes_read = nullptr) const {
    ScopedEnv off("KURVATAB_NO_CACHE", "1");
    OpenedFile f(path);
    if (bytes_read) *bytes_read = f.t.bytes_read;
    return render_table(f.t) + f.seen;
  }
};

std::string seen(const OpenedFile& f) { return render_table(f.t) + f.seen; }

std::set<std::string> names_in(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (struct dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
  }
  return names;
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

void write_bytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

TEST(IndexCache, UnchangedFileIsReadFromAPrivateEntry) {
  CacheCase c;
  OpenedFile first(c.path);
  EXPECT_GE(first.t.bytes_read, first.t.IndexFileLength);
  struct stat st;
  ASSERT_EQ(0, stat(c.entry().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  ASSERT_EQ(0, stat(c.folder().c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 07777);
  EXPECT_EQ(std::set<std::string>{base_name(c.entry())}, names_in(c.folder()));  // no temporary

  OpenedFile second(c.path);
  EXPECT_LE(second.t.bytes_read, kCheckBytes);
  // Every field and every text byte (a NUL in a title, a title cut to the
  // longest kept), the closing message and the listing.
  EXPECT_EQ(c.full_pass(), seen(second));
  EXPECT_EQ(std::string(" with a \0 NUL\n", 14), std::string(second.t.Index[1].txt + 21, 14));
}

TEST(IndexCache, OnlyFilesOfOneMiBAndMoreWhileSwitchedOn) {
  CacheCase c;
  std::string small(kCacheMinFile - 1, '\n');
  small.replace(0, 12, "#S 1 a\n1 2\n\n");
  write_bytes(c.path, small);
  OpenedFile{c.path};
  EXPECT_TRUE(names_in(c.folder()).empty());
  append_file(c.path, "\n");  // now exactly 1 MiB
  {
    ScopedEnv off("KURVATAB_NO_CACHE", "1");
    OpenedFile{c.path};
    EXPECT_TRUE(names_in(c.folder()).empty());
  }
  ScopedEnv zero("KURVATAB_NO_CACHE", "0");  // on, as when unset
  OpenedFile{c.path};
  EXPECT_EQ(1u, names_in(c.folder()).size());
}

TEST(IndexCache, FolderFromXdgCacheHomeOrHome) {
  TempDir dir;
  const std::string abs = dir.file("xdg");
  const std::string home = dir.file("home");
  const struct {
    const char* xdg;
    const char* home;
    std::string want;
  } cases[] = {
      {abs.c_str(), home.c_str(), abs + "/kurvatab"},
      {nullptr, home.c_str(), home + "/.cache/kurvatab"},
      {"", home.c_str(), home + "/.cache/kurvatab"},
      {"relative/cache", home.c_str(), home + "/.cache/kurvatab"},
      {nullptr, nullptr, ""},
      {nullptr, "relative", ""},
  };
  for (const auto& k : cases) {
    ScopedEnv x("XDG_CACHE_HOME", k.xdg);
    ScopedEnv h("HOME", k.home);
    EXPECT_EQ(k.want, index_cache_dir(true)) << (k.xdg ? k.xdg : "(unset)");
  }
  // A folder others may write to is not used.
  ScopedEnv x("XDG_CACHE_HOME", abs.c_str());
  ASSERT_EQ(0, chmod((abs + "/kurvatab").c_str(), 0777));
  EXPECT_EQ("", index_cache_dir(true));
}

// A stale entry (the file changed otherwise than by growing), a damaged one
// and one that is not this file's are ignored: the file is read in full,
// and the entry written again serves the next open.
TEST(IndexCache, StaleDamagedOrForeignEntryIsIgnoredAndRewritten) {
  const struct {
    const char* what;
    std::function<void(const CacheCase& c, const IndexTable& t)> change;
  } cases[] = {
      {"file replaced by a copy (another inode) that grew",
       [](const CacheCase& c, const IndexTable&) {
         write_bytes(c.path + ".new", read_file(c.path) + "#S 2000 copy\n1 2\n");
         ASSERT_EQ(0, rename((c.path + ".new").c_str(), c.path.c_str()));
       }},
      {"file truncated",
       [](const CacheCase& c, const IndexTable& t) {
         ASSERT_EQ(0, truncate(c.path.c_str(), t.IndexFileLength - 500));
       }},
      {"last bytes of the file changed, same length",
       [](const CacheCase& c, const IndexTable& t) {
         int fd = open(c.path.c_str(), O_WRONLY);
         ASSERT_EQ(1, pwrite(fd, "7", 1, t.IndexFileLength - 3));
         close(fd);
       }},
      {"a byte of the entry changed",
       [](const CacheCase& c, const IndexTable&) {
         std::string b = read_file(c.entry());
         b[b.size() / 2] ^= 0x10;
         write_bytes(c.entry(), b);
       }},
      {"entry readable by others",
       [](const CacheCase& c, const IndexTable&) { ASSERT_EQ(0, chmod(c.entry().c_str(), 0644)); }},
      {"entry a link to a valid entry",
       [](const CacheCase& c, const IndexTable&) {
         ASSERT_EQ(0, rename(c.entry().c_str(), (c.entry() + ".real").c_str()));
         ASSERT_EQ(0, symlink((c.entry() + ".real").c_str(), c.entry().c_str()));
       }},
      {"entry of another file (path and inode differ)",
       [](const CacheCase& c, const IndexTable&) {
         const std::string other = c.dir.write("other.dat", large_scan_file(1001));
         OpenedFile{other};
         write_bytes(c.entry(), read_file(c.entry_of(other)));
         ASSERT_EQ(0, chmod(c.entry().c_str(), 0600));
       }},
  };
  for (const auto& k : cases) {
    CacheCase c;
    OpenedFile first(c.path);
    k.change(c, first.t);
    OpenedFile second(c.path);
    EXPECT_EQ(c.full_pass(), seen(second)) << k.what;
    EXPECT_GE(second.t.bytes_read, second.t.IndexFileLength) << k.what;
    OpenedFile third(c.path);
    EXPECT_LE(third.t.bytes_read, kCheckBytes) << k.what;
    struct stat st;
    ASSERT_EQ(0, lstat(c.entry().c_str(), &st)) << k.what;
    EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0600) << k.what;
  }
}

TEST(IndexCache, RebuildReadsTheWholeFile) {
  CacheCase c;
  OpenedFile first(c.path);
  int64_t before = first.t.bytes_read;
  index_rebuild(first.t, first.tc.con);
  EXPECT_GE(first.t.bytes_read - before, first.t.IndexFileLength);
  ASSERT_EQ(0, unlink(c.entry().c_str()));
  index_rebuild(first.t, first.tc.con);  // and writes the entry
  OpenedFile again(c.path);
  EXPECT_LE(again.t.bytes_read, kCheckBytes);
}

TEST(IndexCache, WriteFailureIsSilentAndLeavesNoFile) {
  CacheCase c;
  // Something that is not a file where the entry goes: the rename fails.
  const std::string entry = c.entry();
  ASSERT_EQ(0, system(("mkdir -p '" + entry + "/x'").c_str()));
  OpenedFile first(c.path);
  EXPECT_EQ(c.full_pass(), seen(first));
  EXPECT_EQ(std::set<std::string>{base_name(entry)}, names_in(c.folder()));
  // A cache home that is a file.
  ScopedEnv home("XDG_CACHE_HOME", c.path.c_str());
  OpenedFile second(c.path);
  EXPECT_EQ(c.full_pass(), seen(second));
}

TEST(IndexCache, EntriesUsedLongestAgoAreDroppedPastTheBound) {
  CacheCase c;
  OpenedFile first(c.path);
  const std::string mine = c.entry();
  // Three entries of 100 MiB (sparse), used at different times, a temporary
  // file a crash left, and a file that is not the cache's.
  const std::string f = c.folder() + "/";
  const struct {
    std::string path;
    off_t size;
    time_t used;
  } files[] = {
      {f + "00000000000000a1.idx", 100 << 20, 2000000000},
      {f + "00000000000000a2.idx", 100 << 20, 1000000000},  // used longest ago
      {f + "00000000000000a3.idx", 100 << 20, 1500000000},
      {f + "00000000000000a4.idx.tmp.Xy12ab", 1000, time(nullptr) - 7200},
      {f + "notes.txt", 1000, 0},
      {mine, -1, 900000000},  // older still, but the open below uses it
  };
  for (const auto& k : files) {
    if (k.size >= 0) {
      write_bytes(k.path, "");
      ASSERT_EQ(0, truncate(k.path.c_str(), k.size));
    }
    struct timespec times[2] = {{k.used, 0}, {k.used, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, k.path.c_str(), times, 0));
  }
  OpenedFile hit(c.path);
  EXPECT_LE(hit.t.bytes_read, kCheckBytes);
  struct stat st;
  ASSERT_EQ(0, stat(mine.c_str(), &st));
  EXPECT_GE(st.st_mtime, time(nullptr) - 60);

  // Writing an entry trims the folder to 256 MiB: the oldest goes, and the
  // temporary file a crash left.
  index_rebuild(hit.t, hit.tc.con);
  EXPECT_EQ((std::set<std::string>{"00000000000000a1.idx", "00000000000000a3.idx", base_name(mine),
                                   "notes.txt"}),
            names_in(c.folder()));
}

}  // namespace
