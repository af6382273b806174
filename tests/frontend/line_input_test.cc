#include "frontend/line_input.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testutil.h"

namespace {

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += "[" + x + "]";
  return s;
}

// Where the name starts for the commands that take one; npos elsewhere.
TEST(FileArgument, OnlyTheCommandsThatTakeANameComplete) {
  const size_t no = std::string::npos;
  const struct {
    const char* line;
    size_t point, want;
  } cases[] = {
      {"f da", 4, 2},  {"fda", 3, 1},      {"   d  x", 7, 6},
      {"  w", 3, 3},   {"b  x.bat", 8, 1},  // b and B keep the blanks: part of the name
      {"p 1", 3, no},  {"a 1", 3, no},     {"(1,2,w) out", 11, no},
      {"   ", 3, no},  {"f da", 0, no},  // cursor on the letter
      {"f da", 9, no},                   // past the line
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, file_argument_start(c.line, c.point)) << c.line;
}

// A folder gets its '/'; for a name holding a blank readline's word is only
// the part behind it.
TEST(FileNameCompletions, NamesAsReadlineInsertsThem) {
  TempDir dir;
  dir.write("my data.dat", "");
  ASSERT_EQ(0, mkdir(dir.file("sub").c_str(), 0700));
  std::string line = "d " + dir.path() + "/su";
  EXPECT_EQ("[" + dir.path() + "/sub/]", join(file_name_completions(line, 2, 2, line.size())));
  line = "f " + dir.path() + "/my da";
  EXPECT_EQ("[data.dat]", join(file_name_completions(line, 2, line.size() - 2, line.size())));
}

TEST(LabelCompletions, TheCurrentScansLabelsAsTheyWouldBeTyped) {
  const std::vector<std::string> labels = {"Theta",    "Two Theta", "Epoch", "Monitor",
                                           "Detector", "2theta",    "mon2"};
  const struct {
    const char* line;
    const char* want;
    size_t arg;
  } cases[] = {
      {"x T", "[Theta][Two Theta]", 2},
      {"x th", "[Theta]", 2},  // ignoring case when nothing matches as typed
      {"z mon", "[mon2]", 2},
      {"xDe", "[Detector]", 1},
      {"x \"2", "[\"2theta\"]", 2},  // a label that reads as a number goes in quotes
      {"C 1 Two", "[\"Two Theta\"]", 4},
      {"C \"Two Theta\" Ep", "[Epoch]", 14},
      {"  y ", "[Theta][Two Theta][Epoch][Monitor][Detector][\"2theta\"][mon2]", 4},
      {"x -", "", 0},
      {"x 2", "", 0},  // a number is no label
      {"w Th", "", 0},
  };
  for (const auto& c : cases) {
    size_t arg = 0;
    std::string line = c.line;
    EXPECT_EQ(c.want, join(label_completions(line, line.size(), labels, &arg))) << c.line;
    if (*c.want) {
      EXPECT_EQ(c.arg, arg) << c.line;
    }
  }
  size_t arg = 0;  // the cursor inside the line: only the text before it counts
  EXPECT_EQ("[Theta]", join(label_completions("x Th 5", 4, labels, &arg)));
}

TEST(HistoryPath, FileInTheHomeOrNone) {
  auto with_home = [](const char* home) {
    ScopedEnv h("HOME", home);
    return history_path();
  };
  EXPECT_EQ("/.kurvatab_history", with_home("/"));
  EXPECT_EQ("", with_home(""));
  EXPECT_EQ("", with_home(nullptr));
}

}  // namespace
