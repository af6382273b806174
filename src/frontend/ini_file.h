// The initialization file: settings and the open scan file carried from one
// run to the next. Read once at start, written once at `q`.
#ifndef KURVATAB_FRONTEND_INI_FILE_H_
#define KURVATAB_FRONTEND_INI_FILE_H_

#include "frontend/session.h"

// Reads s.settings.ininame when it exists; prints a message per line taken.
void ini_read(Session& s);

// Writes s.settings.ininame; silent, also on failure. Returns false on failure.
bool ini_write(const Session& s);

#endif  // KURVATAB_FRONTEND_INI_FILE_H_
