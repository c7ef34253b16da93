// The spectrum of a channel: no window and no mean removal, so the DC bin takes part in the
// normalisation. The transform keeps its data and butterfly temporaries in extended precision
// while angles and twiddles are doubles advanced by the trigonometric recurrence (two run-time
// sines per stage), which keeps the rounding of the results reproducible.
#include "dsp/fft.h"

#include <algorithm>
#include <cmath>

namespace dsp {

std::array<TSpectrumRecord, 3> Spectra{};
int32_t Spectrum_lines = 0;

namespace {

constexpr long double kTwoPi = 6.28318530717959L;

bool Power_of_two(int32_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

// The sines are extended sines of the double angles, and the increments and the recurrence are
// evaluated in extended precision from their double operands: each double is rounded once, when
// it receives its value.
Twiddle Twiddle_step(double theta) {
    const long double s = std::sin(static_cast<long double>(theta / 2));
    return {static_cast<double>(-2.0L * s * s),
            static_cast<double>(std::sin(static_cast<long double>(theta)))};
}

void Advance_twiddle(const Twiddle& step, double& ure, double& uim) {
    const long double re = ure;
    const long double im = uim;
    ure = static_cast<double>(re * step.dre - im * step.dim + re);
    uim = static_cast<double>(im * step.dre + re * step.dim + im);
}

void Complex_fft(std::span<long double> data, int32_t nn, int sign) {
    if (!Power_of_two(nn) || data.size() < static_cast<size_t>(2) * nn + 1)
        return;
    long double* d = data.data();
    const int32_t L = 2 * nn;

    int32_t q = 1;
    for (int32_t t = 1; t <= nn; ++t) {
        const int32_t p = 2 * t - 1;
        if (q > p) {
            std::swap(d[q], d[p]);
            std::swap(d[q + 1], d[p + 1]);
        }
        int32_t h = L / 2;
        while (h >= 2 && q > h) {
            q -= h;
            h /= 2;
        }
        q += h;
    }

    int32_t span = 2;
    while (L > span) {
        const int32_t step = 2 * span;
        const double theta = static_cast<double>(kTwoPi / (sign * span));
        const Twiddle tw = Twiddle_step(theta);
        double ure = 1.0;
        double uim = 0.0;
        for (int32_t first = 1; first < span; first += 2) {
            for (int32_t p = first; p <= L; p += step) {
                const int32_t r = p + span;
                const long double tr =
                    static_cast<long double>(ure) * d[r] - static_cast<long double>(uim) * d[r + 1];
                const long double ti =
                    static_cast<long double>(ure) * d[r + 1] + static_cast<long double>(uim) * d[r];
                const long double xr = d[p];
                const long double xi = d[p + 1];
                d[r] = xr - tr;
                d[r + 1] = xi - ti;
                d[p] = xr + tr;
                d[p + 1] = xi + ti;
            }
            Advance_twiddle(tw, ure, uim);
        }
        span = step;
    }
}

void Real_fft(std::span<long double> data, int32_t n, int sign) {
    if (!Power_of_two(n) || data.size() < static_cast<size_t>(2) * n + 3)
        return;
    long double* d = data.data();
    double theta = static_cast<double>(kTwoPi / (2 * n));
    const long double k1 = 0.5L;
    long double k2;
    if (sign == 1) {
        k2 = -0.5L;
        Complex_fft(data, n, 1);
        d[2 * n + 1] = d[1];
        d[2 * n + 2] = d[2];
    } else {
        k2 = 0.5L;
        theta = -theta;
        d[2 * n + 1] = d[2];
        d[2 * n + 2] = 0;
        d[2] = 0;
    }
    const Twiddle tw = Twiddle_step(theta);
    double ure = 1.0;
    double uim = 0.0;
    for (int32_t i = 1; i <= n / 2 + 1; ++i) {
        const int32_t p1 = 2 * i - 1;
        const int32_t p2 = 2 * i;
        const int32_t p3 = 2 * n + 3 - p2;
        const int32_t p4 = p3 + 1;
        const long double cr = ure;
        const long double ci = uim;
        const long double ar = k1 * (d[p1] + d[p3]);
        const long double ai = k1 * (d[p2] - d[p4]);
        const long double br = -k2 * (d[p2] + d[p4]);
        const long double bi = k2 * (d[p1] - d[p3]);
        d[p1] = ar + cr * br - ci * bi;
        d[p2] = ai + cr * bi + ci * br;
        d[p3] = ar - cr * br + ci * bi;
        d[p4] = -ai + cr * bi + ci * br;
        Advance_twiddle(tw, ure, uim);
    }
    if (sign == 1)
        d[2] = d[2 * n + 1];
    else
        Complex_fft(data, n, -1);
}

void Compute_spectrum(int channel) {
    if (channel < 1 || channel > 2)
        return;
    const model::TWaveformRecord& r = model::Waveforms[channel];
    TSpectrumRecord& s = Spectra[channel];
    const int32_t N = model::Preamble.points;

    Spectrum_lines = 40;
    const long double T = static_cast<long double>(r.xincrement) * kFftPoints;

    // A record shorter than 1024 samples is padded by repeating its last used sample (sample N
    // itself is left out); a longer one contributes its first 1024 samples only.
    FftWork data{};
    const int32_t used = std::clamp<int32_t>(N - 1, 0, kFftPoints);
    for (int32_t j = 1; j <= used; ++j) data[j] = r.volts[j];
    for (int32_t k = used + 1; k <= kFftPoints; ++k) data[k] = data[k - 1];

    Real_fft(data, kSpectrumBins, 1);

    // The peak is kept as the stored double so that the largest bin normalises to exactly 1.
    double peak = 0.0;
    for (int32_t i = 1; i <= kSpectrumBins; ++i) {
        const long double m =
            std::sqrt(data[2 * i - 1] * data[2 * i - 1] + data[2 * i] * data[2 * i]);
        // A zero sample interval (no time base) leaves the frequency axis at 0 instead of
        // dividing by zero.
        s.freq[i] = T != 0 ? static_cast<double>((i - 1) / T) : 0.0;
        s.amplitude[i] = static_cast<double>(m);
        if (m > peak)
            peak = s.amplitude[i];
    }
    // An all-zero record has no peak: its amplitudes stay 0 rather than 0 / 0.
    for (int32_t i = 1; i <= kSpectrumBins; ++i)
        s.amplitude[i] =
            peak > 0 ? static_cast<double>(static_cast<long double>(s.amplitude[i]) / peak) : 0.0;
    for (int32_t i = kSpectrumBins + 1; i <= kFftPoints; ++i) {
        s.freq[i] = 0.0;
        s.amplitude[i] = 0.0;
    }

    const long double span512 = static_cast<long double>(r.xincrement) * kSpectrumBins;
    s.freq_increment = span512 != 0 ? static_cast<double>(1 / span512) : 0.0;
    s.origin = 0.0;
    s.header2 = 0.0;
    s.f_min = s.origin;
    s.f_max = static_cast<double>(static_cast<long double>(Spectrum_lines) * s.freq_increment / 2);
    s.a_min = 0.0;
    s.a_max = 1.0;
}

}  // namespace dsp
