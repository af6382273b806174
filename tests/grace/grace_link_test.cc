// The Grace link on an in-memory pipe: commands, plot files, the Graces' lives.
#include "grace/grace_link.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "grace/fake_grace_pipe.h"
#include "read/column_choice.h"
#include "testutil.h"

namespace {

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

const char kPoints[] =
    "#S 7  points\n#N 3\n#L x  mon  det\n1 10 0\n2 10 4\n#C among the data\n"
    "4 0.5 100\n5 1000 0.00001\n#S 8  one line\n#N 3\n5 10 10\n";
const char kStarting[] = "Starting xmgrace, please wait!\n";
const std::string kRead = "@|BLOCK XY \"1:2\"|S_ COMMENT $|S_ LEGEND $|";
const std::string kTail = "G0 TYPE XY|SUBTITLE $|LEGEND ON|REDRAW";

class GraceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, mkdir("tmp", 0700));
    work_.write("points.dat", kPoints);
    open("points.dat");
  }
  void TearDown() override {
    if (t_.inf) index_free(t_);
  }
  void open(const std::string& name) {
    if (t_.inf) index_free(t_);
    ASSERT_TRUE(index_open(t_, name.c_str()).ok());
    index_file(t_, tc_.con);
    tc_.out.str(true);
  }
  // Plots position `ref` and returns what Grace read for it.
  std::string plot(int ref, bool skipped = false) {
    fake_.sent.clear();
    const Status s = gracesend_scan(g_, t_, st_, tc_.con, ref);
    EXPECT_EQ(skipped, s.is_not_found());
    said(s);
    return fake_.sent;
  }
  // A failure printed where the command prints it; true on success.
  bool said(const Status& s) { return s.report(tc_.con.out); }
  // What Grace reads for "CMD|...": @ is the last READ BLOCK, $ the quoted label.
  std::string seq(const std::string& cmds, const std::string& label = "\"points.dat #S7\"") {
    std::string s, read = "READ BLOCK \"" + g_.tmpname + "\"";
    for (char c : cmds + "|")
      s += c == '|' ? "\n\n" : c == '$' ? label : c == '@' ? read : std::string(1, c);
    return s;
  }

  // `sent` with each GETP "file" shown as GETP and what that file holds:
  // Grace is handed a copy of its own.
  static std::string copies(std::string sent) {
    for (size_t at = 0; (at = sent.find("GETP \"", at)) != std::string::npos;) {
      size_t end = sent.find("\"\n", at + 6);
      std::string path = sent.substr(at + 6, end - at - 6);
      for (size_t q; (q = path.find("\\\"")) != std::string::npos;) path.erase(q, 1);
      std::string text = read_file(path);
      sent.replace(at + 5, end + 1 - at - 5, text);
      at += 5 + text.size();
    }
    return sent;
  }

  TempDir work_;
  InDir in_work_{work_.path()};
  ScopedEnv tmpdir_{"TMPDIR", "tmp"};  // relative: Grace must get it absolute
  TestConsole tc_;
  IndexTable t_;
  PlotOptions st_;
  FakeGracePipe fake_;
  GraceLink g_{fake_};
};

