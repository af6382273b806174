// Following a growing scan file: console, waiting loop, file watch, Grace.
#include "follow/follow.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "follow/grace_follow.h"
#include "grace/fake_grace_pipe.h"
#include "testutil.h"

namespace {

const char kScan1[] = "#F f\n#S 1 first\n#N 3\n#L x m y\n1 10 100\n2 10 200\n";

// Time moves when the follow waits; on_wait plays the world; a line is typed at end_at.
struct FakeClock : FollowClock, FollowInput {
  int64_t now = 0, step = 1000000, end_at = INT64_MAX;
  int waits = 0, input_fd = -1;
  Result at_end = kLine;
  std::function<void(int64_t now)> on_wait;
  int64_t now_ms() override { return now; }
  void wait(const std::vector<int>&, int timeout_ms) override {
    now += std::min<int64_t>(timeout_ms, step);
    waits++;
    if (on_wait) on_wait(now);
  }
  Result poll_line() override { return now >= end_at ? at_end : kNothing; }
  int fd() const override { return input_fd; }
};

// A scan file as the interpreter leaves it open, followed in the console or in Grace.
struct Fixture {
  TempDir dir;
  ScopedEnv tmpdir{"TMPDIR", dir.path().c_str()};  // the plot files
  TestConsole tc;
  IndexTable t;
  PlotOptions st;
  FakeGracePipe fake;
  GraceLink g{fake};
  std::string path;
  std::unique_ptr<FollowSink> sink;
  std::unique_ptr<Follower> f;

  explicit Fixture(const std::string& content = kScan1) {
    path = dir.write("scan.dat", content);
    index_open(t, path.c_str());
    index_file(t, tc.con);
  }
  // A follower in the console or in Grace, begun at scan 1 unless follow_run will.
  void begin(bool grace, bool terminal = false, bool run = false) {
    if (grace) grace_start(g, tc.con);
    sink.reset(grace ? static_cast<FollowSink*>(new GraceSink(g, st, tc.con))
                     : new ConsoleSink(tc.con));
    f.reset(new Follower(t, tc.con, st, *sink, terminal));
    out(), sent();
    if (!run) f->begin(0);
  }
  std::string out() { return tc.out.str(true); }
  std::string sent() { return std::exchange(fake.sent, std::string()); }
  // Appends `text`, updates, and returns what the console shows.
  std::string add(const std::string& text) {
    append_file(path, text);
    f->update();
    return out();
  }
  std::string start() { return " following scan 1 (i=1) of " + path + ", Enter or Ctrl-C ends\n"; }
};

// The sets Grace holds after `stream`, each as a plot file holds its points.
std::vector<std::string> sets_of(const std::string& stream) {
  const std::string error = "S_.Y1[S_.LENGTH - 1] = ";
  std::vector<std::string> sets;
  std::istringstream in(stream);
  for (std::string c; std::getline(in, c);) {
    if (c.compare(0, 12, "READ BLOCK \"") == 0)
      sets.push_back(read_file(c.substr(12, c.size() - 13)));
    else if (c.compare(0, 9, "S_ POINT ") == 0)
      sets.back() += c.substr(9).replace(c.find(", ") - 9, 2, " ") + "\n";
    else if (c.compare(0, error.size(), error) == 0)
      sets.back().insert(sets.back().size() - 1, " " + c.substr(error.size()));
  }
  return sets;
}

// The plot file `v` makes of the finished first scan.
std::string plot_of_finished(Fixture& x) {
  Fixture v(read_file(x.path));
  gracesend_scan(v.g, v.t, x.st, v.tc.con, 0);
  return read_file(v.g.tmpname);
}

}  // namespace

TEST(Follower, HandsOutEachWholeLineOnceUnderAStatusLine) {
  Fixture x(std::string(kScan1) + "3 10");
  x.begin(false, true);
  // The half line waits for its line feed; '#' lines are no points.
  EXPECT_EQ(x.start() + "#S 1 first\n1 10 100\n2 10 200\n scan 1 (i=1): 2 points, last x=2 y=200",
            x.out());
  append_file(x.path, " 300\n#C pause\n4 10 400\n5 1");
  EXPECT_TRUE(x.f->update());
  EXPECT_EQ("\r\033[K3 10 300\n#C pause\n4 10 400\n scan 1 (i=1): 4 points, last x=4 y=400",
            x.out());
  EXPECT_FALSE(x.f->update());
  EXPECT_EQ("\r\033[K5 10 3.5e-07\n scan 1 (i=1): 5 points, last x=5 y=3.5e-07",
            x.add("0 3.5e-07\n"));
  x.f->end();
  EXPECT_EQ("\r\033[K scan 1 (i=1): 5 points, last x=5 y=3.5e-07\n", x.out());
}

