#include "loop/follow.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "loop/file_watch.h"
#include "loop/follow_fakes.h"
#include "testutil.h"

namespace {

std::string scan_at(IndexTable& t, int ref) {
  if (ref < 0) return "none";
  return "S" + std::to_string(t.Index[size_t(ref)].scan) + " i=" + std::to_string(ref + 1);
}

// Records what the follow hands over, one line per call ("update" only
// counted, so the log shows the lines).
struct FakeSink : FollowSink {
  std::string log;
  int updates = 0;
  void start(IndexTable& t, int ref) override { log += "start " + scan_at(t, ref) + "\n"; }
  void line(PointReader& p, PointReader::Step s) override {
    log += (s == PointReader::kData ? "D " : "C ") + std::string(p.line());
  }
  void new_scan(IndexTable& t, int ref) override { log += "new " + scan_at(t, ref) + "\n"; }
  void rebuilt(IndexTable& t, int ref) override { log += "rebuilt " + scan_at(t, ref) + "\n"; }
  void update() override { updates++; }
  void end() override { log += "end\n"; }
  std::string take() {
    std::string s;
    s.swap(log);
    return s;
  }
};

const char kScan1[] = "#F f\n#S 1 first\n#N 3\n#L x m y\n1 10 100\n2 10 200\n";

// A scan file opened and indexed as the interpreter leaves it, and a
// follower over it.
struct Fixture {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  FakeSink sink;
  std::string path;
  std::unique_ptr<Follower> f;

  explicit Fixture(const std::string& content = kScan1, bool terminal = false) {
    path = dir.write("scan.dat", content);
    index_open(t, tc.con, path.c_str());
    index_file(t, tc.con);
    tc.out.str(true);
    f.reset(new Follower(t, tc.con, ColumnChoice{}, sink, terminal));
  }
  std::string out() { return tc.out.str(true); }
  void replace(const std::string& content) {
    std::string fresh = dir.write("fresh.dat", content);
    ASSERT_EQ(0, rename(fresh.c_str(), path.c_str()));
  }
};

}  // namespace

TEST(Follower, BeginsWithTheLinesSoFarThenHandsOutEachWholeLineOnce) {
  Fixture x(std::string(kScan1) + "3 10");
  x.f->begin(0);
  EXPECT_EQ(" following scan 1 (i=1) of " + x.path + ", Enter or Ctrl-C ends\n", x.out());
  // The half line at the end waits until it is whole.
  EXPECT_EQ("start S1 i=1\nD 1 10 100\nD 2 10 200\n", x.sink.take());
  append_file(x.path, " 300\n#C pause\n4 10 400\n5 1");
  EXPECT_TRUE(x.f->update());
  EXPECT_EQ("D 3 10 300\nC #C pause\nD 4 10 400\n", x.sink.take());
  EXPECT_FALSE(x.f->update());  // nothing new: nothing handed out again
  append_file(x.path, "0 500\n");
  x.f->update();
  EXPECT_EQ("D 5 10 500\n", x.sink.take());
  EXPECT_EQ(5, x.f->points());  // '#' lines are not points
  EXPECT_EQ("", x.out());       // not at a terminal: no status line
}

TEST(Follower, NewScansMoveTheFollowOneAfterTheOther) {
  Fixture x;
  x.f->begin(0);
  x.out();
  x.sink.take();
  append_file(x.path, "5 10 500\n#S 2 second\n#N 3\n7 1 1\n#S 3 third\n#N 3\n");
  x.f->update();
  EXPECT_EQ("D 5 10 500\nnew S2 i=2\nD 7 1 1\nnew S3 i=3\n", x.sink.take());
  EXPECT_EQ(" following scan 2 (i=2)\n following scan 3 (i=3)\n", x.out());
  // The third scan had only its header: its data come with the next lines.
  append_file(x.path, "#L x m y\n8 1 1\n");
  x.f->update();
  EXPECT_EQ("D 8 1 1\n", x.sink.take());
  EXPECT_EQ(2, x.f->ref());
  EXPECT_EQ(1, x.f->points());
}

