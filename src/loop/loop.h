// The `(` command: one scan command over a range of scans or positions,
// optionally with the listings redirected to a file.
#ifndef KURVATAB_LOOP_LOOP_H_
#define KURVATAB_LOOP_LOOP_H_

#include "frontend/session.h"

// `ref` is the 1-based current index, `name` the text after "(".
// Returns the new 1-based current index.
int loop(Session& s, int ref, const char* name);

#endif  // KURVATAB_LOOP_LOOP_H_
