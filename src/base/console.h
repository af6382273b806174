// The streams the program talks through. Everything the program prints goes
// through one of these, so a test can hand in memory streams and read back
// exactly what a user would have seen.
#ifndef KURVATAB_BASE_CONSOLE_H_
#define KURVATAB_BASE_CONSOLE_H_

#include <cstdio>

struct Console {
  FILE* out = stdout;        // messages, prompt, status, index table
  FILE* err = stderr;        // usage text and the few errors that go there
  FILE* my_stdout = stdout;  // scan listings; a loop may redirect them to a file
};

#endif  // KURVATAB_BASE_CONSOLE_H_
