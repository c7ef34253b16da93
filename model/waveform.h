// The acquisition's shared data: the last waveform preamble read from the scope, the raw data
// sets of one acquisition and the per-channel waveform records that the display, the text
// export and the measurements read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace model {

inline constexpr int kMaxIndex = 2048;   // sample arrays are indexed 0..2048
inline constexpr int kMaxDataSets = 50;  // raw data sets 1..50
inline constexpr int kMinPoints = 2;     // the limits on the preamble's point count
inline constexpr int kMaxPoints = 2002;

// The scope's waveform description; shared by both channels, so while a channel is processed
// it describes that channel. Text fields always hold their full width, padded with spaces.
struct TPreamble {
    std::string graph_source = std::string(7, ' ');
    std::string valid = std::string(10, ' ');
    std::string format = std::string(4, ' ');
    std::string type = std::string(8, ' ');
    int32_t points = 0;
    int32_t frame_count = 0;
    double xincrement = 0.0;
    double xorigin = 0.0;
    int32_t xreference = 0;
    double yincrement = 0.0;
    double yorigin = 0.0;
    int32_t yreference = 0;
    std::string coupling = std::string(2, ' ');
    std::string waveform_label = std::string(11, ' ');
};

using ByteRow = std::array<uint8_t, kMaxIndex + 1>;
using WordRow = std::array<uint16_t, kMaxIndex + 1>;
using SampleArray = std::array<double, kMaxIndex + 1>;

struct TWaveformRecord {
    double xorigin = 0.0;
    double yorigin = 0.0;
    double xincrement = 0.0;
    double yincrement = 0.0;
    double x_min = 0.0;
    double x_max = 0.0;
    double y_min = 0.0;
    double y_max = 0.0;
    double v_min = 0.0;
    double v_max = 0.0;
    bool clipped_high = false;
    bool clipped_low = false;
    bool inverted = false;
    int32_t coupling = 0;  // 1 = DC, 2 = AC, 0 before first use
    int32_t yreference = 0;
    bool averaging = false;
    int32_t average_count = 0;
    bool measurement_valid = false;
    double period = 0.0;
    double frequency = 0.0;
    double vrms = 0.0;
    SampleArray time{};
    SampleArray volts{};
};

extern TPreamble Preamble;
// True when the preamble's format field is exactly "1": one byte per sample.
extern bool Byte_format;
// Rows 1..50 (row 0 unused); a set's bytes are stored from position 0 of its row.
extern std::array<ByteRow, kMaxDataSets + 1> Raw_byte_sets;
extern std::array<WordRow, kMaxDataSets + 1> Raw_word_sets;
// Channel 1 and channel 2 (element 0 unused).
extern std::array<TWaveformRecord, 3> Waveforms;

}  // namespace model
