#include "frontend/interpreter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "grace/fake_grace_pipe.h"
#include "index/index_table.h"
#include "testutil.h"

namespace {

const char kStatusNoFile[] =
    "\n kurvatab, type ? to get list of commands\n"
    "\n current file is : NO FILE with 0 entries\n"
    " setting is : x=1, y=-1 autoscale=on autopurge=off\n"
    " errorbar=off logscale=off normalization=off(z=-2)\n"
    " title=on  comments=on\n"
    " current W command parameters are \"C 1 -1\", \"F %8.4lf %8.4lf\n\"\n"
    " current H command parameters \"DEVICE \"PostScript\" PAGE SIZE 300,400\" used for grace "
    "hardcopy\n";

// A session on memory streams; listings go to their own stream so `out`
// holds only prompts and messages.
struct Harness {
  TestConsole tc;
  FakeGracePipe grace;
  Session s{grace};
  TempDir dir;
  std::string path;

  Harness() {
    s.con = tc.con;
    s.con.my_stdout = tc.listing.f();
    s.settings.prgname = "kurvatab";
  }

  void open(const std::string& content) {
    path = dir.write("scans.dat", content);
    ASSERT_EQ(1, index_open(s.index, s.con, path.c_str()));
    index_file(s.index, s.con);
    tc.out.str(true);
  }

  // Runs the interpreter on `cmds`; returns what it printed on con.out.
  std::string feed(const std::string& cmds) {
    FILE* in = tmpfile();
    fwrite(cmds.data(), 1, cmds.size(), in);
    rewind(in);
    EXPECT_EQ(0, interprete(s, in));
    fclose(in);
    return tc.out.str(true);
  }

  std::string at(int i, int scan) {
    return path + " (i=" + std::to_string(i) + ", s=" + std::to_string(scan) + ") >";
  }
};

// Scans numbered 1, 2, 1.
const char kRepeated[] =
    "#S 1 a\n1 2\n"
    "#S 2 b\n1 2\n"
    "#S 1 c\n1 2\n";

}  // namespace

TEST(Interpreter, PositionsMoveAndRejectedOnesFollowTheRules) {
  Harness h;
  h.open(kDemoFile);
  // p 0 leaves the index at 0 (no record: the prompt shows the index only);
  // p +1 then prints the first scan; i 999 falls back to the last scan.
  EXPECT_EQ(h.at(2, 2) + " -1 is not a valid index\n" + h.path + " (i=0) >" + h.at(1, 1) +
                " 998 is not a valid index\n" + h.at(2, 2),
            h.feed("p 0\np +1\ni 999\nq\n"));
  // Every run starts at the last scan; S and c take positions as p does.
  EXPECT_EQ(h.at(2, 2) + h.at(1, 1) + h.at(1, 1) + h.at(1, 1) + h.at(2, 2) + h.at(1, 1),
            h.feed("   p-1\nS\nc 1\nS 2\ni-\nq\n"));
}

TEST(Interpreter, ScanCommandSearchesOnwardAndWraps) {
  Harness h;
  h.open(kRepeated);
  EXPECT_EQ(h.at(3, 1) + h.at(1, 1) + h.at(3, 1) + h.at(2, 2) +
                " scan 7 not found in the index_table, ???\n" + h.at(2, 2) + h.at(3, 1) +
                h.at(1, 1),
            h.feed("s 1\ns 1\ns +1\ns 7\ns-1\ns\nq\n"));
}

TEST(Interpreter, ScanCommandWithoutCurrentScanCountsFromZero) {
  Harness h;
  h.open(kRepeated);
  EXPECT_EQ(h.at(3, 1) + " -1 is not a valid index\n" + h.path + " (i=0) >" + h.at(1, 1),
            h.feed("S 0\ns +1\nq\n"));
}

TEST(Interpreter, NoFileKeepsIndexZero) {
  Harness h;
  EXPECT_EQ(
      "NO FILE > -1 is not a valid index\nNO FILE >NO FILE > -1 is not a valid index\nNO FILE >",
      h.feed("p\ns 3\ni\nq\n"));
  // r without a file keeps the no-file state.
  std::string out = h.feed("r\nq\n");
  EXPECT_EQ(0, h.s.index.Indexed);
  EXPECT_EQ("NO FILE", h.s.index.inf_name);
  EXPECT_EQ("NO FILE >", out.substr(out.size() - 9));
}

