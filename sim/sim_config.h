// The simulated scope's configuration: the signal on each channel, the scaling the instrument
// reports, and the faults to inject. Everything comes from HP_SIM_* environment variables, read
// afresh when the library loads and at every ibdev, so one test process can try many set-ups.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class Shape { sine, square, triangle, dc, none };

struct ChannelConfig {
    Shape shape = Shape::sine;
    double frequency = 1000.0;  // Hz
    double amplitude = 1.0;     // V, peak
    double offset = 0.0;        // V
    double noise = 0.0;         // V rms, Gaussian
    bool ac_coupled = false;
    int format = 1;     // 1 = one byte per sample, 2 = two bytes (low byte first)
    long points = 500;  // any value, out-of-range ones included
    double xincrement = 1.0e-5;
    double xorigin = -2.5e-3;
    double yincrement = 0.01;
    double yorigin = 0.0;
    long yreference = 128;
};

// "the n-th write of this command text" or "the n-th read"
struct CallFault {
    std::string text;  // command text (writes only)
    long nth = 0;      // 1-based, counted since ibdev
};

struct Config {
    std::array<ChannelConfig, 2> channel;
    unsigned long seed = 1;
    std::string log_path;
    long board = 0;    // the board index the scope's bus hangs on
    long address = 5;  // the scope's primary address (set on its rear panel)

    bool fail_ibdev = false;
    bool no_board = false;  // the board's device file is missing, as with no GPIB driver loaded
    bool fail_ibclr = false;
    std::vector<CallFault> fail_write;
    std::vector<CallFault> timeout_write;
    std::vector<long> fail_read;
    std::vector<long> timeout_read;
    std::vector<long> overcount_read;  // reads that report the count asked, not the count sent

    std::optional<long> block_samples;          // samples actually carried by a DATA? block
    std::optional<int> preamble_lines;          // lines of WAVEFORM? actually sent
    std::map<int, std::string> preamble_field;  // field index 0..13 -> replacement text
    std::optional<long> valid_code;
    std::map<std::string, std::string> reply_override;  // query key (ID, VALID...) -> raw bytes
    std::map<std::string, long> overlong;               // query key -> padding bytes
};

// Reads the whole configuration from the environment.
Config read_config();

// Decodes \r \n \t \\ \" \0 and \xHH escapes; anything else is kept as written.
std::string unescape(const std::string& text);

// The names of the 14 preamble lines, as used in HP_SIM_PREAMBLE_<NAME>.
extern const std::array<const char*, 14> preamble_field_names;

}  // namespace sim
