// The follow in Grace through the in-memory pipe: the exact commands, the
// set of each scan against the plot of the finished scan, and the Grace
// that goes away.
#include "loop/grace_follow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "grace/fake_grace_pipe.h"
#include "loop/follow_fakes.h"
#include "testutil.h"

namespace {

const char kScan1[] = "#F f\n#S 1 first\n#N 3\n#L x m y\n1 10 100\n2 10 200\n";

// A scan file, a Grace started on the fake pipe, and a follower drawing in
// it. Plot files go to a folder of the test's own.
struct Fixture {
  TempDir dir;
  std::string tmp = dir.file("tmp");
  int made_tmp = mkdir(tmp.c_str(), 0700);
  ScopedEnv tmpdir{"TMPDIR", tmp.c_str()};
  TestConsole tc;
  IndexTable t;
  PlotOptions st;
  FakeGracePipe fake;
  GraceLink g{fake};
  std::string path;
  std::unique_ptr<GraceSink> sink;
  std::unique_ptr<Follower> f;

  explicit Fixture(const std::string& content = kScan1) {
    path = dir.write("scan.dat", content);
    index_open(t, tc.con, path.c_str());
    index_file(t, tc.con);
    grace_start(g, tc.con);
  }
  // The settings are the follow's from here on.
  void begin(int ref = 0) {
    sink.reset(new GraceSink(g, st, tc.con));
    f.reset(new Follower(t, tc.con, st, *sink, false));
    out();
    f->begin(ref);
  }
  std::string out() { return tc.out.str(true); }
  std::string sent() {
    std::string s;
    s.swap(fake.sent);
    return s;
  }
  void rewrite(const std::string& content) {
    FILE* w = fopen(path.c_str(), "w");
    fputs(content.c_str(), w);
    fclose(w);
  }
  // The commands `v` sends for scan `scan` with the default settings, its
  // points read from the plot file made last.
  std::string plot_of(int scan) {
    const std::string label = "\"" + path + " #S" + std::to_string(scan) + "\"\n\n";
    return "AUTOSCALE ONREAD XYAXES\n\nREAD BLOCK \"" + g.tmpname +
           "\"\n\nBLOCK XY \"1:2\"\n\nS_ COMMENT " + label + "S_ LEGEND " + label +
           "G0 TYPE XY\n\nSUBTITLE " + label + "LEGEND ON\n\nREDRAW\n\n";
  }
};

// The sets Grace holds after `stream`, each as a plot file would hold its
// points: a READ BLOCK makes a set from its file, S_ POINT appends a point
// and S_.Y1 gives it its error.
std::vector<std::string> sets_of(const std::string& stream) {
  const std::string error = "S_.Y1[S_.LENGTH - 1] = ";
  std::vector<std::string> sets;
  size_t at = 0;
  for (size_t nl; (nl = stream.find('\n', at)) != std::string::npos; at = nl + 1) {
    std::string c = stream.substr(at, nl - at);
    if (c.compare(0, 12, "READ BLOCK \"") == 0) {
      sets.push_back(read_file(c.substr(12, c.size() - 13)));
    } else if (c.compare(0, 9, "S_ POINT ") == 0) {
      std::string xy = c.substr(9);
      sets.back() += xy.replace(xy.find(", "), 2, " ") + "\n";
    } else if (c.compare(0, error.size(), error) == 0) {
      sets.back().insert(sets.back().size() - 1, " " + c.substr(error.size()));
    }
  }
  return sets;
}

// What `v` makes of the finished scan at `ref`: its plot file, and the
// line about unnormalised points.
std::string plot_of_finished(Fixture& x, int ref, std::string* said) {
  FakeGracePipe pipe;
  GraceLink g(pipe);
  TestConsole tc;
  IndexTable t;
  index_open(t, tc.con, x.path.c_str());
  index_file(t, tc.con);
  tc.out.str(true);
  gracesend_scan(g, t, x.st, tc.con, ref);
  *said = tc.out.str();
  return read_file(g.tmpname);
}

}  // namespace

