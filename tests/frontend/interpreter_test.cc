#include "frontend/interpreter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frontend/ini_file.h"
#include "grace/fake_grace_pipe.h"
#include "index/index_table.h"
#include "testutil.h"

namespace {

// A temporary file holding `text`, read from its start.
FILE* text_file(const std::string& text) {
  FILE* f = tmpfile();
  fwrite(text.data(), 1, text.size(), f);
  rewind(f);
  return f;
}

// A session on memory streams; listings apart, so `out` holds prompts and messages.
struct Harness {
  TestConsole tc;
  FakeGracePipe grace;
  Session s{grace};
  TempDir dir;
  InDir in_dir{dir.path()};  // `d` commands move the working folder
  std::string path;

  Harness() {
    s.con = tc.con;
    s.con.my_stdout = tc.listing.f();
    s.settings.prgname = "kurvatab";
  }
  void open(const std::string& content) {
    path = dir.write("scans.dat", content);
    ASSERT_TRUE(index_open(s.index, path.c_str()).ok());
    index_file(s.index, s.con);
    tc.out.str(true);
  }
  // Runs the interpreter on `cmds`; returns what it printed on con.out.
  std::string feed(const std::string& cmds, size_t max_line = CommandInput::kMaxLine) {
    FILE* in = text_file(cmds);
    FileCommandInput input(in, max_line);
    EXPECT_EQ(0, interprete(s, input));
    fclose(in);
    return tc.out.str(true);
  }
  std::string at(int i, int scan) {
    return path + " (i=" + std::to_string(i) + ", s=" + std::to_string(scan) + ") >";
  }
};

// Detector is column 5 of scan 1 and 6 of scan 2; scan 3 has none.
const char kMixedScans[] =
    "#S 1  ascan\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n10 1 1 1000 5\n"
    "#S 2  a2scan\n#N 6\n#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 2 1 2000 50\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n3 1 1000 3\n";

}  // namespace

// p 0 leaves the index at 0; i 999 is the last scan; S and c go as p does;
// s searches onward and wraps, from scan 0 without a current scan.
TEST(Interpreter, PositionsMoveAndRejectedOnesFollowTheRules) {
  Harness h;
  h.open("#S 1 a\n1 2\n#S 2 b\n1 2\n#S 1 c\n1 2\n");
  const std::string at0 = " -1 is not a valid index\n" + h.path + " (i=0) >";
  EXPECT_EQ(h.at(3, 1) + at0 + h.at(1, 1) + " 998 is not a valid index\n" + h.at(3, 1) +
                h.at(2, 2) + h.at(2, 2) + h.at(1, 1) + h.at(2, 2) + h.at(1, 1),
            h.feed("p 0\np +1\ni 999\n   p-1\nS\nc 1\nS 2\ni-\nq\n"));
  EXPECT_EQ(h.at(3, 1) + h.at(1, 1) + h.at(3, 1) + h.at(2, 2) +
                " scan 7 not found in the index_table, ???\n" + h.at(2, 2) + h.at(3, 1) +
                h.at(1, 1) + at0 + h.at(1, 1),
            h.feed("s 1\ns 1\ns +1\ns 7\ns-1\ns\nS 0\ns +1\nq\n"));
}

// A file that shrank, or was rewritten in place, is said once to differ
// from its table; r reindexes it.
TEST(Interpreter, ChangedFileIsSaidOnce) {
  Harness h;
  h.open(kDemoFile);
  const std::string off = " automatic autoscale turned off\n",
                    on = " automatic autoscale turned on\n";
  ASSERT_EQ(0, truncate(h.path.c_str(), 60));
  EXPECT_EQ(h.at(2, 2) + " " + h.path + " is shorter than when it was indexed: r reindexes it\n" +
                off + h.at(2, 2) + on + h.at(2, 2),
            h.feed("A\nA\n"));
  usleep(20000);                        // timestamps move in clock ticks
  h.dir.write("scans.dat", kDemoFile);  // in place: the same inode and length
  EXPECT_EQ(h.at(2, 2) + " " + h.path + " was rewritten since it was indexed: r reindexes it\n" +
                off + h.at(2, 2),
            h.feed("A\n"));
  EXPECT_EQ(std::string::npos, h.feed("r\nA\n").find("indexed"));
}

