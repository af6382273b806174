// The Grace link through an in-memory pipe: the exact command stream of each
// behaviour, the plot files, and the life of the Graces it starts.
#include "grace/grace_link.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "grace/fake_grace_pipe.h"
#include "index/index_table.h"
#include "output/column_choice.h"
#include "testutil.h"

namespace {

bool exists(const std::string& path) {
  struct stat sb;
  return stat(path.c_str(), &sb) == 0;
}

// What Grace reads for a list of commands: each followed by the line feed
// the pipe adds.
std::string sent(std::initializer_list<std::string> cmds) {
  std::string s;
  for (const std::string& c : cmds) s += c + "\n";
  return s;
}

const char kPointsFile[] =
    "#S 7  points\n"
    "#N 3\n"
    "#L x  mon  det\n"
    "1 10 0\n"
    "2 10 4\n"
    "#C a comment among the data\n"
    "3 10 100\n"
    "4 0.5 100\n"
    "5 1000 0.00001\n"
    "#S 8  one line\n"
    "#N 3\n"
    "5 10 10\n";

class GraceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(old_cwd_, sizeof old_cwd_));
    ASSERT_EQ(0, chdir(work_.path().c_str()));
    ASSERT_EQ(0, mkdir(tmp_.c_str(), 0700));
    const char* tmpdir = getenv("TMPDIR");
    had_tmpdir_ = tmpdir != nullptr;
    if (tmpdir) old_tmpdir_ = tmpdir;
    setenv("TMPDIR", tmp_.c_str(), 1);
    work_.write("demo.dat", kDemoFile);
    work_.write("points.dat", kPointsFile);
  }

  void TearDown() override {
    if (t_.inf) index_free(t_);
    if (had_tmpdir_) {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    EXPECT_EQ(0, chdir(old_cwd_));
  }

  void open(const char* name) {
    ASSERT_EQ(1, index_open(t_, tc_.con, name));
    index_file(t_, tc_.con);
    tc_.out.str(true);
  }

  // Plots position `ref` and returns what Grace read for it.
  std::string plot(int ref) {
    fake_.sent.clear();
    EXPECT_EQ(ref, gracesend_scan(g_, t_, st_, tc_.con, ref));
    return fake_.sent;
  }

  std::string read_block() { return "READ BLOCK \"" + g_.tmpname + "\"\n"; }
  std::string path(const std::string& name) { return work_.file(name); }

  TempDir work_;
  std::string tmp_ = work_.file("tmp");
  char old_cwd_[4096];
  std::string old_tmpdir_;
  bool had_tmpdir_ = false;
  TestConsole tc_;
  IndexTable t_;
  PlotOptions st_;
  FakeGracePipe fake_;
  GraceLink g_{fake_};
};

TEST_F(GraceLinkTest, DefaultSettingsSendTheDefaultSequence) {
  open("demo.dat");
  std::string got = plot(0);
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
                  "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            got);
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str());
  EXPECT_EQ("", tc_.err.str());
  EXPECT_EQ(tmp_ + "/kurvatab", g_.tmpname.substr(0, tmp_.size() + 9));
  // Every digit of each value.
  EXPECT_EQ("0 12.000000999999999\n1 15.000000999999999\n", read_file(g_.tmpname));

  // The next plot goes to the same Grace through a file of its own, while
  // the first one stays for Grace to read.
  std::string first = g_.tmpname;
  plot(1);
  EXPECT_NE(first, g_.tmpname);
  EXPECT_EQ("0 12.000000999999999\n1 15.000000999999999\n", read_file(first));
  EXPECT_EQ("-1 3.0000010000000001\n1 4.0000010000000001\n", read_file(g_.tmpname));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str());
  EXPECT_EQ(1, fake_.starts);
}

