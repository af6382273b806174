#include "base/version.h"

const char kProgramRelease[] = "kurvatab, rel " KURVATAB_RELEASE;
const char kProgramDate[] = "Dec 12 2002";
