// The simulated HP 54200A itself: its command parser, the selected subsystem and header mode,
// the output queue the bus reads from, and the replies to the queries the operator's program
// sends. The GPIB side (descriptors, status words, faults of the bus calls) is in
// driver_exports.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "sim/signal_gen.h"
#include "sim/sim_config.h"

namespace sim {

enum class Subsystem { none, waveform, measure, channel };

struct ScopeModel {
    Config config;
    std::array<ChannelConfig, 2> channel;  // live settings: autoscale and coupling change them
    bool headers = true;                   // the scope powers up with headers on
    Subsystem subsystem = Subsystem::none;
    int selected_channel = 1;  // of the CHANNEL subsystem
    int waveform_source = 1;   // SOURCE CHANNELn in WAVEFORM
    int measure_source = 1;    // SOURCE GRAPH n in MEASURE (graph n shows channel n)
    NoiseSource noise;
    std::string output;  // the reply being read
    std::size_t output_pos = 0;
};

// The one instrument.
ScopeModel& instrument();

// Power-on state with the given configuration (every ibdev).
void reset_instrument(const Config& config);

// One complete message from the bus. Returns false for a command the scope does not know: it
// is ignored, as the instrument only sets an error bit internally.
bool receive_command(const std::string& text);

// Device clear: the output queue is emptied, the settings stay.
void clear_device();

std::size_t output_remaining();
// Copies up to max bytes of the pending reply to dest and consumes them.
std::size_t read_output(char* dest, std::size_t max);

// The preamble lines and the data block as the scope would send them (for tests too).
std::string preamble_reply(int source);
std::string data_block(int source);

}  // namespace sim
