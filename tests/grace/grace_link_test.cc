// The Grace link through the real grace_np library, with a fake xmgrace first
// on PATH that records everything arriving on its pipe (see fake_xmgrace).
#include "grace/grace_link.h"

#include <grace_np.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <thread>

#include "grace/grace_process.h"
#include "index/index_table.h"
#include "output/column_choice.h"
#include "testutil.h"

namespace {

std::string source_dir() {
  std::string f = __FILE__;
  return f.substr(0, f.rfind('/'));
}

bool exists(const std::string& path) {
  struct stat sb;
  return stat(path.c_str(), &sb) == 0;
}

// What grace_np writes for a list of commands: each as formatted, followed by
// the line feed the library adds to every command.
std::string sent(std::initializer_list<std::string> cmds) {
  std::string s;
  for (const std::string& c : cmds) s += c + "\n";
  return s;
}

int count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) ++n;
  return n;
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
    "#S 8  one line\n"
    "#N 3\n"
    "5 10 10\n";

class GraceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(old_cwd_, sizeof old_cwd_));
    ASSERT_EQ(0, chdir(work_.path().c_str()));
    ASSERT_EQ(0, mkdir(bin_.c_str(), 0755));
    ASSERT_EQ(0, symlink((source_dir() + "/fake_xmgrace").c_str(), (bin_ + "/xmgrace").c_str()));
    const char* path = getenv("PATH");
    old_path_ = path ? path : "/usr/bin:/bin";
    setenv("PATH", (bin_ + ":" + old_path_).c_str(), 1);
    const char* display = getenv("DISPLAY");
    had_display_ = display != nullptr;
    if (display) old_display_ = display;
    setenv("DISPLAY", ":77", 1);
    setenv("FAKE_XMGRACE_LOG", log_.c_str(), 1);
    unsetenv("FAKE_XMGRACE_QUIT_AFTER");
    unsetenv("FAKE_XMGRACE_DEAF");
    work_.write("demo.dat", kDemoFile);
    work_.write("points.dat", kPointsFile);
  }

  void TearDown() override {
    bool was_open = GraceIsOpen();
    grace_atexit();
    if (was_open) wait_for("exit\n", 1);
    if (t_.inf) index_free(t_);
    setenv("PATH", old_path_.c_str(), 1);
    if (had_display_) {
      setenv("DISPLAY", old_display_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    unsetenv("FAKE_XMGRACE_QUIT_AFTER");
    unsetenv("FAKE_XMGRACE_DEAF");
    EXPECT_EQ(0, chdir(old_cwd_));
  }

  void open(const char* name) {
    ASSERT_EQ(1, index_open(t_, tc_.con, name));
    index_file(t_, tc_.con);
    tc_.out.str(true);
  }

  // The log of the fake xmgrace once it holds `n` copies of `needle`.
  std::string wait_for(const std::string& needle, int n) {
    std::string s;
    for (int i = 0; i < 500; ++i) {
      s = exists(log_) ? read_file(log_) : "";
      if (count(s, needle) >= n) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return s;
  }

  // Plots position `ref` and returns what the fake received for it.
  std::string plot(int ref) {
    int before = count(exists(log_) ? read_file(log_) : "", "REDRAW\n");
    EXPECT_EQ(ref, gracesend_scan(g_, t_, st_, tc_.con, ref));
    std::string s = wait_for("REDRAW\n", before + 1);
    size_t from = 0;
    for (int i = 0; i < before; ++i) from = s.find("REDRAW\n", from) + 8;
    return s.substr(from);
  }

  std::string block(int n) { return read_file(log_ + ".block" + std::to_string(n)); }
  std::string read_block() { return "READ BLOCK \"" + g_.tmpname + "\"\n"; }

  TempDir work_;
  std::string bin_ = work_.file("bin");
  std::string log_ = work_.file("pipe.log");
  char old_cwd_[4096];
  std::string old_path_, old_display_;
  bool had_display_ = false;
  TestConsole tc_;
  IndexTable t_;
  PlotOptions st_;
  GraceLink g_;
};

TEST_F(GraceLinkTest, DefaultSettingsSendTheDefaultSequence) {
  open("demo.dat");
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
                  "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            plot(0));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str());
  EXPECT_EQ("", tc_.err.str());
  EXPECT_EQ("0.000000 12.000001\n1.000000 15.000001\n", block(1));
  std::string args = read_file(log_ + ".args");
  EXPECT_EQ("-dpipe ", args.substr(0, 7));
  EXPECT_NE(std::string::npos, args.find(" -noask"));
  EXPECT_EQ(0u, g_.tmpname.find(std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp")));

  // A second plot reuses the running Grace and the same file.
  std::string first_name = g_.tmpname;
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S2\"\n", "S_ LEGEND \"demo.dat #S2\"\n", "G0 TYPE XY\n",
                  "SUBTITLE \"demo.dat #S2\"\n", "LEGEND ON\n", "REDRAW\n"}),
            plot(1));
  EXPECT_EQ(first_name, g_.tmpname);
  EXPECT_EQ("-1.000000 3.000001\n1.000000 4.000001\n", block(2));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str());
  EXPECT_EQ(1, count(read_file(log_ + ".args"), "\n"));
}

