// A scan's column labels: reading its #L line, and looking a label up
// among those split_labels (format/header.h) gives.
#ifndef KURVATAB_INDEX_LABELS_H_
#define KURVATAB_INDEX_LABELS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_table.h"

enum class LabelFind {
  kFound,      // *column is its 1-based column
  kMissing,    // no label matches
  kAmbiguous,  // two labels match equally well: *column and *other
};

// Looks `wanted` up among `labels`: a label equal to it, else one equal to
// it when case is ignored (ASCII letters). Two equal matches at the same
// step are ambiguous.
LabelFind find_label(const std::vector<std::string>& labels, std::string_view wanted, int* column,
                     int* other);

// True when `a` and `b` are equal ignoring the case of ASCII letters.
bool same_label_ignoring_case(std::string_view a, std::string_view b);

// Reads the text after "#L" of the scan's #L line (without its line end),
// reading the header only. False when the scan has no #L line or it cannot
// be read now.
bool read_label_line(IndexTable& t, const scanRef& r, std::string* text);

// The 0-based position of record `r` in the table (records lie in file
// order), or -1 when it is not one of the table's records.
int record_position(const IndexTable& t, const scanRef& r);

#endif  // KURVATAB_INDEX_LABELS_H_
