// Engineering-unit text of a measured value (period, frequency, RMS voltage) for the graph
// titles: the number scaled to one of six prefixes and rounded to three decimals.
#pragma once

#include <string>

namespace dsp {

// prefix + number + " " + scale letter (M, k, none, m, micro sign 0xB5, n); the caller appends
// the unit. Strings are Windows-1252.
std::string Format_eng(const std::string& prefix, double value);

// A reading with SI prefix and unit to `digits` significant digits, trailing zeros kept:
// "1.000 ms", "-707.1 mV", "12.35 kHz", "0.000 V" (prefixes p to G; the micro sign is 0xB5).
// The prefix is chosen from the magnitude, so negative values read like positive ones.
std::string Format_si(double value, int digits, const std::string& unit);

// The decimal separator used by Format_eng, in Windows-1252: the user's locale unless one was
// set.
const std::string& Decimal_separator();
// Sets the separator from its UTF-8 text (the window passes the system locale's); an empty text
// restores the default taken from the C++ global/system locale.
void Set_decimal_separator(const std::string& separator);
// The Windows-1252 text of a UTF-8 separator; "." when the code page lacks one of its
// characters (the Arabic decimal separator U+066B, for one) or the text is not UTF-8.
std::string Windows1252_separator(const std::string& utf8);

}  // namespace dsp
