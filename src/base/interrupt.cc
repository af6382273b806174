#include "base/interrupt.h"

#include <signal.h>

namespace {

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_stop = 0;

extern "C" void on_signal(int signo) { note_signal(signo); }

}  // namespace

void note_signal(int signo) {
  g_interrupted = 1;
  if (signo != SIGINT) g_stop = signo;
}

void install_signal_handlers() {
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  // Reads and writes go on: the commands stop at their next step. Waits
  // for input (poll, readline) return to look at the flags.
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_flags = 0;  // a blocked read of commands returns to end the program
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGXFSZ, SIG_IGN);
}

bool interrupted() { return g_interrupted != 0; }

void clear_interrupt() { g_interrupted = g_stop != 0; }

int stop_requested() { return g_stop; }