TEST(Follower, OnlyScansAppendedMoveTheFollowEachWithOneLine) {
  Fixture x(std::string(kScan1) + "#S 2 second\n5 1 1\n");
  x.begin(false);
  EXPECT_EQ(x.start() + "#S 1 first\n1 10 100\n2 10 200\n", x.out());
  EXPECT_EQ("", x.add("6 1 1\n"));  // scan 2 was there before
  EXPECT_EQ(" following scan 3 (i=3)\n#S 3 third\n9 1 1\n following scan 4 (i=4)\n#S 4 fourth\n",
            x.add("#S 3 third\n9 1 1\n#S 4 fourth\n#N 3\n"));
  EXPECT_EQ("8 1 1\n", x.add("#L x m y\n8 1 1\n"));  // the data of a scan begun before
  EXPECT_EQ(3, x.f->ref());
  EXPECT_EQ(1, x.f->points());
}

// Followed from the last scan anew; a scan written into an emptied file is new.
TEST(Follower, ReplacedChangedOrTruncatedFileStartsOverAtItsLastScan) {
  Fixture x;
  x.begin(false);
  x.out();
  auto said = [&](const char* how, const char* rest) {
    return " file " + x.path + " was " + how + ": index table rebuilt with " + rest;
  };
  ASSERT_EQ(0, rename(x.dir.write("new.dat", "#S 7 seven\n1 1 1\n").c_str(), x.path.c_str()));
  EXPECT_EQ(said("replaced", "1 entries, following scan 7 (i=1)\n#S 7 seven\n1 1 1\n"), x.add(""));
  EXPECT_EQ("4 4 4\n", x.add("4 4 4\n"));
  x.dir.write("scan.dat", "#S 8 eight\n#N 3\n9 9 9\n#S 7 seven\n#N 3\n1 1 1\n2 2 2\n3 3 3\n");
  EXPECT_EQ(said("changed", "2 entries, following scan 7 (i=2)\n#S 7 seven\n1 1 1\n2 2 2\n3 3 3\n"),
            x.add(""));
  x.dir.write("scan.dat", "");
  EXPECT_EQ(said("truncated", "0 entries, waiting for a scan\n"), x.add(""));
  EXPECT_EQ(" following scan 1 (i=1)\n#S 1 again\n1 1 1\n", x.add("#S 1 again\n1 1 1\n"));
}

// Looks twice a second; ends on a typed line, end of input or Ctrl-C; restores SIGINT.
TEST(FollowRun, WaitsQuietlyUntilATypedLineTheEndOfInputOrCtrlC) {
  struct sigaction ignore = {}, before, now;
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(0, sigaction(SIGINT, &ignore, &before));
  for (FollowEnd how : {FollowEnd::kTyped, FollowEnd::kEndOfInput, FollowEnd::kInterrupted}) {
    Fixture x;
    x.begin(false, true, true);
    FakeClock clock;
    clock.input_fd = STDIN_FILENO;  // waited on, never read
    clock.end_at = how == FollowEnd::kInterrupted ? 6000 : 3000;
    clock.at_end = how == FollowEnd::kEndOfInput ? FollowInput::kEnd : FollowInput::kLine;
    clock.on_wait = [how](int64_t t) {
      if (how == FollowEnd::kInterrupted && t == 3000) raise(SIGINT);
    };
    EXPECT_EQ(how, follow_run(*x.f, 0, clock, clock));
    EXPECT_EQ(3000, clock.now);
    EXPECT_LE(clock.waits, 3000 / kFollowLookMs + 1);
    const std::string status = " scan 1 (i=1): 2 points, last x=2 y=200";
    EXPECT_EQ(x.start() + "#S 1 first\n1 10 100\n2 10 200\n" + status + "\r\033[K" + status + "\n",
              x.out());
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(SIG_IGN, now.sa_handler);  // the handler before is back
  }
  sigaction(SIGINT, &before, nullptr);
}