TEST_F(GraceLinkTest, FlagsChooseTheCommands) {
  open("demo.dat");
  st_.autoscale = st_.titleauto = st_.legendauto = 0;
  std::string got = plot(0);
  EXPECT_EQ(sent({"AUTOSCALE ONREAD NONE\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
                  "LEGEND OFF\n", "REDRAW\n"}),
            got);

  // Purging still autoscales; the purge text has no line feed of its own.
  st_.autopurge = 1;
  st_.errorbar = 1;
  got = plot(0);
  EXPECT_EQ(sent({"KILL G0\nG0 ON\nWITH G0", "AUTOSCALE ONREAD XYAXES\n", read_block(),
                  "BLOCK XYDY \"1:2:3\"\n", "S_ COMMENT \"demo.dat #S1\"\n",
                  "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n", "LEGEND OFF\n", "REDRAW\n"}),
            got);
  EXPECT_EQ("0 12.000000999999999 3.464101759475319\n1 15.000000999999999 3.8729834753068597\n",
            read_file(g_.tmpname));
}

TEST_F(GraceLinkTest, LogScaleIsSetBeforeTheDataAndSetBackAfterwards) {
  open("demo.dat");
  st_.logscale = 1;
  // Scaling on read must find the log axis, or it takes 0 as the minimum.
  std::string got = plot(0);
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", "G0 TYPE LOGY\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n",
                  "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            got);

  // The axis that was made logarithmic is made linear once.
  st_.logscale = 0;
  got = plot(0);
  EXPECT_EQ(
      sent({"AUTOSCALE ONREAD XYAXES\n", "YAXES SCALE NORMAL\n", read_block(), "BLOCK XY \"1:2\"\n",
            "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
            "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
      got);
  EXPECT_EQ(std::string::npos, plot(0).find("YAXES SCALE"));

  // A new Grace starts linear.
  st_.logscale = 1;
  plot(0);
  fake_.quit();
  st_.logscale = 0;
  EXPECT_EQ(std::string::npos, plot(0).find("YAXES SCALE"));
}

TEST_F(GraceLinkTest, AutomaticFilesAreLoadedAroundTheGraphSettings) {
  open("demo.dat");
  work_.write("kurvatab.par", "# par\n");
  work_.write("kurvatab.bat", "# bat\n");
  ASSERT_EQ(0, chmod("kurvatab.par", 0644));
  ASSERT_EQ(0, chmod("kurvatab.bat", 0600));
  // Grace is started elsewhere: it is given the files checked here.
  std::string got = plot(0);
  EXPECT_EQ(
      sent({"GETP \"" + path("kurvatab.par") + "\"\n", "AUTOSCALE ONREAD XYAXES\n", read_block(),
            "BLOCK XY \"1:2\"\n", "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n",
            "G0 TYPE XY\n", "GETP \"" + path("kurvatab.bat") + "\"\n",
            "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
      got);
  EXPECT_EQ(
      "Starting xmgrace, please wait!\n"
      "Automatic xmgr parameter file : kurvatab.par\n"
      "Automatic xmgr parameters file : kurvatab.bat\n",
      tc_.out.str(true));

  // Files that someone else may have written are not loaded, nor is a FIFO.
  ASSERT_EQ(0, chmod("kurvatab.par", 0664));
  ASSERT_EQ(0, unlink("kurvatab.bat"));
  ASSERT_EQ(0, mkfifo("kurvatab.bat", 0600));
  got = plot(0);
  EXPECT_EQ(std::string::npos, got.find("GETP")) << got;
  EXPECT_EQ(
      " kurvatab.par not loaded: others can write it (chmod go-w kurvatab.par to use it)\n"
      " kurvatab.bat not loaded: it is no plain file\n",
      tc_.out.str(true));
  ASSERT_EQ(0, unlink("kurvatab.bat"));
  if (geteuid() == 0) {
    ASSERT_EQ(0, chmod("kurvatab.par", 0644));
    ASSERT_EQ(0, chown("kurvatab.par", 65534, 65534));
    EXPECT_EQ(std::string::npos, plot(0).find("GETP"));
    EXPECT_EQ(
        " kurvatab.par not loaded: it belongs to uid 65534, not to you (make a copy of your own "
        "to use it)\n",
        tc_.out.str(true));
  }
}

TEST_F(GraceLinkTest, QuotesAndBackslashesInNamesCannotEndTheText) {
  // A scan file name that would close the quotes and run a command of its
  // own; and a temporary folder with a quote in its name.
  const std::string name = "x\\\"; SAVEALL \"p.agr\" \\";
  work_.write(name, kDemoFile);
  std::string tmp = work_.file("t\"mp");
  ASSERT_EQ(0, mkdir(tmp.c_str(), 0700));
  setenv("TMPDIR", tmp.c_str(), 1);
  open(name.c_str());
  const std::string label = "\"x\\\\\\\"; SAVEALL \\\"p.agr\\\" \\\\ #S1\"";
  std::string got = plot(0);
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n",
                  "READ BLOCK \"" + work_.file("t\\\"mp") + g_.tmpname.substr(tmp.size()) + "\"\n",
                  "BLOCK XY \"1:2\"\n", "S_ COMMENT " + label + "\n", "S_ LEGEND " + label + "\n",
                  "G0 TYPE XY\n", "SUBTITLE " + label + "\n", "LEGEND ON\n", "REDRAW\n"}),
            got);
}

TEST_F(GraceLinkTest, PointValuesFollowThePlotsOwnRules) {
  open("points.dat");
  st_.errorbar = 1;
  plot(0);
  // The 1e-6 offset is always added; the error is 0 below 1 count; the "#"
  // line among the data does not count; small values keep their digits.
  EXPECT_EQ(
      "1 9.9999999999999995e-07 0\n"
      "2 4.0000010000000001 2.0000002499999843\n"
      "3 100.000001 10.000000050000001\n"
      "4 100.000001 10.000000050000001\n"
      "5 1.1000000000000001e-05 0\n",
      read_file(g_.tmpname));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str(true));

  st_.normalize = 1;
  plot(0);
  // Divided by the monitor; a monitor below 1 leaves the point as it is,
  // and the user is told.
  EXPECT_EQ(
      "1 9.9999999999999995e-08 3.1622776601683791e-09\n"
      "2 0.40000010000000003 0.20039962594775468\n"
      "3 10.000000099999999 1.0488088538909273\n"
      "4 100.000001 10.000000050000001\n"
      "5 1.1000000000000001e-08 3.4785054261852177e-13\n",
      read_file(g_.tmpname));
  EXPECT_EQ(" 1 of 5 points of (i=1, s=7) left unnormalised: monitor below 1\n", tc_.out.str(true));

  // An x that cannot be read ends the points; the sequence is still sent.
  st_.xcol = 4;
  EXPECT_NE(std::string::npos, plot(0).find("REDRAW\n"));
  EXPECT_EQ("", read_file(g_.tmpname));
  EXPECT_EQ("", tc_.out.str());
}

