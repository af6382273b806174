// The column labels of a scan, from its #L line.
#ifndef KURVATAB_INDEX_LABELS_H_
#define KURVATAB_INDEX_LABELS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Splits the text of a #L line into labels. `l_line_text` is the text after
// "#L" (the whole line, "#L" included, is taken as well); a trailing line end
// is ignored. Labels are separated by two or more blanks, or by blanks that
// include a tab, so a label may hold single blanks ("Two Theta"). When that
// does not give `ncol_N` labels (the count of the scan's #N line; 0 or less
// when it has none), the text is split at every blank instead, and that split
// is taken when it gives exactly `ncol_N` labels. Labels are returned as
// written, in order; repeated labels are kept. An empty text gives none.
// At most `max_labels` labels are returned (the choice of split still counts
// them all), so a pathological line costs no more than the labels wanted.
std::vector<std::string> split_labels(std::string_view l_line_text, int ncol_N,
                                      size_t max_labels = SIZE_MAX);

#endif  // KURVATAB_INDEX_LABELS_H_
