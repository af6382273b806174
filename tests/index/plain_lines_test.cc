#include "index/plain_lines.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The rule line by line: where the fast count must stop, and its count.
size_t line_by_line(const std::string& s, int64_t* counted) {
  auto digit = [&](size_t i) { return i < s.size() && s[i] >= '1' && s[i] <= '9'; };
  size_t i = 0;
  for (size_t nl;
       (digit(i) || (s[i] == '-' && digit(i + 1))) && (nl = s.find('\n', i)) != std::string::npos;
       i = nl + 1) {
    ++*counted;
  }
  return i;
}

// Texts that stop the count at each kind of line, and long random runs of
// data lines of every length, so that lines begin and end at every byte of
// the 64-byte pieces; each text also cut short at every length near its end.
TEST(CountPlainLines, SameAsLineByLine) {
  const std::string l63 = std::string(62, '1') + "\n";  // the next line begins at byte 63
  std::vector<std::string> texts = {"1 2\n-3 4\n#C x\n5\n",
                                    "0.5\n",
                                    "-0\n",
                                    "1\n\n2\n",
                                    " 1\n",
                                    "\xb1\n",
                                    "9\n-9\n:\n1\n/\n",
                                    l63 + "-\n" + l63 + l63,
                                    l63 + "-5\n" + l63 + l63,
                                    l63 + "1\n" + l63 + "#\n"};
  std::mt19937 rng(24);
  const char* const breaks[] = {"#C", "0.5", "-", "-0", " 1", "\xb1", "-#", ""};
  for (int k = 0; k < 400; k++) {
    std::string s;
    while (s.size() < 600) {
      s += rng() % 40 == 0 ? breaks[rng() % 8]
                           : (rng() % 2 ? "-" : "") + std::string(1, char('1' + rng() % 9)) +
                                 std::string(rng() % 70, rng() % 2 ? '7' : ' ');
      s += '\n';
    }
    texts.push_back(s);
  }
  for (const std::string& s : texts) {
    for (size_t n = s.size() > 70 ? s.size() - 70 : 0; n <= s.size(); n++) {
      int64_t want = 0;
      const size_t stop = line_by_line(s.substr(0, n), &want);
      std::unique_ptr<char[]> b(new char[n]);  // its exact size: a read past it is caught
      s.copy(b.get(), n);
      for (int path = 0; path <= int(plain_lines_best()); path++) {  // each the processor has
        int64_t got = 0;
        const char* e = count_plain_lines_with(PlainLinesPath(path), b.get(), b.get() + n, &got);
        ASSERT_EQ(stop, size_t(e - b.get())) << path << s;
        ASSERT_EQ(want, got) << path << s;
      }
    }
  }
}

}  // namespace