TEST_F(GraceLinkTest, ScanOfOneLineIsNotPlotted) {
  open("points.dat");
  EXPECT_EQ("", plot(1));
  EXPECT_EQ("Starting xmgrace, please wait!\n No data to plot lines = 1\n", tc_.out.str());
}

TEST_F(GraceLinkTest, LabelsNameTheAxesBeforeTheBatFile) {
  work_.write("labels.dat",
              "#S 1  a\n#N 3\n#L Theta  Mon  Det \"a\\b\"\n1 10 100\n2 10 200\n"
              "#S 2  b\n#N 2\n#L Theta  Mon\n1 10\n2 10\n");
  work_.write("kurvatab.bat", "# bat\n");
  ASSERT_EQ(0, chmod("kurvatab.bat", 0600));
  open("labels.dat");
  st_.ylabel = "Det \"a\\b\"";
  st_.zlabel = "Mon";
  st_.normalize = 1;
  // The names go inside Grace's quotes, a backslash and '"' escaped.
  EXPECT_EQ(
      sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
            "S_ COMMENT \"labels.dat #S1\"\n", "S_ LEGEND \"labels.dat #S1\"\n", "G0 TYPE XY\n",
            "XAXIS LABEL \"Theta\"\n", "YAXIS LABEL \"Det \\\"a\\\\b\\\"/Mon\"\n",
            "GETP \"" + path("kurvatab.bat") + "\"\n", "SUBTITLE \"labels.dat #S1\"\n",
            "LEGEND ON\n", "REDRAW\n"}),
      plot(0));
  EXPECT_EQ("1 10.000000099999999\n2 20.000000100000001\n", read_file(g_.tmpname));

  // A scan without the label is not plotted: one line, nothing sent.
  tc_.out.str(true);
  fake_.sent.clear();
  EXPECT_EQ(kSkippedScan, gracesend_scan(g_, t_, st_, tc_.con, 1));
  EXPECT_EQ(" scan 2 (i=2) has no label \"Det \"a\\b\"\"; its labels are \"Theta\" \"Mon\"\n",
            tc_.out.str());
  EXPECT_EQ("", fake_.sent);
}