// Blank, unknown and non-ASCII lines show the status; an overlong line is
// refused whole; a last line without its line feed runs; K needs a file.
TEST(Interpreter, PromptAndStatusWithoutAFile) {
  Harness h;
  const std::string p = "NO FILE >";
  EXPECT_EQ(
      p + " command line longer than 16 characters, ignored\n" + p + " error bars turned on\n" + p,
      h.feed("L" + std::string(40, ' ') + "\nE" + std::string(15, ' ') + "\nq\n", 16));
  const std::string st = h.feed("Z\nq\n").substr(p.size());  // ends with the prompt
  EXPECT_EQ(0u, st.find("\n kurvatab, type ? to get list of commands\n"));
  EXPECT_EQ(p + st + st + st + st, h.feed("\n   \n\tq\n\xc3\xa9q\nq\n"));
  EXPECT_EQ(p + " -1 is not a valid index\n" + p + p + " -1 is not a valid index\n" + p +
                " no scan file to check\n" + p + " automatic log scale turned on\n" + p,
            h.feed("p\ns 3\ni\nK\nL"));
  EXPECT_EQ(p, h.feed(""));
  EXPECT_EQ("", h.tc.err.str());
  h.feed("r\nq\n");  // r without a file keeps the no-file state
  EXPECT_EQ(0, h.s.index.Indexed);
}

// Each toggle says what it turned (the file's wording is pinned end to end;
// E's differs); a flag at any non-zero value, as a file may set it, turns off.
TEST(Interpreter, TogglesFlipTheirFlag) {
  Harness h;
  const std::string p = "NO FILE > ";
  EXPECT_EQ(p + "automatic autoscale turned off\n" + p + "error bars turned on\n" + p +
                "automatic log scale turned on\n" + p + "automatic normalization turned on\n" + p +
                "automatic purge turned on\n" + p + "automatic title turned off\n" + p +
                "automatic legend turned off\n" + p + "comments in file turned off\nNO FILE >",
            h.feed("A ignored\nE\nL\nN\nP\nT\nl\n#\nq\n"));
  FILE* in = text_file("E 7\n");
  ini_read_stream(h.s, in, "k.ini");
  fclose(in);
  EXPECT_EQ(" automatic errorbar turned on\n", h.tc.out.str(true));
  EXPECT_EQ(p + "error bars turned off\nNO FILE >", h.feed("E\nq\n"));
}

// F, C and H keep the text as typed; the letter alone shows the value;
// x, y and z take numbers, 0 or none keeps the column.
TEST(Interpreter, SettingsAreKeptExactlyAsTyped) {
  Harness h;
  const std::string p = "NO FILE >", fewer = " the W format has 1 conversion(s) for 2 W column(s)",
                    at5 = " using columns x=1 and y=4 for xmgr, z=5 as monitor\n";
  EXPECT_EQ(p + " format used by the W command set to \" %6.2lf\" with columns \"1 -1\"\n" + fewer +
                ": the last 1 column(s) are not written\n" + p +
                " columns used by the W command set to \"  2 3 \" with format \" %6.2lf\"\n" +
                fewer + ": the last 1 column(s) are not written\n" + p +
                "parameters of the h (grace hardcopy) command set to \"DEVICE \"PostScript\" PAGE "
                "SIZE 300,400\" \n" +
                p + " using columns x=1 and y=-1 for xmgr, z=-2 as monitor\n" + p +
                " using columns x=1 and y=4 for xmgr, z=-2 as monitor\n" + p + at5 + p + at5 + p,
            h.feed("F %6.2lf\nC  2 3 \nH\nx 0\ny4\nz +5\nx -\nq\n"));
  const std::string longtext(5000, 'k');
  h.feed("F" + longtext + "\nq\n");
  EXPECT_EQ(longtext, h.s.settings.wformat);
}

