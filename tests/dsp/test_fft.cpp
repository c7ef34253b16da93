// The FFT against a direct extended-precision DFT, and the channel spectrum: padding, bin
// packing, normalisation, frequency axis and the unused upper half.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/fft.h"

namespace {

using Cx = std::complex<long double>;
const long double kPi = std::acos(-1.0L);

// F(k) = sum of x(m) e^(sign 2 pi i m k / n), the convention of the program's transform.
std::vector<Cx> Slow_dft(const std::vector<Cx>& x, int sign) {
    const size_t n = x.size();
    std::vector<Cx> root(n);
    for (size_t r = 0; r < n; ++r) {
        const long double a = sign * 2 * kPi * static_cast<long double>(r) / n;
        root[r] = Cx(std::cos(a), std::sin(a));
    }
    std::vector<Cx> f(n);
    for (size_t k = 0; k < n; ++k) {
        Cx acc = 0;
        for (size_t m = 0; m < n; ++m) acc += x[m] * root[(m * k) % n];
        f[k] = acc;
    }
    return f;
}

std::vector<long double> Random_values(size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-3.0, 3.0);
    std::vector<long double> v(count);
    for (auto& x : v) x = dist(gen);
    return v;
}

long double Max_abs(const std::vector<Cx>& f) {
    long double m = 0;
    for (const auto& c : f) m = std::max(m, std::abs(c));
    return m;
}

class ComplexFftSizes : public ::testing::TestWithParam<int> {};

TEST_P(ComplexFftSizes, MatchesTheDirectTransformBothWays) {
    const int nn = GetParam();
    for (int sign : {1, -1}) {
        SCOPED_TRACE(sign);
        const auto values = Random_values(2 * nn, 100 + nn);
        std::vector<long double> data(2 * nn + 1);
        std::vector<Cx> x(nn);
        for (int t = 0; t < nn; ++t) {
            data[2 * t + 1] = values[2 * t];
            data[2 * t + 2] = values[2 * t + 1];
            x[t] = Cx(values[2 * t], values[2 * t + 1]);
        }
        dsp::Complex_fft(data, nn, sign);
        const auto f = Slow_dft(x, sign);
        const long double scale = Max_abs(f);
        for (int k = 0; k < nn; ++k) {
            ASSERT_LE(std::abs(Cx(data[2 * k + 1], data[2 * k + 2]) - f[k]), 1e-12L * scale) << k;
        }
    }
}

// Named for the transform's size: "n1024".
std::string Size_name(const ::testing::TestParamInfo<int>& info) {
    return "n" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, ComplexFftSizes,
                         ::testing::Values(1, 2, 4, 8, 16, 64, 256, 512, 1024), Size_name);

class RealFftSizes : public ::testing::TestWithParam<int> {};

TEST_P(RealFftSizes, ForwardGivesPackedSpectrumOfTheRealSequence) {
    const int n = GetParam();
    const auto values = Random_values(2 * n, 7 + n);
    std::vector<long double> data(2 * n + 3, 0.0L);
    std::vector<Cx> x(2 * n);
    for (int m = 0; m < 2 * n; ++m) {
        data[m + 1] = values[m];
        x[m] = values[m];
    }
    dsp::Real_fft(data, n, 1);
    const auto f = Slow_dft(x, 1);
    const long double tol = 1e-12L * Max_abs(f);
    EXPECT_LE(std::abs(data[1] - f[0].real()), tol);
    EXPECT_LE(std::abs(data[2] - f[n].real()), tol);
    for (int k = 1; k < n; ++k) {
        ASSERT_LE(std::abs(Cx(data[2 * k + 1], data[2 * k + 2]) - f[k]), tol) << k;
    }
}

TEST_P(RealFftSizes, InverseUndoesForwardUpToTheFactorN) {
    const int n = GetParam();
    const auto values = Random_values(2 * n, 31 + n);
    std::vector<long double> data(2 * n + 3, 0.0L);
    std::copy(values.begin(), values.end(), data.begin() + 1);
    dsp::Real_fft(data, n, 1);
    dsp::Real_fft(data, n, -1);
    for (int m = 0; m < 2 * n; ++m) ASSERT_NEAR(data[m + 1] / n, values[m], 1e-12L) << m;
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, RealFftSizes, ::testing::Values(2, 4, 8, 32, 128, 512),
                         Size_name);

