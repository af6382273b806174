// Ctrl-C stops the running command, never the program; SIGTERM and SIGHUP
// end the program as q does. The handlers only note the signal: long
// commands look at interrupted() between their steps and stop, and the
// interpreter ends once stop_requested(). These flags are process-wide, as
// only a signal handler can set them.
#ifndef KURVATAB_BASE_INTERRUPT_H_
#define KURVATAB_BASE_INTERRUPT_H_

// Installs the handlers of SIGINT, SIGTERM and SIGHUP, and ignores SIGXFSZ
// (a write past the file size limit then fails with EFBIG and is reported).
void install_signal_handlers();

// True after Ctrl-C (or a SIGTERM or SIGHUP) until clear_interrupt().
bool interrupted();
void clear_interrupt();

// The signal that asks the program to end (SIGTERM, SIGHUP), or 0.
int stop_requested();

// Notes a signal as the handlers do (for tests).
void note_signal(int signo);

#endif  // KURVATAB_BASE_INTERRUPT_H_
