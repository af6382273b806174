// Placeholder until the initialization file lands.
#include "frontend/ini_file.h"
void ini_read(Session&) {}
bool ini_write(const Session&) { return true; }
