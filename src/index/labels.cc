#include "index/labels.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits at runs of blanks; with `single` every run separates, otherwise
// only runs of two or more characters or runs holding a tab.
std::vector<std::string> split(std::string_view s, bool single) {
  std::vector<std::string> labels;
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
      labels.emplace_back(s.substr(start, run - start));
      start = i;
    }
  }
  if (start < s.size()) labels.emplace_back(s.substr(start));
  return labels;
}

}  // namespace

std::vector<std::string> split_labels(std::string_view text, int ncol_N) {
  if (text.size() >= 2 && text[0] == '#' && text[1] == 'L') text.remove_prefix(2);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::vector<std::string> labels = split(text, false);
  if (ncol_N > 0 && labels.size() != size_t(ncol_N)) {
    std::vector<std::string> single = split(text, true);
    if (single.size() == size_t(ncol_N)) return single;
  }
  return labels;
}
