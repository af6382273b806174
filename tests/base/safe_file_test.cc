// Files opened and replaced in a folder others may write: the other user's
// links and files are planted here by root, owned by uid 65534.
#include "base/safe_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "testutil.h"

namespace {

constexpr uid_t kOther = 65534;

std::string chown_other(const std::string& path) {
  return lchown(path.c_str(), kOther, kOther) == 0 ? path : "";
}

struct Case {
  const char* name;
  std::function<void(const TempDir&)> plant;  // makes "out" in the folder
  const char* output_why;                     // open_output: "" when it opens
  const char* replace_why;                    // FileReplacement::begin
  const char* target;                         // the file written, in the folder
};

// Every case leaves "victim" (the user's own file) as it was, unless it is
// reached through the user's own link; a FIFO does not hold anything up.
TEST(SafeFile, OthersLinksFilesAndFifosAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "planting files of another user needs root";
  const char* kOtherLink = "it is a link that belongs to uid 65534, not to you";
  const Case cases[] = {
      {"missing", [](const TempDir&) {}, "", "", "out"},
      {"own file", [](const TempDir& d) { d.write("out", "old\n"); }, "", "", "out"},
      {"other's link to own file",
       [](const TempDir& d) {
         ASSERT_EQ(0, symlink(d.file("victim").c_str(), d.file("out").c_str()));
         chown_other(d.file("out"));
       },
       kOtherLink, kOtherLink, nullptr},
      {"other's dangling link",
       [](const TempDir& d) {
         ASSERT_EQ(0, symlink(d.file("new").c_str(), d.file("out").c_str()));
         chown_other(d.file("out"));
       },
       kOtherLink, kOtherLink, nullptr},
      {"own link to own file",
       [](const TempDir& d) { ASSERT_EQ(0, symlink("victim", d.file("out").c_str())); }, "", "",
       "victim"},
      {"own link to other's file",
       [](const TempDir& d) {
         chown_other(d.write("theirs", "theirs\n"));
         ASSERT_EQ(0, symlink("theirs", d.file("out").c_str()));
       },
       "the file its link names belongs to uid 65534, not to you",
       "the file its link names belongs to uid 65534, not to you", nullptr},
      {"own link to a link",
       [](const TempDir& d) {
         ASSERT_EQ(0, symlink("victim", d.file("mid").c_str()));
         ASSERT_EQ(0, symlink("mid", d.file("out").c_str()));
       },
       "it is a link to a link", "it is a link to a link", nullptr},
      // Writing into another's file is the designed "w"; replacing it is not.
      {"other's file", [](const TempDir& d) { chown_other(d.write("out", "theirs\n")); }, "",
       "it belongs to uid 65534, not to you", "out"},
      {"fifo", [](const TempDir& d) { ASSERT_EQ(0, mkfifo(d.file("out").c_str(), 0666)); },
       "not a regular file", "not a regular file", nullptr},
      {"directory", [](const TempDir& d) { ASSERT_EQ(0, mkdir(d.file("out").c_str(), 0700)); },
       strerror(EISDIR), "not a regular file", nullptr},
  };
  for (const Case& c : cases) {
    for (int replace = 0; replace < 2; replace++) {
      TempDir d;
      const std::string victim = d.write("victim", "victim\n");
      c.plant(d);
      std::string why;
      if (replace) {
        FileReplacement r;
        if (r.begin(d.file("out"), 0644, FileReplacement::kKeepMode, ".", ".")) {
          ASSERT_EQ(6, write(r.fd(), "done\n\n", 6));
          EXPECT_TRUE(r.commit()) << r.error();
        }
        why = r.error();
        EXPECT_EQ(*c.replace_why != '\0', r.refused()) << c.name;
        EXPECT_EQ(c.replace_why, why) << c.name;
      } else {
        FILE* f = open_output(d.file("out"), nullptr, &why);
        if (f) {
          EXPECT_EQ(0, fputs("done\n\n", f) < 0 || fclose(f));
        }
        EXPECT_EQ(c.output_why, why) << c.name;
      }
      if (c.target && why.empty()) {
        EXPECT_EQ("done\n\n", read_file(d.file(c.target))) << c.name;
      }
      if (!c.target || std::string(c.target) != "victim") {
        EXPECT_EQ("victim\n", read_file(victim)) << c.name;
      }
    }
  }
}

// The file the test names (the scan file) is never emptied.
TEST(SafeFile, OutputIsNeverTheKeptFile) {
  TempDir d;
  const std::string scan = d.write("scan.dat", "#S 1\n");
  ASSERT_EQ(0, symlink("scan.dat", d.file("alias").c_str()));
  struct stat kept;
  ASSERT_EQ(0, stat(scan.c_str(), &kept));
  const auto is_kept = [&kept](const struct stat& st) {
    return st.st_dev == kept.st_dev && st.st_ino == kept.st_ino;
  };
  for (const char* name : {"scan.dat", "alias"}) {
    std::string why;
    EXPECT_EQ(nullptr, open_output(d.file(name), is_kept, &why)) << name;
    EXPECT_EQ("it is the scan file being read", why) << name;
  }
  EXPECT_EQ("#S 1\n", read_file(scan));
}

// A replacement not committed, or whose commit failed, leaves the old file and nothing beside it.
TEST(SafeFile, ReplacementDiscardedLeavesTheOldFile) {
  TempDir d;
  const std::string old = d.write("k.ini", "old\n");
  ASSERT_EQ(0, chmod(old.c_str(), 0640));
  auto files = [](const TempDir& in) {
    using std::filesystem::directory_iterator;
    return std::distance(directory_iterator(in.path()), directory_iterator());
  };
  {
    FileReplacement r;
    ASSERT_TRUE(r.begin(old, 0666, FileReplacement::kKeepMode, "", "."));
    EXPECT_EQ(4, write(r.fd(), "new\n", 4));
    EXPECT_EQ(0, access(r.temp_path().c_str(), F_OK));
  }
  EXPECT_EQ("old\n", read_file(old));
  EXPECT_EQ(1, files(d));
  FileReplacement r;
  ASSERT_TRUE(r.begin(old, 0666, FileReplacement::kKeepMode, "", "."));
  ASSERT_EQ(4, write(r.fd(), "new\n", 4));
  ASSERT_TRUE(r.commit());
  struct stat st;
  ASSERT_EQ(0, stat(old.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_EQ("new\n", read_file(old));
  ASSERT_TRUE(r.begin(old, 0666, FileReplacement::kKeepMode, "", "."));
  ASSERT_EQ(0, unlink(old.c_str()));
  ASSERT_EQ(0, mkdir(old.c_str(), 0700));  // the rename fails
  EXPECT_FALSE(r.commit());
  EXPECT_EQ(1, files(d));
}

}  // namespace
