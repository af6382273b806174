// The `u` and `U` commands: follow the running scan, in Grace or in the
// console, until the user types a line, presses Ctrl-C or input ends.
#ifndef KURVATAB_FRONTEND_FOLLOW_COMMAND_H_
#define KURVATAB_FRONTEND_FOLLOW_COMMAND_H_

#include "frontend/interpreter.h"
#include "frontend/session.h"

// Follows the scan at 0-based position `ref` (already checked), reading
// the user's input from `input` meanwhile; the line that ends the follow is
// not run. `in_grace`: plot while following; where Grace cannot start,
// one line says so and the console form runs. Returns the 0-based position
// of the scan followed last (-1 when the file was emptied).
int follow_command(Session& s, CommandInput& input, int ref, bool in_grace);

#endif  // KURVATAB_FRONTEND_FOLLOW_COMMAND_H_
