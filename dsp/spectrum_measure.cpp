// Spectrum measurements: the record's windowed spectrum in volts, its strongest components and
// the harmonic distortion of the strongest.
#include "dsp/spectrum_measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "dsp/fft.h"

namespace dsp {
namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// One component: the power of its main lobe and the lobe's centre, in bins.
struct Component {
    long double power = 0.0L;
    long double centre = 0.0L;
};

// The Hann window's leakage of a component d record-bins away, relative to its peak: the
// envelope of the window's side lobes, 1 / (pi d (d^2 - 1)).
long double Hann_leakage(long double d) {
    if (d <= 1.0L)
        return 1.0L;
    return 1.0L / (kPi * d * (d * d - 1.0L));
}

// cos and sin of j x step for j = 0, 1, 2 ...: one rotation per sample, the angle taken afresh
// every 64 samples so that the rounding of the rotations cannot add up.
struct Rotation {
    explicit Rotation(long double step_angle)
        : step(step_angle), dc(std::cos(step_angle)), ds(std::sin(step_angle)) {}
    void advance(std::size_t next) {
        if (next % 64 == 0) {
            c = std::cos(step * static_cast<long double>(next));
            s = std::sin(step * static_cast<long double>(next));
            return;
        }
        const long double cn = c * dc - s * ds;
        s = s * dc + c * ds;
        c = cn;
    }
    long double step, dc, ds;
    long double c = 1.0L, s = 0.0L;
};

}  // namespace

std::vector<long double> Harmonic_amplitudes(std::span<const double> volts, long double xincrement,
                                             long double frequency, int highest) {
    const auto harmonics = static_cast<std::size_t>(highest);
    const std::size_t terms = 2 * harmonics + 1;
    const long double step = 2.0L * kPi * frequency * xincrement;
    const auto n = static_cast<long double>(volts.size());
    // Normal equations G c = r of the basis 1, cos(h w t), sin(h w t), h = 1..highest. G's
    // entries are sums of cos(k w t) and sin(k w t) over the samples, k up to 2 x highest: each a
    // geometric series, summed in closed form.
    std::vector<std::complex<long double>> sums(2 * harmonics + 1);
    for (std::size_t k = 0; k < sums.size(); ++k) {
        const long double angle = step * static_cast<long double>(k);
        const std::complex<long double> ratio(std::cos(angle), std::sin(angle));
        const std::complex<long double> all(std::cos(angle * n), std::sin(angle * n));
        sums[k] = std::abs(1.0L - ratio) < 1e-12L ? std::complex<long double>(n, 0.0L)
                                                  : (1.0L - all) / (1.0L - ratio);
    }
    const auto C = [&](long k) { return sums[static_cast<std::size_t>(std::labs(k))].real(); };
    const auto S = [&](long k) {
        const long double v = sums[static_cast<std::size_t>(std::labs(k))].imag();
        return k < 0 ? -v : v;
    };
    std::vector<long double> g(terms * terms, 0.0L), r(terms, 0.0L);
    const auto G = [&](std::size_t a, std::size_t b) -> long double& { return g[a * terms + b]; };
    G(0, 0) = n;
    for (long a = 1; a <= highest; ++a) {
        const auto ca = static_cast<std::size_t>(2 * a - 1), sa = ca + 1;
        G(0, ca) = C(a);
        G(0, sa) = S(a);
        for (long b = 1; b <= highest; ++b) {
            const auto cb = static_cast<std::size_t>(2 * b - 1), sb = cb + 1;
            G(ca, cb) = 0.5L * (C(a - b) + C(a + b));
            G(sa, sb) = 0.5L * (C(a - b) - C(a + b));
            G(ca, sb) = 0.5L * (S(a + b) - S(a - b));
        }
    }
    for (std::size_t a = 0; a < terms; ++a)
        for (std::size_t b = 0; b < a; ++b) {
            if (G(a, b) == 0.0L)
                G(a, b) = G(b, a);
            else
                G(b, a) = G(a, b);
        }
    // The right-hand side: the samples against each harmonic, by rotation.
    Rotation fundamental(step);
    for (std::size_t j = 0; j < volts.size(); ++j) {
        const long double c1 = fundamental.c, s1 = fundamental.s;
        fundamental.advance(j + 1);
        const auto x = static_cast<long double>(volts[j]);
        r[0] += x;
        long double c = c1, s = s1;
        for (std::size_t h = 1; h <= harmonics; ++h) {
            r[2 * h - 1] += x * c;
            r[2 * h] += x * s;
            const long double cn = c * c1 - s * s1;
            s = s * c1 + c * s1;
            c = cn;
        }
    }
    // Gaussian elimination with partial pivoting.
    for (std::size_t col = 0; col < terms; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < terms; ++row)
            if (std::fabs(g[row * terms + col]) > std::fabs(g[pivot * terms + col]))
                pivot = row;
        if (!(std::fabs(g[pivot * terms + col]) > 1e-12L * static_cast<long double>(volts.size())))
            return {};
        if (pivot != col) {
            for (std::size_t k = 0; k < terms; ++k)
                std::swap(g[col * terms + k], g[pivot * terms + k]);
            std::swap(r[col], r[pivot]);
        }
        for (std::size_t row = col + 1; row < terms; ++row) {
            const long double f = g[row * terms + col] / g[col * terms + col];
            for (std::size_t k = col; k < terms; ++k) g[row * terms + k] -= f * g[col * terms + k];
            r[row] -= f * r[col];
        }
    }
    std::vector<long double> coef(terms);
    for (std::size_t row = terms; row-- > 0;) {
        long double v = r[row];
        for (std::size_t k = row + 1; k < terms; ++k) v -= g[row * terms + k] * coef[k];
        coef[row] = v / g[row * terms + row];
    }
    std::vector<long double> amplitudes(static_cast<std::size_t>(highest));
    for (std::size_t h = 1; h <= amplitudes.size(); ++h)
        amplitudes[h - 1] = std::hypot(coef[2 * h - 1], coef[2 * h]);
    return amplitudes;
}

