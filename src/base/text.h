// Reading numbers out of text the way the C library's formatted input reads
// them, in the C locale whatever the process locale is. Everything that
// takes a number from a scan file, a command or the initialization file uses
// these, so a line is a data line, a column or a count by one rule.
#ifndef KURVATAB_BASE_TEXT_H_
#define KURVATAB_BASE_TEXT_H_

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// White space as isspace() has it in the C locale.
inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An integer as "%d" (and atoi) reads it: white space, an optional sign,
// decimal digits. The value is clamped to the int range (*clamped says
// whether it was). Returns the characters read, 0 when no digit stands there
// (then *value is 0).
size_t read_int(std::string_view s, int* value, bool* clamped = nullptr);

// One floating conversion as "%lf" makes it from [*p, end): white space,
// then a number (sign, digits, point, exponent; hexadecimal floats; nan,
// inf, infinity in any case). Like glibc's scanf it may take more than the
// number: the "e" of "1e x" is consumed, the value is 1. On success *p moves
// past what was taken and *v holds the value, bit for bit what strtod gives.
// `scratch` is working space, kept by a caller that reads many numbers.
bool read_number(const char** p, const char* end, double* v, std::string* scratch);

// What read_number takes, without converting it (a plain decimal is not
// converted at all): for the columns of a line that are passed over.
bool skip_number(const char** p, const char* end, std::string* scratch);

// True when "%lf" reads a number from the start of `line` (white space first
// is skipped; a NUL byte ends the line as it ends a C string).
bool holds_number(std::string_view line);

// What printf would write, as a string of any length (our own formats only,
// never text a user typed).
std::string string_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string string_vprintf(const char* format, va_list ap);

#endif  // KURVATAB_BASE_TEXT_H_
