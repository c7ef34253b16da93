// Reading a channel's waveform preamble and data blocks from the scope, and running the
// processing chain (conversion, spectrum, measurements) on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scope {

inline constexpr int kFieldCapacity = 25;  // a preamble line holds at most 25 characters
inline constexpr int kPreambleFields = 14;

// Selects the channel and reads its preamble into Preamble and Byte_format.
void Get_Information_About_Waveform(int channel);
// Decodes the 14 preamble lines (each ended by CR LF) into Preamble and Byte_format. A point
// count outside 2..2002 is replaced by the nearer limit in Preamble itself, and logged.
void Parse_preamble(const std::string& text);
// The characters of the line starting at `position`, up to the next CR or the end of the text,
// cut to 25; moves `position` past the CR and the LF after it (never beyond the end).
std::string Next_field(const std::string& text, std::size_t& position);
// Reads the channel's data set(s) into the raw data sets, then scales, transforms and measures.
void Get_waveform_data(int channel);

// Result of a decimal conversion: the value of the longest leading part that converts, and the
// 1-based position of the first character the conversion cannot use (0 when all of it converts;
// the length + 1 when the text ends where more was needed, so an empty text gives 1).
struct TConversion {
    long double value = 0;
    int32_t error_position = 0;
};
// Leading spaces, an optional sign, decimal digits; the value must fit 32 bits.
TConversion Convert_integer(const std::string& text);
// Leading spaces, an optional sign, digits with an optional decimal point, an optional exponent
// (E or e, optional sign, digits). A number beyond the range of a double does not convert.
TConversion Convert_real(const std::string& text);

}  // namespace scope