TEST(GraceFollow, AppendsEachWholeNewLineToTheSetOfTheFirstPlot) {
  Fixture x(std::string(kScan1) + "3 10");
  x.begin();
  EXPECT_EQ(" following scan 1 (i=1) of " + x.path + ", Enter or Ctrl-C ends\n", x.out());
  // The first plot is v's, of the whole lines so far.
  EXPECT_EQ(x.plot_of(1), x.sent());
  EXPECT_EQ("1 100.000001\n2 200.000001\n", read_file(x.g.tmpname));
  append_file(x.path, " 300\n#C pause\n4 10 400\n5 1");
  x.f->update();
  EXPECT_EQ("S_ POINT 3, 300.000001\nS_ POINT 4, 400.000001\nAUTOSCALE\nREDRAW\n", x.sent());
  x.f->update();
  EXPECT_EQ("", x.sent());
  append_file(x.path, "0 1e-300\n");
  x.st.autoscale = 0;  // the sink keeps the settings it was given
  x.f->update();
  EXPECT_EQ("S_ POINT 5, 9.9999999999999995e-07\nAUTOSCALE\nREDRAW\n", x.sent());
  // Grace leaves a value that is no number out of a plot file; as a
  // command it would stop on an error.
  append_file(x.path, "6 10 nan\n7 10 -inf\n");
  x.f->update();
  EXPECT_EQ("", x.sent());
  x.f->end();
  EXPECT_EQ("", x.sent());
  EXPECT_EQ("", x.out());
  EXPECT_EQ(1, x.fake.starts);

  // Without autoscale no AUTOSCALE.
  Fixture y;
  y.st.autoscale = 0;
  y.begin();
  y.sent();
  append_file(y.path, "3 10 300\n");
  y.f->update();
  EXPECT_EQ("S_ POINT 3, 300.000001\nREDRAW\n", y.sent());
}

TEST(GraceFollow, ALabelChoosesTheColumnOfTheSetAndOfThePointsAppended) {
  Fixture x("#S 1 a\n#N 3\n#L x  det  m\n1 100 10\n2 200 10\n");
  x.st.ylabel = "det";
  x.begin();
  std::string first = x.sent();
  EXPECT_NE(std::string::npos, first.find("XAXIS LABEL \"x\"\n\nYAXIS LABEL \"det\"\n")) << first;
  EXPECT_EQ("1 100.000001\n2 200.000001\n", read_file(x.g.tmpname));
  append_file(x.path, "3 300 10\n");
  x.f->update();
  EXPECT_EQ("S_ POINT 3, 300.000001\nAUTOSCALE\nREDRAW\n", x.sent());
  // A scan without the label: said, and followed in the console.
  x.out();
  append_file(x.path, "#S 2 b\n#N 2\n#L x  m\n1 10\n2 10\n");
  x.f->update();
  EXPECT_EQ(
      " following scan 2 (i=2)\n"
      " scan 2 (i=2) has no label \"det\"; its labels are \"x\" \"m\"\n"
      " the scan could not be plotted: following in the console\n"
      "#S 2 b\n1 10\n2 10\n",
      x.out());
}

TEST(GraceFollow, SetHoldsThePointsThePlotOfTheFinishedScanHolds) {
  struct Case {
    const char* name;
    int errorbar, normalize, xcol, ycol;
    std::string told;  // at the first plot, and for the whole scan at the end
  };
  const Case cases[] = {
      {"plain", 0, 0, 1, -1, ""},
      {"errors, normalised", 1, 1, 1, -1,
       " 1 of 3 points of (i=1, s=1) left unnormalised: monitor below 1\n"
       " 2 of 7 points of (i=1, s=1) left unnormalised: monitor below 1\n"},
      // The short line has no x: the points end there.
      {"x in column 3", 0, 1, 3, 1,
       " 1 of 3 points of (i=1, s=1) left unnormalised: monitor below 1\n"},
  };
  // A monitor below 1, a y of 0, a line without the last column, a tiny
  // y, a '#' line, lines written in parts.
  const char* parts[] = {"3 10 400\n4 1", "0\n5 0.2 0.00001\n#C c\n6 1", "0 36\n7 10 49\n"};
  for (const Case& c : cases) {
    Fixture x(std::string(kScan1) + "1 0.5 0\n");
    x.st.errorbar = c.errorbar;
    x.st.normalize = c.normalize;
    x.st.xcol = c.xcol;
    x.st.ycol = c.ycol;
    x.begin();
    for (const char* p : parts) {
      append_file(x.path, p);
      x.f->update();
    }
    x.f->end();
    std::string said;
    EXPECT_EQ((std::vector<std::string>{plot_of_finished(x, 0, &said)}), sets_of(x.sent()))
        << c.name;
    std::string out = x.out();
    EXPECT_EQ(c.told, out.substr(out.find('\n') + 1)) << c.name;
  }
}

