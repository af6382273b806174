#include "index/labels.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits at runs of blanks; with `single` every run separates, otherwise
// only runs of two or more characters or runs holding a tab. Keeps the first
// `max` labels in *labels and returns the count of all.
size_t split(std::string_view s, bool single, size_t max, std::vector<std::string>* labels) {
  labels->clear();
  size_t count = 0;
  auto add = [&](std::string_view label) {
    if (count++ < max) labels->emplace_back(label);
  };
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) i++;
  size_t start = i;
  while (i < s.size()) {
    if (!is_blank(s[i])) {
      i++;
      continue;
    }
    size_t run = i;
    bool tab = false;
    while (i < s.size() && is_blank(s[i])) tab |= s[i++] == '\t';
    if (single || tab || i - run >= 2 || i == s.size()) {
      add(s.substr(start, run - start));
      start = i;
    }
  }
  if (start < s.size()) add(s.substr(start));
  return count;
}

}  // namespace

std::vector<std::string> split_labels(std::string_view text, int ncol_N, size_t max_labels) {
  if (text.size() >= 2 && text[0] == '#' && text[1] == 'L') text.remove_prefix(2);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::vector<std::string> labels, single;
  size_t n = split(text, false, max_labels, &labels);
  if (ncol_N > 0 && n != size_t(ncol_N) && split(text, true, max_labels, &single) == size_t(ncol_N))
    return single;
  return labels;
}