// inotify hears the file and its name, not its neighbours, and follows a replacement.
TEST(FileWatch, TellsGrownTruncatedReplacedAndGoneApart) {
  TempDir dir;
  std::string path = dir.write("scan.dat", "0123456789\n");
  const PosixScanFile old(open(path.c_str(), O_RDONLY), true);
  int fresh = -2;
  FileWatch w(path);
  ASSERT_GE(w.fd(), 0);
  EXPECT_FALSE(w.drain());
  EXPECT_EQ(FileWatch::kSame, w.look(old, 11, &fresh));
  EXPECT_EQ(-1, fresh);
  EXPECT_EQ(FileWatch::kGrown, w.look(old, 10, &fresh));
  EXPECT_EQ(FileWatch::kTruncated, w.look(old, 12, &fresh));
  append_file(path, "2\n");
  EXPECT_TRUE(w.drain());
  EXPECT_FALSE(w.drain());
  append_file(dir.write("other.dat", "x\n"), "y\n");
  EXPECT_FALSE(w.drain());
  ASSERT_EQ(0, rename(dir.write("new.dat", "other\n").c_str(), path.c_str()));
  EXPECT_TRUE(w.drain());
  EXPECT_EQ(FileWatch::kReplaced, w.look(old, 13, &fresh));
  EXPECT_EQ("other\n", read_file("/dev/fd/" + std::to_string(fresh)));
  close(fresh);
  w.drain();
  append_file(path, "4\n");
  EXPECT_TRUE(w.drain());
  unlink(path.c_str());
  EXPECT_EQ(FileWatch::kGone, w.look(old, 0, &fresh));
  w.drain();
  dir.write("scan.dat", "5\n");  // a name made again: heard by the folder's watch
  EXPECT_TRUE(w.drain());
}

// Whatever the settings, the set ends as `v` plots the finished scan.
TEST(GraceFollow, SetHoldsThePointsThePlotOfTheFinishedScanHolds) {
  const struct {
    int errorbar, normalize, xcol, ycol, logscale;
    const char* ylabel;
    std::string told;  // at the first plot, and for the whole scan at the end
  } cases[] = {
      {0, 0, 1, -1, 0, "", ""},
      {0, 0, 1, -1, 0, "m", ""},  // a label chooses the column
      {1, 1, 1, -1, 0, "",
       " 1 of 3 points of (i=1, s=1) left unnormalised: monitor below 1\n"
       " 2 of 7 points of (i=1, s=1) left unnormalised: monitor below 1\n"},
      {0, 1, 3, 1, 0, "", " 1 of 3 points of (i=1, s=1) left unnormalised: monitor below 1\n"},
      {1, 0, 1, -1, 1, "", ""},
  };
  // Monitor below 1, y of 0, a short line, a tiny y, a '#' line, lines in parts.
  const char* parts[] = {"3 10 400\n4 1", "0\n5 0.2 0.00001\n#C c\n6 1", "0 36\n7 10 49\n"};
  for (const auto& c : cases) {
    Fixture x(std::string(kScan1) + "1 0.5 0\n");
    std::tie(x.st.errorbar, x.st.normalize, x.st.xcol, x.st.ycol, x.st.logscale) =
        std::tie(c.errorbar, c.normalize, c.xcol, c.ycol, c.logscale);
    x.st.ylabel = c.ylabel;
    x.begin(true);
    std::string out = x.out();
    for (const char* p : parts) out += x.add(p);
    x.f->end();
    EXPECT_EQ(std::vector<std::string>{plot_of_finished(x)}, sets_of(x.sent())) << c.xcol;
    EXPECT_EQ(x.start() + c.told, out + x.out()) << c.xcol;
  }
}

