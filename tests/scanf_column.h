// Column k (1-based) of `line` as sscanf reads it (k-1 "%*f", then "%lf"):
// the reference of the column reader's tests and fuzzer. False when it cannot.
#ifndef KURVATAB_TESTS_SCANF_COLUMN_H_
#define KURVATAB_TESTS_SCANF_COLUMN_H_

#include <cstdio>
#include <string>

inline bool scanf_column(const std::string& line, int k, double* v) {
  std::string fmt;
  for (int i = 1; i < k; i++) fmt += "%*f";
  fmt += "%lf";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  return sscanf(line.c_str(), fmt.c_str(), v) == 1;
#pragma GCC diagnostic pop
}

#endif  // KURVATAB_TESTS_SCANF_COLUMN_H_
