// The program's own measurements against signals whose answers are known in closed form: sines,
// pulse trains, linear edges and harmonic sums sampled here, and the faults a user would meet (a
// frequency wrong by a cycle, a noisy edge counted twice, a value given where none exists).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dsp/measure.h"
#include "dsp/spectrum_measure.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// n samples of f(t) at t = j dt, j = 0..n-1.
std::vector<double> Sampled(const std::function<double(double)>& f, int n, double dt) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(j)] = f(j * dt);
    return x;
}

// A pulse train between `low` and `high`, high for duty x period from each period's start,
// edges that take `edge` seconds (0: steps), delayed by `delay`.
std::function<double(double)> Pulses(double period, double duty, double low, double high,
                                     double edge = 0.0, double delay = 0.0) {
    return [=](double t) {
        double p = std::fmod(t - delay, period);
        if (p < 0)
            p += period;
        const double width = duty * period;
        if (edge > 0 && p < edge)
            return low + (high - low) * p / edge;
        if (p < width)
            return high;
        if (edge > 0 && p < width + edge)
            return high - (high - low) * (p - width) / edge;
        return low;
    };
}

dsp::TWaveformMeasurements Measure(const std::vector<double>& x, double dt, bool high = false,
                                   bool low = false) {
    return dsp::Measure_waveform({x, dt, high, low});
}

// --- Frequency and period: the mean over whole cycles, never one cycle too many or too few.
struct FrequencyCase {
    const char* name;
    std::function<double(double)> signal;
    int samples;
    double dt, frequency;
    int cycles;
};

class Frequency : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(Frequency, WithinATenthOfAPercentAndCyclesCounted) {
    const auto& c = GetParam();
    const auto m = Measure(Sampled(c.signal, c.samples, c.dt), c.dt);
    ASSERT_TRUE(m.frequency.exists) << m.frequency.why;
    EXPECT_NEAR(static_cast<double>(m.frequency.value), c.frequency, 1e-3 * c.frequency);
    EXPECT_NEAR(static_cast<double>(m.period.value), 1.0 / c.frequency, 1e-3 / c.frequency);
    EXPECT_EQ(m.cycles.value, c.cycles);
}

