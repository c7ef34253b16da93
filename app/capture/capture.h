// "hp54200a capture": the window's acquisition and outputs without a window, for scripts and
// overnight logging. It runs the same handlers, in the order an operator would click them (open
// the connection, coupling, mode, averaging, autoscale, then the display choice), so the bus
// sees the same traffic as from the window, and writes the chosen files.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/picture/references.h"

namespace app {

struct CaptureOptions {
    std::optional<std::string> resource;  // --resource, --address: as for the window
    std::optional<std::string> address;
    // Display items of the window's groups: per channel 0 "Waveform", 1 "FFT", 2 "Waveform +
    // FFT" (-1: not shown); combined 0 "Ch 1 and Ch 2", 1 "Ch 1 + Ch 2", 2 "Ch 1 - Ch 2".
    std::array<int, 3> display{-1, -1, -1};
    int combined = -1;
    std::array<int, 3> coupling{-1, -1, -1};  // per channel: 0 "AC", 1 "DC", -1 untouched
    std::array<bool, 3> inverted{};
    std::array<int, 3> average{};  // per channel: the count (2, 5, 10, 20, 50), 0 = off
    bool autoscale = false;
    std::string png, svg, pdf, csv, wmf, text_dir;
    // --measure [FILE]: the measurements table as CSV, to FILE or (empty) standard output.
    bool measure = false;
    std::string measure_file;
    // --reference GRAPH=FILE: saved graphs drawn behind the live ones in the pictures.
    std::vector<std::pair<ReferenceGraph, std::string>> references;
    int repeat = 1;
    double interval_s = 0;
    std::string refusal;  // bad usage; empty when the options can be used
};

// Reads the arguments after "capture".
CaptureOptions Parse_capture(const std::vector<std::string>& args);
std::string Capture_usage();

// Runs a capture; the exit status: 0 done, 1 a bus failure (the fatal report on standard
// error, the device taken offline) or a file that could not be written (its path and the
// system's reason), 2 bad usage or a reference file that cannot be used (read before the scope
// is touched).
int Run_capture(const CaptureOptions& options, const char* program);

// A numbered file name for the repetitions of a capture: "a/b.png", 3 -> "a/b-0003.png".
std::string Numbered(const std::string& path, int n);

// The first number of a --repeat series: one past the highest number that any file of the
// series' names already has in its folder ("b-0007.png", "data-0007-ch1.csv", the --text
// folder's "waveform1_data-0007.dat"), 1 when there is none.
int Series_start(const CaptureOptions& options);

}  // namespace app
