// Measurements of a record's spectrum: the strongest component's frequency and amplitude, the
// next-highest peak, and the total harmonic distortion from the harmonics 2 to 5 of the
// strongest component, taken as the fundamental. The spectrum is the record's own, in volts: the
// mean removed, a Hann window over the samples, zero-padded to a power of two (at least the
// display's 1024 points) and transformed by the display's real FFT. A component's amplitude comes
// from the power of its whole main lobe (so it does not depend on where it falls between bins),
// its frequency from the lobe's power-weighted centre. The harmonics' amplitudes come from a
// least-squares fit of the fundamental and its harmonics to the samples (as a sine-fitting
// digitizer test does), which keeps the fundamental's leakage out of them even when the record
// holds only a few cycles.
#pragma once

#include <span>
#include <vector>

#include "dsp/measure.h"

namespace dsp {

struct TSpectrumMeasurements {
    TMeasured peak_frequency, peak_magnitude;      // Hz, V (peak amplitude of the sinusoid)
    TMeasured second_frequency, second_magnitude;  // the next-highest peak
    TMeasured thd_percent, thd_db;                 // harmonics 2..5 over the fundamental
};

inline constexpr int kThdHighestHarmonic = 5;
inline constexpr const char* kNoSignal = "no signal";
inline constexpr const char* kNoSecondPeak = "no second peak";
inline constexpr const char* kNoHarmonic = "no harmonic inside the spectrum";
inline constexpr const char* kFitFailed = "the harmonics could not be fitted";

// `fundamental` (Hz), when above 0, is the record's frequency measured from its crossings: more
// exact than the spectrum's peak, it is used for the harmonics when it lies within a bin of it.
TSpectrumMeasurements Measure_spectrum(std::span<const double> volts, long double xincrement,
                                       bool clipped, long double fundamental = 0.0L);

// The amplitudes (V, peak) of the harmonics 1..highest of `frequency` (Hz) in the record, by a
// least-squares fit of a constant and their cosines and sines; empty when the fit is singular.
std::vector<long double> Harmonic_amplitudes(std::span<const double> volts, long double xincrement,
                                             long double frequency, int highest);

}  // namespace dsp
