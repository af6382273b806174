#include "frontend/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "testutil.h"

namespace {

const char kDefaultsFile[] =
    "f NO FILE\nx 1\ny -1\nz -2\nA 1\nP 0\nL 0\nN 0\nE 0\nT 1\nl 1\n# 1\n"
    " F%8.4lf %8.4lf\\n\nC1 -1\nHDEVICE \"PostScript\" PAGE SIZE 300,400\n";

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
  return tc.out.str();
}

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// Escaped texts, long texts and labels (on lines after the fifteen) come back exactly.
TEST(IniFile, WrittenAndReadBackExactly) {
  Session s;
  s.settings.wformat = " %6.2lf\\n\\\\ %s\n";  // typed backslash-n, a backslash, a real line feed
  s.settings.wcolumns = "Theta \"Two Theta\" \\n -1";  // no line feed: written verbatim
  s.settings.graceprint = std::string(5000, 'h');
  s.settings.xcol = 2;
  s.settings.xlabel = "Two Theta";
  s.settings.zlabel = "Monitor";
  s.settings.fit_model = {FitShape::kVoigt, FitBackground::kLine};
  std::string file = written(s);
  EXPECT_EQ(
      "f NO FILE\nx 2\ny -1\nz -2\nA 1\nP 0\nL 0\nN 0\nE 0\nT 1\nl 1\n# 1\n"
      " F %6.2lf\\\\n\\\\\\\\ %s\\n\nCTheta \"Two Theta\" \\n -1\nH" +
          std::string(5000, 'h') + "\nX Two Theta\nZ Monitor\nG voigt line\n",
      file);
  Session t;
  std::string msgs = read_text(t, file);
  EXPECT_EQ(file, written(t));
  EXPECT_NE(std::string::npos,
            msgs.find(" using columns x=Two Theta and y=-1 for xmgr, z=-2 as monitor\n"
                      " using columns x=Two Theta and y=-1 for xmgr, z=Monitor as monitor\n"))
      << msgs;
}

// Lines as a user may write them; the settings read show in the file written.
TEST(IniFile, HandWrittenLines) {
  Session s;
  read_text(s,
            "A -1\nP +1\n"                     // counted from the current value
            "   L 5\n"                         // leading blanks are skipped
            "# abc\n"                          // no digits: 0
            "\tE 1\n\nq 9\n"                   // a tab line, an empty line, an unknown letter
            "x 0\ny -3\nz +2\n"                // a column of 0 keeps the old one
            "C\\\\1\nH\n"                      // unmarked texts are verbatim
            "Y Detector\ny 0\nX Theta\nx 4\n"  // a number replaces a label, 0 keeps it
            "G step\nG none bogus\n"  // a word left out is kept; a wrong one changes nothing
            "N 1");                   // no line feed: not taken
  EXPECT_EQ(
      "f NO FILE\nx 4\ny -3\nz 2\nA 0\nP 1\nL 5\nN 0\nE 0\nT 1\nl 1\n# 0\n"
      " F%8.4lf %8.4lf\\n\nC\\\\1\nH\nY Detector\nG step const\n",
      written(s));
  // As earlier releases wrote it: the format's line feed splits the line.
  EXPECT_EQ(read_text(s, "F%8.4lf %8.4lf\n\nC1 -1\n"),
            " format used by the W command set to \"%8.4lf %8.4lf\"\n columns being \"\\\\1\"\n"
            " columns used by the W command set to \"1 -1\"\n format being \"%8.4lf %8.4lf\"\n");
}

// No file, a directory or a FIFO is skipped silently; one others may write is refused.
TEST(IniFile, OnlyAPlainFileNoOneElseMayWriteIsRead) {
  TempDir d;
  TestConsole tc;
  Session s;
  s.con = tc.con;
  ASSERT_EQ(0, mkfifo(d.file("fifo.ini").c_str(), 0600));
  for (std::string name : {d.file("none.ini"), d.path(), d.file("fifo.ini")}) {
    s.settings.ininame = name;
    EXPECT_TRUE(ini_read(s)) << name;
    EXPECT_EQ(tc.out.str(), "") << name;
  }
  const std::string ini = s.settings.ininame = d.write("k.ini", "x 7\n");
  EXPECT_TRUE(ini_read(s));
  EXPECT_EQ(tc.out.str(true), "Using initialization file : " + ini +
                                  "\n using columns x=7 and y=-1 for xmgr, z=-2 as monitor\n");
  ASSERT_EQ(chmod(ini.c_str(), 0664), 0);
  s.settings.xcol = 1;
  EXPECT_FALSE(ini_read(s));
  EXPECT_EQ(tc.out.str(), " " + ini +
                              " not read, nor written at q: others can write it (chmod go-w " +
                              ini + " to use it)\n");
  EXPECT_EQ(s.settings.xcol, 1);
}

// Replaced keeping its mode; a new one only its owner may write, whatever the umask.
TEST(IniFile, WriteReplacesKeepingTheMode) {
  TempDir d;
  Session s;
  s.settings.ininame = d.write("k.ini", "old\n");
  ASSERT_EQ(chmod(s.settings.ininame.c_str(), 0640), 0);
  std::string refused;
  ASSERT_TRUE(ini_write(s, &refused));
  EXPECT_EQ(read_file(s.settings.ininame), kDefaultsFile);
  EXPECT_EQ(mode_of(s.settings.ininame), 0640u);
  mode_t mask = umask(0);
  s.settings.ininame = d.file("new.ini");
  EXPECT_TRUE(ini_write(s, &refused));
  umask(mask);
  EXPECT_EQ(mode_of(s.settings.ininame), 0644u);
  s.settings.ininame = d.file("no/such/dir/k.ini");
  EXPECT_FALSE(ini_write(s, &refused));
  EXPECT_EQ(refused, "");  // silent, as a file that cannot be made always was
}

// Another user's link planted as the file (to the user's .bashrc) is neither
// read nor written through; another user's file is not replaced.
TEST(IniFile, OthersLinkOrFileIsNeitherReadNorWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "planting files of another user needs root";
  TempDir d;
  TestConsole tc;
  Session s;
  s.con = tc.con;
  const std::string bashrc = d.write("bashrc", "x 5\n");
  s.settings.ininame = d.file("k.ini");
  ASSERT_EQ(symlink(bashrc.c_str(), s.settings.ininame.c_str()), 0);
  ASSERT_EQ(lchown(s.settings.ininame.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(ini_read(s));
  EXPECT_EQ(tc.out.str(true), " " + s.settings.ininame +
                                  " not read, nor written at q: it is a link that belongs to uid "
                                  "65534, not to you\n");
  std::string refused;
  EXPECT_FALSE(ini_write(s, &refused));
  EXPECT_EQ(refused, "it is a link that belongs to uid 65534, not to you");
  ASSERT_EQ(unlink(s.settings.ininame.c_str()), 0);
  ASSERT_EQ(lchown(d.write("k.ini", "x 6\n").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(ini_write(s, &refused));
  EXPECT_EQ(refused, "it belongs to uid 65534, not to you");
  EXPECT_EQ(read_file(bashrc) + read_file(s.settings.ininame), "x 5\nx 6\n");
}

}  // namespace
