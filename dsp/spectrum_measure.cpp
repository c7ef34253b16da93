// Spectrum measurements: the record's windowed spectrum in volts, its strongest components and
// the harmonic distortion of the strongest.
#include "dsp/spectrum_measure.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "dsp/fft.h"

namespace dsp {
namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

TMeasured Value(long double v) {
    return {true, v, {}};
}

TMeasured Missing(const char* why) {
    return {false, 0.0L, why};
}

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

}  // namespace

TSpectrumMeasurements Measure_spectrum(std::span<const double> volts, long double xincrement,
                                       bool clipped) {
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
    for (std::size_t j = 0; j < n; ++j) {
        const long double w =
            0.5L - 0.5L * std::cos(2.0L * kPi * static_cast<long double>(j) / length);
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
        const Component c = component(second);
        m.second_frequency = Value(c.centre * hz_per_bin);
        m.second_magnitude = clipped ? Missing(kClipped) : Value(amplitude(c));
    }

    // Harmonics 2..5 whose whole lobe lies inside the spectrum.
    long double harmonic_power = 0.0L;
    int inside = 0;
    for (int h = 2; h <= kThdHighestHarmonic; ++h) {
        const auto centre = static_cast<std::ptrdiff_t>(
            std::nearbyint(static_cast<long double>(h) * fundamental.centre));
        if (centre + lobe > half_size)
            break;
        harmonic_power += component(centre).power;
        ++inside;
    }
    if (inside == 0) {
        m.thd_percent = m.thd_db = Missing(kNoHarmonic);
    } else if (clipped) {
        m.thd_percent = m.thd_db = Missing(kClipped);
    } else {
        const long double ratio = std::sqrt(harmonic_power / fundamental.power);
        m.thd_percent = Value(100.0L * ratio);
        m.thd_db = ratio > 0.0L ? Value(20.0L * std::log10(ratio)) : Missing(kNoHarmonic);
    }
    return m;
}

}  // namespace dsp