TEST(Interpreter, UnassignedLettersAndBlankLinesShowStatus) {
  Harness h;
  std::string st = kStatusNoFile;
  std::string p = "NO FILE >";
  EXPECT_EQ(p + st + p + st + p + st + p + st + p + st + p,
            h.feed("\n   \n\tq\nZ\n\xc3\xa9q\nq\n"));
  EXPECT_EQ("", h.tc.err.str());
}

TEST(Interpreter, EndOfInputActsAsQuit) {
  Harness h;
  EXPECT_EQ("NO FILE >", h.feed(""));
  // A last line without a newline still runs.
  EXPECT_EQ("NO FILE > automatic log scale turned on\nNO FILE >", h.feed("L"));
}

TEST(Interpreter, TextSettingsAreKeptExactlyAsTyped) {
  Harness h;
  // A format with fewer conversions than columns is said so when set.
  const std::string fewer =
      " the W format has 1 conversion(s) for 2 W column(s): the last 1 column(s) are not "
      "written\n";
  EXPECT_EQ(
      "NO FILE > format used by the W command set to \" %6.2lf\" with columns \"1 -1\"\n" + fewer +
          "NO FILE > columns used by the W command set to \"1 -1\" with format \" %6.2lf\"\n"
          "NO FILE > columns used by the W command set to \"  2 3 \" with format \" %6.2lf\"\n" +
          fewer +
          "NO FILE >parameters of the h (grace hardcopy) command set to \"DEVICE \"PostScript\" "
          "PAGE SIZE 300,400\" \n"
          "NO FILE >parameters of the h (grace hardcopy) command set to \"X\" \n"
          "NO FILE >",
      h.feed("F %6.2lf\nC\nC  2 3 \nH\nHX\nq\n"));
  EXPECT_EQ(" %6.2lf", h.s.settings.wformat);
  EXPECT_EQ("  2 3 ", h.s.settings.wcolumns);
  EXPECT_EQ("X", h.s.settings.graceprint);

  std::string longtext(5000, 'k');
  h.feed("F" + longtext + "\nq\n");
  EXPECT_EQ(longtext, h.s.settings.wformat);
}

TEST(Interpreter, ColumnsAndTogglesReportTheirValues) {
  Harness h;
  EXPECT_EQ(
      "NO FILE > using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n"
      "NO FILE > using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n"
      "NO FILE > using columns x=-2 and y=-1 for xmgr, z=-2 as monitor\n"
      "NO FILE > using columns x=-2 and y=4 for xmgr, z=-2 as monitor\n"
      "NO FILE > using columns x=-2 and y=4 for xmgr, z=5 as monitor\n"
      "NO FILE >",
      h.feed("x 0\nx -\nx -2\ny4\nz +5\nq\n"));
  EXPECT_EQ(
      "NO FILE > automatic autoscale turned off\n"
      "NO FILE > error bars turned on\n"
      "NO FILE > automatic log scale turned on\n"
      "NO FILE > automatic normalization turned on\n"
      "NO FILE > automatic purge turned on\n"
      "NO FILE > automatic title turned off\n"
      "NO FILE > automatic legend turned off\n"
      "NO FILE > comments in file turned off\n"
      "NO FILE > automatic autoscale turned on\n"
      "NO FILE >",
      h.feed("A\nE\nL\nN\nP\nT\nl\n#\nA ignored\nq\n"));
  const Settings& st = h.s.settings;
  EXPECT_EQ(1, st.autoscale);
  EXPECT_EQ(1, st.errorbar);
  EXPECT_EQ(0, st.comments);
  // A flag set to any non-zero value (as the initialization file may) turns off.
  h.s.settings.logscale = 7;
  EXPECT_EQ("NO FILE > automatic log scale turned off\nNO FILE >", h.feed("L\nq\n"));
}

TEST(Interpreter, OverlongLineIsRefusedWhole) {
  Harness h;
  std::string cmds = "L" + std::string(40, ' ') + "\nE\nq\n";
  FILE* in = tmpfile();
  fwrite(cmds.data(), 1, cmds.size(), in);
  rewind(in);
  FileCommandInput input(in, 16);
  interprete(h.s, input);
  fclose(in);
  EXPECT_EQ(
      "NO FILE > command line longer than 16 characters, ignored\n"
      "NO FILE > error bars turned on\nNO FILE >",
      h.tc.out.str());
  EXPECT_EQ(0, h.s.settings.logscale);
}