TEST_F(GraceLinkTest, TooLongCommandIsRefusedNotCut) {
  open("demo.dat");
  t_.inf_name = std::string(3000, 'n');
  std::string got = plot(0);
  EXPECT_EQ(std::string::npos, got.find("COMMENT"));
  EXPECT_NE(std::string::npos, got.find(read_block()));
  EXPECT_NE(std::string::npos, got.find("G0 TYPE XY\n"));
  std::string too_long = "Grace: command of 3018 characters is too long, not sent: S_ COMMENT \"" +
                         std::string(28, 'n') + "...\n";
  EXPECT_EQ(too_long, tc_.err.str().substr(0, too_long.size()));
}

TEST_F(GraceLinkTest, HardCopyGoesWhereTheUserWants) {
  open("demo.dat");
  plot(0);
  tc_.out.str(true);
  fake_.sent.clear();
  gracesend_print(g_, st_, tc_.con, "");
  st_.graceprint = "";
  gracesend_print(g_, st_, tc_.con, "  ");
  EXPECT_EQ(sent({"DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n",
                  "DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n"}),
            fake_.sent);
  EXPECT_EQ("", tc_.out.str(true));

  // To a file: its format, then Grace's device and print file as they were.
  fake_.sent.clear();
  gracesend_print(g_, st_, tc_.con, " out.PNG");
  EXPECT_EQ(sent({"DEVICE \"PostScript\" PAGE SIZE 300,400\n", "HARDCOPY DEVICE \"PNG\"\n",
                  "PRINT TO \"" + path("out.PNG") + "\"\n", "PRINT\n",
                  "HARDCOPY DEVICE \"PostScript\"\n", "PRINT TO \"\"\n"}),
            fake_.sent);
  EXPECT_EQ(" hard copy (PNG) goes to " + path("out.PNG") + "\n", tc_.out.str(true));

  // The parameters may set device and file themselves.
  st_.graceprint = "hardcopy device \"JPEG\"; Print To \"a.jpg\"";
  gracesend_print(g_, st_, tc_.con, "");
  fake_.sent.clear();
  gracesend_print(g_, st_, tc_.con, "/x/b.eps");
  EXPECT_EQ(sent({st_.graceprint + "\n", "HARDCOPY DEVICE \"EPS\"\n", "PRINT TO \"/x/b.eps\"\n",
                  "PRINT\n", "HARDCOPY DEVICE \"JPEG\"\n", "PRINT TO \"a.jpg\"\n"}),
            fake_.sent);
  tc_.out.str(true);

  fake_.sent.clear();
  gracesend_print(g_, st_, tc_.con, "c.pdf");
  gracesend_print(g_, st_, tc_.con, "c.doc");
  gracesend_print(g_, st_, tc_.con, "dir.png/c");
  EXPECT_EQ("", fake_.sent);
  EXPECT_EQ(
      " h: this Grace has no PDF device: name the file .ps, .eps, .png, .jpg or .svg\n"
      " h: cannot tell the format of c.doc: name it .ps, .eps, .png, .jpg or .svg\n"
      " h: cannot tell the format of dir.png/c: name it .ps, .eps, .png, .jpg or .svg\n",
      tc_.out.str());
  EXPECT_EQ("", tc_.err.str());
}

