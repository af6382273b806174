#include "format/header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "testutil.h"

namespace {

std::string joined(const std::vector<std::string>& labels) {
  std::string s;
  for (const std::string& l : labels) s += (s.empty() ? "" : "|") + l;
  return s;
}

TEST(SplitLabels, AtTwoBlanksOrSingleBlanksWhenTheColumnCountSaysSo) {
  const std::tuple<const char*, int, size_t, const char*> cases[] = {
      // text, column count, max, labels
      {" Two Theta  Theta  Detector", 3, 99, "Two Theta|Theta|Detector"},
      {"#L Two Theta  Theta  Detector\r\n", 3, 99, "Two Theta|Theta|Detector"},  // whole line
      {" Theta  Detector  Monitor\r\n", 0, 99, "Theta|Detector|Monitor"},        // no count
      {" H K L  Epoch  I0", 5, 99, "H|K|L|Epoch|I0"},  // single blanks give the count
      {" H K L  Epoch  I0", 3, 99, "H K L|Epoch|I0"},  // two blanks already do
      {" Two Theta  Det", 4, 99, "Two Theta|Det"},     // neither fits: two blanks
      {" Theta  TR diode  Det", 5, 99, "Theta|TR diode|Det"},
      // A writer that separates by single blanks, with #N one more than it names.
      {" EPOCH Phi CESR IC1 IC2 DIODE", 7, 99, "EPOCH|Phi|CESR|IC1|IC2|DIODE"},
      {" Two Theta", 1, 99, "Two Theta"},
      {"   lead and trail   ", 0, 99, "lead and trail"},
      {"   lead and trail   ", 4, 99, "lead|and|trail"},
      {" a  b  c  d", 3, 99, "a|b|c|d"},         // longer than the count: all kept
      {" x\tmon y\tdet", 3, 99, "x|mon y|det"},  // a tab separates alone
      {" x\tmon y\tdet", 4, 99, "x|mon|y|det"},
      {" I0  I0  2theta", 3, 99, "I0|I0|2theta"},  // repeated labels stay
      {"", 3, 99, ""},
      {"#L\r\n", 2, 99, ""},
      {" H K L  Epoch  I0", 5, 2, "H|K"},  // all counted against the count, `max` kept
      {" H K L  Epoch  I0", 3, 2, "H K L|Epoch"},
      {" a  b", 0, 0, ""},
  };
  for (const auto& [text, n, max, want] : cases) {
    EXPECT_EQ(want, joined(split_labels(text, n, max))) << '"' << text << "\" N=" << n;
  }
}

// Every text of a header line drops its line end, LF or CR LF.
TEST(HeaderFields, TextsWithoutLineEnds) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // function, line, text
      {"body", "#C note\r\n", "#C note"},
      {"body", "#C note\n", "#C note"},
      {"body", "1 2", "1 2"},
      {"key", "#O0 Two Theta  zet\r\n", " Two Theta  zet"},
      {"key", "#P12 1 2\n", " 1 2"},
      {"key", "#", ""},
      {"title", "#S 12  ascan  th 0 1 \t\r\n", "ascan  th 0 1"},
      {"title", "#S12\n", ""},
      {"title", "#Sx y\n", "x y"},
      {"date", "#D  Thu Feb 21 14:41:54 2002 \r\n", "Thu Feb 21 14:41:54 2002"},
      {"date", "#D1505495021.0\n", "1505495021.0"},
      {"names", "#o1 th  tth\r\n", "a  b   th  tth"},
  };
  for (const auto& [fn, line, want] : cases) {
    std::string got;
    if (fn == "body") got = line_body(line);
    if (fn == "key") got = key_text(line);
    if (fn == "title") got = scan_line_title(line);
    if (fn == "date") got = date_text(line);
    if (fn == "names") {
      got = "a  b";
      add_motor_names(line, &got);
    }
    EXPECT_EQ(want, got) << fn << " " << line;
  }
}