TSpectrumMeasurements Measure_spectrum(std::span<const double> volts, long double xincrement,
                                       bool clipped, long double fundamental_hz) {
    TSpectrumMeasurements m;
    const std::size_t n = volts.size();
    auto all = {&m.peak_frequency,   &m.peak_magnitude, &m.second_frequency,
                &m.second_magnitude, &m.thd_percent,    &m.thd_db};
    if (n < 2 || !(xincrement > 0.0L)) {
        for (TMeasured* q : all) *q = Missing(kNoSamples);
        return m;
    }
    std::size_t size = kFftPoints;
    while (size < n) size *= 2;
    const auto half_size = static_cast<std::ptrdiff_t>(size / 2);

    long double mean = 0.0L;
    for (const double v : volts) mean += static_cast<long double>(v);
    mean /= static_cast<long double>(n);
    // The transform's work array from index 1, with its two scratch places.
    std::vector<long double> data(size + 3, 0.0L);
    long double window_power = 0.0L;
    const auto length = static_cast<long double>(n);
    Rotation window(2.0L * kPi / length);
    for (std::size_t j = 0; j < n; ++j) {
        const long double w = 0.5L - 0.5L * window.c;
        window.advance(j + 1);
        data[j + 1] = (static_cast<long double>(volts[j]) - mean) * w;
        window_power += w * w;
    }
    Real_fft(data, static_cast<int32_t>(half_size), +1);

    std::vector<long double> power(static_cast<std::size_t>(half_size) + 1);
    power[0] = data[1] * data[1];
    power[static_cast<std::size_t>(half_size)] = data[2] * data[2];
    for (std::ptrdiff_t k = 1; k < half_size; ++k) {
        const auto i = static_cast<std::size_t>(2 * k + 1);
        power[static_cast<std::size_t>(k)] = data[i] * data[i] + data[i + 1] * data[i + 1];
    }
    const auto P = [&](std::ptrdiff_t k) { return power[static_cast<std::size_t>(k)]; };

    // The main lobe of a Hann window spans two record-bins on either side of a component.
    const long double bins_per_record_bin = static_cast<long double>(size) / length;
    const auto lobe = static_cast<std::ptrdiff_t>(std::ceil(2.0L * bins_per_record_bin)) + 1;
    const auto component = [&](std::ptrdiff_t centre) {
        Component c;
        long double moment = 0.0L;
        for (std::ptrdiff_t k = std::max<std::ptrdiff_t>(0, centre - lobe);
             k <= std::min(half_size, centre + lobe); ++k) {
            c.power += P(k);
            moment += P(k) * static_cast<long double>(k);
        }
        c.centre = c.power > 0.0L ? moment / c.power : static_cast<long double>(centre);
        return c;
    };
    const long double hz_per_bin = 1.0L / (static_cast<long double>(size) * xincrement);
    // Peak amplitude of a sinusoid from its lobe's power (Parseval over the window).
    const auto amplitude = [&](const Component& c) {
        return std::sqrt(4.0L * c.power / (static_cast<long double>(size) * window_power));
    };

    std::ptrdiff_t peak = 1;
    for (std::ptrdiff_t k = 2; k <= half_size; ++k) {
        if (P(k) > P(peak))
            peak = k;
    }
    if (!(P(peak) > 0.0L)) {
        for (TMeasured* q : all) *q = Missing(kNoSignal);
        return m;
    }
    const Component fundamental = component(peak);
    const long double a1 = amplitude(fundamental);
    m.peak_frequency = Value(fundamental.centre * hz_per_bin);
    m.peak_magnitude = clipped ? Missing(kClipped) : Value(a1);

    // Harmonics 2..5 below the Nyquist frequency, two record-bins clear of it, fitted with the
    // fundamental.
    long double f1 = fundamental.centre * hz_per_bin;
    if (fundamental_hz > 0.0L && std::fabs(fundamental_hz - f1) <= hz_per_bin)
        f1 = fundamental_hz;
    const long double record_time = length * xincrement;
    const long double nyquist_cycles = length / 2.0L - 2.0L;
    int highest = 1;
    while (highest < kThdHighestHarmonic &&
           static_cast<long double>(highest + 1) * f1 * record_time <= nyquist_cycles)
        ++highest;
    std::vector<long double> harmonics;  // amplitudes of the harmonics 1..highest
    const char* no_thd = nullptr;
    if (highest < 2) {
        no_thd = kNoHarmonic;
    } else if (f1 * record_time < 1.0L) {
        no_thd = kNoCycle;
    } else {
        harmonics = Harmonic_amplitudes(volts, xincrement, f1, highest);
        if (harmonics.size() < 2 || !(harmonics[0] > 0.0L)) {
            no_thd = kFitFailed;
            harmonics.clear();
        }
    }

    // The next-highest peak: a local maximum beyond the fundamental's main lobe (and the lobe
    // around 0 Hz) that stands above the window's leakage of the fundamental.
    std::ptrdiff_t second = -1;
    for (std::ptrdiff_t k = lobe + 1; k < half_size; ++k) {
        if (std::abs(k - peak) <= lobe || !(P(k) > P(k - 1)) || P(k) < P(k + 1))
            continue;
        const long double d = static_cast<long double>(std::abs(k - peak)) / bins_per_record_bin;
        if (std::sqrt(P(k)) <= 2.0L * std::sqrt(P(peak)) * Hann_leakage(d))
            continue;
        if (second < 0 || P(k) > P(second))
            second = k;
    }
    if (second < 0) {
        m.second_frequency = m.second_magnitude = Missing(kNoSecondPeak);
    } else {
        // Its place from a Gaussian through the log powers of its bin and the two beside it (the
        // fundamental's lobe may reach into its own); its amplitude from the fit when it is one
        // of the harmonics, else from the part of its lobe nearer to it than to the fundamental.
        const long double l0 = std::log(P(second - 1)), l1 = std::log(P(second)),
                          l2 = std::log(P(second + 1));
        long double offset = 0.0L;
        if (std::isfinite(l0) && std::isfinite(l2) && 2.0L * l1 - l0 - l2 > 0.0L)
            offset = std::clamp(0.5L * (l2 - l0) / (2.0L * l1 - l0 - l2), -0.5L, 0.5L);
        const long double f = (static_cast<long double>(second) + offset) * hz_per_bin;
        m.second_frequency = Value(f);
        long double a = -1.0L;
        for (std::size_t h = 2; h <= harmonics.size(); ++h) {
            if (std::fabs(f - static_cast<long double>(h) * f1) <= hz_per_bin)
                a = harmonics[h - 1];
        }
        if (a < 0.0L) {
            Component c;
            for (std::ptrdiff_t k = std::max<std::ptrdiff_t>(0, second - lobe);
                 k <= std::min(half_size, second + lobe); ++k) {
                if (std::abs(k - second) < std::abs(k - peak))
                    c.power += P(k);
            }
            a = amplitude(c);
        }
        m.second_magnitude = clipped ? Missing(kClipped) : Value(a);
    }

    if (no_thd != nullptr) {
        m.thd_percent = m.thd_db = Missing(no_thd);
    } else if (clipped) {
        m.thd_percent = m.thd_db = Missing(kClipped);
    } else {
        long double sum = 0.0L;
        for (std::size_t h = 1; h < harmonics.size(); ++h) sum += harmonics[h] * harmonics[h];
        const long double ratio = std::sqrt(sum) / harmonics[0];
        m.thd_percent = Value(100.0L * ratio);
        m.thd_db = ratio > 0.0L ? Value(20.0L * std::log10(ratio)) : Missing(kNoHarmonic);
    }
    return m;
}

}  // namespace dsp