// One Grace, a new plot file per case; y gets 1e-6, no error below 1 count.
TEST_F(GraceLinkTest, SettingsChooseTheCommandsAndPoints) {
  const std::string plain = "AUTOSCALE ONREAD XYAXES|" + kRead + kTail;
  const std::string errors = "@|BLOCK XYDY \"1:2:3\"|S_ COMMENT $|S_ LEGEND $|" + kTail;
  const char* xy =
      "1 9.9999999999999995e-07\n2 4.0000010000000001\n4 100.000001\n"
      "5 1.1000000000000001e-05\n";
  struct Case {
    const char* name;
    std::function<void(PlotOptions&)> set;
    std::string want;
    const char* points;
    std::string said = "";
  } cases[] = {
      {"defaults", [](PlotOptions&) {}, plain, xy, kStarting},
      {"no autoscale, title, legend",
       [](PlotOptions& s) { s.autoscale = s.titleauto = s.legendauto = 0; },
       "AUTOSCALE ONREAD NONE|" + kRead + "G0 TYPE XY|LEGEND OFF|REDRAW", xy},
      // Purging autoscales; its text has no line feed of its own.
      {"purge, error bars", [](PlotOptions& s) { s.autoscale = 0, s.autopurge = s.errorbar = 1; },
       "KILL G0\nG0 ON\nWITH G0\nAUTOSCALE ONREAD XYAXES|" + errors,
       "1 9.9999999999999995e-07 0\n2 4.0000010000000001 2.0000002499999843\n"
       "4 100.000001 10.000000050000001\n5 1.1000000000000001e-05 0\n"},
      {"normalised, error bars", [](PlotOptions& s) { s.normalize = s.errorbar = 1; },
       "AUTOSCALE ONREAD XYAXES|" + errors,
       "1 9.9999999999999995e-08 3.1622776601683791e-09\n2 0.40000010000000003 "
       "0.20039962594775468\n4 100.000001 10.000000050000001\n"
       "5 1.1000000000000001e-08 3.4785054261852177e-13\n",
       " 1 of 4 points of (i=1, s=7) left unnormalised: monitor below 1\n"},
      // Scaling on read must find the log axis, or it takes 0 as the minimum.
      {"log scale", [](PlotOptions& s) { s.logscale = 1; },
       "AUTOSCALE ONREAD XYAXES|G0 TYPE LOGY|" + kRead + "SUBTITLE $|LEGEND ON|REDRAW", xy},
      {"linear after log", [](PlotOptions&) {},
       "AUTOSCALE ONREAD XYAXES|YAXES SCALE NORMAL|" + kRead + kTail, xy},
      {"linear again", [](PlotOptions&) {}, plain, xy},
      // An x that cannot be read ends the points; the sequence is still sent.
      {"no x", [](PlotOptions& s) { s.xcol = 4; }, plain, ""},
  };
  std::string last;
  for (const Case& c : cases) {
    st_ = PlotOptions();
    c.set(st_);
    std::string got = plot(0);  // names the plot file that seq() puts in
    EXPECT_EQ(seq(c.want), got) << c.name;
    EXPECT_EQ(c.points, read_file(g_.tmpname)) << c.name;
    EXPECT_EQ(c.said, tc_.out.str(true)) << c.name;
    EXPECT_TRUE(last != g_.tmpname && (last.empty() || exists(last))) << c.name;
    last = g_.tmpname;
  }
  EXPECT_EQ("", plot(1) + tc_.err.str());  // a scan of one line is not plotted
  EXPECT_EQ(" No data to plot lines = 1\n", tc_.out.str(true));
  st_.logscale = 1;  // a new Grace starts linear
  plot(0);
  fake_.quit();
  st_.logscale = 0;
  std::string got = plot(0);
  EXPECT_EQ(seq(plain), got);
}

// Names arrive escaped; the automatic files are read only when the user alone owns them.
TEST_F(GraceLinkTest, NamesLabelsAndAutomaticFilesReachGraceEscaped) {
  const std::string name = "x\\\"; SAVEALL \"p.agr\" \\";
  work_.write(name,
              "#S 1  a\n#N 3\n#L Theta  Mon  Det \"a\\b\"\n1 10 100\n2 10 200\n"
              "#S 2  b\n#N 2\n#L Theta  Mon\n1 10\n2 10\n");
  open(name);
  st_.ylabel = "Det \"a\\b\"";
  st_.zlabel = "Mon";
  st_.normalize = 1;
  ASSERT_EQ(0, mkdir("t\"mp", 0700));
  ScopedEnv tmpdir("TMPDIR", "t\"mp");
  work_.write("kurvatab.par", "# par\n");
  work_.write("kurvatab.bat", "# bat\n");
  ASSERT_EQ(0, chmod("kurvatab.par", 0644) + chmod("kurvatab.bat", 0600));
  std::string got = plot(0), read = "READ BLOCK \"" + work_.file("t\\\"mp") +
                                    g_.tmpname.substr(work_.path().size() + 5) + "\"";
  EXPECT_EQ(seq("GETP # par\n|AUTOSCALE ONREAD XYAXES|" + read + kRead.substr(1) +
                    "G0 TYPE XY|XAXIS LABEL \"Theta\"|YAXIS LABEL \"Det \\\"a\\\\b\\\"/Mon\"|" +
                    "GETP # bat\n|SUBTITLE $|LEGEND ON|REDRAW",
                "\"x\\\\\\\"; SAVEALL \\\"p.agr\\\" \\\\ #S1\""),
            copies(got));
  EXPECT_EQ("1 10.000000099999999\n2 20.000000100000001\n", read_file(g_.tmpname));
  EXPECT_EQ(std::string(kStarting) + "Automatic xmgr parameter file : kurvatab.par\n" +
                "Automatic xmgr parameters file : kurvatab.bat\n",
            tc_.out.str(true));
  // A scan without the label is not plotted: one line, nothing sent.
  EXPECT_EQ("", plot(1, true));
  EXPECT_EQ(" scan 2 (i=2) has no label \"Det \"a\\b\"\"; its labels are \"Theta\" \"Mon\"\n",
            tc_.out.str(true));
  // Not loaded: a file others may write, a FIFO, a file of another user.
  ASSERT_EQ(0, chmod("kurvatab.par", 0664) + unlink("kurvatab.bat") + mkfifo("kurvatab.bat", 0600));
  EXPECT_EQ(std::string::npos, plot(0).find("GETP"));
  EXPECT_EQ(
      " kurvatab.par not loaded: others can write it (chmod go-w kurvatab.par to use it)\n"
      " kurvatab.bat not loaded: it is no plain file\n",
      tc_.out.str(true));
  ASSERT_EQ(0, unlink("kurvatab.bat") + chmod("kurvatab.par", 0644));
  if (geteuid() == 0) {
    ASSERT_EQ(0, chown("kurvatab.par", 65534, 65534));
    EXPECT_EQ(std::string::npos, plot(0).find("GETP"));
    EXPECT_EQ(
        " kurvatab.par not loaded: it belongs to uid 65534, not to you (make a copy of your "
        "own to use it)\n",
        tc_.out.str(true));
  }
}