INSTANTIATE_TEST_SUITE_P(
    Measure, Frequency,
    ::testing::Values(FrequencyCase{"sine_two_cycles_exactly_1kHz",
                                    [](double t) { return std::sin(2 * kPi * 1000 * t + 0.3); },
                                    200, 1e-5, 1000, 1},
                      FrequencyCase{"sine_two_and_a_half_cycles",
                                    [](double t) { return std::sin(2 * kPi * 1000 * t + 0.3); },
                                    250, 1e-5, 1000, 2},
                      FrequencyCase{
                          "sine_ten_point_three_cycles_odd_rate",
                          [](double t) { return 2.5 * std::sin(2 * kPi * 7.3e3 * t) + 1.0; }, 1000,
                          1.411e-6, 7.3e3, 9},
                      FrequencyCase{"square_five_cycles", Pulses(1e-3, 0.5, -1, 1, 0, 0.375e-3),
                                    500, 1e-5, 1000, 4},
                      FrequencyCase{"narrow_pulse_ten_percent",
                                    Pulses(2e-4, 0.1, 0, 5, 0, 0.505e-4), 2000, 1e-6, 5000, 9},
                      FrequencyCase{"triangle_four_cycles",
                                    [](double t) { return std::asin(std::sin(2 * kPi * 250 * t)); },
                                    1600, 1e-5, 250, 3},
                      FrequencyCase{"sine_at_twenty_samples_per_period",
                                    [](double t) { return std::sin(2 * kPi * 5e4 * t + 1.0); }, 100,
                                    1e-6, 5e4, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Amplitude terms of a sine: within 0.5 % at 20 or more samples per period.
struct SineCase {
    const char* name;
    double amplitude, offset, frequency, dt;
    int samples;
};

class SineLevels : public ::testing::TestWithParam<SineCase> {};

TEST_P(SineLevels, PeakToPeakMeanRmsAndAcRms) {
    const auto& c = GetParam();
    const auto x = Sampled(
        [&](double t) {
            return c.offset + c.amplitude * std::sin(2 * kPi * c.frequency * t + 0.7);
        },
        c.samples, c.dt);
    const auto m = Measure(x, c.dt);
    const double a = c.amplitude;
    EXPECT_NEAR(static_cast<double>(m.peak_to_peak.value), 2 * a, 0.005 * 2 * a);
    EXPECT_NEAR(static_cast<double>(m.mean.value), c.offset, 0.005 * a);
    EXPECT_NEAR(static_cast<double>(m.ac_rms.value), a / std::sqrt(2.0),
                0.005 * a / std::sqrt(2.0));
    const double rms = std::sqrt(c.offset * c.offset + a * a / 2);
    EXPECT_NEAR(static_cast<double>(m.rms.value), rms, 0.005 * rms);
}

INSTANTIATE_TEST_SUITE_P(
    Measure, SineLevels,
    ::testing::Values(
        // 1.5 cycles: RMS over all samples would be 8 % off; the whole period gives A / sqrt 2.
        SineCase{"one_and_a_half_cycles_whole_period_only", 1.0, 0.0, 1000, 1e-5, 150},
        SineCase{"twenty_samples_per_period_three_cycles", 0.8, 0.0, 5e4, 1e-6, 60},
        SineCase{"twenty_samples_per_period_with_offset", 0.5, 1.2, 5e4, 1e-6, 75},
        SineCase{"hundred_samples_per_period_negative_offset", 3.0, -2.0, 1000, 1e-5, 500}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Duty cycle and widths of pulse trains: within 1 %, also with a noisy edge.
struct DutyCase {
    const char* name;
    std::vector<double> record;
    double dt, duty, period;
};

// A square wave whose edges bounce across the mid level before settling: counted once each.
std::vector<double> Bouncing_square() {
    auto x = Sampled(Pulses(1e-3, 0.3, 0, 1, 0, 0.205e-3), 1000, 1e-5);
    for (std::size_t j = 1; j + 2 < x.size(); ++j) {
        if (x[j - 1] < 0.5 && x[j] > 0.5) {
            // up, back below mid (but not below the band), up again
            x[j + 1] = 0.47;
            x[j + 2] = 0.53;
            j += 2;
        }
    }
    return x;
}

std::vector<double> Noisy_square() {
    auto x = Sampled(Pulses(1e-3, 0.25, -1, 1, 0, 0.1025e-3), 2000, 5e-6);
    uint32_t seed = 7;
    for (double& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v += 0.04 * (static_cast<double>(seed >> 8) / 16777216.0 - 0.5);  // +-2 % of amplitude
    }
    return x;
}

class Duty : public ::testing::TestWithParam<DutyCase> {};

TEST_P(Duty, DutyCycleWidthsAndPeriod) {
    const auto& c = GetParam();
    const auto m = Measure(c.record, c.dt);
    ASSERT_TRUE(m.duty_cycle.exists) << m.duty_cycle.why;
    EXPECT_NEAR(static_cast<double>(m.duty_cycle.value), 100 * c.duty, 1.0);
    EXPECT_NEAR(static_cast<double>(m.positive_width.value), c.duty * c.period, c.dt);
    EXPECT_NEAR(static_cast<double>(m.negative_width.value), (1 - c.duty) * c.period, c.dt);
    EXPECT_NEAR(static_cast<double>(m.period.value), c.period, 1e-3 * c.period);
}

INSTANTIATE_TEST_SUITE_P(
    Measure, Duty,
    ::testing::Values(
        DutyCase{"ten_percent", Sampled(Pulses(1e-4, 0.1, 0, 3.3, 0, 2.55e-5), 1000, 1e-6), 1e-6,
                 0.1, 1e-4},
        DutyCase{"half", Sampled(Pulses(1e-3, 0.5, -2, 2, 0, 0.335e-3), 500, 1e-5), 1e-5, 0.5,
                 1e-3},
        DutyCase{"three_quarters_with_sloped_edges",
                 Sampled(Pulses(1e-3, 0.75, 0, 1, 4e-5, 0.1e-3), 1000, 1e-5), 1e-5, 0.75, 1e-3},
        DutyCase{"edge_bouncing_across_mid_counted_once", Bouncing_square(), 1e-5, 0.3, 1e-3},
        DutyCase{"noise_on_both_levels", Noisy_square(), 5e-6, 0.25, 1e-3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Measure, BouncingEdgeIsOneCrossingNotThree) {
    const auto x = Bouncing_square();
    const auto c = dsp::Mid_crossings(x, 0.5L, 0.1L);
    EXPECT_EQ(c.rising.size(), 10u);
    EXPECT_EQ(c.falling.size(), 10u);
    // Without hysteresis each bounce would count: the detector must not be a plain comparator.
    const auto plain = dsp::Mid_crossings(x, 0.5L, 0.0L);
    EXPECT_GT(plain.rising.size(), 10u);
}

// --- Rise and fall time of linear edges: within one sample interval.
struct EdgeCase {
    const char* name;
    double edge, dt;
    int samples;
};

class Transition : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(Transition, TenToNinetyOfALinearEdge) {
    const auto& c = GetParam();
    const auto x = Sampled(Pulses(1e-3, 0.5, 0.2, 1.4, c.edge, 0.123e-3), c.samples, c.dt);
    const auto m = Measure(x, c.dt);
    ASSERT_TRUE(m.rise_time.exists) << m.rise_time.why;
    ASSERT_TRUE(m.fall_time.exists) << m.fall_time.why;
    EXPECT_NEAR(static_cast<double>(m.rise_time.value), 0.8 * c.edge, c.dt);
    EXPECT_NEAR(static_cast<double>(m.fall_time.value), 0.8 * c.edge, c.dt);
    EXPECT_TRUE(m.top_from_plateau && m.base_from_plateau);
    EXPECT_NEAR(static_cast<double>(m.top), 1.4, 0.01);
    EXPECT_NEAR(static_cast<double>(m.base), 0.2, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Measure, Transition,
                         ::testing::Values(EdgeCase{"edge_of_fifty_samples", 5e-5, 1e-6, 3000},
                                           EdgeCase{"edge_of_ten_samples", 1e-4, 1e-5, 400},
                                           EdgeCase{"edge_of_three_and_a_half_samples", 3.5e-5,
                                                    1e-5, 400},
                                           EdgeCase{"edge_between_two_samples", 1.3e-5, 1e-5, 400}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Levels: histogram modes with overshoot, the fallback to the extremes.
TEST(Measure, OvershootAndPreshootAgainstThePlateaus) {
    // Levels 0 and 1, a spike to 1.2 after each rising edge and a dip to -0.05 before it.
    auto x = Sampled(Pulses(1e-3, 0.5, 0, 1, 0, 0.255e-3), 1000, 1e-5);
    for (std::size_t j = 1; j + 1 < x.size(); ++j) {
        if (x[j - 1] == 0 && x[j] == 1) {
            x[j] = 1.2;
            x[j - 1] = -0.05;
        }
    }
    const auto m = Measure(x, 1e-5);
    EXPECT_DOUBLE_EQ(static_cast<double>(m.top), 1.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(m.base), 0.0);
    EXPECT_NEAR(static_cast<double>(m.overshoot.value), 20.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(m.preshoot.value), 5.0, 1e-9);
}

TEST(Measure, TriangleHasNoPlateausSoLevelsAreTheExtremes) {
    const auto x = Sampled(
        [](double t) { return 2 * std::asin(std::sin(2 * kPi * 500 * t)) / kPi; }, 800, 1e-5);
    const auto m = Measure(x, 1e-5);
    EXPECT_FALSE(m.top_from_plateau);
    EXPECT_FALSE(m.base_from_plateau);
    EXPECT_DOUBLE_EQ(static_cast<double>(m.top), static_cast<double>(m.maximum.value));
    EXPECT_DOUBLE_EQ(static_cast<double>(m.base), static_cast<double>(m.minimum.value));
    EXPECT_EQ(m.overshoot.value, 0.0L);
    // 10-90 % of a triangle's half period 1 ms: 0.8 ms.
    EXPECT_NEAR(static_cast<double>(m.rise_time.value), 0.8e-3, 1e-5);
}

TEST(Measure, CoarseRampVisitsFewCodesOftenButHasNoPlateau) {
    // A triangle of 12 samples per ramp between codes 0 and 12: each code hit twice a period,
    // far apart in a histogram of 100 bins; no code holds a plateau's share of its half.
    std::vector<double> x(240);
    for (std::size_t k = 0; k < x.size(); ++k) x[k] = std::abs(static_cast<double>(k % 24) - 12.0);
    const auto m = Measure(x, 1e-6);
    EXPECT_FALSE(m.top_from_plateau);
    EXPECT_FALSE(m.base_from_plateau);
    EXPECT_EQ(m.overshoot.value, 0.0L);
    EXPECT_NEAR(static_cast<double>(m.rise_time.value), 9.6e-6, 1e-12);
}

// --- Quantities that do not exist: "n/a" with the reason, never a number.
struct MissingCase {
    const char* name;
    std::vector<double> record;
    bool clipped_high, clipped_low;
    // The reasons of frequency, rms, rise time, maximum and minimum ("" = a value).
    const char* frequency;
    const char* rms;
    const char* rise;
    const char* maximum;
    const char* minimum;
};

class NotAvailable : public ::testing::TestWithParam<MissingCase> {};

TEST_P(NotAvailable, ReasonGiven) {
    const auto& c = GetParam();
    const auto m = Measure(c.record, 1e-5, c.clipped_high, c.clipped_low);
    const std::pair<const dsp::TMeasured*, const char*> checks[] = {
        {&m.frequency, c.frequency}, {&m.rms, c.rms},         {&m.rise_time, c.rise},
        {&m.maximum, c.maximum},     {&m.minimum, c.minimum},
    };
    for (const auto& [q, why] : checks) {
        EXPECT_EQ(q->exists, std::string(why).empty()) << why;
        EXPECT_EQ(q->why, why);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Measure, NotAvailable,
    ::testing::Values(
        MissingCase{"one_sample",
                    {0.5},
                    false,
                    false,
                    dsp::kNoSamples,
                    dsp::kNoSamples,
                    dsp::kNoSamples,
                    dsp::kNoSamples,
                    dsp::kNoSamples},
        MissingCase{"flat_record", std::vector<double>(100, 0.25), false, false, dsp::kFewCrossings,
                    "", dsp::kFlat, "", ""},
        MissingCase{"one_rising_edge", Sampled(Pulses(2e-3, 0.5, 0, 1, 1e-4, 0.5e-3), 100, 1e-5),
                    false, false, dsp::kFewCrossings, "", "", "", ""},
        MissingCase{"half_a_cycle_rise_and_fall",
                    Sampled(Pulses(2e-3, 0.3, 0, 1, 1e-4, 0.2e-3), 150, 1e-5), false, false,
                    dsp::kNoCycle, "", "", "", ""},
        MissingCase{
            "clipped_top_keeps_frequency_and_minimum",
            Sampled([](double t) { return std::min(0.8, std::sin(2 * kPi * 1e3 * t)); }, 500, 1e-5),
            true, false, "", dsp::kClipped, dsp::kClipped, dsp::kClipped, ""},
        MissingCase{"clipped_bottom", Sampled(Pulses(1e-3, 0.5, 0, 1, 1e-4), 500, 1e-5), false,
                    true, "", dsp::kClipped, dsp::kClipped, "", dsp::kClipped}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Spectrum: peak, next peak, harmonic distortion.
struct SpectrumCase {
    const char* name;
    double f1, a1;  // fundamental
    int harmonic;   // 0: none
    double ah;      // its amplitude
    double dt;
    int samples;
    double thd_percent;  // < 0: "n/a" expected
};

class Spectrum : public ::testing::TestWithParam<SpectrumCase> {};

TEST_P(Spectrum, PeakSecondPeakAndThd) {
    const auto& c = GetParam();
    const auto x = Sampled(
        [&](double t) {
            return 0.3 + c.a1 * std::sin(2 * kPi * c.f1 * t + 0.4) +
                   c.ah * std::sin(2 * kPi * c.harmonic * c.f1 * t + 1.1);
        },
        c.samples, c.dt);
    const auto m = dsp::Measure_spectrum(x, c.dt, false);
    // The crossings' frequency, when given, refines the harmonics' places, not their sum.
    const auto refined = dsp::Measure_spectrum(x, c.dt, false, c.f1);
    EXPECT_EQ(refined.thd_percent.exists, m.thd_percent.exists);
    if (refined.thd_percent.exists) {
        EXPECT_NEAR(static_cast<double>(refined.thd_percent.value), c.thd_percent, 0.05);
    }
    const double bin = 1.0 / (1024 * c.dt);
    ASSERT_TRUE(m.peak_frequency.exists);
    EXPECT_NEAR(static_cast<double>(m.peak_frequency.value), c.f1, 0.5 * bin);
    EXPECT_NEAR(static_cast<double>(m.peak_magnitude.value), c.a1, 0.01 * c.a1);
    if (c.harmonic > 0) {
        ASSERT_TRUE(m.second_frequency.exists);
        EXPECT_NEAR(static_cast<double>(m.second_frequency.value), c.harmonic * c.f1, 0.5 * bin);
        EXPECT_NEAR(static_cast<double>(m.second_magnitude.value), c.ah, 0.01 * c.ah + 1e-3 * c.a1);
    } else {
        EXPECT_EQ(m.second_frequency.why, dsp::kNoSecondPeak);
    }
    if (c.thd_percent < 0) {
        EXPECT_EQ(m.thd_percent.why, dsp::kNoHarmonic);
        EXPECT_EQ(m.thd_db.why, dsp::kNoHarmonic);
    } else {
        ASSERT_TRUE(m.thd_percent.exists);
        EXPECT_NEAR(static_cast<double>(m.thd_percent.value), c.thd_percent, 0.1);
        if (c.thd_percent > 0) {
            EXPECT_NEAR(static_cast<double>(m.thd_db.value), 20 * std::log10(c.thd_percent / 100),
                        0.2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Measure, Spectrum,
    ::testing::Values(
        SpectrumCase{"pure_sine_no_distortion", 1000, 1.0, 0, 0, 1e-5, 1000, 0.0},
        SpectrumCase{"third_harmonic_ten_percent", 1000, 2.0, 3, 0.2, 1e-5, 1000, 10.0},
        SpectrumCase{"second_harmonic_one_percent_off_bin", 1234, 1.0, 2, 0.01, 1e-5, 800, 1.0},
        // Five cycles: the fundamental's leakage lies on the harmonics' bins; the fit keeps
        // it out.
        SpectrumCase{"five_cycles_second_harmonic_two_percent", 1000, 1.0, 2, 0.02, 1e-5, 500, 2.0},
        SpectrumCase{"long_record_fifth_harmonic", 733, 0.5, 5, 0.1, 1e-5, 2000, 20.0},
        SpectrumCase{"fundamental_above_half_nyquist_no_harmonic", 30e3, 1.0, 0, 0, 1e-5, 1000,
                     -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Measure, SpectrumOfFlatOrClippedRecord) {
    const std::vector<double> flat(500, 1.0);
    const auto f = dsp::Measure_spectrum(flat, 1e-5, false);
    EXPECT_EQ(f.peak_frequency.why, dsp::kNoSignal);
    const auto x = Sampled([](double t) { return std::sin(2 * kPi * 1e3 * t); }, 500, 1e-5);
    const auto c = dsp::Measure_spectrum(x, 1e-5, true);
    EXPECT_TRUE(c.peak_frequency.exists);
    EXPECT_EQ(c.peak_magnitude.why, dsp::kClipped);
    EXPECT_EQ(c.thd_percent.why, dsp::kClipped);
}

}  // namespace
