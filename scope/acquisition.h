// Reading a channel's waveform preamble and data blocks from the scope, and running the
// processing chain (conversion, spectrum, measurements) on them.
#pragma once

#include <string>

namespace scope {

// Selects the channel and reads its preamble into Preamble and Byte_format.
void Get_Information_About_Waveform(int channel);
// Decodes the 14 comma-separated preamble fields into Preamble and Byte_format.
void Parse_preamble(const std::string& text);
// Reads the channel's data set(s) into the raw data sets, then scales, transforms and measures.
void Get_waveform_data(int channel);

}  // namespace scope