TEST(Follower, AnEarlierScanIsFollowedUntilANewScanComes) {
  Fixture x(std::string(kScan1) + "#S 2 second\n5 1 1\n");
  x.f->begin(0);
  EXPECT_EQ("start S1 i=1\nD 1 10 100\nD 2 10 200\n", x.sink.take());
  // Scan 2 was there before: its growth does not move the follow.
  append_file(x.path, "6 1 1\n");
  x.f->update();
  EXPECT_EQ("", x.sink.take());
  append_file(x.path, "#S 3 third\n9 1 1\n");
  x.f->update();
  EXPECT_EQ("new S3 i=3\nD 9 1 1\n", x.sink.take());
}

TEST(Follower, TruncatedReplacedOrRewrittenFileStartsOverAtItsLastScan) {
  struct Case {
    const char* how;
    bool rename;
    std::string content;
  };
  const Case cases[] = {
      {"truncated", false, "#S 7 seven\n1 1 1\n"},
      {"replaced", true, "#S 7 seven\n1 1 1\n"},
      {"changed", false, "#S 8 eight\n#N 3\n9 9 9\n#S 7 seven\n#N 3\n1 1 1\n2 2 2\n3 3 3\n"},
  };
  for (const Case& c : cases) {
    Fixture x;
    x.f->begin(0);
    x.out();
    x.sink.take();
    if (c.rename) {
      x.replace(c.content);
    } else {
      FILE* w = fopen(x.path.c_str(), "w");  // the same file, cut to nothing
      fputs(c.content.c_str(), w);
      fclose(w);
    }
    x.f->update();
    const int n = c.rename || c.how[0] == 't' ? 1 : 2;
    EXPECT_EQ(" file " + x.path + " was " + c.how + ": index table rebuilt with " +
                  std::to_string(n) + " entries, following scan 7 (i=" + std::to_string(n) + ")\n",
              x.out())
        << c.how;
    std::string lines = n == 1 ? "D 1 1 1\n" : "D 1 1 1\nD 2 2 2\nD 3 3 3\n";
    EXPECT_EQ("rebuilt S7 i=" + std::to_string(n) + "\n" + lines, x.sink.take()) << c.how;
    // The follow goes on in the file the path names now.
    append_file(x.path, "4 4 4\n");
    x.f->update();
    EXPECT_EQ("D 4 4 4\n", x.sink.take()) << c.how;
  }
}

TEST(Follower, EmptiedFileWaitsForAScan) {
  Fixture x;
  x.f->begin(0);
  x.out();
  x.sink.take();
  FILE* w = fopen(x.path.c_str(), "w");
  fclose(w);
  x.f->update();
  EXPECT_EQ(" file " + x.path +
                " was truncated: index table rebuilt with 0 entries, waiting for a scan\n",
            x.out());
  EXPECT_EQ(-1, x.f->ref());
  EXPECT_EQ("rebuilt none\n", x.sink.take());
  // A scan written into the empty file is new, not a rebuilt file.
  append_file(x.path, "#S 1 again\n1 1 1\n");
  x.f->update();
  EXPECT_EQ("new S1 i=1\nD 1 1 1\n", x.sink.take());
  EXPECT_EQ(" following scan 1 (i=1)\n", x.out());
  EXPECT_EQ(0, x.f->ref());
}

TEST(ConsoleSink, PrintsHeaderLinesAndTheLinesAsTheyStandInTheFile) {
  Fixture x;
  // Lines and messages on one stream, as a user sees them.
  ConsoleSink sink(x.tc.con);
  Follower f(x.t, x.tc.con, ColumnChoice{}, sink, false);
  f.begin(0);
  append_file(x.path, "3 10 300\n#C pause\n4 10");
  f.update();
  append_file(x.path, " 400\n\n#S 2  second \t\n#N 3\n5 1 1\n");
  f.update();
  f.end();
  EXPECT_EQ(" following scan 1 (i=1) of " + x.path +
                ", Enter or Ctrl-C ends\n"
                "#S 1 first\n1 10 100\n2 10 200\n"
                "3 10 300\n#C pause\n"
                "4 10 400\n\n"
                " following scan 2 (i=2)\n"
                "#S 2  second \t\n5 1 1\n",
            x.out());
}

