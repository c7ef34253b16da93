// Conversion of raw codes to volts, averaging, inversion, extremes, raw code tables and the
// channel sum and difference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/channel_math.h"

namespace {

using model::Preamble;
using model::Waveforms;

class ChannelMath : public ::testing::Test {
  protected:
    void SetUp() override {
        Preamble = {};
        Preamble.coupling = "DC";
        Preamble.xincrement = 1e-6;
        Preamble.yincrement = 0.01;
        Preamble.yreference = 128;
        model::Byte_format = true;
        model::Raw_byte_sets = {};
        model::Raw_word_sets = {};
        Waveforms = {};
        dsp::Raw_sums = {};
        dsp::Channel_raw_sums = {};
    }
    // Codes of one sample in sets 1..M at position j.
    static void Put_codes(int j, const std::vector<int>& codes) {
        for (size_t s = 0; s < codes.size(); ++s) {
            model::Raw_byte_sets[s + 1][j] = static_cast<uint8_t>(codes[s]);
            model::Raw_word_sets[s + 1][j] = static_cast<uint16_t>(codes[s]);
        }
    }
};

struct CodeCase {
    const char* name;
    int code;
    double volts;
};

TEST_F(ChannelMath, ByteCodesAroundTheReferenceLevel) {
    const CodeCase cases[] = {
        {"reference_level_is_zero_volts", 128, 0.0},
        {"lowest_code", 0, -1.28},
        {"highest_code", 255, 1.27},
        {"one_step_above_reference", 129, 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Put_codes(1, {c.code});
        dsp::Scale_waveform(1, 1);
        EXPECT_DOUBLE_EQ(Waveforms[1].volts[1], c.volts);
        EXPECT_EQ(dsp::Raw_sums[1], c.code);
    }
    EXPECT_DOUBLE_EQ(Waveforms[1].y_min, -1.28);
    EXPECT_DOUBLE_EQ(Waveforms[1].y_max, 1.28);
}

TEST_F(ChannelMath, SampleJIsTakenFromPositionJOfEachRow) {
    // Position 0 holds the block's count byte and must never be read as a sample.
    for (bool byte_format : {true, false}) {
        SCOPED_TRACE(byte_format ? "byte" : "word");
        model::Byte_format = byte_format;
        Preamble.yreference = 0;
        Preamble.yincrement = 1.0;
        Put_codes(0, {250});
        for (int j = 1; j <= 5; ++j) Put_codes(j, {10 * j});
        Put_codes(6, {99});  // one beyond N
        dsp::Scale_waveform(5, 2);
        for (int j = 1; j <= 5; ++j) EXPECT_EQ(Waveforms[2].volts[j], 10.0 * j) << j;
        EXPECT_EQ(Waveforms[2].volts[0], 0.0);
        EXPECT_EQ(Waveforms[2].volts[6], 0.0);
        EXPECT_EQ(dsp::Raw_sums[6], 0);
    }
}

struct AveragingCase {
    const char* name;
    bool averaging;
    int count;
    bool inverted;
    std::vector<int> codes;
    int raw_sum;
    double volts;
};

TEST_F(ChannelMath, AveragingAndInversion) {
    // yreference 0, yincrement 0.5, yorigin 0.25: every set adds code / 2 + 0.25 V.
    const AveragingCase cases[] = {
        {"single_set", false, 0, false, {10}, 10, 5.25},
        {"mean_of_two_truncates_raw_sum", true, 2, false, {10, 13}, 11, 6.0},
        {"mean_of_five", true, 5, false, {1, 2, 3, 4, 6}, 3, 1.85},
        {"inverted_after_averaging", true, 2, true, {10, 13}, 11, -6.0},
        {"inverted_single_set", false, 0, true, {10}, 10, -5.25},
        {"count_not_chosen_reads_one_set", true, 0, false, {10, 200}, 10, 5.25},
        {"averaging_off_ignores_count", false, 5, false, {10, 200, 200, 200, 200}, 10, 5.25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preamble.yreference = 0;
        Preamble.yincrement = 0.5;
        Preamble.yorigin = 0.25;
        Waveforms[1].averaging = c.averaging;
        Waveforms[1].average_count = c.count;
        Waveforms[1].inverted = c.inverted;
        Put_codes(1, c.codes);
        dsp::Scale_waveform(1, 1);
        EXPECT_EQ(dsp::Raw_sums[1], c.raw_sum);
        EXPECT_DOUBLE_EQ(Waveforms[1].volts[1], c.volts);
        EXPECT_EQ(Waveforms[1].v_min, Waveforms[1].volts[1]);
        EXPECT_EQ(Waveforms[1].v_max, Waveforms[1].volts[1]);
    }
}

TEST_F(ChannelMath, InversionLeavesTheScreenWindowAlone) {
    Waveforms[1].averaging = true;
    Waveforms[1].average_count = 2;
    Waveforms[1].inverted = true;
    Put_codes(1, {200, 202});  // mean 0.73 V
    Put_codes(2, {100, 100});  // -0.28 V
    dsp::Scale_waveform(2, 1);
    EXPECT_DOUBLE_EQ(Waveforms[1].volts[1], -0.73);
    EXPECT_DOUBLE_EQ(Waveforms[1].volts[2], 0.28);
    EXPECT_DOUBLE_EQ(Waveforms[1].v_min, -0.73);
    EXPECT_DOUBLE_EQ(Waveforms[1].v_max, 0.28);
    EXPECT_DOUBLE_EQ(Waveforms[1].y_min, -1.28);
    EXPECT_DOUBLE_EQ(Waveforms[1].y_max, 1.28);
}

TEST_F(ChannelMath, FiftySetsMatchASampleBySampleAccumulation) {
    // Each sample's running value is rounded to a double after every set, in set order.
    model::Byte_format = false;
    Preamble.yreference = 31000;
    Preamble.yincrement = 3.0517578125e-5 / 3;
    Preamble.yorigin = 0.1;
    Waveforms[2].averaging = true;
    Waveforms[2].average_count = 50;
    uint32_t seed = 12345;
    for (int s = 1; s <= 50; ++s)
        for (int j = 1; j <= 2002; ++j) {
            seed = seed * 1664525u + 1013904223u;
            model::Raw_word_sets[s][j] = static_cast<uint16_t>(seed >> 16);
        }
    dsp::Scale_waveform(2002, 2);
    for (int j = 1; j <= 2002; ++j) {
        double v = 0.0;
        int32_t sum = 0;
        for (int s = 1; s <= 50; ++s) {
            const int32_t c = model::Raw_word_sets[s][j];
            sum += c;
            v = static_cast<double>(static_cast<long double>(c - 31000) * Preamble.yincrement + v +
                                    Preamble.yorigin);
        }
        v = static_cast<double>(static_cast<long double>(v) / 50);
        ASSERT_EQ(Waveforms[2].volts[j], v) << j;
        ASSERT_EQ(dsp::Raw_sums[j], sum / 50) << j;
    }
}

TEST_F(ChannelMath, ExtremesOfAllNegativeData) {
    Preamble.yreference = 0;
    Preamble.yincrement = 0.25;
    Preamble.yorigin = -10.5;
    Put_codes(1, {1});
    Put_codes(2, {0});
    Put_codes(3, {2});
    dsp::Scale_waveform(3, 1);
    EXPECT_EQ(Waveforms[1].v_max, -10.0);
    EXPECT_EQ(Waveforms[1].v_min, -10.5);
}

struct ClipCase {
    const char* name;
    double yorigin;
    std::vector<int> codes;  // one set, yreference 10, yincrement 1: window -10..10 V
    bool high;
    bool low;
};

TEST_F(ChannelMath, ClipFlagsCompareWithTheScreenWindow) {
    const ClipCase cases[] = {
        {"inside", 0.0, {5, 15, 10}, false, false},
        {"touching_both_edges", 0.0, {0, 20}, false, false},
        {"above", 0.0, {5, 21}, true, false},
        {"offset_pushes_below", -0.5, {0, 10}, false, true},
        {"offset_pushes_above", 0.5, {20, 10}, true, false},
        {"both", -0.5, {0, 21}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preamble.yreference = 10;
        Preamble.yincrement = 1.0;
        Preamble.yorigin = c.yorigin;
        for (size_t j = 0; j < c.codes.size(); ++j)
            Put_codes(static_cast<int>(j + 1), {c.codes[j]});
        dsp::Scale_waveform(static_cast<int32_t>(c.codes.size()), 1);
        EXPECT_EQ(Waveforms[1].clipped_high, c.high);
        EXPECT_EQ(Waveforms[1].clipped_low, c.low);
    }
}

TEST_F(ChannelMath, TimeAxisStartsOneIncrementAfterTheOrigin) {
    Preamble.xorigin = -2.5e-4;
    Preamble.xincrement = 5e-7;
    dsp::Scale_waveform(500, 1);
    const auto& r = Waveforms[1];
    EXPECT_EQ(r.time[0], -2.5e-4);
    EXPECT_EQ(r.x_min, -2.5e-4);
    EXPECT_DOUBLE_EQ(r.time[1], -2.5e-4 + 5e-7);
    EXPECT_NEAR(r.time[500], 0.0, 1e-18);
    EXPECT_EQ(r.x_max, r.time[500]);
}

struct CouplingCase {
    const char* text;
    int32_t coupling;
};

TEST_F(ChannelMath, CouplingFromThePreambleText) {
    const CouplingCase cases[] = {{"AC", 2}, {"DC", 1}, {"2 ", 2}, {"1 ", 1}, {"", 1}, {"ac", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Preamble.coupling = c.text;
        dsp::Scale_waveform(2, 2);
        EXPECT_EQ(Waveforms[2].coupling, c.coupling);
    }
}

struct PointsCase {
    const char* name;
    int32_t N;
    int32_t converted;
};

TEST_F(ChannelMath, PointCountsOutsideTheTablesAreCut) {
    const PointsCase cases[] = {
        {"none", 0, 0},
        {"negative", -7, 0},
        {"largest", 2002, 2002},
        {"beyond_the_tables", 2049, 2002},
        {"far_beyond", 1000000, 2002},
    };
    Preamble.yreference = 0;
    Preamble.yincrement = 1.0;
    for (int j = 0; j <= model::kMaxIndex; ++j) Put_codes(j, {7});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Waveforms[1].volts.fill(3.0);
        dsp::Raw_sums.fill(5);
        dsp::Scale_waveform(c.N, 1);
        const auto& r = Waveforms[1];
        for (int j = 0; j <= dsp::kRawSumsLast; ++j) {
            const bool sample = j >= 1 && j <= c.converted;
            ASSERT_EQ(r.volts[j], sample ? 7.0 : 0.0) << j;
            ASSERT_EQ(dsp::Raw_sums[j], sample ? 7 : 0) << j;
        }
        EXPECT_EQ(r.x_max, r.time[c.converted]);
        if (c.converted == 0) {
            EXPECT_EQ(r.v_min, 1e50);
            EXPECT_EQ(r.v_max, -1e50);
            EXPECT_FALSE(r.clipped_high);
            EXPECT_FALSE(r.clipped_low);
        }
    }
}

TEST_F(ChannelMath, EachChannelKeepsItsOwnRawCodes) {
    Put_codes(1, {11});
    dsp::Scale_waveform(1, 1);
    Put_codes(1, {22});
    dsp::Scale_waveform(1, 2);
    EXPECT_EQ(dsp::Raw_sums[1], 22);
    EXPECT_EQ(dsp::Channel_raw_sums[1][1], 11);
    EXPECT_EQ(dsp::Channel_raw_sums[2][1], 22);
}

TEST_F(ChannelMath, ChannelOutsideOneAndTwoChangesNothing) {
    Put_codes(1, {11});
    dsp::Raw_sums[1] = 9;
    dsp::Scale_waveform(1, 0);
    dsp::Scale_waveform(1, 3);
    EXPECT_EQ(dsp::Raw_sums[1], 9);
}

TEST_F(ChannelMath, SumAndDifferenceOfTheChannels) {
    Preamble.points = 3;
    Waveforms[1].volts = {};
    Waveforms[2].volts = {};
    const double a[] = {0, 1.0, -2.0, 0.5};
    const double b[] = {0, 0.25, 3.0, 0.5};
    for (int j = 1; j <= 3; ++j) {
        Waveforms[1].volts[j] = a[j];
        Waveforms[2].volts[j] = b[j];
    }
    Waveforms[1].volts[4] = 100.0;  // beyond N: not part of the series
    const auto before1 = Waveforms[1];
    const auto before2 = Waveforms[2];

    const dsp::TCombinedSeries sum = dsp::Combine_channels(false);
    EXPECT_EQ(sum.points, 3);
    EXPECT_EQ(sum.values[1], 1.25);
    EXPECT_EQ(sum.values[2], 1.0);
    EXPECT_EQ(sum.values[3], 1.0);
    EXPECT_EQ(sum.v_min, 1.0);
    EXPECT_EQ(sum.v_max, 1.25);

    const dsp::TCombinedSeries diff = dsp::Combine_channels(true);
    EXPECT_EQ(diff.values[1], 0.75);
    EXPECT_EQ(diff.values[2], -5.0);
    EXPECT_EQ(diff.values[3], 0.0);
    EXPECT_EQ(diff.values[4], 0.0);
    EXPECT_EQ(diff.v_min, -5.0);
    EXPECT_EQ(diff.v_max, 0.75);

    EXPECT_EQ(dsp::Combine_channels(true).values, diff.values);
    EXPECT_EQ(Waveforms[1].volts, before1.volts);
    EXPECT_EQ(Waveforms[2].volts, before2.volts);
}

TEST_F(ChannelMath, CombinedSeriesOfNoPoints) {
    for (int32_t points : {0, -3}) {
        Preamble.points = points;
        const auto s = dsp::Combine_channels(false);
        EXPECT_EQ(s.points, 0);
        EXPECT_EQ(s.v_min, 1e50);
        EXPECT_EQ(s.v_max, -1e50);
    }
    Preamble.points = 5000;
    EXPECT_EQ(dsp::Combine_channels(false).points, 2002);
}

}  // namespace
