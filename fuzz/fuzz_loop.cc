// The loop parser over arbitrary loop texts, then the loop itself on a
// small scan file in a private directory (redirect files land there; the
// text is kept free of '/' so nothing is written anywhere else).
#include <cstdint>
#include <cstring>
#include <string>

#include "frontend/interpreter.h"
#include "frontend/loop.h"
#include "frontend/session.h"
#include "fuzz_util.h"
#include "index/index_table.h"

namespace {

void check_parse(const std::string& text, const LoopSpec& parsed) {
  size_t first = text.find_first_not_of(' ');
  const char c0 = first == std::string::npos ? '\0' : text[first];
  const bool startable = c0 == 'i' || c0 == 's' || c0 == ',' || (c0 >= '0' && c0 <= '9');
  FUZZ_CHECK(startable == (parsed.start != LoopStart::kInvalid), "start kind for '%c'", c0);
  if (parsed.start == LoopStart::kInvalid) return;
  FUZZ_CHECK(parsed.index_mode == (parsed.start == LoopStart::kIndex), "index mode");
  // The cursor never passes the end of the text: what follows the letter
  // is a suffix of it, and the letter stands right before that suffix.
  FUZZ_CHECK(parsed.after_letter.size() < text.size() + (parsed.e ? 0 : 1) &&
                 text.compare(text.size() - parsed.after_letter.size(), std::string::npos,
                              parsed.after_letter) == 0,
             "after_letter is not a suffix of the text");
  if (parsed.e) {
    FUZZ_CHECK(text[text.size() - parsed.after_letter.size() - 1] == parsed.e,
               "command letter is not before the rest");
  } else {
    FUZZ_CHECK(parsed.after_letter.empty(), "text after a missing letter");
  }
  for (char ch : parsed.redirect)
    FUZZ_CHECK(ch != ' ' && ch != '\t' && ch != '\n', "blank in name");
  if (!parsed.redirect.empty()) {
    FUZZ_CHECK(parsed.after_letter[0] == ')' &&
                   parsed.after_letter.find(parsed.redirect) != std::string::npos,
               "redirect name not behind ')'");
  }
  if (parsed.start == LoopStart::kCurrent)
    FUZZ_CHECK(!parsed.has_start, "current start with a number");
}

}  // namespace

// Input: one byte for the current index, then the loop text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::work_dir();
    fuzz::keep_grace_away();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const int ref = int(data[0] % 12) - 2;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text = text.substr(0, text.find('\0'));
  check_parse(text, parse_loop(text.c_str()));

  for (char& ch : text) {
    if (ch == '/') ch = '_';
  }
  fuzz::ScanSession fs;
  Session& s = fs.s;
  const int got = loop(s.index, s.con, ref, text.c_str(), loop_commands(s));
  // A current index left outside the table by a rejected position may come
  // back unchanged; anything else is a position of the table or 0.
  FUZZ_CHECK((got >= 0 && got <= s.index.Indexed) || got == ref, "loop returned %d of %d", got,
             s.index.Indexed);
  FUZZ_CHECK(s.con.my_stdout == fs.out.f(), "my_stdout not restored");
  FUZZ_CHECK(fuzz::ScanSession::scan_file_intact(), "the scan file changed");
  return 0;
}