TEST(HeaderFields, NumbersOfSAndNAndP) {
  const std::pair<const char*, int> counts[] = {{"#S 12  x\n", 12}, {"#S-3", -3},    {"#Sx", 0},
                                                {"#S", 0},          {"#N 7\r\n", 7}, {"#N", 0}};
  for (const auto& [line, n] : counts) {
    EXPECT_EQ(n, line[1] == 'S' ? scan_number(line) : column_count(line)) << line;
  }
  std::vector<double> p = {9};
  add_positions("#P0 1.25 -3 7e-1\r\n", &p);
  add_positions("#P1 inf x 5\n", &p);
  EXPECT_EQ((std::vector<double>{9, 1.25, -3, 0.7, HUGE_VAL}), p);
}

// Text dates as written, and seconds since 1970 in local time.
TEST(IsoDate, TextDatesAndSecondsSince1970) {
  ScopedEnv tz("TZ", "UTC");
  tzset();
  const std::pair<const char*, const char*> cases[] = {
      {"Thu Feb 21 14:41:54 2002", "2002-02-21T14:41:54"},
      {"Feb 21 14:41:54 2002", "2002-02-21T14:41:54"},
      {"2002-02-21 14:41:54", "2002-02-21T14:41:54"},
      {"2002-02-21T14:41:54\r\n", "2002-02-21T14:41:54"},
      {"1505495021.0", "2017-09-15T17:03:41"},
      {" 1505495021.9 ", "2017-09-15T17:03:41"},
      {"0", "1970-01-01T00:00:00"},
      {"253402300799", "9999-12-31T23:59:59"},
      {"253402300800", ""},
      {"-1", ""},
      {"nan", ""},
      {"1505495021 s", ""},
      {"Thu Foo 21 14:41:54 2002", ""},
      {"Thu Feb 32 14:41:54 2002", ""},
      {"Thu Feb 21 24:41:54 2002", ""},
      {"Thu Feb 21 14:41:54 2002 x", ""},
      {"2002-02-21T14:41:54 x", ""},
      {"2002-02-21_14:41:54", ""},
      {"not a date", ""},
      {"", ""},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(want, iso_date(text)) << text;
  ScopedEnv cet("TZ", "CET-1");
  tzset();
  EXPECT_EQ("2017-09-15T18:03:41", iso_date("1505495021"));
  EXPECT_EQ("2002-02-21T14:41:54", iso_date("Thu Feb 21 14:41:54 2002"));  // as written
}

// The run of #O lines nearest before a scan names its positions, across a
// restarted file header and across the blocks the search reads.
TEST(MotorNamesBefore, NearestRunOfOLines) {
  const std::string filler(100000, '\n');
  const std::tuple<std::string, int64_t, size_t, const char*> cases[] = {
      // file up to the scan, floor, most, names ("-" none, "" too many)
      {"#O0 a  b\n#S 1\n#O0 Two Theta  Theta\r\n#O1 zet\r\n#o0 tth  th  z\n#P0 1\n", 0, 99,
       "Two Theta|Theta|zet"},
      {"#O0 a  b\n#O1 c\n" + filler, 0, 99, "a|b|c"},
      {"#O0 a  b\n" + filler + "#C x\n", 9, 99, "-"},  // not before the floor
      {"#F x\n#o0 a  b\n", 0, 99, "-"},
      {"", 0, 99, "-"},
      {"#O0 a  b\n#O1 c\n", 0, 6, ""},
  };
  for (const auto& [text, floor, most, want] : cases) {
    MemoryScanFile file(text);
    file.set_read_step(4000);
    std::string names = "kept";
    const bool found = motor_names_before(file, 'O', int64_t(text.size()), floor, most, &names);
    EXPECT_EQ(want, !found ? (names == "kept" ? "-" : "changed") : joined(split_labels(names, 3)))
        << text.substr(0, 60);
  }
}

}  // namespace
