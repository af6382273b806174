#include "frontend/line_input.h"

#include <sys/stat.h>

#include <clocale>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testutil.h"

namespace {

const size_t npos = std::string::npos;

size_t arg_at_end(const std::string& line) { return file_argument_start(line, line.size()); }

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += "[" + x + "]";
  return s;
}

TEST(FileArgument, OnlyTheCommandsThatTakeANameComplete) {
  EXPECT_EQ(2u, arg_at_end("f da"));
  EXPECT_EQ(1u, arg_at_end("fda"));      // name typed directly behind the letter
  EXPECT_EQ(6u, arg_at_end("   d  x"));  // blanks before the letter and the name
  EXPECT_EQ(3u, arg_at_end("  w"));      // nothing typed yet: the whole folder
  EXPECT_EQ(2u, arg_at_end("W out"));
  EXPECT_EQ(1u, arg_at_end("b  x.bat"));  // b and B keep the blanks: part of the name
  EXPECT_EQ(1u, arg_at_end("B x.par"));
  EXPECT_EQ(npos, arg_at_end("p 1"));
  EXPECT_EQ(npos, arg_at_end("(1,2,w) out"));
  EXPECT_EQ(npos, arg_at_end("x -1"));
  EXPECT_EQ(npos, arg_at_end(""));
  EXPECT_EQ(npos, arg_at_end("   "));
  EXPECT_EQ(npos, file_argument_start("f da", 0));  // cursor on the letter
  EXPECT_EQ(npos, file_argument_start("f da", 9));  // cursor past the line
}

TEST(FileNameCompletions, NamesAsReadlineInsertsThem) {
  TempDir dir;
  dir.write("data1.dat", "");
  dir.write("data2.dat", "");
  dir.write("my data.dat", "");
  ASSERT_EQ(0, mkdir(dir.file("sub").c_str(), 0700));
  const std::string d = dir.path();

  // Readline's word starts behind the blank: the name replaces it as is.
  std::string line = "f " + d + "/da";
  EXPECT_EQ("[" + d + "/data1.dat][" + d + "/data2.dat]",
            join(file_name_completions(line, 2, 2, line.size())));

  // A folder gets its '/', ready for the next part of the path.
  line = "d " + d + "/su";
  EXPECT_EQ("[" + d + "/sub/]", join(file_name_completions(line, 2, 2, line.size())));

  // Typed directly behind the letter, readline's word holds the letter too.
  line = "f" + d + "/su";
  EXPECT_EQ("[f" + d + "/sub/]", join(file_name_completions(line, 1, 0, line.size())));

  // A name holding a blank: readline's word is only the part behind it.
  line = "f " + d + "/my da";
  size_t start = line.size() - 2;
  EXPECT_EQ("[data.dat]", join(file_name_completions(line, 2, start, line.size())));

  line = "f " + d + "/none";
  EXPECT_EQ("", join(file_name_completions(line, 2, 2, line.size())));
}

TEST(LabelCompletions, TheCurrentScansLabelsAsTheyWouldBeTyped) {
  const std::vector<std::string> labels = {"Theta",    "Two Theta", "Epoch", "Monitor",
                                           "Detector", "2theta",    "mon2"};
  struct Case {
    const char* line;
    const char* want;
    size_t arg;
  } cases[] = {
      {"x Th", "[Theta]", 2},
      {"x T", "[Theta][Two Theta]", 2},
      {"x Two T", "[Two Theta]", 2},
      {"x th", "[Theta]", 2},  // ignoring case when nothing matches as typed
      {"y Mon", "[Monitor]", 2},
      {"z mon", "[mon2]", 2},
      {"xDe", "[Detector]", 1},
      {"x \"2", "[\"2theta\"]", 2},  // a label that reads as a number goes in quotes
      {"C Theta De", "[Detector]", 8},
      {"C 1 Two", "[\"Two Theta\"]", 4},
      {"C 1 \"Two T", "[\"Two Theta\"]", 4},
      {"C \"Two Theta\" Ep", "[Epoch]", 14},
      {"x 2", "", 0},  // a number
      {"x -", "", 0},
      {"p Th", "", 0},
      {"w Th", "", 0},
  };
  for (const Case& c : cases) {
    size_t arg = 0;
    std::string line = c.line;
    EXPECT_EQ(c.want, join(label_completions(line, line.size(), labels, &arg))) << c.line;
    if (*c.want) {
      EXPECT_EQ(c.arg, arg) << c.line;
    }
  }
  size_t arg = 0;
  EXPECT_EQ("[Theta][Two Theta][Epoch][Monitor][Detector][\"2theta\"][mon2]",
            join(label_completions("  x ", 4, labels, &arg)));
  EXPECT_EQ("", join(label_completions("x Th", 0, labels, &arg)));  // cursor before the letter
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

TEST(LineInput, NumbersStayInTheCLocale) {
  // Whatever locale was in force, line editing leaves numbers in "C".
  ASSERT_NE(nullptr, setlocale(LC_NUMERIC, "C.UTF-8"));
  MemOut err;
  {
    LineInput input("", err.f());
    EXPECT_TRUE(input.shows_prompt());
    EXPECT_STREQ("C", setlocale(LC_NUMERIC, nullptr));
  }
  EXPECT_EQ("", err.str());
  setlocale(LC_ALL, "C");
}

}  // namespace