TEST_F(GraceLinkTest, BatchAndParameterFilesTakeEffectAtOnce) {
  open("demo.dat");
  work_.write("my.bat", "REDRAW\n");
  work_.write("my.par", "# par\n");
  ASSERT_EQ(0, mkdir(work_.file("adir").c_str(), 0755));
  plot(0);
  tc_.out.str(true);
  fake_.sent.clear();
  EXPECT_EQ(0, gracesend_batch(g_, tc_.con, "my.bat"));
  EXPECT_EQ(-1, gracesend_batch(g_, tc_.con, " my.bat"));
  EXPECT_EQ(-1, gracesend_batch(g_, tc_.con, ""));
  EXPECT_EQ(-1, gracesend_batch(g_, tc_.con, "adir"));
  EXPECT_EQ(0, gracesend_parameter(g_, tc_.con, "my.par"));
  EXPECT_EQ(-1, gracesend_parameter(g_, tc_.con, " my.par"));
  EXPECT_EQ(
      "Using xmgr batch file my.bat\n"
      " xmgr batch file  my.bat not found\n"
      " xmgr batch file  not found\n"
      " xmgr batch file adir not found\n"
      "Using xmgr parameter file my.par\n"
      " xmgr parameter file  my.par not found\n",
      tc_.out.str());
  EXPECT_EQ(sent({"GETP \"" + path("my.bat") + "\"\n", "GETP \"" + path("my.par") + "\"\n"}),
            fake_.sent);
  EXPECT_EQ("", tc_.err.str());
}

TEST_F(GraceLinkTest, RequestsWithoutGraceAreFoundButNotDelivered) {
  work_.write("my.par", "# par\n");
  EXPECT_EQ(0, gracesend_parameter(g_, tc_.con, "my.par"));
  gracesend_print(g_, st_, tc_.con, "x.png");
  EXPECT_EQ("Using xmgr parameter file my.par\n", tc_.out.str());
  EXPECT_EQ("Grace: no Grace process is running\nGrace: no Grace process is running\n",
            tc_.err.str());
  EXPECT_EQ(0, fake_.starts);
}

TEST_F(GraceLinkTest, GraceThatCannotStartIsTriedAgain) {
  open("demo.dat");
  fake_.can_start = false;
  fake_.start_error = "xmgrace: no display";
  EXPECT_EQ("", plot(0));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str(true));
  EXPECT_EQ("xmgrace: no display\nCan't run Grace.\n", tc_.err.str(true));
  EXPECT_TRUE(g_.tmpname.empty());
  fake_.can_start = true;
  EXPECT_NE("", plot(0));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str());
}

TEST_F(GraceLinkTest, GraceThatStoppedReadingIsOneMessage) {
  open("demo.dat");
  plot(0);
  fake_.deaf = true;
  plot(0);
  EXPECT_EQ("Grace: GraceOneWrite: Broken pipe\n", tc_.err.str(true));
  fake_.deaf = false;
  plot(0);
  EXPECT_EQ(2, fake_.starts);
  EXPECT_EQ("", tc_.err.str());
}

TEST_F(GraceLinkTest, EveryGraceEndsBeforeItsFilesGo) {
  open("demo.dat");
  plot(0);
  std::string first = g_.tmpname;
  fake_.deaf = true;  // the first Grace no longer reads, but runs on
  plot(0);
  fake_.deaf = false;
  plot(0);
  std::string second = g_.tmpname;
  fake_.quit();  // the second Grace has ended: its file goes at the restart
  plot(1);
  EXPECT_EQ(3, fake_.starts);
  EXPECT_TRUE(exists(first));
  EXPECT_FALSE(exists(second));
  std::string third = g_.tmpname;

  // At the end the connected Grace is told to exit; each Grace still
  // running is waited for (and stopped when it does not exit) before its
  // files are removed.
  fake_.sent.clear();
  fake_.on_end = [&](int pid) { EXPECT_TRUE(exists(pid == 101 ? first : third)) << pid; };
  MemOut errors;
  grace_end(g_, errors.f());
  EXPECT_EQ("exit\n", fake_.sent);
  EXPECT_EQ("101 stopped\n103 by itself\n", fake_.ended);
  EXPECT_EQ("xmgrace (process 101) did not exit within 5 seconds: stopped\n", errors.str());
  EXPECT_FALSE(exists(first));
  EXPECT_FALSE(exists(third));
  EXPECT_TRUE(fake_.running.empty());

  fake_.sent.clear();
  grace_end(g_, errors.f());  // a second run finds nothing to do
  EXPECT_EQ("", fake_.sent);
}

}  // namespace