TEST(Interpreter, FileCommandOpensAndIndexes) {
  Harness h;
  h.open(kDemoFile);
  std::string missing = h.dir.file("missing.dat");
  std::string out = h.feed("f " + missing + "\nq\n");
  EXPECT_EQ(h.at(2, 2) + " file " + missing + " not found\nNO FILE >", out);
  std::string other = h.dir.write("other.dat", kRepeated);
  out = h.feed("f " + other + "\nq\n");
  EXPECT_EQ(
      "NO FILE >\n current file is : " + other + " with 3 entries\n" + other + " (i=3, s=1) >",
      out);
}

TEST(Interpreter, ListingAtTheEndReindexesAGrownFile) {
  Harness h;
  h.open(kDemoFile);
  append_file(h.path, "#S 3 third\n5 6 7\n");
  EXPECT_EQ(h.at(2, 2) + "reindexing\n\n current file is : " + h.path + " with 3 entries\n" +
                h.at(2, 2) + h.at(3, 3),
            h.feed("p\np+1\nq\n"));
}

TEST(Interpreter, HelpTextListsCommands) {
  Harness h;
  std::string out = h.feed("?\nq\n");
  EXPECT_EQ(0u, out.find("NO FILE >\n kurvatab, rel 2.03 Dec 12 2002 see also kurvatab.html\n"
                         "recognized commands are\n"
                         "  v : view indexed scan using xmgrace ( current, index or relative\n"));
  size_t design_end = out.find(
      "  F : format string, pe : \"%8.4lf %8.4lf\n\"\n"
      "  C : column numbers separate by spacespe, pe : \"1 -1\"\n");
  ASSERT_NE(std::string::npos, design_end);
  // The commands added since follow the design's list, then the status.
  size_t added = out.find("\n  a : statistics of a scan", design_end);
  EXPECT_NE(std::string::npos, added);
  EXPECT_NE(std::string::npos, out.find("\n  K : check the whole file", added));
  EXPECT_NE(std::string::npos, out.find("\n  u : follow the running scan", added));
  EXPECT_NE(std::string::npos, out.find("\n  n : write current scan to an HDF5", added));
  EXPECT_NE(std::string::npos, out.find("\n  o : list the columns of a scan", added));
  EXPECT_NE(std::string::npos, out.find(std::string(kStatusNoFile) + "NO FILE >", added));
}

// ---------------------------------------------------------------------------

namespace {

struct Args {
  std::vector<std::string> text;
  std::vector<char*> ptr;
  explicit Args(std::vector<std::string> a) : text(std::move(a)) {
    for (std::string& s : text) ptr.push_back(&s[0]);
  }
  int argc() const { return static_cast<int>(ptr.size()); }
  char** argv() { return ptr.data(); }
};

const char kUsage[] =
    "unknown args\n"
    "kurvatab, rel 2.03 Dec 12 2002\n"
    "usage : kurvatab [-Xx] [-Yx] [file]\n"
    "default value are X=1 Y=-1 )\n";

}  // namespace

TEST(CommandLine, ColumnOptionsAndFileNames) {
  Harness h;
  std::string demo = h.dir.write("demo.dat", kDemoFile);
  Args a({"-X3", demo, "-Y4"});
  EXPECT_TRUE(command_line(h.s, a.argc(), a.argv()));
  EXPECT_EQ(3, h.s.settings.xcol);
  EXPECT_EQ(4, h.s.settings.ycol);
  EXPECT_EQ(demo, h.s.index.inf_name);
  EXPECT_EQ("", h.tc.out.str());

  // "-X" alone sets 0; the "3" after it is a file name.
  Args b({"-X", "3", "-Yabc"});
  EXPECT_TRUE(command_line(h.s, b.argc(), b.argv()));
  EXPECT_EQ(0, h.s.settings.xcol);
  EXPECT_EQ(0, h.s.settings.ycol);
  EXPECT_EQ(" file 3 not found\n", h.tc.out.str());
  EXPECT_EQ("NO FILE", h.s.index.inf_name);
}

TEST(CommandLine, LastFileArgumentDecides) {
  Harness h;
  std::string demo = h.dir.write("demo.dat", kDemoFile);
  std::string missing = h.dir.file("missing.dat");
  Args a({demo, missing});
  EXPECT_TRUE(command_line(h.s, a.argc(), a.argv()));
  EXPECT_EQ(" file " + missing + " not found\n", h.tc.out.str());
  EXPECT_EQ("NO FILE", h.s.index.inf_name);
  EXPECT_EQ(0, h.s.index.Indexed);
}

