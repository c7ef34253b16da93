// Saved graphs read back: the CSV files and the fixed-width text data files that this program
// writes, checked line by line. The reader only turns bytes into rows and header values; what is
// shown from them is the opened capture's business.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The files the program writes are far smaller; anything larger is refused before it is read.
inline constexpr std::uintmax_t kMaxSavedFileBytes = std::uintmax_t{64} << 20;
// A graph holds at least two samples and at most what the sample tables hold.
inline constexpr int kMinSavedRows = 2;
inline constexpr int kMaxSavedRows = 2002;

enum class SavedKind { Waveform, Spectrum, Sum, Difference };

// One channel's settings and scaling as a CSV header gives them ("# ch1 ..."); what a header
// does not give stays empty.
struct SavedChannel {
    std::optional<int32_t> coupling;  // 1 DC, 2 AC
    std::optional<bool> inverted;
    std::optional<int32_t> averaged_sets;  // 0: averaging off
    std::optional<double> xincrement;
    std::optional<double> xorigin;
    std::optional<double> yincrement;
    std::optional<double> yorigin;
    std::optional<int32_t> yreference;
    std::optional<double> period;  // with the RMS when the scope measured them
    std::optional<double> vrms;
};

struct SavedGraph {
    std::string path;  // as given
    std::string name;  // the file's name without its folder
    SavedKind kind = SavedKind::Waveform;
    int channel = 1;                       // 1 or 2; 1 for the sum and the difference
    bool both_channels = false;            // one of the pair of the display "Ch 1 and Ch 2"
    std::vector<double> x;                 // time (s) or frequency (Hz), rows 1..N
    std::vector<double> y;                 // volts or the normalised amplitude
    std::vector<int32_t> raw;              // a text file's raw codes; empty for a CSV file
    std::array<SavedChannel, 3> channels;  // 1 and 2; element 0 unused
};

// The graph, or why the file cannot be used: "<path>: line 12: <what>" (or "<path>: <what>" for
// what concerns the whole file).
struct SavedRead {
    std::optional<SavedGraph> graph;
    std::string error;
};

// Reads a file: refuses a folder, an unreadable file and one over kMaxSavedFileBytes (by its
// size, before reading), then parses it by its content.
SavedRead Read_saved_file(const std::string& path);

// Parses the bytes of a saved file: a CSV file (it starts with "#" or with its columns line), or
// a text data file (it starts with one of their header lines; the channel comes from the file
// name: waveform1..., waveform2..., fft1..., fft2...). CR LF and LF line ends are both taken.
SavedRead Parse_saved(std::string_view text, const std::string& path);

// "what" said about a line.
std::string Line_error(const std::string& path, std::size_t line, const std::string& what);

}  // namespace app
