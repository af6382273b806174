// One printf conversion of a double, such as "%15.7lg", written with exactly
// the characters printf writes in the C locale, but faster: finite values in
// the f, F, e, E, g and G forms without the '#' flag go through
// std::to_chars, whose digits are by definition those of printf with the
// same precision; the rest (nan, inf, '#', the a and A forms) through
// snprintf.
#ifndef KURVATAB_OUTPUT_NUMBER_FORMAT_H_
#define KURVATAB_OUTPUT_NUMBER_FORMAT_H_

#include <string>
#include <string_view>

class DoubleFormat {
 public:
  DoubleFormat() = default;
  // `conv`: '%', then what read() takes, and nothing else; ok() tells
  // whether it was.
  explicit DoubleFormat(std::string_view conv);

  // Reads a conversion from f at *i, just after its '%': flags from
  // "-+ #0", an optional width and precision of digits (each at most 4096),
  // an optional 'l', then one of "eEfFgGaA". True with *i past the letter;
  // false with *i where the letter should have been (or past the oversized
  // width and precision). Anything else is not a conversion this class
  // takes.
  bool read(std::string_view f, size_t* i);

  bool ok() const { return ok_; }
  // The conversion as printf takes it ('%', flags, width, precision,
  // letter; without the 'l').
  const std::string& conversion() const { return conv_; }

  // Appends v as printf would write it with the conversion.
  void append(std::string* out, double v) const;

 private:
  void append_printf(std::string* out, double v) const;

  std::string conv_;  // for snprintf
  bool ok_ = false;
  bool left_ = false, plus_ = false, space_ = false, alt_ = false, zero_ = false;
  int width_ = 0;
  int precision_ = 6;
  char type_ = 'f';
};

#endif  // KURVATAB_OUTPUT_NUMBER_FORMAT_H_