TEST(CommandLine, OtherOptionsPrintUsage) {
  for (const char* bad : {"-x2", "-Z", "-", "--X3"}) {
    Harness h;
    Args a({"-Y7", bad, "-X5"});
    EXPECT_FALSE(command_line(h.s, a.argc(), a.argv())) << bad;
    EXPECT_EQ(kUsage, h.tc.err.str()) << bad;
    EXPECT_EQ(7, h.s.settings.ycol) << "arguments before the bad one are taken";
    EXPECT_EQ(1, h.s.settings.xcol) << "arguments after it are not";
  }
}

TEST(KurvatabMain, StartUpNamesAndExitStatus) {
  Harness h;
  std::string name = h.dir.path() + "/" + std::string(300, 'n');
  Args a({name, "-Q"});
  EXPECT_EQ(3, kurvatab_main(a.argc(), a.argv(), stdin, h.s));
  EXPECT_EQ(name + ".ini", h.s.settings.ininame);
  EXPECT_NE(std::string::npos, h.tc.err.str().find("usage : " + name + " [-Xx]"));
  EXPECT_EQ("", h.tc.out.str());

  Harness g;
  std::string demo = g.dir.write("demo.dat", kDemoFile);
  Args b({g.dir.path() + "/kt", demo});
  FILE* in = tmpfile();
  EXPECT_EQ(0, kurvatab_main(b.argc(), b.argv(), in, g.s));
  fclose(in);
  std::string out = g.tc.out.str();
  EXPECT_EQ(0u, out.find("\n current file is : " + demo +
                         " with 2 entries\n"
                         "    1  Scan    1  Lines    2 N   3 (3) first scan\n"
                         "    2  Scan    2  Lines    2 N   3 (10) second scan\n"
                         "\n " +
                         g.dir.path() + "/kt, type ? to get list of commands\n"));
  std::string last = demo + " (i=2, s=2) >";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(last, out.substr(out.size() - last.size()));
}

TEST(FileCommandInput, WholeLinesUpToTheBound) {
  std::string at_bound(CommandInput::kMaxLine, 'a');
  std::string over_bound(3 * CommandInput::kMaxLine, 'b');
  std::string text =
      "F" + std::string(3000, 'x') + "\n" + at_bound + "\n" + over_bound + "\n\nlast";
  FILE* in = tmpfile();
  fwrite(text.data(), 1, text.size(), in);
  rewind(in);
  FileCommandInput input(in);
  std::string line;
  ASSERT_EQ(CommandInput::kLine, input.read_line(&line));
  EXPECT_EQ(3001u, line.size());
  ASSERT_EQ(CommandInput::kLine, input.read_line(&line));
  EXPECT_EQ(at_bound.size(), line.size());
  ASSERT_EQ(CommandInput::kTooLong, input.read_line(&line));
  EXPECT_LE(line.size(), CommandInput::kMaxLine);
  ASSERT_EQ(CommandInput::kLine, input.read_line(&line));
  EXPECT_EQ("", line);
  ASSERT_EQ(CommandInput::kLine, input.read_line(&line));
  EXPECT_EQ("last", line);
  EXPECT_EQ(CommandInput::kEnd, input.read_line(&line));
  EXPECT_EQ(CommandInput::kEnd, input.read_line(&line));
  fclose(in);
}

// A wait for a line gives up in time and keeps what was typed so far.
TEST(FileCommandInput, WaitingKeepsAPartLineUntilItIsWhole) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  FILE* in = fdopen(fds[0], "r");
  FileCommandInput input(in);
  std::string line;
  EXPECT_EQ(CommandInput::kPending, input.read_line_for(&line, 0));
  ASSERT_EQ(2, write(fds[1], "ab", 2));
  EXPECT_EQ(CommandInput::kPending, input.read_line_for(&line, 10));
  ASSERT_EQ(6, write(fds[1], "c\nde\nf", 6));
  ASSERT_EQ(CommandInput::kLine, input.read_line_for(&line, 10));
  EXPECT_EQ("abc", line);
  ASSERT_EQ(CommandInput::kLine, input.read_line_for(&line, 0));
  EXPECT_EQ("de", line);
  close(fds[1]);
  ASSERT_EQ(CommandInput::kLine, input.read_line_for(&line, 10));
  EXPECT_EQ("f", line);
  EXPECT_EQ(CommandInput::kEnd, input.read_line_for(&line, 10));
  fclose(in);
}