// Reference values from an exact-arithmetic model (tools/exact_reference.py): rationals rounded
// to a 64-bit significand for every extended operation and to 53 bits where a double receives
// the result, sines from mpmath at 256 bits rounded to 64 bits (glibc's sinl gives the same for
// these angles). theta is the stage's double angle 6.28318530717959 / span. Evaluated in double
// arithmetic instead, dre of spans 4, 32 and 256 is one unit in the last place off, and so are
// the twiddles below.
struct TwiddleCase {
    int span;
    double theta, dre, dim;
};

TEST(Twiddles, StageIncrementsAreExtendedSinesRoundedOnce) {
    const TwiddleCase cases[] = {
        {4, 0x1.921fb54442d1cp+0, -0x1.0000000000004p+0, 0x1.0000000000000p+0},
        {32, 0x1.921fb54442d1cp-3, -0x1.3ad0601146a00p-6, 0x1.8f8b83c69a60ep-3},
        {256, 0x1.921fb54442d1cp-6, -0x1.3bcfbd9979a2dp-12, 0x1.92155f7a36682p-6},
        {1024, 0x1.921fb54442d1cp-8, -0x1.3bd38bab6d952p-16, 0x1.921f0fe670075p-8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.span);
        const dsp::Twiddle step = dsp::Twiddle_step(c.theta);
        EXPECT_EQ(step.dre, c.dre) << std::hexfloat << step.dre;
        EXPECT_EQ(step.dim, c.dim) << std::hexfloat << step.dim;
    }
}

TEST(Twiddles, RecurrenceOfSpan512IsEvaluatedInExtended) {
    struct Expected {
        int t;
        double ure, uim;
    };
    const Expected expected[] = {
        {2, 0x1.ffd886084cd0cp-1, 0x1.92155f7a36681p-6},
        {3, 0x1.ffa72effef75cp-1, 0x1.2d865759455cfp-5},
        {128, -0x1.6f56b00000000p-50, 0x1.0000000000000p+0},
        {255, -0x1.fff62169b92dfp-1, 0x1.921d1fcdec28ep-7},
    };
    const dsp::Twiddle step = dsp::Twiddle_step(0x1.921fb54442d1cp-7);
    double ure = 1.0;
    double uim = 0.0;
    int t = 0;
    for (const auto& e : expected) {
        for (; t < e.t; ++t) dsp::Advance_twiddle(step, ure, uim);
        EXPECT_EQ(ure, e.ure) << "t " << t << std::hexfloat << " " << ure;
        EXPECT_EQ(uim, e.uim) << "t " << t << std::hexfloat << " " << uim;
    }
}

struct RefusedCase {
    const char* name;
    size_t size;
    int32_t n;
};

TEST(FftGuards, RefusedSizesLeaveTheDataAlone) {
    const RefusedCase cases[] = {
        {"not_a_power_of_two", 64, 12},
        {"zero", 64, 0},
        {"negative", 64, -4},
        {"array_too_short", 16, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<long double> data(c.size, 1.5L);
        dsp::Complex_fft(data, c.n, 1);
        dsp::Real_fft(data, c.n, 1);
        EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](long double v) { return v == 1.5L; }));
    }
}

class Spectrum : public ::testing::Test {
  protected:
    void SetUp() override {
        model::Preamble = {};
        model::Waveforms = {};
        dsp::Spectra = {};
        // Stale values that a computation must overwrite.
        for (auto& s : dsp::Spectra) {
            s.freq.fill(-7.0);
            s.amplitude.fill(-7.0);
        }
        dsp::Spectrum_lines = 0;
    }
    static void Set_record(int channel, int32_t N, double xincrement, auto&& sample) {
        model::Preamble.points = N;
        model::Waveforms[channel].xincrement = xincrement;
        for (int j = 1; j <= std::min(N, model::kMaxIndex); ++j)
            model::Waveforms[channel].volts[j] = sample(j);
    }
    // The expected normalised magnitudes from the padded input x(0..1023).
    static std::vector<long double> Expected(const std::vector<long double>& input) {
        std::vector<Cx> x(input.begin(), input.end());
        const auto f = Slow_dft(x, 1);
        std::vector<long double> m(513);
        m[1] = std::hypot(f[0].real(), f[512].real());
        for (int i = 2; i <= 512; ++i) m[i] = std::abs(f[i - 1]);
        const long double peak = *std::max_element(m.begin() + 1, m.end());
        for (int i = 1; i <= 512; ++i) m[i] /= peak;
        return m;
    }
};

struct PaddingCase {
    const char* name;
    int32_t N;
};