TEST_F(GraceLinkTest, FlagsChooseTheCommands) {
  open("demo.dat");
  st_.autoscale = st_.titleauto = st_.legendauto = 0;
  EXPECT_EQ(sent({"AUTOSCALE ONREAD NONE\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
                  "LEGEND OFF\n", "REDRAW\n"}),
            plot(0));

  // Purging still autoscales; the purge text has no line feed of its own.
  st_.autopurge = 1;
  EXPECT_EQ(sent({"KILL G0\nG0 ON\nWITH G0", "AUTOSCALE ONREAD XYAXES\n", read_block(),
                  "BLOCK XY \"1:2\"\n", "S_ COMMENT \"demo.dat #S1\"\n",
                  "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n", "LEGEND OFF\n", "REDRAW\n"}),
            plot(0));

  st_.autopurge = 0;
  st_.autoscale = 1;
  st_.logscale = 1;
  st_.errorbar = 1;
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XYDY \"1:2:3\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE LOGY\n",
                  "LEGEND OFF\n", "REDRAW\n"}),
            plot(0));
  EXPECT_EQ("0.000000 12.000001 3.464102\n1.000000 15.000001 3.872983\n", block(3));
}

TEST_F(GraceLinkTest, AutomaticFilesAreLoadedAroundTheGraphSettings) {
  open("demo.dat");
  work_.write("kurvatab.par", "# par\n");
  work_.write("kurvatab.bat", "# bat\n");
  EXPECT_EQ(sent({"GETP \"kurvatab.par\"\n", "AUTOSCALE ONREAD XYAXES\n", read_block(),
                  "BLOCK XY \"1:2\"\n", "S_ COMMENT \"demo.dat #S1\"\n",
                  "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n", "GETP \"kurvatab.bat\"\n",
                  "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            plot(0));
  EXPECT_EQ(
      "Starting xmgrace, please wait!\n"
      "Automatic xmgr parameter file : kurvatab.par\n"
      "Automatic xmgr parameters file : kurvatab.bat\n",
      tc_.out.str());
}

TEST_F(GraceLinkTest, PointValuesFollowThePlotsOwnRules) {
  open("points.dat");
  st_.errorbar = 1;
  plot(0);
  // The 1e-6 offset is always added; the error is 0 below 1 count; the "#"
  // line among the data does not count.
  EXPECT_EQ(
      "1.000000 0.000001 0.000000\n"
      "2.000000 4.000001 2.000000\n"
      "3.000000 100.000001 10.000000\n"
      "4.000000 100.000001 10.000000\n",
      block(1));

  st_.normalize = 1;
  plot(0);
  // Divided by the monitor; a monitor below 1 leaves the point as it is.
  EXPECT_EQ(
      "1.000000 0.000000 0.000000\n"
      "2.000000 0.400000 0.200400\n"
      "3.000000 10.000000 1.048809\n"
      "4.000000 100.000001 10.000000\n",
      block(2));

  st_.errorbar = 0;
  plot(0);
  EXPECT_EQ(
      "1.000000 0.000000\n"
      "2.000000 0.400000\n"
      "3.000000 10.000000\n"
      "4.000000 100.000001\n",
      block(3));
}

TEST_F(GraceLinkTest, ScanOfOneLineIsNotPlotted) {
  open("points.dat");
  EXPECT_EQ(1, gracesend_scan(g_, t_, st_, tc_.con, 1));
  EXPECT_EQ("Starting xmgrace, please wait!\n No data to plot lines = 1\n", tc_.out.str());
  // Nothing went to Grace before the hard copy request.
  gracesend_print(g_, st_, "");
  EXPECT_EQ(sent({"DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n"}), wait_for("PRINT\n", 1));
}

TEST_F(GraceLinkTest, MissingXColumnStillSendsTheSequence) {
  open("demo.dat");
  st_.xcol = 4;  // the scan has three columns
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"demo.dat #S1\"\n", "S_ LEGEND \"demo.dat #S1\"\n", "G0 TYPE XY\n",
                  "SUBTITLE \"demo.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            plot(0));
  EXPECT_EQ("", block(1));
}

TEST_F(GraceLinkTest, LabelsNameTheAxesBeforeTheBatFile) {
  work_.write("labels.dat",
              "#S 1  a\n#N 3\n#L Theta  Mon  Det \"a\\b\"\n1 10 100\n2 10 200\n"
              "#S 2  b\n#N 2\n#L Theta  Mon\n1 10\n2 10\n");
  work_.write("kurvatab.bat", "# bat\n");
  open("labels.dat");
  st_.ylabel = "Det \"a\\b\"";
  st_.zlabel = "Mon";
  st_.normalize = 1;
  // The names go inside Grace's quotes, a backslash and '"' escaped.
  EXPECT_EQ(sent({"AUTOSCALE ONREAD XYAXES\n", read_block(), "BLOCK XY \"1:2\"\n",
                  "S_ COMMENT \"labels.dat #S1\"\n", "S_ LEGEND \"labels.dat #S1\"\n",
                  "G0 TYPE XY\n", "XAXIS LABEL \"Theta\"\n",
                  "YAXIS LABEL \"Det \\\"a\\\\b\\\"/Mon\"\n", "GETP \"kurvatab.bat\"\n",
                  "SUBTITLE \"labels.dat #S1\"\n", "LEGEND ON\n", "REDRAW\n"}),
            plot(0));
  EXPECT_EQ("1.000000 10.000000\n2.000000 20.000000\n", block(1));

  // A scan without the label is not plotted: one line, nothing sent.
  tc_.out.str(true);
  EXPECT_EQ(kSkippedScan, gracesend_scan(g_, t_, st_, tc_.con, 1));
  EXPECT_EQ(" scan 2 (i=2) has no label \"Det \"a\\b\"\"; its labels are \"Theta\" \"Mon\"\n",
            tc_.out.str());
  gracesend_print(g_, st_, "");
  std::string s = wait_for("PRINT\n", 1);
  EXPECT_EQ(sent({"DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n"}),
            s.substr(s.find("REDRAW\n") + 8));
}

TEST_F(GraceLinkTest, TooLongCommandIsRefusedNotCut) {
  open("demo.dat");
  t_.inf_name = std::string(3000, 'n');
  std::string got = plot(0);
  EXPECT_EQ(std::string::npos, got.find("COMMENT"));
  EXPECT_NE(std::string::npos, got.find(read_block()));
  EXPECT_NE(std::string::npos, got.find("G0 TYPE XY\n"));
  EXPECT_EQ(3, count(tc_.err.str(), "characters is too long, not sent"));
}

TEST_F(GraceLinkTest, HardCopyUsesThePrintParameters) {
  open("demo.dat");
  plot(0);
  gracesend_print(g_, st_, " ignored text");
  st_.graceprint = "HARDCOPY DEVICE \"PNG\"";
  gracesend_print(g_, st_, "");
  st_.graceprint = "";
  gracesend_print(g_, st_, "");
  std::string s = wait_for("PRINT\n", 3);
  EXPECT_EQ(
      sent({"DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n", "HARDCOPY DEVICE \"PNG\"\n",
            "PRINT\n", "DEVICE \"PostScript\" PAGE SIZE 300,400\n", "PRINT\n"}),
      s.substr(s.find("REDRAW\n") + 8));
}

TEST_F(GraceLinkTest, BatchAndParameterFilesAreSentWhenPresent) {
  open("demo.dat");
  work_.write("my.bat", "REDRAW\n");
  work_.write("my.par", "# par\n");
  ASSERT_EQ(0, mkdir(work_.file("adir").c_str(), 0755));
  plot(0);
  tc_.out.str(true);
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
  std::string s = wait_for("GETP \"my.par\"\n", 1);
  EXPECT_EQ(sent({"READ BATCH \"my.bat\"\n", "GETP \"my.par\"\n"}),
            s.substr(s.find("REDRAW\n") + 8));
  EXPECT_EQ("", tc_.err.str());
}

TEST_F(GraceLinkTest, ParameterFileBeforeAnyPlotIsFoundWithoutGrace) {
  work_.write("my.par", "# par\n");
  ASSERT_FALSE(GraceIsOpen());
  EXPECT_EQ(0, gracesend_parameter(g_, tc_.con, "my.par"));
  EXPECT_EQ("Using xmgr parameter file my.par\n", tc_.out.str());
  EXPECT_EQ("Grace: no Grace process is running\n", tc_.err.str());
  EXPECT_FALSE(exists(log_ + ".args"));
}

TEST_F(GraceLinkTest, NoDisplayOrNoXmgraceIsOneMessage) {
  open("demo.dat");
  unsetenv("DISPLAY");
  EXPECT_EQ(0, gracesend_scan(g_, t_, st_, tc_.con, 0));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str(true));
  EXPECT_EQ(
      "xmgrace: no display (DISPLAY is not set): run kurvatab in an X session, or set DISPLAY\n"
      "Can't run Grace.\n",
      tc_.err.str(true));

  setenv("DISPLAY", ":77", 1);
  setenv("PATH", work_.path().c_str(), 1);  // no xmgrace there
  EXPECT_EQ(0, gracesend_scan(g_, t_, st_, tc_.con, 0));
  EXPECT_EQ("Starting xmgrace, please wait!\n", tc_.out.str(true));
  EXPECT_EQ(
      "xmgrace: not found on PATH (or not executable): install the grace package (apt-get "
      "install grace)\nCan't run Grace.\n",
      tc_.err.str(true));
  EXPECT_FALSE(GraceIsOpen());
  EXPECT_TRUE(g_.tmpname.empty());
  EXPECT_FALSE(exists(log_ + ".args"));
}

TEST_F(GraceLinkTest, ClosedWindowStartsANewGraceAndFilesGoAtExit) {
  open("demo.dat");
  setenv("FAKE_XMGRACE_QUIT_AFTER", "REDRAW", 1);
  plot(0);
  std::string first = g_.tmpname;
  ASSERT_TRUE(exists(first));
  for (int i = 0; i < 500 && GraceIsOpen(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(GraceIsOpen());

  unsetenv("FAKE_XMGRACE_QUIT_AFTER");
  plot(1);
  EXPECT_EQ("Starting xmgrace, please wait!\nStarting xmgrace, please wait!\n", tc_.out.str());
  EXPECT_EQ(2, count(read_file(log_ + ".args"), "\n"));
  EXPECT_NE(first, g_.tmpname);
  EXPECT_FALSE(exists(first));
  EXPECT_TRUE(exists(g_.tmpname));
  // The new Grace numbers its copies from 1 again.
  EXPECT_EQ("-1.000000 3.000001\n1.000000 4.000001\n", block(1));

  grace_atexit();
  EXPECT_FALSE(GraceIsOpen());
  EXPECT_FALSE(exists(g_.tmpname));
  EXPECT_TRUE(grace_process.tmpfiles.empty());
  EXPECT_EQ(1, count(wait_for("exit\n", 1), "exit\n"));
  grace_atexit();  // a second run finds nothing to do
}

TEST_F(GraceLinkTest, GraceThatStoppedReadingIsOneMessage) {
  open("demo.dat");
  setenv("FAKE_XMGRACE_DEAF", "1", 1);
  EXPECT_EQ(0, gracesend_scan(g_, t_, st_, tc_.con, 0));
  for (int i = 0; i < 500 && !exists(log_ + ".deaf"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(GraceIsOpen());
  // The pipe has no reader now: the writes fail, and we are still here.
  EXPECT_EQ(0, gracesend_scan(g_, t_, st_, tc_.con, 0));
  std::string err = tc_.err.str();
  EXPECT_EQ(1, count(err, "\n")) << err;
  EXPECT_EQ(0u, err.find("Grace: ")) << err;
  EXPECT_FALSE(GraceIsOpen());
}

}  // namespace
