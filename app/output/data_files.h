// What the data exports share: the rows that each graph's data file holds, with their values,
// and the writing of one whole file. The text files and the CSV files take their rows from here,
// so that both hold the same numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// One row of a graph's data: the abscissa (time in s, or frequency in Hz) and the value (volts,
// or the normalised amplitude).
struct DataRow {
    double x = 0.0;
    double y = 0.0;
};

// The number of rows of every data file: the preamble's point count, cut to the sample tables.
int32_t Data_row_count();

// A channel's samples 1..N: time and volts, as the record holds them.
std::vector<DataRow> Waveform_rows(int channel);
// A channel's spectrum elements 1..N: frequency and normalised amplitude. The spectrum has 1024
// defined elements; a longer record's further rows are zeros.
std::vector<DataRow> Spectrum_rows(int channel);
// What the combined display "Ch 1 + Ch 2" (or "Ch 1 - Ch 2") draws: channel 1's times against
// the sum (or difference) of the channels, samples 1..N.
std::vector<DataRow> Combined_rows(bool difference);

// Creates or replaces the file with exactly `text`. Returns the empty text, or the system's
// reason for the failure.
std::string Write_whole_file(const std::string& path, const std::string& text);

}  // namespace app
