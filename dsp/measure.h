// Automatic measurements of a waveform record, computed by the program from its samples:
// extremes, mean and RMS, frequency and period from the mid-level crossings, pulse widths, duty
// cycle, transition times, overshoot and preshoot. Levels, reference levels and pulse terms
// follow IEEE 181: the top and base state levels are the modes of the record's histogram (the
// maximum and minimum where a half of the histogram has no plateau), the mid reference level lies
// halfway between them, and transitions run from 10 % to 90 % of the amplitude.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace dsp {

// One measured quantity: its value, or the reason why it does not exist for the record.
struct TMeasured {
    bool exists = false;
    long double value = 0.0L;
    std::string why;  // "fewer than two crossings", ...; empty when the value exists
};

// A quantity that exists, and one that does not, with the reason.
inline TMeasured Value(long double v) {
    return {true, v, {}};
}
inline TMeasured Missing(const char* why) {
    return {false, 0.0L, why};
}

// A record as the measurements read it: the samples in time order, equally spaced.
struct TMeasureInput {
    std::span<const double> volts;
    long double xincrement = 0.0L;  // seconds between samples
    // Some sample sits at the scope's highest (lowest) code: the true voltage lay beyond it.
    bool clipped_high = false;
    bool clipped_low = false;
};

struct TWaveformMeasurements {
    TMeasured maximum, minimum, peak_to_peak;  // V
    TMeasured mean, rms, ac_rms;               // V, over whole periods when there is one
    TMeasured frequency;                       // Hz
    TMeasured period;                          // s
    TMeasured positive_width, negative_width;  // s, at the mid level
    TMeasured duty_cycle;                      // % of the period
    TMeasured rise_time, fall_time;            // s, 10 % to 90 %
    TMeasured overshoot, preshoot;             // % of the amplitude
    TMeasured cycles;                          // whole cycles counted
    // The state levels used (V), and whether each came from a plateau of the histogram.
    long double top = 0.0L, base = 0.0L;
    bool top_from_plateau = false, base_from_plateau = false;
};

// Hysteresis of the crossing detector, as a part of the amplitude (top - base): a crossing of
// the mid level counts only once the record has moved this far across it, half on either side.
inline constexpr long double kHysteresis = 0.10L;
// Bins of the level histogram; a half's mode is a plateau when it holds this many times the
// samples of an even spread over that half ...
inline constexpr int kLevelBins = 100;
inline constexpr long double kPlateauFactor = 3.0L;
// ... and when the mode's bin and its two neighbours hold this part of the half's samples.
inline constexpr long double kPlateauShare = 0.2L;

// Reasons for a missing value.
inline constexpr const char* kNoSamples = "fewer than two samples";
inline constexpr const char* kClipped = "clipped at the scope's code limits";
inline constexpr const char* kFlat = "no amplitude";
inline constexpr const char* kFewCrossings = "fewer than two crossings";
inline constexpr const char* kNoCycle = "no whole cycle";
inline constexpr const char* kNoPulse = "no whole pulse";
inline constexpr const char* kNoRisingEdge = "no whole rising edge";
inline constexpr const char* kNoFallingEdge = "no whole falling edge";

TWaveformMeasurements Measure_waveform(const TMeasureInput& in);

// The state levels of a record by the histogram's modes (IEEE 181), with their plateau flags.
struct TLevels {
    long double top = 0.0L, base = 0.0L;
    bool top_from_plateau = false, base_from_plateau = false;
};
TLevels State_levels(std::span<const double> volts);

// The mid-level crossings of a record, as fractional sample indices (0 = the first sample): a
// crossing counts once the record has gone from below mid - band / 2 to above mid + band / 2 (or
// back), and lies where the record last passed the mid level on the way, between two samples.
struct TCrossings {
    std::vector<long double> rising, falling;
};
TCrossings Mid_crossings(std::span<const double> volts, long double mid, long double band);

}  // namespace dsp
