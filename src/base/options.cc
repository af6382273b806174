#include "base/options.h"

const char kDefaultGracePrint[] = "DEVICE \"PostScript\" PAGE SIZE 300,400";
const char kDefaultWFormat[] = "%8.4lf %8.4lf\n";
const char kDefaultWColumns[] = "1 -1";
