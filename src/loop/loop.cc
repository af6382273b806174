// Placeholder until the loop command lands.
#include "loop/loop.h"
int loop(Session&, int ref, const char*) { return ref; }
