// Conversion of the scope's raw codes to volts over time (block averaging over the data sets of
// one acquisition, inversion, extremes and clip flags), and the sum and difference of the two
// channels for the combined displays.
#pragma once

#include <array>
#include <cstdint>

#include "model/waveform.h"

namespace dsp {

inline constexpr int kRawSumsLast = 2002;  // raw code tables are indexed 0..2002
using RawSumTable = std::array<int32_t, kRawSumsLast + 1>;

// Per sample index, the sum of the raw codes of the channel converted last (their integer
// average when averaging is on).
extern RawSumTable Raw_sums;
// The same table kept for each channel (element 0 unused), so that each channel's codes
// survive the conversion of the other one.
extern std::array<RawSumTable, 3> Channel_raw_sums;

// The number of data sets that a conversion of the record averages: its averaging count (at most
// 50) while averaging is on, else 1.
int32_t Averaged_sets(const model::TWaveformRecord& r);

// Converts the raw data sets just read for `channel` (1 or 2) into Waveforms[channel] and
// Raw_sums, using Preamble and Byte_format. N is the preamble's point count; samples beyond
// index 2002 are never read or written.
void Scale_waveform(int32_t N, int channel);

// Channel 1 plus (or minus) channel 2, sample by sample, for j = 1..N; the channel records are
// not changed.
struct TCombinedSeries {
    int32_t points = 0;           // N used, 0..2002
    model::SampleArray values{};  // element j = sample j, element 0 unused
    double v_min = 1e50;          // smallest of values 1..N (1e50 when N = 0)
    double v_max = -1e50;         // largest of values 1..N (-1e50 when N = 0)
};

// N is the current preamble's point count.
TCombinedSeries Combine_channels(bool difference);

double Min_of(double a, double b);
double Max_of(double a, double b);

}  // namespace dsp
