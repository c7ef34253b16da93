// Magnitude spectrum of a channel's converted samples: 1024 real samples through a real-input
// radix-2 FFT, 512 bins normalised so that the largest is 1.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "model/waveform.h"

namespace dsp {

inline constexpr int kFftPoints = 1024;  // real samples entering the transform
inline constexpr int kSpectrumBins = 512;

struct TSpectrumRecord {
    double origin = 0.0;
    double header2 = 0.0;  // not used
    double freq_increment = 0.0;
    double header4 = 0.0;  // not used
    double f_min = 0.0;
    double f_max = 0.0;
    double a_min = 0.0;
    double a_max = 0.0;
    model::SampleArray freq{};       // Hz; elements 1..512 are bins 0..511, 513..1024 are 0
    model::SampleArray amplitude{};  // normalised magnitudes, same indexing as freq
};

// Channel 1 and channel 2 (element 0 unused).
extern std::array<TSpectrumRecord, 3> Spectra;
// Number of bins drawn per spectrum graph.
extern int32_t Spectrum_lines;

// Work array of the transform, used from index 1: 1..1024 input, 1025..1026 scratch.
using FftWork = std::array<long double, kFftPoints + 3>;

// Computes Spectra[channel] from Waveforms[channel] and the preamble's point count.
void Compute_spectrum(int channel);

// In-place transform of the 2n real values data[1..2n]; data[2n + 1] and data[2n + 2] are
// scratch. sign = +1: forward (e^(+i...)), unscaled, packed as F(0), F(n), then re/im of
// F(1)..F(n - 1). Does nothing when data is too short or n is not a power of two.
void Real_fft(std::span<long double> data, int32_t n, int sign);

// One stage's twiddle increment for the angle theta: dre = -2 sin^2(theta / 2), dim = sin theta.
struct Twiddle {
    double dre;
    double dim;
};
Twiddle Twiddle_step(double theta);
// Advances the twiddle (ure, uim) by one step of the trigonometric recurrence.
void Advance_twiddle(const Twiddle& step, double& ure, double& uim);

// In-place radix-2 transform of nn complex values held as re/im pairs in data[1..2nn]. Does
// nothing when data is too short or nn is not a power of two.
void Complex_fft(std::span<long double> data, int32_t nn, int sign);

}  // namespace dsp