// Inside a loop `h` lists the header and `e` header and data; `c`, `w` and
// `W` act as their commands do.
TEST(Interpreter, LoopLettersRunTheirCommands) {
  Harness h;
  h.open(
      "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n2 1000 20\n"
      "#S 3  scan\n#C c3\n#N 3\n#L x  mon  det\n3 1000 30\n");
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(h.dir.path().c_str()));
  h.feed("(i1,1,h)\n(i1,1,e)\n(i1,2,c)\n");
  EXPECT_EQ(
      "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n"
      "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n2 1000 20\n"
      "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n#S 3  scan\n#C c3\n#N 3\n#L x  mon  det\n",
      h.tc.listing.str(true));
  h.feed("#\n(2,2,w)\n(i2,2,W)\n");
  EXPECT_EQ("        2.00000              20            1000\n",
            read_file(h.dir.file("scan002.001")));
  EXPECT_EQ("  3.0000  30.0000\n", read_file(h.dir.file("scan003.002")));
  EXPECT_EQ("", h.tc.listing.str());
  ASSERT_EQ(0, chdir(cwd));
}

// Each plot of a loop shows its own scan, however soon the next plot follows.
TEST(Interpreter, LoopOfPlotsShowsEachScan) {
  Harness h;
  h.open("#S 2 a\n1 20\n2 21\n#S 3 b\n1 30\n2 31\n#S 4 c\n1 40\n2 41\n");
  h.feed("(2,4,v)\n");
  // What Grace reads, in order: each plot file when it is told to read it.
  std::string shown;
  std::string line;
  for (char c : h.grace.sent) {
    if (c != '\n') {
      line += c;
      continue;
    }
    if (line.compare(0, 12, "READ BLOCK \"") == 0) {
      shown += read_file(line.substr(12, line.size() - 13));
    } else if (line.compare(0, 10, "S_ LEGEND ") == 0) {
      shown += line.substr(line.find('#')) + "\n";
    }
    line.clear();
  }
  EXPECT_EQ(
      "1 20.000001000000001\n2 21.000001000000001\n#S2\"\n"
      "1 30.000001000000001\n2 31.000001000000001\n#S3\"\n"
      "1 40.000000999999997\n2 41.000000999999997\n#S4\"\n",
      shown);
}

TEST(Interpreter, FollowEndsAtTheNextLineWhichIsNotRunOrAtTheEndOfInput) {
  Harness h;
  h.open(kDemoFile);
  // "p" ends the first follow and is not run; the end of input ends the
  // second one, and then the program. Where Grace cannot start, u follows
  // in the console.
  h.grace.can_start = false;
  const std::string start = " following scan 1 (i=1) of " + h.path + ", Enter or Ctrl-C ends\n";
  EXPECT_EQ(h.at(2, 2) + start + h.at(1, 1) + "Starting xmgrace, please wait!\n" +
                " Grace can't follow a scan here, following in the console\n" + start + h.at(1, 1),
            h.feed("U 1\np\nu\n"));
  const std::string scan1 = "#S 1  first scan\n0 1000 12\n1 1000 15\n#D stopped\n\n";
  EXPECT_EQ(scan1 + scan1, h.tc.listing.str(true));
  EXPECT_EQ("Can't run Grace.\n", h.tc.err.str(true));

  // In Grace: the scan is plotted, nothing is listed.
  h.grace.can_start = true;
  EXPECT_EQ(h.at(2, 2) + "Starting xmgrace, please wait!\n" + start + h.at(1, 1), h.feed("u 1\n"));
  EXPECT_EQ("", h.tc.listing.str());
  EXPECT_NE(std::string::npos, h.grace.sent.find("S_ LEGEND \"" + h.path + " #S1\"\n"));
}

// ---------------------------------------------------------------------------
// Columns by label.

namespace {

// Detector is column 5 of the first scan and column 6 of the second; the
// third has none.
const char kMixedScans[] =
    "#S 1  ascan\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n10 1 1 1000 5\n"
    "#S 2  a2scan\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 2 1 2000 50\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n3 1 1000 3\n";

}  // namespace