TEST(CommandLine, ColumnOptionsFileNamesAndUsage) {
  struct Args {
    std::vector<std::string> text;
    std::vector<char*> ptr;
    explicit Args(std::vector<std::string> a) : text(std::move(a)) {
      for (std::string& s : text) ptr.push_back(&s[0]);
    }
  };
  Harness h;
  std::string demo = h.dir.write("demo.dat", kDemoFile);
  // "-X" alone sets 0; the "3" after it is a file name; the last name decides.
  Args b({"-X", demo, "3", "-Yabc"});
  EXPECT_TRUE(command_line(h.s, 4, b.ptr.data()));
  EXPECT_EQ(0, h.s.settings.xcol);
  EXPECT_EQ(0, h.s.settings.ycol);
  EXPECT_EQ(" file 3 not found\n", h.tc.out.str());
  EXPECT_EQ("NO FILE", h.s.index.inf_name);

  // A bad option: the usage and status 3; the arguments before it are taken,
  // not those after; a long program name is never cut.
  Harness g;
  Args c({h.dir.path() + "/" + std::string(300, 'n'), "-Y7", "-x2", "-X5"});
  EXPECT_EQ(3, kurvatab_main(4, c.ptr.data(), stdin, g.s));
  EXPECT_EQ("unknown args\nkurvatab, rel 2.03 Dec 12 2002\nusage : " + c.text[0] +
                " [-Xx] [-Yx] [file]\ndefault value are X=1 Y=-1 )\n",
            g.tc.err.str());
  EXPECT_EQ(7, g.s.settings.ycol);
  EXPECT_EQ(1, g.s.settings.xcol);
  EXPECT_EQ(c.text[0] + ".ini", g.s.settings.ininame);
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

// In a loop `h` lists the header, `e` header and data; c, w, W and v act as at the prompt.
TEST(Interpreter, LoopLettersRunTheirCommands) {
  Harness h;
  h.open(
      "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n2 1000 20\n"
      "#S 3  scan\n#C c3\n#N 3\n#L x  mon  det\n3 1000 30\n");
  h.feed("d " + h.dir.path() + "\n(i1,1,h)\n(i1,1,e)\n(i1,2,c)\n");
  const std::string head = "#S 2  scan\n#C c2\n#N 3\n#L x  mon  det\n";
  EXPECT_EQ(head + head + "2 1000 20\n" + head + "#S 3  scan\n#C c3\n#N 3\n#L x  mon  det\n",
            h.tc.listing.str(true));
  // v: each scan goes to Grace (one data line is too few to plot).
  EXPECT_NE(std::string::npos, h.feed("#\n(2,2,w)\n(i2,2,W)\n(i1,2,v)\n")
                                   .find("xmgrace, please wait!\n No data to plot lines = 1\n"
                                         " No data to plot lines = 1\n"));
  EXPECT_EQ("        2.00000              20            1000\n",
            read_file(h.dir.file("scan002.001")));
  EXPECT_EQ("  3.0000  30.0000\n", read_file(h.dir.file("scan003.002")));
  EXPECT_EQ("", h.tc.listing.str());
}

// u follows in Grace, else in the console; the end of input ends the follow.
TEST(Interpreter, FollowInGraceOrElseInTheConsole) {
  Harness h;
  h.open(kDemoFile);
  h.grace.can_start = false;
  const std::string start = "Starting xmgrace, please wait!\n",
                    follow = " following scan 1 (i=1) of " + h.path + ", Enter or Ctrl-C ends\n";
  EXPECT_EQ(h.at(2, 2) + start + " Grace can't follow a scan here, following in the console\n" +
                follow + h.at(1, 1),
            h.feed("u 1\n"));
  EXPECT_EQ("#S 1  first scan\n0 1000 12\n1 1000 15\n#D stopped\n\n", h.tc.listing.str(true));
  h.grace.can_start = true;
  EXPECT_EQ(h.at(2, 2) + start + follow + h.at(1, 1), h.feed("u 1\n"));
  EXPECT_EQ("", h.tc.listing.str());
  EXPECT_NE(std::string::npos, h.grace.sent.find("S_ LEGEND \"" + h.path + " #S1\"\n"));
  // Without a position: the last scan, once the file is looked at for new ones.
  append_file(h.path, "#S 3  running\n#N 3\n5 1000 7\n");
  EXPECT_NE(std::string::npos, h.feed("U\n").find(" following scan 3 (i=3) of "));
}

// x, y, z and C by label: the column each names in the current scan, and
// what does not fit, said after the message.
TEST(Interpreter, LabelsShowTheirColumnAndWhatDoesNotFit) {
  Harness h;
  h.open(kMixedScans);
  const std::string at1 = h.at(1, 1), at2 = h.at(2, 2), cols = " using columns x=";
  EXPECT_EQ(h.at(3, 3) + at1 + cols + "1 and y=Detector(5) for xmgr, z=-2 as monitor\n" + at1 +
                cols + "1 and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n" + at1 + cols +
                "2theta(?) and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n"
                " scan 1 (i=1) has no label \"2theta\" (did you mean \"Theta\"?); its labels are "
                "\"Theta\" \"Epoch\" "
                "\"Seconds\" \"Monitor\" \"Detector\"\n" +
                at1 + cols + "9 and y=Detector(5) for xmgr, z=Monitor(4) as monitor\n" +
                " x column 9 is not in scan 1 (i=1), which has columns 1 to 5 (or -1 to -5)\n" +
                at1,
            h.feed("i 1\ny Detector\nz Monitor\nx \"2theta\"\nx 9\nq\n"));
  std::string out = h.feed("i 2\nZ\nq\n");
  EXPECT_NE(std::string::npos,
            out.find(" setting is : x=9, y=Detector(6) autoscale=on autopurge=off\n"
                     " errorbar=off logscale=off normalization=off(z=Monitor(5))\n"))
      << out;
  out = h.feed("i 2\nC Theta 99 0 Foo\nC Theta\nF%d\nq\n");
  for (const char* line :
       {" W column 99 is not in scan 2 (i=2), which has columns 1 to 6 (or -1 to -6)\n W column 0 ",
        " scan 2 (i=2) has no label \"Foo\"; its labels are \"Theta\" \"Two Theta\" \"Epoch\" "
        "\"Seconds\" \"Monitor\" \"Detector\"\n the W format has 2 conversion(s) for 4 W "
        "column(s): the last 2 column(s) are not written\n",
        "\n\"\n the W format has 2 conversion(s) for 1 W column(s): the last 1 conversion(s) write "
        "nan\n",
        " W will refuse the format: conversion \"%d\" is not allowed (only %e %E %f %F %g %G %a %A "
        "and %%)\n"})
    EXPECT_NE(std::string::npos, out.find(line)) << line << out;
}

// A loop takes each scan's own column for a label and counts the scans
// without it; a, o and w by label at the prompt and in loops.
TEST(Interpreter, LoopTakesEachScansColumnAndCountsTheSkipped) {
  Harness h;
  h.open(kMixedScans);
  const std::string missing =
      " scan 3 (i=3) has no label \"Detector\"; its labels are \"Epoch\" \"Seconds\" \"Monitor\" "
      "\"Diode\"\n";
  // In a loop the missing label is said once, with the scans it skipped.
  const std::string skipped =
      " 1 scan(s) skipped: a chosen label is missing or ambiguous there\n"
      " label \"Detector\" not found in 1 scan(s) of the loop: skipped\n";
  std::string out =
      h.feed("d " + h.dir.path() + "\n#\ny Detector\n(i1,3,w)\na\no 2\n(i1,3,a)\nq\n");
  EXPECT_EQ("       10.00000              50            2000\n",
            read_file(h.dir.file("scan002.002")));
  EXPECT_NE(std::string::npos, out.find(skipped + h.at(3, 3) + missing + h.at(3, 3))) << out;
  const std::string tail = skipped + h.at(3, 3);
  EXPECT_EQ(tail, out.substr(out.size() - std::min(out.size(), tail.size())));
  const std::string listing = h.tc.listing.str();
  EXPECT_NE(std::string::npos, listing.find("    6   -1  Detector   50             y\n"))
      << listing;
  EXPECT_NE(std::string::npos, listing.find("\n2 2 1 0 0 50 50 nan nan nan nan nan\n")) << listing;
}