TEST_F(GraceLinkTest, TooLongCommandIsRefusedNotCut) {
  t_.inf_name = std::string(3000, 'n');
  std::string got = plot(0);
  EXPECT_TRUE(got.find("COMMENT") == std::string::npos &&
              got.find("LEGEND ON") != std::string::npos);
  std::string too_long = "Grace: command of 3018 characters is too long, not sent: S_ COMMENT \"" +
                         std::string(28, 'n') + "...\n";
  EXPECT_EQ(too_long, tc_.err.str().substr(0, too_long.size()));
}

TEST_F(GraceLinkTest, HardCopyGoesWhereTheUserWants) {
  plot(0);
  auto print = [&](const char* name) {
    fake_.sent.clear();
    said(gracesend_print(g_, st_, tc_.con, name));
    return fake_.sent;
  };
  const std::string ps = "DEVICE \"PostScript\" PAGE SIZE 300,400\n\n";
  EXPECT_EQ(ps + "PRINT\n\n", print(""));
  st_.graceprint = "";
  EXPECT_EQ(ps + "PRINT\n\n", print("  "));
  // To a file: its format, then Grace's device and print file as they were.
  EXPECT_EQ(ps + seq("HARDCOPY DEVICE \"PNG\"|PRINT TO \"" + work_.file("out.PNG") +
                     "\"|PRINT|HARDCOPY DEVICE \"PostScript\"|PRINT TO \"\""),
            print(" out.PNG"));
  EXPECT_EQ(kStarting + (" hard copy (PNG) goes to " + work_.file("out.PNG") + "\n"),
            tc_.out.str(true));
  // The parameters may set device and file themselves.
  st_.graceprint = "hardcopy device \"JPEG\"; Print To \"a.jpg\"";
  print("");
  EXPECT_EQ(seq(st_.graceprint + "|HARDCOPY DEVICE \"EPS\"|PRINT TO \"" + work_.path() +
                "/b.eps\"|PRINT|HARDCOPY DEVICE \"JPEG\"|PRINT TO \"a.jpg\""),
            print((work_.path() + "/b.eps").c_str()));
  tc_.out.str(true);
  // Nothing is sent for a format Grace lacks, or a folder Grace cannot write to.
  for (const char* name : {"c.pdf", "dir.png/c", "/no/such/dir/b.eps"})
    EXPECT_EQ("", print(name)) << name;
  EXPECT_EQ(
      " h: this Grace has no PDF device: name the file .ps, .eps, .png, .jpg or .svg\n"
      " h: cannot tell the format of dir.png/c: name it .ps, .eps, .png, .jpg or .svg\n"
      " h: no hard copy to /no/such/dir/b.eps: its folder /no/such/dir: No such file or "
      "directory\n" +
          tc_.err.str(),
      tc_.out.str());
}