TEST(Interpreter, LabelsShowTheirColumnAndWhatDoesNotFit) {
  Harness h;
  h.open(kMixedScans);
  const std::string at1 = h.at(1, 1);
  const std::string cols = " using columns x=";
  EXPECT_EQ(h.at(3, 3) + at1 + cols + "1 and y=Detector(5) for xmgr, z=-2 as monitor\n" + at1 +
                cols + "1 and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n" + at1 + cols +
                "2theta(?) and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n"
                " scan 1 (i=1) has no label \"2theta\"; its labels are \"Theta\" \"Epoch\" "
                "\"Seconds\" \"Monitor\" \"Detector\"\n" +
                at1 + cols + "9 and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n" +
                " x column 9 is not in scan 1 (i=1), which has columns 1 to 5 (or -1 to -5)\n" +
                at1 + cols + "9 and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n" + at1,
            h.feed("i 1\ny Detector\nz Monitor\nx \"2theta\"\nx 9\nx 0\nq\n"));
  EXPECT_EQ("Detector", h.s.settings.ylabel);
  EXPECT_EQ("", h.s.settings.xlabel) << "a number replaces the label";

  // The status names the label and its column in the current scan.
  std::string out = h.feed("i 2\nZ\nq\n");
  EXPECT_NE(std::string::npos,
            out.find(" setting is : x=9, y=Detector(6) autoscale=on autopurge=off\n"
                     " errorbar=off logscale=off normalization=off(z=Monitor(5))\n"))
      << out;

  // The W columns and format, against the current scan and each other.
  EXPECT_EQ(
      h.at(3, 3) + h.at(2, 2) +
          " columns used by the W command set to \" Theta 99 0 Foo\" with format \"%8.4lf "
          "%8.4lf\n\"\n"
          " W column 99 is not in scan 2 (i=2), which has columns 1 to 6 (or -1 to -6)\n"
          " W column 0 is not in scan 2 (i=2), which has columns 1 to 6 (or -1 to -6)\n"
          " scan 2 (i=2) has no label \"Foo\"; its labels are \"Theta\" \"Two Theta\" \"Epoch\" "
          "\"Seconds\" \"Monitor\" \"Detector\"\n"
          " the W format has 2 conversion(s) for 4 W column(s): the last 2 column(s) are not "
          "written\n" +
          h.at(2, 2) +
          " columns used by the W command set to \" Theta Detector\" with format \"%8.4lf "
          "%8.4lf\n\"\n" +
          h.at(2, 2) +
          " format used by the W command set to \"%d\" with columns \" Theta Detector\"\n"
          " W will refuse the format: conversion \"%d\" is not allowed (only %e %E %f %F %g %G "
          "%a %A and %%)\n" +
          h.at(2, 2) +
          " format used by the W command set to \"%g %g %g\\n\" with columns \" Theta "
          "Detector\"\n"
          " the W format has 3 conversion(s) for 2 W column(s): the last 1 conversion(s) write "
          "nan\n" +
          h.at(2, 2),
      h.feed("i 2\nC Theta 99 0 Foo\nC Theta Detector\nF%d\nF%g %g %g\\n\nq\n"));
}

TEST(Interpreter, LoopTakesEachScansColumnAndCountsTheSkipped) {
  Harness h;
  h.open(kMixedScans);
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(h.dir.path().c_str()));
  std::string out = h.feed("#\ny Detector\n(i1,3,w)\n(i1,2,o)\nq\n");
  EXPECT_EQ("       10.00000               5            1000\n",
            read_file(h.dir.file("scan001.001")));
  EXPECT_EQ("       10.00000              50            2000\n",
            read_file(h.dir.file("scan002.002")));
  EXPECT_FALSE(std::ifstream(h.dir.file("scan003.003")).good());
  EXPECT_NE(std::string::npos,
            out.find(" writing data for (i=2, s=2) on 'scan002.002'\n"
                     " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" "
                     "\"Seconds\" \"Monitor\" \"Diode\"\n"
                     " 1 scan(s) skipped: a chosen label is missing or ambiguous there\n"))
      << out;
  // o lists each scan's columns into the loop's listing.
  std::string listing = h.tc.listing.str();
  EXPECT_NE(std::string::npos, listing.find("    5   -1  Detector  5              y\n"));
  EXPECT_NE(std::string::npos, listing.find("    6   -1  Detector   50             y\n"));

  // The statistics table has a row for each scan that has the label.
  h.tc.listing.str(true);
  out = h.feed("(i1,3,a)\nq\n");
  EXPECT_EQ(
      "# scan i points skipped low_monitor ymin ymax xpeak fwhm centre com integral\n"
      "1 1 1 0 0 5 5 nan nan nan nan nan\n"
      "2 2 1 0 0 50 50 nan nan nan nan nan\n",
      h.tc.listing.str());
  EXPECT_NE(std::string::npos,
            out.find(" 1 scan(s) skipped: a chosen label is missing or ambiguous there\n"))
      << out;
  ASSERT_EQ(0, chdir(cwd));
}
