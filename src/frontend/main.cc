#include <cstdio>

#include "frontend/interpreter.h"

int main(int argc, char** argv) {
  Session s;
  return kurvatab_main(argc, argv, stdin, s);
}
