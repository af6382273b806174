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
