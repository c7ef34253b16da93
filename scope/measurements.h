// The scope's own automatic measurements of a channel (validity, period, RMS voltage), read
// after each acquisition into the channel's waveform record.
#pragma once

#include <cstdint>
#include <string>

namespace scope {

// Selects the MEASURE subsystem with source graph `channel` (1 or 2) and stores the scope's
// validity, period, frequency and RMS voltage in Waveforms[channel]; an invalid code is logged
// and keeps the last valid values.
void Get_measurements(int channel);

// The status text of a validity code: "" for 1 (valid) and for codes without a text.
std::string Validity_text(int32_t code);

}  // namespace scope