TEST(GraceFollow, EachScanGetsASetOfItsOwnOnceItHasTwoLines) {
  Fixture x;
  x.begin(true);
  // Scan 1's last point is drawn; scan 2 waits for its second line.
  EXPECT_EQ(x.start() + " following scan 2 (i=2)\n", x.add("3 10 300\n#S 2 second\n#N 3\n5 1 1\n"));
  std::string stream = x.sent();
  EXPECT_EQ("S_ POINT 3, 300.000001\nAUTOSCALE\nREDRAW\n", stream.substr(stream.find("S_ POINT")));
  x.add("6 1 2\n");
  stream += x.sent();
  // Scan 2's tail, all of scan 3 and scan 4's header: one REDRAW.
  x.add("7 1 3\n#S 3 third\n#N 3\n1 1 1\n2 2 2\n#S 4 fourth\n#N 3\n");
  std::string last = x.sent();
  EXPECT_EQ(last.find("REDRAW"), last.rfind("REDRAW"));
  // A rewritten file has its last scan plotted anew.
  x.dir.write("scan.dat", "#S 7 seven\n#N 3\n1 1 1\n2 2 2\n");
  x.add("");
  stream += last + x.sent();
  x.f->end();
  EXPECT_EQ((std::vector<std::string>{
                "1 100.000001\n2 200.000001\n3 300.000001\n",
                "5 1.0000009999999999\n6 2.0000010000000001\n7 3.0000010000000001\n",
                "1 1.0000009999999999\n2 2.0000010000000001\n",
                "1 1.0000009999999999\n2 2.0000010000000001\n"}),
            sets_of(stream));
}

TEST(GraceFollow, LeftForTheConsoleWhenGraceGoesOrAScanCannotBePlotted) {
  const std::string gone = " Grace has gone away: following in the console\n";
  const struct {
    int mode;  // Grace gone: 0 still, 1 before a first plot, 2 at a point, 4 then truncated
    std::string add, shown;
  } cases[] = {
      {0, "3 10 300\n#S 2 second\n#N 3\n5 1 1\n",
       gone + "3 10 300\n following scan 2 (i=2)\n#S 2 second\n5 1 1\n"},
      {1, "6 1 1\n", gone + "#S 2 second\n5 1 1\n#C c\n6 1 1\n"},
      {2, "3 10 300\n4 10 400\n", gone + "3 10 300\n4 10 400\n"},
      {4, "", "following scan 7 (i=1)\n#S 7 s\n1 1\n"},
      {3, "#S 2 b\n#N 2\n#L x  y\n1 10\n2 10\n",  // 3: no label "m"
       " following scan 2 (i=2)\n scan 2 (i=2) has no label \"m\"; its labels are \"x\" \"y\"\n"
       " the scan could not be plotted: following in the console\n#S 2 b\n1 10\n2 10\n"},
  };
  for (const auto& c : cases) {
    Fixture x;
    if (c.mode == 3) x.st.ylabel = "m";
    x.begin(true);
    if (c.mode == 1) x.add("#S 2 second\n#N 3\n5 1 1\n#C c\n");
    if (c.mode < 2 || c.mode == 4) x.fake.quit();
    x.fake.deaf = c.mode == 2;
    std::string out = x.out() + x.add("");
    if (c.mode == 4) x.dir.write("scan.dat", "#S 7 s\n1 1\n");
    out += x.add(c.add);
    EXPECT_EQ(c.shown, out.substr(out.size() - std::min(out.size(), c.shown.size()))) << c.mode;
    EXPECT_EQ(1, x.fake.starts);
  }
}

TEST(GraceFollow, FastWriterIsRedrawnAtMostTenTimesASecondWithEveryPointOnce) {
  Fixture x;
  x.begin(true, false, true);
  FakeClock clock;
  clock.step = 5;
  clock.end_at = 2000;
  int n = 3;
  std::string rest;
  clock.on_wait = [&](int64_t now) {
    std::string l = std::to_string(n++) + " 10 " + std::to_string(now) + "\n";
    append_file(x.path, rest + l.substr(0, 3));
    rest = l.substr(3);
  };
  EXPECT_EQ(FollowEnd::kTyped, follow_run(*x.f, 0, clock, clock));
  x.add(rest);  // what came in the last 100 ms
  std::string stream = x.sent();
  size_t redraws = 0;
  for (size_t at = 0; (at = stream.find("REDRAW", at)) != std::string::npos; at++) redraws++;
  EXPECT_LE(redraws, 23u);  // 2 s, the first plot and the last update
  EXPECT_GE(redraws, 15u);
  EXPECT_EQ(std::vector<std::string>{plot_of_finished(x)}, sets_of(stream));
}