TEST(GraceFollow, NewScanGetsASetOfItsOwnOnceItHasTwoLines) {
  Fixture x;
  x.st.autopurge = 1;
  x.begin();
  x.out();
  append_file(x.path, "3 10 300\n#S 2 second\n#N 3\n5 1 1\n");
  x.f->update();
  // Scan 1's last point is drawn; scan 2 waits for its second line.
  EXPECT_EQ(" following scan 2 (i=2)\n", x.out());
  std::string stream = x.sent();
  EXPECT_EQ("S_ POINT 3, 300.000001\nAUTOSCALE\nREDRAW\n", stream.substr(stream.find("S_ POINT")));
  append_file(x.path, "6 1 2\n");
  x.f->update();
  stream += x.sent();
  // Scan 2's tail, all of scan 3 and scan 4's header in one update.
  append_file(x.path, "7 1 3\n#S 3 third\n#N 3\n1 1 1\n2 2 2\n#S 4 fourth\n#N 3\n");
  x.f->update();
  std::string last = x.sent();
  EXPECT_NE(std::string::npos, last.find("REDRAW"));
  EXPECT_EQ(last.find("REDRAW"), last.rfind("REDRAW"));  // one REDRAW for the update
  stream += last;
  x.f->end();
  EXPECT_EQ((std::vector<std::string>{
                "1 100.000001\n2 200.000001\n3 300.000001\n",
                "5 1.0000009999999999\n6 2.0000010000000001\n7 3.0000010000000001\n",
                "1 1.0000009999999999\n2 2.0000010000000001\n"}),
            sets_of(stream));
  // Purged before each set, as the setting says.
  size_t purges = 0;
  for (size_t at = 0; (at = stream.find("KILL G0\nG0 ON\nWITH G0\n", at)) != std::string::npos;
       at++)
    purges++;
  EXPECT_EQ(3u, purges);
}

TEST(GraceFollow, TruncatedFileHasItsLastScanPlottedAnew) {
  Fixture x;
  x.begin();
  x.sent();
  x.out();
  x.rewrite("#S 7 seven\n#N 3\n1 1 1\n2 2 2\n");
  x.f->update();
  EXPECT_EQ(" file " + x.path +
                " was truncated: index table rebuilt with 1 entries, following scan 7 (i=1)\n",
            x.out());
  EXPECT_EQ(x.plot_of(7), x.sent());
  append_file(x.path, "3 3 3\n");
  x.f->update();
  EXPECT_EQ("S_ POINT 3, 3.0000010000000001\nAUTOSCALE\nREDRAW\n", x.sent());
}

TEST(GraceFollow, GraceThatWentAwayLeavesTheFollowInTheConsole) {
  // Gone while the file stands still: said at the next look.
  Fixture x;
  x.begin();
  x.sent();
  x.out();
  x.fake.quit();
  x.f->update();
  EXPECT_EQ(" Grace has gone away: following in the console\n", x.out());
  append_file(x.path, "3 10 300\n#S 2 second\n#N 3\n5 1 1\n");
  x.f->update();
  EXPECT_EQ("3 10 300\n following scan 2 (i=2)\n#S 2 second\n5 1 1\n", x.out());
  x.f->end();
  EXPECT_EQ("", x.sent());
  EXPECT_EQ(1, x.fake.starts);  // never started again

  // Gone before a new scan had its first plot: its lines so far are shown.
  Fixture y;
  y.begin();
  append_file(y.path, "#S 2 second\n#N 3\n5 1 1\n#C c\n");
  y.f->update();
  y.out();
  y.fake.quit();
  append_file(y.path, "6 1 1\n");
  y.f->update();
  EXPECT_EQ(" Grace has gone away: following in the console\n#S 2 second\n5 1 1\n#C c\n6 1 1\n",
            y.out());

  // Found gone by a point that could not be sent: that point is shown.
  Fixture z;
  z.begin();
  z.out();
  z.fake.deaf = true;
  append_file(z.path, "3 10 300\n4 10 400\n");
  z.f->update();
  EXPECT_EQ(" Grace has gone away: following in the console\n3 10 300\n4 10 400\n", z.out());
  EXPECT_EQ("", z.tc.err.str());
}

TEST(GraceFollow, ScanThatCannotBePlottedIsFollowedInTheConsole) {
  Fixture x;
  ScopedEnv nowhere("TMPDIR", x.dir.file("none").c_str());
  x.begin();
  // No set was made: the points would have gone to another one.
  const std::string out = x.out();
  const std::string tail =
      ": No such file or directory\n"
      " the scan could not be plotted: following in the console\n"
      "#S 1 first\n1 10 100\n2 10 200\n";
  EXPECT_EQ(tail, out.substr(out.size() - std::min(out.size(), tail.size()))) << out;
  EXPECT_EQ("", x.sent());
}

TEST(GraceFollow, FastWriterIsRedrawnAtMostTenTimesASecondWithEveryPointOnce) {
  Fixture x;
  FastWriterRun run(x.path, 2000);
  x.sink.reset(new GraceSink(x.g, x.st, x.tc.con));
  x.f.reset(new Follower(x.t, x.tc.con, x.st, *x.sink, false));
  x.sent();
  EXPECT_EQ(FollowEnd::kTyped, follow_run(*x.f, 0, run.in, run.clock));
  run.writer.finish();
  x.f->update();  // what came in the last 100 ms
  std::string stream = x.sent();
  size_t redraws = 0;
  for (size_t at = 0; (at = stream.find("REDRAW", at)) != std::string::npos; at++) redraws++;
  EXPECT_LE(redraws, 23u);  // 2 s, the first plot and the last update
  EXPECT_GE(redraws, 15u);
  std::string said;
  EXPECT_EQ((std::vector<std::string>{plot_of_finished(x, 0, &said)}), sets_of(stream));
}
