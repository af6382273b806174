// The initialization file: settings and the open scan file carried from one
// run to the next. Read once at start, written once at `q`.
//
// Fifteen lines, one setting each: "f name", "x n", "y n", "z n", the flags
// "A n" "P n" "L n" "N n" "E n" "T n" "l n" "# n", then the texts "F..."
// "C..." "H..." directly behind their letters. A column of x, y or z chosen
// by label adds a line "X label", "Y label" or "Z label" after them (letters
// earlier readers ignore); the "x n" line then keeps the last number.
//
// Texts holding a line feed (the default W format ends in one) are written
// escaped so that they come back unchanged: the line then starts with a
// blank, and in its text a line feed is written as backslash-n and a
// backslash as two backslashes. A text line that starts with its letter is
// taken verbatim, so files written by earlier releases, where the format's
// line feed split its line, read as they always did.
#ifndef KURVATAB_FRONTEND_INI_FILE_H_
#define KURVATAB_FRONTEND_INI_FILE_H_

#include <cstdio>
#include <string>

#include "frontend/session.h"

// Reads s.settings.ininame when it can be opened; prints a message for each
// line taken. A missing file is skipped without a message. A file that
// belongs to someone else, or that others may write, is skipped with one
// line: it returns false, and the file must then not be written over.
bool ini_read(Session& s);

// Reads initialization lines from the start of `in`, a stream on a file
// (it is read through its descriptor); `name` is used in messages only.
void ini_read_stream(Session& s, FILE* in, const std::string& name);

// Writes the fifteen lines (and the label lines) to `out`. Returns false when a write failed.
bool ini_write_stream(const Session& s, FILE* out);

// Writes s.settings.ininame: the lines go to a new file beside it, which
// replaces the old one only when written whole; only its owner may write
// it. Returns false on failure, the old file then being left as it was.
// A name that is someone else's link or file, or no regular file, is not
// written: *refused then says why (otherwise it is empty: a file that
// cannot be written is skipped silently).
bool ini_write(const Session& s, std::string* refused);

#endif  // KURVATAB_FRONTEND_INI_FILE_H_
