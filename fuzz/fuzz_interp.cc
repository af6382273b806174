// The command interpreter over arbitrary command lines, on a small scan file
// in a private working directory. Commands that could reach outside it are
// kept out of the input: '/' and '~' become '_', and `d` lines are dropped,
// so every file a command writes lands in that directory; only `f` lines
// may name the scan file. No Grace can
// start (no DISPLAY, xmgrace not on PATH) and input comes from memory, so
// nothing blocks. Afterwards the scan file must be as it was.
#include <cstdint>
#include <cstring>
#include <string>

#include "frontend/interpreter.h"
#include "frontend/session.h"
#include "fuzz_util.h"
#include "index/index_table.h"

namespace {

// The command lines with what could leave the working directory taken out.
std::string confine(const uint8_t* data, size_t size) {
  std::string in;
  size_t i = 0;
  while (i < size) {
    size_t j = i;
    while (j < size && data[j] != '\n') j++;
    std::string line(reinterpret_cast<const char*>(data + i), j - i);
    i = j + 1;
    size_t k = line.find_first_not_of(' ');
    if (k != std::string::npos && line[k] == 'd') continue;
    for (char& ch : line) {
      if (ch == '/' || ch == '~') ch = '_';
    }
    // Only `f` may name the scan file: once no file is open, writing a file
    // of that name is the user's right, and the check below would not hold.
    if (k == std::string::npos || line[k] != 'f') {
      for (size_t at; (at = line.find("scan.dat")) != std::string::npos;) line[at + 4] = '_';
    }
    in += line;
    in += '\n';
  }
  return in;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzz::work_dir();
    fuzz::keep_grace_away();
    setenv("HOME", fuzz::work_dir().c_str(), 1);
    return true;
  }();
  (void)ready;
  std::string cmds = confine(data, size);
  FILE* in = fmemopen(&cmds[0], cmds.size() + 1 > 1 ? cmds.size() : 1, "r");
  if (cmds.empty()) {
    fclose(in);
    in = fopen("/dev/null", "r");
  }
  FUZZ_CHECK(in, "no input stream");
  {
    fuzz::ScanSession fs;
    interprete(fs.s, in);
    FUZZ_CHECK(fs.s.con.my_stdout == fs.out.f(), "my_stdout not restored");
  }
  fclose(in);
  FUZZ_CHECK(fuzz::ScanSession::scan_file_intact(), "the scan file changed");
  return 0;
}
