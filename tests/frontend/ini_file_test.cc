#include "frontend/ini_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>

#include "frontend/interpreter.h"
#include "testutil.h"

namespace {

const char kDefaultsFile[] =
    "f NO FILE\n"
    "x 1\ny -1\nz -2\n"
    "A 1\nP 0\nL 0\nN 0\nE 0\nT 1\nl 1\n# 1\n"
    " F%8.4lf %8.4lf\\n\n"
    "C1 -1\n"
    "HDEVICE \"PostScript\" PAGE SIZE 300,400\n";

// The names in a folder, sorted, each followed by a blank.
std::string entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* dp = opendir(dir.c_str())) {
    while (struct dirent* e = readdir(dp)) {
      if (e->d_name[0] != '.') names.insert(e->d_name);
    }
    closedir(dp);
  }
  std::string r;
  for (const std::string& n : names) r += n + " ";
  return r;
}

std::string written(const Session& s) {
  MemOut m;
  EXPECT_TRUE(ini_write_stream(s, m.f()));
  return m.str();
}

// Reads `text` as an initialization file into `s`; returns the messages.
std::string read_text(Session& s, const std::string& text) {
  TestConsole tc;
  s.con = tc.con;
  FILE* in = tmpfile();
  fwrite(text.data(), 1, text.size(), in);
  fflush(in);
  ini_read_stream(s, in, "test.ini");
  fclose(in);
  s.con = Console();
  return tc.out.str() + tc.err.str();
}

TEST(IniFile, DefaultsWrittenByteForByte) {
  Session s;
  EXPECT_EQ(written(s), kDefaultsFile);
}

TEST(IniFile, DefaultsReadBack) {
  Session s;
  s.settings.ycol = 7;  // the x line's message shows the others as they stand
  s.settings.wformat = "x";
  EXPECT_EQ(
      read_text(s, kDefaultsFile),
      " file NO FILE not found\n"
      " using columns x=1 and y=7 for xmgr, z=-2 as monitor\n"
      " using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n"
      " using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n"
      " automatic autoscale turned on\n"
      " automatic purge turned off\n"
      " automatic log scale turned off\n"
      " automatic normalization turned off\n"
      " automatic errorbar turned off\n"
      " automatic title turned on\n"
      " automatic legend turned on\n"
      " comments in file turned on\n"
      " format used by the W command set to \"%8.4lf %8.4lf\n\"\n"
      " columns being \"1 -1\"\n"
      " columns used by the W command set to \"1 -1\"\n"
      " format being \"%8.4lf %8.4lf\n\"\n"
      " parameters used by the h command set to \"DEVICE \"PostScript\" PAGE SIZE 300,400\"\n");
  EXPECT_EQ(s.settings.wformat, kDefaultWFormat);  // the line feed survives
  EXPECT_EQ(written(s), kDefaultsFile);
}

TEST(IniFile, OldFileWithSplitFormatLine) {
  // As earlier releases wrote it: the format's line feed splits line 13.
  Session s;
  std::string msgs = read_text(s, "F%8.4lf %8.4lf\n\nC1 -1\n");
  EXPECT_EQ(s.settings.wformat, "%8.4lf %8.4lf");
  EXPECT_EQ(msgs,
            " format used by the W command set to \"%8.4lf %8.4lf\"\n"
            " columns being \"1 -1\"\n"
            " columns used by the W command set to \"1 -1\"\n"
            " format being \"%8.4lf %8.4lf\"\n");
}

TEST(IniFile, TextsRoundTripExactly) {
  Session s;
  s.settings.wformat = " %6.2lf\\n\\\\ %s\n";  // typed backslash-n, a backslash, a real line feed
  s.settings.wcolumns = "3 1 \\n 2";           // no line feed: written verbatim
  s.settings.graceprint = std::string(5000, 'h');  // longer than any old limit
  s.index.inf_name = "dir/some file.dat";
  std::string file = written(s);
  EXPECT_NE(file.find("\n F %6.2lf\\\\n\\\\\\\\ %s\\n\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\nC3 1 \\n 2\n"), std::string::npos) << file;

  Session t;
  read_text(t, file);
  EXPECT_EQ(t.settings.wformat, s.settings.wformat);
  EXPECT_EQ(t.settings.wcolumns, s.settings.wcolumns);
  EXPECT_EQ(t.settings.graceprint, s.settings.graceprint);
}

TEST(IniFile, UnmarkedTextsAreVerbatim) {
  Session s;
  read_text(s, "F %6.2lf\\n\nC\\\\1\nH\n");
  EXPECT_EQ(s.settings.wformat, " %6.2lf\\n");
  EXPECT_EQ(s.settings.wcolumns, "\\\\1");
  EXPECT_EQ(s.settings.graceprint, "");
}

TEST(IniFile, HandWrittenLines) {
  Session s;
  std::string msgs = read_text(s,
                               "A -1\n"  // counts from the current value: 1 - 1
                               "P +1\n"
                               "   L 5\n"  // leading blanks are skipped
                               "# abc\n"   // no digits: 0
                               "\tE 1\n"   // a tab line is ignored
                               "\n"
                               "q 9\n"  // unknown letter
                               "x 0\n"  // a column of 0 keeps the old one
                               "y -3\n"
                               "z +2\n"
                               "N 1");  // no line feed: not taken
  EXPECT_EQ(msgs,
            " automatic autoscale turned off\n"
            " automatic purge turned on\n"
            " automatic log scale turned on\n"
            " comments in file turned off\n"
            " using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n"
            " using columns x=1 and y=-3 for xmgr, z=-2 as monitor\n"
            " using columns x=1 and y=-3 for xmgr, z=2 as monitor\n");
  EXPECT_EQ(s.settings.autoscale, 0);
  EXPECT_EQ(s.settings.autopurge, 1);
  EXPECT_EQ(s.settings.logscale, 5);
  EXPECT_EQ(s.settings.comments, 0);
  EXPECT_EQ(s.settings.errorbar, 0);
  EXPECT_EQ(s.settings.normalize, 0);
}

