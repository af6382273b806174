// The `(` command: one scan command over a range of scans or positions,
// optionally with the listings redirected to a file.
//
// Loop text: a start, an end and a command letter, then an optional redirect
// word behind ")", for example "3,5,w)", "s4,7,v)", "i2,4,p)out".
#ifndef KURVATAB_FRONTEND_LOOP_H_
#define KURVATAB_FRONTEND_LOOP_H_

#include <functional>
#include <string>

#include "base/console.h"
#include "index/index_table.h"

// How the start of a loop is given.
enum class LoopStart {
  kInvalid,  // none of the forms below; the loop does not run
  kScan,     // a scan number: a digit, or "s" and a number
  kIndex,    // "i" and a 1-based position in the index table
  kCurrent,  // "," right away: the current index, scan mode
};

// Everything a loop text says, read without looking at the index table.
// Numbers that do not fit an int are clamped to INT_MIN + 1 .. INT_MAX.
struct LoopSpec {
  LoopStart start = LoopStart::kInvalid;
  bool index_mode = false;   // true for kIndex; the end is then a position
  bool has_start = false;    // a number followed "s", "i" or stood first
  int start_number = 0;      // scan number (kScan) or position (kIndex)
  bool has_end = false;      // ",number" stood right behind the start
  int i_end = 0;             // scan number or position of the end
  char e = '\0';             // command letter; '\0' when the text ended there
  std::string after_letter;  // the loop text behind the command letter
  std::string redirect;      // the word behind ")"; empty when none
};

// Reads a loop text. Never reads past its terminating NUL. A missing number
// after "i" or "s" leaves has_start false (the loop then starts at the
// current index); an end that is missing or unreadable leaves has_end false
// and the cursor where it was (the loop then runs its start position alone).
LoopSpec parse_loop(const char* name);

// True when the loop stops after processing position `i` (scan number `s`):
// index mode at or past the end position, scan mode at the end scan number.
bool loop_stops(bool index_mode, int i, int s, int i_end);

// What a loop does with each scan; the interpreter supplies it per letter.
struct LoopAction {
  // Runs the command on the 0-based position; false when it failed (it
  // said why). Empty: the letter is not a loop command (each scan of the
  // loop then gets a message).
  std::function<bool(int ref)> run;
  // The word behind ")" names the command's own output, not a file for the
  // listings: the loop leaves it alone and hands it to `begin`.
  bool own_redirect = false;
  // Called before the first scan with the redirect word (may be empty);
  // false abandons the loop. Optional.
  std::function<bool(const std::string& redirect)> begin;
  // Called after the last scan; false when that failed. Optional.
  std::function<bool()> end;
};
using LoopLookup = std::function<LoopAction(char letter)>;

// `ref` is the 1-based current index, `name` the text after "(".
// Returns the new 1-based current index: the last position processed,
// Indexed when the loop ran off the table, 0 for a start it cannot read.
// Listings (c e h p) go to con.my_stdout, or to the redirect file while the
// loop runs; con.my_stdout is restored afterwards. A redirect file that
// cannot be opened, or that is the scan file itself, is reported and nothing
// runs (the result is then `ref`).
// *failed (when given) is set when anything of the loop failed: a start it
// cannot read or find, the redirect, a letter that is no loop command, an
// action, or a Ctrl-C that stopped it. Running off the end of the table
// after a scan was processed is the loop's way to end, not a failure.
int loop(IndexTable& t, Console& con, int ref, const char* name, const LoopLookup& lookup,
         bool* failed = nullptr);

#endif  // KURVATAB_FRONTEND_LOOP_H_
