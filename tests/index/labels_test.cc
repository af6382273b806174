#include "index/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace {

// The labels joined by '|', so a failure shows every boundary.
std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); i++) s += (i ? "|" : "") + v[i];
  return s;
}

TEST(SplitLabels, Table) {
  struct Case {
    const char* text;
    int ncol_N;
    const char* want;
  } cases[] = {
      {" Two Theta  Theta  Detector", 3, "Two Theta|Theta|Detector"},
      {"#L Two Theta  Theta  Detector\n", 3, "Two Theta|Theta|Detector"},  // whole line
      {" Theta  Detector  Monitor\r\n", 0, "Theta|Detector|Monitor"},      // no #N
      {" H K L  Epoch  I0", 5, "H|K|L|Epoch|I0"},  // single blanks give #N labels
      {" H K L  Epoch  I0", 3, "H K L|Epoch|I0"},  // two blanks already do
      {" Two Theta  Det", 4, "Two Theta|Det"},     // neither split fits: two blanks
      {" a  b  c  d", 3, "a|b|c|d"},               // longer than #N: all kept
      {" x\tmon y\tdet", 3, "x|mon y|det"},        // a tab separates alone
      {" x\tmon y\tdet", 4, "x|mon|y|det"},
      {"   lead and trail   ", 0, "lead and trail"},
      {" I0  I0  2theta", 3, "I0|I0|2theta"},  // repeated labels stay
      {"", 3, ""},
      {"   ", 0, ""},
      {"#L", 2, ""},
      {" a/b  c.d  ", 2, "a/b|c.d"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joined(split_labels(c.text, c.ncol_N)), c.want)
        << '"' << c.text << "\" N=" << c.ncol_N;
  }
}

TEST(SplitLabels, KeepsAtMostMaxButCountsAll) {
  // Five labels by single blanks match #N 5, though only two are kept.
  EXPECT_EQ(joined(split_labels(" H K L  Epoch  I0", 5, 2)), "H|K");
  EXPECT_EQ(joined(split_labels(" H K L  Epoch  I0", 3, 2)), "H K L|Epoch");
  EXPECT_EQ(joined(split_labels(" a  b", 0, 0)), "");
}

TEST(FindLabel, ExactThenIgnoringCaseAndAmbiguous) {
  const std::vector<std::string> labels = {"Theta", "theta", "Det", "MON", "Mon2", "mon2"};
  int col = 0, other = 0;
  EXPECT_EQ(LabelFind::kFound, find_label(labels, "theta", &col, &other));
  EXPECT_EQ(2, col);  // the exact match wins over the one ignoring case
  EXPECT_EQ(LabelFind::kFound, find_label(labels, "det", &col, &other));
  EXPECT_EQ(3, col);
  EXPECT_EQ(LabelFind::kFound, find_label(labels, "Mon", &col, &other));
  EXPECT_EQ(4, col);
  EXPECT_EQ(LabelFind::kAmbiguous, find_label(labels, "MON2", &col, &other));
  EXPECT_EQ(5, col);
  EXPECT_EQ(6, other);
  EXPECT_EQ(LabelFind::kAmbiguous, find_label({"a", "b", "a"}, "a", &col, &other));
  EXPECT_EQ(1, col);
  EXPECT_EQ(3, other);
  EXPECT_EQ(LabelFind::kMissing, find_label(labels, "The", &col, &other));
  EXPECT_EQ(LabelFind::kMissing, find_label({}, "a", &col, &other));
}

struct Indexed {
  TempDir dir;
  TestConsole tc;
  IndexTable t;
  explicit Indexed(const std::string& content) {
    std::string path = dir.write("scan.dat", content);
    EXPECT_EQ(1, index_open(t, tc.con, path.c_str()));
    index_file(t, tc.con);
  }
  std::string labels(int k) {
    std::string text;
    return read_label_line(t, t.Index[size_t(k)], &text) ? "<" + text + ">" : "none";
  }
};

TEST(LabelLine, TheRecordPointsAtTheHeadersLastLabelLine) {
  Indexed x(
      "#L not in a scan\n"
      "#S 1 a\n#N 2\n#L x  y\n1 2\n#L after the data\n3 4\n"
      "#S 2 b\n#N 2\n1 2\n"
      "#S 3 c\n#L old\n#D d\n#L x  new\n1 2\n"
      "#S 4 d\n#Lno blank");
  ASSERT_EQ(4, x.t.Indexed);
  EXPECT_EQ("< x  y>", x.labels(0));
  EXPECT_EQ("none", x.labels(1));
  EXPECT_EQ("< x  new>", x.labels(2));
  EXPECT_EQ("<no blank>", x.labels(3));
  EXPECT_EQ(sizeof(scanRef), 72u) << "the offset fits the record's padding";

  for (int k = 0; k < 4; k++) EXPECT_EQ(k, record_position(x.t, x.t.Index[size_t(k)]));
  scanRef stranger = x.t.Index[1];
  EXPECT_EQ(-1, record_position(x.t, stranger));
}

TEST(LabelLine, FarBehindTheScanLineTheHeaderIsSearched) {
  Indexed x("#S 1 a\n#N 2\n#L first\n#D d\n#L x  y\n1 2\n#L after\n");
  scanRef& r = x.t.Index[0];
  r.lhead = kLabelsFar;
  std::string text;
  ASSERT_TRUE(read_label_line(x.t, r, &text));
  EXPECT_EQ(" x  y", text);
}

TEST(LabelLine, AFileChangedSinceIndexingHasNone) {
  Indexed x("#S 1 a\n#N 2\n#L x  y\n1 2\n");
  FILE* f = fopen((x.dir.file("scan.dat")).c_str(), "r+");
  ASSERT_NE(nullptr, f);
  fputs("#S 1 a\n#N 2\n1 2\n", f);
  fclose(f);
  std::string text;
  EXPECT_FALSE(read_label_line(x.t, x.t.Index[0], &text));
}

}  // namespace
