#include "grace/grace_process.h"

#include <cstdio>

#include "grace/grace_link.h"

GraceProcess grace_process;

void grace_atexit() {
  if (grace_process.link) grace_end(*grace_process.link, stderr);
}
