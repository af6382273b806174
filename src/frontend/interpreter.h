// The command interpreter: prompt, one-letter commands, status and help.
#ifndef KURVATAB_FRONTEND_INTERPRETER_H_
#define KURVATAB_FRONTEND_INTERPRETER_H_

#include <cstdio>

#include "frontend/session.h"

void prompt(Session& s, int i);
void status(Session& s);
void put_cmds(Session& s);

// Reads commands from `in` until `q` or the end of input. Returns 0.
int interprete(Session& s, FILE* in);

// The whole program: start-up, interpreter, initialization file. Returns the
// exit status.
int kurvatab_main(int argc, char** argv, FILE* in, Session& s);

#endif  // KURVATAB_FRONTEND_INTERPRETER_H_
