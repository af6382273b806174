// The user's settings: column numbers, on/off flags and the command
// parameters, with their defaults. Read by the listing, export and plotting
// code; changed by the command line, the initialization file and the
// interpreter's commands.
#ifndef KURVATAB_FRONTEND_SETTINGS_H_
#define KURVATAB_FRONTEND_SETTINGS_H_

#include <string>

#include "analysis/fit.h"
#include "base/options.h"
#include "base/version.h"

// The flags count as on when non-zero; the interpreter's toggles store 0 or 1.
struct Settings : PlotOptions {
  std::string prgname;  // argv[0]
  std::string ininame;  // argv[0] followed by ".ini"
  FitModel fit_model;   // what g fits; set by G
  // -e, --exit-on-error: the first command that fails ends the run, with
  // kFailedRunStatus. Not kept in the initialization file.
  bool exit_on_error = false;
};

// The exit status of a run that -e ended at a failed command.
constexpr int kFailedRunStatus = 1;

// The on/off settings: the interpreter's toggle letters and the
// initialization file's lines read the same rows. The two designed wordings
// differ for some flags (" error bars turned on" at the prompt, " automatic
// errorbar turned on" from the file), so each row keeps both.
struct FlagSetting {
  char letter;
  int Settings::*member;
  const char* toggle_what;  // " <toggle_what> turned on|off" after the toggle
  const char* ini_what;     // the same message for an initialization-file line
};

// In the order the initialization file writes them.
extern const FlagSetting kFlagSettings[8];

// The row of `letter`, or nullptr.
const FlagSetting* find_flag(char letter);

// The column settings x, y and z.
int Settings::*column_member(char letter);  // nullptr for any other letter
// Their labels (empty when the column was chosen by number).
std::string Settings::*column_label_member(char letter);  // nullptr for any other letter

// "on" for a non-zero flag, "off" for 0.
const char* onoff(int flag);

// Decimal conversion shared by the parsers and the -X/-Y options: optional
// white space, optional sign, digits up to the first non-digit; no digits
// give 0. Sets *range_error when the value does not fit a 32-bit int (the
// value is then clamped).
int decimal_conversion(const char* c, bool* range_error);

// Position / scan-number parser: empty text keeps i, a signed number moves i,
// an unsigned number is absolute. Never fails.
int getnum(const char* c, int i);

// Column parser: an absolute number; 0, no number or a range error keep i.
int getanum(const char* c, int i);

#endif  // KURVATAB_FRONTEND_SETTINGS_H_
