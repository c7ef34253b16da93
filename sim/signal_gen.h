// The simulated scope's signals: the sample voltages of a channel, their quantisation into the
// instrument's codes, the scope's own measurements (validity, period, RMS voltage) and the
// autoscale that picks the time base and vertical scale.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim_config.h"

namespace sim {

// Deterministic noise source: the same seed gives the same samples on every platform.
struct NoiseSource {
    uint64_t state = 1;
    double gaussian();
};

// The voltage at the scope's input after coupling (AC removes the offset) at time t, noise-free.
double signal_volts(const ChannelConfig& ch, double t);

// Number of samples a block carries: the configured points, bounded by what a 16-bit block
// length can announce.
long block_sample_count(const ChannelConfig& ch);

struct Acquisition {
    std::vector<long> codes;  // one per sample, clipped into the code range
    bool clipped = false;     // some sample lay outside the code range
};

long max_code(const ChannelConfig& ch);
Acquisition acquire(const ChannelConfig& ch, NoiseSource& noise, long samples);

// The scope's measurement system, from one acquisition of the channel.
long validity_code(const ChannelConfig& ch, const Acquisition& acq);
double measured_period(const ChannelConfig& ch);
double measured_vrms(const ChannelConfig& ch, const Acquisition& acq);

// "AUTOSCALE FULL" for one channel: a 1-2-5 time base showing a few periods over the points,
// centred on the trigger, and a 1-2-5 vertical step that fills most of the screen.
void autoscale(ChannelConfig& ch);

// Nearest value of the 1-2-5 sequence, in the logarithmic sense.
double nearest_125(double x);

}  // namespace sim