TEST(Follower, AtATerminalOneStatusLineIsRedrawnInPlace) {
  Fixture x(kScan1, true);
  x.f->begin(0);
  const std::string start = " following scan 1 (i=1) of " + x.path + ", Enter or Ctrl-C ends\n";
  EXPECT_EQ(start + " scan 1 (i=1): 2 points, last x=2 y=200", x.out());
  append_file(x.path, "3 10 3.5e-07\n");
  x.f->update();
  EXPECT_EQ("\r\033[K scan 1 (i=1): 3 points, last x=3 y=3.5e-07", x.out());
  x.f->end();
  EXPECT_EQ("\r\033[K scan 1 (i=1): 3 points, last x=3 y=3.5e-07\n", x.out());
}

TEST(Follower, ALabelIsEachScansColumnOrSaidMissing) {
  Fixture x("#S 1 a\n#N 3\n#L x  m  det\n1 10 100\n", true);
  ColumnChoice cols;
  cols.ylabel = "det";
  x.f.reset(new Follower(x.t, x.tc.con, cols, x.sink, true));
  x.f->begin(0);
  EXPECT_NE(std::string::npos, x.out().find(" scan 1 (i=1): 1 points, last x=1 y=100"));
  append_file(x.path, "#S 2 b\n#N 4\n#L x  det  tth  m\n2 200 5 10\n");
  x.f->update();
  EXPECT_NE(std::string::npos, x.out().find(" scan 2 (i=2): 1 points, last x=2 y=200"));
  append_file(x.path, "#S 3 c\n#N 2\n#L x  m\n3 10\n");
  x.f->update();
  std::string out = x.out();
  EXPECT_NE(std::string::npos,
            out.find(" following scan 3 (i=3)\n"
                     " scan 3 (i=3) has no label \"det\"; its labels are \"x\" \"m\"\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find(" scan 3 (i=3): 0 points")) << out;
  // Its lines are still handed out.
  EXPECT_NE(std::string::npos, x.sink.take().find("new S3 i=3\nD 3 10\n"));
}

// ---------------------------------------------------------------------------
// The waiting loop, driven by the fake clock.

namespace {

int g_marker_calls = 0;
extern "C" void marker_handler(int) { g_marker_calls++; }

}  // namespace

TEST(FollowRun, EndsOnATypedLineTheEndOfInputOrCtrlC) {
  struct sigaction marker = {}, before;
  marker.sa_handler = marker_handler;
  sigemptyset(&marker.sa_mask);
  ASSERT_EQ(0, sigaction(SIGINT, &marker, &before));
  const FollowEnd ends[] = {FollowEnd::kTyped, FollowEnd::kEndOfInput, FollowEnd::kInterrupted};
  for (FollowEnd how : ends) {
    Fixture x;
    FakeClock clock;
    clock.step = 50;
    FakeInput in;
    in.clock = &clock;
    if (how == FollowEnd::kInterrupted) {
      clock.on_wait = [](int64_t now) {
        if (now == 3000) raise(SIGINT);
      };
    } else {
      in.end_at = 3000;
      in.at_end = how == FollowEnd::kTyped ? FollowInput::kLine : FollowInput::kEnd;
    }
    g_marker_calls = 0;
    EXPECT_EQ(how, follow_run(*x.f, 0, in, clock));
    EXPECT_EQ(3000, clock.now);
    EXPECT_EQ(0, g_marker_calls);  // Ctrl-C reached the follow, not the program
    struct sigaction now;
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(&marker_handler, now.sa_handler);  // and the handler before is back
  }
  sigaction(SIGINT, &before, nullptr);
}

TEST(FollowRun, FastWriterIsShownAtMostTenTimesASecondWithEveryLineOnce) {
  Fixture x;
  FastWriterRun run(x.path, 2000);
  EXPECT_EQ(FollowEnd::kTyped, follow_run(*x.f, 0, run.in, run.clock));
  EXPECT_LE(x.sink.updates, 22);  // 2 s, and the first
  EXPECT_GE(x.sink.updates, 15);
  run.writer.finish();
  x.f->update();  // what came in the last 100 ms
  const std::string begun = "start S1 i=1\nD 1 10 100\nD 2 10 200\n";
  EXPECT_EQ(begun, x.sink.log.substr(0, begun.size()));
  x.sink.log.erase(0, begun.size());
  const size_t end = x.sink.log.find("end\n");
  ASSERT_NE(std::string::npos, end);
  x.sink.log.erase(end, 4);
  std::string written;
  const std::string& lines = run.writer.written;
  for (size_t at = 0, nl; (nl = lines.find('\n', at)) != std::string::npos; at = nl + 1)
    written += "D " + lines.substr(at, nl + 1 - at);
  EXPECT_EQ(written, x.sink.take());
}

TEST(FollowRun, QuietFileWaitsHalfASecondAtATime) {
  Fixture x;
  FakeClock clock;
  FakeInput in;
  in.clock = &clock;
  in.end_at = 10000;
  int quiet[2];
  ASSERT_EQ(0, pipe(quiet));  // input that never comes
  in.wait_fd = quiet[0];
  follow_run(*x.f, 0, in, clock);
  EXPECT_EQ(10000, clock.waited);
  EXPECT_LE(clock.waits, 10000 / kFollowLookMs + 1);
  EXPECT_EQ(1, x.sink.updates);  // the first only
  close(quiet[0]);
  close(quiet[1]);
}

// ---------------------------------------------------------------------------

TEST(FileWatch, LookTellsGrownTruncatedReplacedAndGoneApart) {
  struct Case {
    FileWatch::Change expected;
    std::function<void(const TempDir&, const std::string&)> act;
  };
  const Case cases[] = {
      {FileWatch::kSame, [](const TempDir&, const std::string&) {}},
      {FileWatch::kGrown, [](const TempDir&, const std::string& p) { append_file(p, "x\n"); }},
      {FileWatch::kTruncated,
       [](const TempDir&, const std::string& p) { ASSERT_EQ(0, truncate(p.c_str(), 3)); }},
      {FileWatch::kReplaced,
       [](const TempDir& d, const std::string& p) {
         ASSERT_EQ(0, rename(d.write("new.dat", "other\n").c_str(), p.c_str()));
       }},
      {FileWatch::kGone, [](const TempDir&, const std::string& p) { unlink(p.c_str()); }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.write("scan.dat", "0123456789\n");
    int fd = open(path.c_str(), O_RDONLY);
    FileWatch w(path);
    c.act(dir, path);
    int fresh = -2;
    EXPECT_EQ(c.expected, w.look(fd, 11, &fresh)) << int(c.expected);
    EXPECT_EQ(c.expected == FileWatch::kReplaced, fresh >= 0);
    if (fresh >= 0) {
      char b[6] = {};
      EXPECT_EQ(6, pread(fresh, b, 6, 0));
      EXPECT_EQ("other\n", std::string(b, 6));
      close(fresh);
    }
    close(fd);
  }
}

TEST(FileWatch, InotifyHearsTheFileAndItsNameNotItsNeighbours) {
  TempDir dir;
  std::string path = dir.write("scan.dat", "1\n");
  FileWatch w(path);
  ASSERT_GE(w.fd(), 0);
  EXPECT_FALSE(w.drain());
  append_file(path, "2\n");
  EXPECT_TRUE(w.drain());
  EXPECT_FALSE(w.drain());
  dir.write("other.dat", "x\n");
  append_file(dir.file("other.dat"), "y\n");
  EXPECT_FALSE(w.drain());
  int old = open(path.c_str(), O_RDONLY);  // the file being read stays open
  ASSERT_EQ(0, rename(dir.write("new.dat", "3\n").c_str(), path.c_str()));
  EXPECT_TRUE(w.drain());
  // After the look that finds the new file, the watch is on it.
  int fresh;
  EXPECT_EQ(FileWatch::kReplaced, w.look(old, 4, &fresh));
  close(fresh);
  close(old);
  w.drain();
  append_file(path, "4\n");
  EXPECT_TRUE(w.drain());
}
