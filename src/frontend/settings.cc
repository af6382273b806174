#include "frontend/settings.h"

#include <climits>
#include <cstdint>

#include "base/text.h"

const FlagSetting kFlagSettings[8] = {
    {'A', &Settings::autoscale, "automatic autoscale", "automatic autoscale"},
    {'P', &Settings::autopurge, "automatic purge", "automatic purge"},
    {'L', &Settings::logscale, "automatic log scale", "automatic log scale"},
    {'N', &Settings::normalize, "automatic normalization", "automatic normalization"},
    {'E', &Settings::errorbar, "error bars", "automatic errorbar"},
    {'T', &Settings::titleauto, "automatic title", "automatic title"},
    {'l', &Settings::legendauto, "automatic legend", "automatic legend"},
    {'#', &Settings::comments, "comments in file", "comments in file"},
};

const FlagSetting* find_flag(char letter) {
  for (const FlagSetting& f : kFlagSettings)
    if (f.letter == letter) return &f;
  return nullptr;
}

int Settings::*column_member(char letter) {
  switch (letter) {
    case 'x':
      return &Settings::xcol;
    case 'y':
      return &Settings::ycol;
    case 'z':
      return &Settings::zcol;
    default:
      return nullptr;
  }
}

std::string Settings::*column_label_member(char letter) {
  switch (letter) {
    case 'x':
      return &Settings::xlabel;
    case 'y':
      return &Settings::ylabel;
    case 'z':
      return &Settings::zlabel;
    default:
      return nullptr;
  }
}

const char* onoff(int flag) { return flag ? "on" : "off"; }

int decimal_conversion(const char* c, bool* range_error) {
  int v;
  read_int(c, &v, range_error);
  return v;
}

int getnum(const char* c, int i) {
  int rel = 0;
  for (;; c++) {
    if (*c == '\0' || *c == '\n' || *c == '\r') {
      int64_t r = int64_t(i) + rel;
      return (r > INT_MAX || r < INT_MIN) ? i : static_cast<int>(r);
    }
    if (*c == ' ') continue;
    if (*c == '+') {
      rel = 1;
      continue;
    }
    if (*c == '-') {
      rel = -1;
      continue;
    }
    break;
  }
  bool range_error;
  int n = decimal_conversion(c, &range_error);
  if (range_error) return i;
  if (rel == 0) return n;
  int64_t r = int64_t(i) + int64_t(rel) * n;
  // A move past the int range keeps the base value, as a range error does.
  if (r > INT_MAX || r < INT_MIN) return i;
  return static_cast<int>(r);
}

int getanum(const char* c, int i) {
  while (*c == ' ') c++;
  if (*c == '\0') return i;
  bool range_error;
  int n = decimal_conversion(c, &range_error);
  if (range_error || n == 0) return i;
  return n;
}
