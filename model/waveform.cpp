// Storage of the acquisition's shared data.
#include "model/waveform.h"

namespace model {

TPreamble Preamble;
bool Byte_format = false;
std::array<ByteRow, kMaxDataSets + 1> Raw_byte_sets{};
std::array<WordRow, kMaxDataSets + 1> Raw_word_sets{};
std::array<TWaveformRecord, 3> Waveforms{};

}  // namespace model