TEST_F(Spectrum, ShortRecordsRepeatTheirLastUsedSampleLongOnesAreCut) {
    const PaddingCase cases[] = {
        {"two_points", 2}, {"n_501", 501},    {"exactly_1024", 1024},
        {"n_1025", 1025},  {"largest", 2002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sample = [](int j) { return std::sin(0.37 * j) + 0.01 * j; };
        Set_record(1, c.N, 1e-5, sample);
        std::vector<long double> input(1024);
        for (int k = 1; k <= 1024; ++k) input[k - 1] = sample(std::min(k, std::max(c.N - 1, 1)));
        dsp::Compute_spectrum(1);
        const auto expected = Expected(input);
        for (int i = 1; i <= 512; ++i)
            ASSERT_NEAR(dsp::Spectra[1].amplitude[i], expected[i], 1e-12) << i;
    }
}

TEST_F(Spectrum, SineOfFourPeriodsPeaksAtItsBin) {
    const double xinc = 2e-6;
    Set_record(2, 1025, xinc,
               [](int j) { return 0.8 * std::sin(2 * std::numbers::pi * 4 * (j - 1) / 1024.0); });
    model::Waveforms[2].volts[1025] = 1e6;  // one beyond the transform: must not count
    dsp::Compute_spectrum(2);
    const auto& s = dsp::Spectra[2];
    const auto peak = std::max_element(s.amplitude.begin() + 1, s.amplitude.begin() + 513);
    EXPECT_EQ(peak - s.amplitude.begin(), 5);
    EXPECT_EQ(s.amplitude[5], 1.0);
    EXPECT_DOUBLE_EQ(s.freq[5], 4 / (1024 * xinc));
    for (int i = 1; i <= 512; ++i) {
        if (i != 5) {
            EXPECT_LT(s.amplitude[i], 1e-12) << i;
        }
    }
}

TEST_F(Spectrum, ConstantRecordHasOnlyTheDcBin) {
    Set_record(1, 800, 1e-6, [](int) { return -2.5; });
    dsp::Compute_spectrum(1);
    EXPECT_EQ(dsp::Spectra[1].amplitude[1], 1.0);
    for (int i = 2; i <= 512; ++i) EXPECT_LT(dsp::Spectra[1].amplitude[i], 1e-15) << i;
}

TEST_F(Spectrum, FrequencyAxisOfOneMicrosecondSamples) {
    Set_record(1, 1000, 1e-6, [](int j) { return j % 3; });
    dsp::Compute_spectrum(1);
    const auto& s = dsp::Spectra[1];
    EXPECT_EQ(dsp::Spectrum_lines, 40);
    EXPECT_EQ(s.freq[1], 0.0);
    for (int i = 2; i <= 512; ++i) ASSERT_NEAR(s.freq[i] - s.freq[i - 1], 976.5625, 1e-9) << i;
    EXPECT_DOUBLE_EQ(s.freq[512], 511 * 976.5625);
    EXPECT_DOUBLE_EQ(s.freq_increment, 1953.125);
    EXPECT_DOUBLE_EQ(s.f_max, 39062.5);
    EXPECT_EQ(s.f_min, 0.0);
    EXPECT_EQ(s.origin, 0.0);
    EXPECT_EQ(s.a_min, 0.0);
    EXPECT_EQ(s.a_max, 1.0);
}

struct DegenerateCase {
    const char* name;
    int32_t N;
    double xincrement;
    double level;
};

TEST_F(Spectrum, DegenerateRecordsGiveZerosNotNan) {
    const DegenerateCase cases[] = {
        {"all_zero", 1024, 1e-6, 0.0},   {"no_points", 0, 1e-6, 1.0},
        {"one_point", 1, 1e-6, 1.0},     {"negative_points", -5, 1e-6, 1.0},
        {"no_time_base", 600, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model::Waveforms[1].volts.fill(c.level);
        Set_record(1, c.N, c.xincrement, [&](int) { return c.level; });
        dsp::Compute_spectrum(1);
        const auto& s = dsp::Spectra[1];
        for (int i = 1; i <= 1024; ++i) {
            ASSERT_EQ(s.amplitude[i], 0.0) << i;
            ASSERT_TRUE(std::isfinite(s.freq[i])) << i;
        }
        EXPECT_TRUE(std::isfinite(s.f_max));
    }
}

TEST_F(Spectrum, UpperHalfIsClearedAndOtherChannelUntouched) {
    Set_record(2, 2002, 1e-6, [](int j) { return std::cos(0.1 * j); });
    dsp::Compute_spectrum(2);
    for (int i = 513; i <= 1024; ++i) {
        ASSERT_EQ(dsp::Spectra[2].freq[i], 0.0) << i;
        ASSERT_EQ(dsp::Spectra[2].amplitude[i], 0.0) << i;
    }
    EXPECT_EQ(dsp::Spectra[1].amplitude[3], -7.0);
}

}  // namespace