TEST(IniFile, LaterLinesOverride) {
  Session s;
  read_text(s, "x 4\nx 5\nT 0\nT +1\n");
  EXPECT_EQ(s.settings.xcol, 5);
  EXPECT_EQ(s.settings.titleauto, 1);
}

TEST(IniFile, LabelsOnLinesOfTheirOwn) {
  Session s;
  s.settings.xcol = 2;
  s.settings.xlabel = "Two Theta";
  s.settings.zlabel = "Monitor";
  s.settings.wcolumns = "Theta \"Two Theta\" -1";
  std::string file = written(s);
  std::string want = kDefaultsFile;
  want.replace(want.find("x 1\n"), 4, "x 2\n");
  want.replace(want.find("C1 -1\n"), 6, "CTheta \"Two Theta\" -1\n");
  EXPECT_EQ(want + "X Two Theta\nZ Monitor\n", file);

  Session t;
  std::string msgs = read_text(t, file);
  EXPECT_NE(std::string::npos,
            msgs.find(" parameters used by the h command set to \"DEVICE \"PostScript\" PAGE SIZE "
                      "300,400\"\n"
                      " using columns x=Two Theta and y=-1 for xmgr, z=-2 as monitor\n"
                      " using columns x=Two Theta and y=-1 for xmgr, z=Monitor as monitor\n"))
      << msgs;
  EXPECT_EQ(file, written(t));
  EXPECT_EQ(2, t.settings.xcol);

  // A number read later replaces a label; 0 keeps it, as it keeps a number.
  Session u;
  read_text(u, "Y Detector\ny 0\nX Theta\nx 3\n");
  EXPECT_EQ("Detector", u.settings.ylabel);
  EXPECT_EQ("", u.settings.xlabel);
  EXPECT_EQ(3, u.settings.xcol);
}

TEST(IniFile, OpensTheScanFile) {
  TempDir d;
  std::string scan = d.write("demo.dat", kDemoFile);
  Session s;
  EXPECT_EQ(read_text(s, "f  " + scan + "\n"), "");
  EXPECT_NE(s.index.inf, nullptr);
  EXPECT_EQ(s.index.inf_name, scan);
}

TEST(IniFile, MissingFileIsSilent) {
  TempDir d;
  TestConsole tc;
  Session s;
  s.con = tc.con;
  s.settings.ininame = d.file("none.ini");
  ini_read(s);
  EXPECT_EQ(tc.out.str(), "");
  s.settings.ininame = d.path();  // a directory cannot be read
  ini_read(s);
  EXPECT_EQ(tc.out.str(), "");
  s.settings.ininame = d.file("fifo.ini");  // nor can a FIFO, which must not hold us up
  ASSERT_EQ(mkfifo(s.settings.ininame.c_str(), 0600), 0);
  EXPECT_TRUE(ini_read(s));
  EXPECT_EQ(tc.out.str(), "");
  s.settings.ininame = d.write("k.ini", "");
  ini_read(s);
  EXPECT_EQ(tc.out.str(), "Using initialization file : " + s.settings.ininame + "\n");
}

TEST(IniFile, WriteReplacesKeepingTheMode) {
  TempDir d;
  Session s;
  s.settings.ininame = d.write("k.ini", "old\n");
  ASSERT_EQ(chmod(s.settings.ininame.c_str(), 0640), 0);
  ASSERT_TRUE(ini_write(s));
  EXPECT_EQ(read_file(s.settings.ininame), kDefaultsFile);
  struct stat st;
  ASSERT_EQ(stat(s.settings.ininame.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  s.settings.ininame = d.file("no/such/dir/k.ini");
  EXPECT_FALSE(ini_write(s));
}

// A file that others may write is neither read nor written over at `q`; a
// file written anew lets only its owner write it, whatever the umask.
TEST(IniFile, OnlyAFileNoOneElseMayWriteIsUsed) {
  TempDir d;
  std::string prog = d.file("kt");
  std::string ini = d.write("kt.ini", "x 7\n");
  ASSERT_EQ(chmod(ini.c_str(), 0664), 0);
  TestConsole tc;
  Session s;
  s.con = tc.con;
  char* argv[] = {&prog[0], nullptr};
  FILE* in = tmpfile();
  EXPECT_EQ(kurvatab_main(1, argv, in, s), 0);
  fclose(in);
  EXPECT_EQ(tc.out.str().substr(0, tc.out.str().find('\n') + 1),
            " " + ini + " not read, nor written at q: others can write it (chmod go-w " + ini +
                " to use it)\n");
  EXPECT_EQ(s.settings.xcol, 1);
  EXPECT_EQ(read_file(ini), "x 7\n");

  mode_t mask = umask(0);
  s.settings.ininame = d.file("new.ini");
  EXPECT_TRUE(ini_write(s));
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(s.settings.ininame.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The write is made to fail part-way by a file size limit; the old file must
// stay byte for byte and no temporary file may be left beside it.
TEST(IniFile, FailedWriteLeavesOldFile) {
  TempDir d;
  const std::string old = "x 3\nF%6.2lf\n";
  Session s;
  s.settings.ininame = d.write("k.ini", old);
  s.settings.graceprint = std::string(3000, 'g');
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {100, 100};
    setrlimit(RLIMIT_FSIZE, &lim);
    _exit(ini_write(s) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(read_file(s.settings.ininame), old);
  EXPECT_EQ(entries(d.path()), "k.ini ");
}

}  // namespace
