// Measurements of a record's spectrum: the strongest component's frequency and amplitude, the
// next-highest peak, and the total harmonic distortion from the harmonics 2 to 5 of the
// strongest component, taken as the fundamental. The spectrum is the record's own, in volts: the
// mean removed, a Hann window over the samples, zero-padded to a power of two (at least the
// display's 1024 points) and transformed by the display's real FFT. A component's amplitude comes
// from the power of its whole main lobe (so it does not depend on where it falls between bins),
// its frequency from the lobe's power-weighted centre.
#pragma once

#include <span>

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

TSpectrumMeasurements Measure_spectrum(std::span<const double> volts, long double xincrement,
                                       bool clipped);

}  // namespace dsp
