// Signal generation and the scope's own measurements for the simulated HP 54200A.
#include "sim/signal_gen.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double two_pi = 6.283185307179586476925286766559;

// Periods shown by autoscale: a few, so the period measurement always sees whole cycles.
constexpr double autoscale_periods = 4.0;
// Part of the half screen that autoscale fills with the signal's peak.
constexpr double autoscale_fill = 0.85;

bool has_signal(const ChannelConfig& ch) {
    return ch.shape != Shape::none && ch.shape != Shape::dc && ch.amplitude != 0.0 &&
           ch.frequency > 0.0 && std::isfinite(ch.frequency);
}

double waveform_unit(Shape shape, double phase) {
    // phase in cycles, 0 at the rising zero crossing (the trigger point)
    const double x = phase - std::floor(phase);
    switch (shape) {
        case Shape::sine:
            return std::sin(two_pi * x);
        case Shape::square:
            return x < 0.5 ? 1.0 : -1.0;
        case Shape::triangle:
            if (x < 0.25)
                return 4.0 * x;
            if (x < 0.75)
                return 2.0 - 4.0 * x;
            return 4.0 * x - 4.0;
        case Shape::dc:
        case Shape::none:
            break;
    }
    return 0.0;
}

double up_125(double x) {
    double v = nearest_125(x);
    while (v < x) v = nearest_125(v * 2.2);
    return v;
}

}  // namespace

double NoiseSource::gaussian() {
    // xorshift64* then Box-Muller: no dependence on the standard library's distributions,
    // whose output differs between implementations.
    auto next = [this] {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return (state * 2685821657736338717ULL >> 11) * (1.0 / 9007199254740992.0);
    };
    if (state == 0)
        state = 1;
    double u1 = next();
    double u2 = next();
    if (u1 < 1e-300)
        u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(two_pi * u2);
}

double signal_volts(const ChannelConfig& ch, double t) {
    const double offset = ch.ac_coupled ? 0.0 : ch.offset;
    if (ch.shape == Shape::none)
        return 0.0;
    if (ch.shape == Shape::dc)
        return offset;
    return offset + ch.amplitude * waveform_unit(ch.shape, ch.frequency * t);
}

long max_code(const ChannelConfig& ch) {
    return ch.format == 1 ? 255 : 65535;
}

long block_sample_count(const ChannelConfig& ch) {
    const long bytes_per_sample = ch.format == 1 ? 1 : 2;
    return std::clamp(ch.points, 0L, 65535L / bytes_per_sample);
}

Acquisition acquire(const ChannelConfig& ch, NoiseSource& noise, long samples) {
    Acquisition acq;
    acq.codes.reserve(static_cast<std::size_t>(std::max(samples, 0L)));
    const long top = max_code(ch);
    // The scope's first sample lies one increment after the x origin.
    for (long j = 0; j < samples; ++j) {
        double v = signal_volts(ch, ch.xorigin + static_cast<double>(j + 1) * ch.xincrement);
        if (ch.noise > 0.0)
            v += ch.noise * noise.gaussian();
        const double code =
            std::nearbyint((v - ch.yorigin) / ch.yincrement) + static_cast<double>(ch.yreference);
        if (!(code >= 0.0 && code <= static_cast<double>(top)))
            acq.clipped = true;
        acq.codes.push_back(
            code >= 0.0 ? (code <= static_cast<double>(top) ? static_cast<long>(code) : top) : 0);
    }
    return acq;
}

long validity_code(const ChannelConfig& ch, const Acquisition& acq) {
    if (acq.clipped)
        return -3;
    if (!has_signal(ch))
        return 0;
    // The scope needs a whole period between its edges to measure.
    if (static_cast<double>(ch.points) * ch.xincrement * ch.frequency < 1.0)
        return -6;
    return 1;
}

double measured_period(const ChannelConfig& ch) {
    if (!has_signal(ch))
        return 9.999e37;  // the scope's "no value"
    return 1.0 / ch.frequency;
}

double measured_vrms(const ChannelConfig& ch, const Acquisition& acq) {
    // RMS over the whole periods on screen (all samples when there is less than one), as the
    // scope's measurement does, from the quantised codes.
    std::size_t n = acq.codes.size();
    if (has_signal(ch) && ch.xincrement > 0.0) {
        const double per_period = 1.0 / (ch.frequency * ch.xincrement);
        const double whole = std::floor(static_cast<double>(n) / per_period);
        if (whole >= 1.0)
            n = static_cast<std::size_t>(std::nearbyint(whole * per_period));
        n = std::min(n, acq.codes.size());
    }
    if (n == 0)
        return 0.0;
    long double sum = 0.0L;
    for (std::size_t j = 0; j < n; ++j) {
        const double v =
            static_cast<double>(acq.codes[j] - ch.yreference) * ch.yincrement + ch.yorigin;
        sum += static_cast<long double>(v) * v;
    }
    return static_cast<double>(std::sqrt(sum / static_cast<long double>(n)));
}

double nearest_125(double x) {
    if (!(x > 0.0) || !std::isfinite(x))
        return x;
    const double decade = std::pow(10.0, std::floor(std::log10(x)));
    double best = decade;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (std::fabs(std::log(m * decade / x)) < std::fabs(std::log(best / x)))
            best = m * decade;
    }
    return best;
}

void autoscale(ChannelConfig& ch) {
    if (ch.shape == Shape::none)
        return;
    if (has_signal(ch) && ch.points > 0) {
        ch.xincrement =
            nearest_125(autoscale_periods / (ch.frequency * static_cast<double>(ch.points)));
        ch.xorigin = -0.5 * static_cast<double>(ch.points) * ch.xincrement;
    }
    const double offset = ch.ac_coupled ? 0.0 : ch.offset;
    const double swing = ch.shape == Shape::dc ? 0.0 : std::fabs(ch.amplitude);
    const double peak =
        std::max(std::fabs(offset + swing), std::fabs(offset - swing)) + 4.0 * std::fabs(ch.noise);
    if (peak <= 0.0)
        return;
    const double half = static_cast<double>(std::min(ch.yreference, max_code(ch) - ch.yreference));
    if (half < 1.0)
        return;
    ch.yorigin = 0.0;
    ch.yincrement = up_125(peak / (autoscale_fill * half));
}

}  // namespace sim