TEST_F(GraceLinkTest, BatchAndParameterFilesTakeEffectAtOnce) {
  std::string bat = work_.write("my.bat", "REDRAW\n");
  std::string par = work_.write("my.par", "# par\n");
  ASSERT_EQ(0, mkdir("adir", 0755));
  // Without Grace a request is found but not delivered (a failure), and no
  // Grace starts.
  EXPECT_FALSE(said(gracesend_parameter(g_, tc_.con, "my.par")));
  EXPECT_FALSE(said(gracesend_print(g_, st_, tc_.con, "x.png")));
  EXPECT_EQ("Using xmgr parameter file my.par\n", tc_.out.str(true));
  EXPECT_EQ("Grace: no Grace process is running\nGrace: no Grace process is running\n",
            tc_.err.str(true));
  plot(0);
  fake_.sent.clear();
  EXPECT_TRUE(said(gracesend_batch(g_, tc_.con, "my.bat")));
  EXPECT_FALSE(said(gracesend_batch(g_, tc_.con, " my.bat")));
  EXPECT_FALSE(said(gracesend_batch(g_, tc_.con, "adir")));
  EXPECT_TRUE(said(gracesend_parameter(g_, tc_.con, "my.par")));
  EXPECT_EQ(std::string(kStarting) +
                "Using xmgr batch file my.bat\n xmgr batch file  my.bat not found\n"
                " xmgr batch file adir not found\nUsing xmgr parameter file my.par\n" +
                tc_.err.str(),
            tc_.out.str());
  // Grace reads copies: a file changed after the request changes nothing.
  append_file(bat, "KILL G0\n");
  EXPECT_EQ(seq("GETP REDRAW\n|GETP # par\n"), copies(fake_.sent));
  EXPECT_EQ(1, fake_.starts);
  // Another user's link (planted in a shared folder) is not followed.
  if (geteuid() == 0) {
    ASSERT_EQ(0, symlink("my.par", "their.bat") + lchown("their.bat", 65534, 65534));
    tc_.out.str(true);
    EXPECT_FALSE(said(gracesend_batch(g_, tc_.con, "their.bat")));
    EXPECT_EQ(" xmgr batch file their.bat: it is a link that belongs to uid 65534, not to you\n",
              tc_.out.str(true));
  }
}

// A Grace that cannot start, stops reading or ends is restarted; each ends before its files go.
TEST_F(GraceLinkTest, EveryGraceEndsBeforeItsFilesGo) {
  fake_.can_start = false;
  fake_.start_error = "xmgrace: no display";
  EXPECT_EQ("", plot(0));
  EXPECT_EQ("xmgrace: no display\nCan't run Grace.\n", tc_.err.str(true));
  fake_.can_start = true;
  plot(0);
  std::string first = g_.tmpname;
  fake_.deaf = true;  // the first Grace no longer reads, but runs on
  plot(0);
  EXPECT_EQ("Grace: GraceOneWrite: Broken pipe\n", tc_.err.str(true));
  fake_.deaf = false;
  plot(0);
  std::string second = g_.tmpname;
  fake_.quit();  // the second Grace has ended: its file goes at the restart
  plot(0);
  EXPECT_EQ(std::string(kStarting) + kStarting + kStarting + kStarting, tc_.out.str());
  EXPECT_EQ(3, fake_.starts);
  EXPECT_TRUE(exists(first) && !exists(second));
  std::string third = g_.tmpname;
  // Told to exit, or waited for (or stopped), each Grace ends before its files go.
  fake_.sent.clear();
  fake_.on_end = [&](int pid) { EXPECT_TRUE(exists(pid == 101 ? first : third)) << pid; };
  MemOut errors;
  grace_end(g_, errors.f());
  grace_end(g_, errors.f());  // a second run finds nothing to do
  EXPECT_EQ("exit\n", fake_.sent);
  EXPECT_EQ("101 stopped\n103 by itself\n", fake_.ended);
  EXPECT_EQ("xmgrace (process 101) did not exit within 5 seconds: stopped\n", errors.str());
  EXPECT_FALSE(exists(first) || exists(third));
  EXPECT_TRUE(fake_.running.empty());
}

// A scan without spectra: one line naming its position, nothing sent.
TEST_F(GraceLinkTest, SpectrumMissingIsSaidWithThePosition) {
  EXPECT_FALSE(said(gracesend_spectrum(g_, t_, st_, tc_.con, 1, SpectrumPick())));
  EXPECT_NE(std::string::npos, tc_.out.str().find(" (i=2): ")) << tc_.out.str();
  EXPECT_EQ("", fake_.sent);
}

}  // namespace
