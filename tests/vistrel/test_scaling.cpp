// Pixel mapping, tick steps and levels, label texts, grid lines and colour mixing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "recording_platform.h"
#include "support_recording_canvas.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace {

using testing_support::RecordingPaintBox;
using vistrel::plot;

template <typename T>
std::string CaseName(const ::testing::TestParamInfo<T>& info) {
    return info.param.name;
}

// The plot area of the first graph of a 600 x 400 surface with the usual margins:
// columns 40..300, rows 20..360.
class OneGraph : public ::testing::Test {
  protected:
    void SetUp() override {
        plot = vistrel::Plot{};
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.0f);
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
        box.surface.clear_record();
    }
    void TearDown() override { plot = vistrel::Plot{}; }
    testing_support::RecordedPlatform recorded;
    RecordingPaintBox box{600, 400};
};

struct MapCase {
    const char* name;
    bool y_axis;
    bool log;
    float lo, hi;
    float value;
    int pixel;
};

class Mapping : public OneGraph, public ::testing::WithParamInterface<MapCase> {};

TEST_P(Mapping, PutsValuesOnPixels) {
    const MapCase& c = GetParam();
    const float span =
        c.log ? static_cast<float>(std::log(static_cast<long double>(c.hi) / c.lo)) : 0.0f;
    if (c.y_axis) {
        plot.YMin = c.lo, plot.YMax = c.hi, plot.YLog = c.log, plot.YLogSpan = span;
        EXPECT_EQ(vistrel::YToPixel(c.value), c.pixel);
    } else {
        plot.XMin = c.lo, plot.XMax = c.hi, plot.XLog = c.log, plot.XLogSpan = span;
        EXPECT_EQ(vistrel::XToPixel(c.value), c.pixel);
    }
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, Mapping,
    ::testing::Values(MapCase{"xMinIsPlotLeft", false, false, 0, 10, 0, 40},
                      MapCase{"xMaxIsRightEdge", false, false, 0, 10, 10, 300},
                      MapCase{"xMiddle", false, false, 0, 10, 5, 170},
                      MapCase{"xHalfPixelRoundsToEvenDown", false, false, 0, 520, 1, 40},
                      MapCase{"xHalfPixelRoundsToEvenUp", false, false, 0, 520, 3, 42},
                      MapCase{"xFarRightClamps", false, false, 0, 10, 1536.93f, 32767},
                      MapCase{"xFarLeftClamps", false, false, 0, 10, -1540.0f, -32768},
                      MapCase{"xInfinityClamps", false, false, 0, 10, kInf, 32767},
                      MapCase{"xNotANumberLandsFarLeft", false, false, 0, 10, kNaN, -32768},
                      MapCase{"xLogDecade", false, true, 1, 1000, 10, 127},
                      MapCase{"xLogEnd", false, true, 1, 1000, 1000, 300},
                      MapCase{"xLogZeroIsHalfTheMinimum", false, true, 1, 1000, 0, 14},
                      MapCase{"xLogNegativeIsHalfTheMinimum", false, true, 1, 1000, -5, 14},
                      MapCase{"yMinIsPlotBottom", true, false, -1, 1, -1, 360},
                      MapCase{"yMaxIsTopEdge", true, false, -1, 1, 1, 20},
                      MapCase{"yZeroInTheMiddle", true, false, -1, 1, 0, 190},
                      MapCase{"yFarAboveClamps", true, false, -1, 1, 500, -32768},
                      MapCase{"yFarBelowClamps", true, false, -1, 1, -500, 32767},
                      MapCase{"yLogDecade", true, true, 1, 100, 10, 190}),
    CaseName<MapCase>);

struct AxisPixelCase {
    const char* name;
    float v, lo, hi;
    int length;
    int pixel;
};

class AxisPixels : public ::testing::TestWithParam<AxisPixelCase> {};

TEST_P(AxisPixels, ArePositionsAlongTheAxis) {
    const AxisPixelCase& c = GetParam();
    EXPECT_EQ(vistrel::ValueToAxisPixel(c.v, c.lo, c.hi, c.length), c.pixel);
}

INSTANTIATE_TEST_SUITE_P(Cases, AxisPixels,
                         ::testing::Values(AxisPixelCase{"start", 0, 0, 10, 260, 0},
                                           AxisPixelCase{"end", 10, 0, 10, 260, 260},
                                           AxisPixelCase{"beforeStart", -2, 0, 10, 260, -52},
                                           AxisPixelCase{"tieToEvenDown", 1, 0, 4, 2, 0},
                                           AxisPixelCase{"tieToEvenUp", 3, 0, 4, 2, 2}),
                         CaseName<AxisPixelCase>);

struct StepCase {
    const char* name;
    int length, intervals;
    float lo, hi, min_step;
    float major, minor;
    int decimals;
};

class LinearSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(LinearSteps, AreOneTwoFiveTimesAPowerOfTen) {
    const StepCase& c = GetParam();
    const vistrel::LinearSteps s =
        vistrel::ChooseLinearStep(c.length, c.intervals, c.lo, c.hi, c.min_step);
    EXPECT_FLOAT_EQ(s.majorStep, c.major);
    EXPECT_FLOAT_EQ(s.minorStep, c.minor);
    EXPECT_EQ(s.decimals, c.decimals);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinearSteps,
    ::testing::Values(StepCase{"zeroToTenIn4", 260, 4, 0, 10, 0, 5, 1, 0},
                      StepCase{"zeroToTenIn7", 260, 7, 0, 10, 0, 2, 0.5f, 0},
                      StepCase{"reversedRange", 260, 4, 10, 0, 0, 5, 1, 0},
                      StepCase{"hundredthsIn6", 340, 6, 0, 0.07f, 0, 0.02f, 0.005f, 2},
                      StepCase{"symmetricTenths", 260, 7, -0.3f, 0.3f, 0, 0.1f, 0.02f, 1},
                      StepCase{"thousands", 260, 4, 0, 12000, 0, 5000, 1000, -3},
                      StepCase{"zeroIntervalsCountAsOne", 100, 0, 0, 10, 0, 10, 2, -1},
                      StepCase{"retriesUntilTwoTicksShow", 100, 1, 0, 9, 0, 5, 1, 0},
                      StepCase{"minStepRaisesBothSteps", 260, 4, 0, 10, 2, 5, 2, 0},
                      StepCase{"minStepAboveTheMajorStep", 260, 4, 0, 10, 8, 8, 8, 0}),
    CaseName<StepCase>);

struct TwoTicksCase {
    const char* name;
    int length, intervals;
    float lo, hi;
};

class AtLeastTwoTicks : public ::testing::TestWithParam<TwoTicksCase> {};

TEST_P(AtLeastTwoTicks, FallOnTheAxis) {
    const TwoTicksCase& c = GetParam();
    const vistrel::LinearSteps s = vistrel::ChooseLinearStep(c.length, c.intervals, c.lo, c.hi, 0);
    ASSERT_GT(s.majorStep, 0.0f);
    // Multiples of the major step whose pixel lies on the axis, counted independently.
    int count = 0;
    const long double first = std::floor(static_cast<long double>(c.lo) / s.majorStep) - 1;
    for (long double k = first; k <= first + 3 + (c.hi - c.lo) / s.majorStep; k += 1) {
        const int px =
            vistrel::ValueToAxisPixel(static_cast<float>(k * s.majorStep), c.lo, c.hi, c.length);
        if (px >= 0 && px <= c.length)
            ++count;
    }
    EXPECT_GE(count, 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, AtLeastTwoTicks,
                         ::testing::Values(TwoTicksCase{"oneIntervalOddRange", 100, 1, 0.1f, 0.93f},
                                           TwoTicksCase{"offsetRange", 300, 2, 97.3f, 101.1f},
                                           TwoTicksCase{"narrowNegative", 50, 1, -7.9f, -7.1f},
                                           TwoTicksCase{"shortAxis", 3, 1, 0, 1},
                                           TwoTicksCase{"manyIntervals", 500, 400, -1e-6f, 3e-6f},
                                           TwoTicksCase{"hugeValues", 200, 3, 1e30f, 3.3e30f}),
                         CaseName<TwoTicksCase>);

TEST(LinearStepLimits, ARangeTooFineForFloatStepsStillReturns) {
    const vistrel::LinearSteps s = vistrel::ChooseLinearStep(260, 4, 1e7f, 1e7f + 1.0f, 0);
    EXPECT_GT(s.majorStep, 0.0f);
    EXPECT_TRUE(std::isfinite(s.majorStep));
}

TEST(LinearStepLimits, AnEmptyRangeGivesUnitSteps) {
    const vistrel::LinearSteps s = vistrel::ChooseLinearStep(260, 4, 3, 3, 0);
    EXPECT_EQ(s.majorStep, 1.0f);
    EXPECT_EQ(s.minorStep, 1.0f);
}

struct LogCase {
    const char* name;
    int length;
    float ratio, font_scale;
    float code;
};

class LogLevels : public ::testing::TestWithParam<LogCase> {
  protected:
    void TearDown() override { plot = vistrel::Plot{}; }
};

TEST_P(LogLevels, FollowPixelsPerDecade) {
    const LogCase& c = GetParam();
    plot.FontScale = c.font_scale;
    EXPECT_EQ(vistrel::ChooseLogTickLevels(c.length, c.ratio), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogLevels,
    ::testing::Values(LogCase{"above250", 251, 10, 1, 224}, LogCase{"exactly250", 250, 10, 1, 123},
                      LogCase{"above160", 161, 10, 1, 123}, LogCase{"exactly160", 160, 10, 1, 112},
                      LogCase{"above100", 101, 10, 1, 112},
                      LogCase{"threeDecadesIn300", 300, 1000, 1, 12},
                      LogCase{"above40", 41, 10, 1, 12}, LogCase{"exactly40", 40, 10, 1, 1},
                      LogCase{"above7", 8, 10, 1, 1}, LogCase{"exactly7", 7, 10, 1, 0},
                      LogCase{"largerFontNeedsMorePixels", 500, 10, 2, 123},
                      LogCase{"smallerFontNeedsFewer", 130, 10, 0.5f, 224}),
    CaseName<LogCase>);

TEST(LogMantissaSets, HoldTheirMantissas) {
    const std::array<int, 5> counts = {1, 3, 9, 16, 35};
    for (int level = 0; level < 5; ++level) {
        EXPECT_EQ(vistrel::LogMantissaSets[static_cast<size_t>(level)].count,
                  counts[static_cast<size_t>(level)]);
    }
    const auto& densest = vistrel::LogMantissaSets[4];
    EXPECT_TRUE(densest.contains(15));
    EXPECT_TRUE(densest.contains(22));
    EXPECT_FALSE(densest.contains(21));
    EXPECT_FALSE(densest.contains(52));
    EXPECT_TRUE(densest.contains(95));
    EXPECT_TRUE(vistrel::LogMantissaSets[3].contains(25));
    EXPECT_FALSE(vistrel::LogMantissaSets[2].contains(25));
    EXPECT_TRUE(vistrel::LogMantissaSets[1].contains(50));
    EXPECT_FALSE(vistrel::LogMantissaSets[1].contains(30));
    EXPECT_FALSE(vistrel::LogMantissaSets[0].contains(0));
}

struct DecimalsCase {
    const char* name;
    float x;
    int decimals;
};

class Decimals : public ::testing::TestWithParam<DecimalsCase> {};

TEST_P(Decimals, FitTheMagnitude) {
    EXPECT_EQ(vistrel::DecimalsFor(GetParam().x), GetParam().decimals);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decimals,
    ::testing::Values(DecimalsCase{"hundredth", 0.01f, 2}, DecimalsCase{"half", 0.5f, 1},
                      DecimalsCase{"five", 5, 0}, DecimalsCase{"fifty", 50, -1},
                      DecimalsCase{"justBelowATenthCountsAsATenth", 0.09995f, 1},
                      DecimalsCase{"furtherBelowATenth", 0.0999f, 2}, DecimalsCase{"one", 1, 0},
                      DecimalsCase{"zeroHasNoLimit", 0, 99}, DecimalsCase{"thousandth", 0.001f, 3},
                      DecimalsCase{"twoHundredFifty", 250, -2},
                      DecimalsCase{"negativeLikePositive", -250, -2},
                      DecimalsCase{"notANumberHasNoLimit", kNaN, 99}),
    CaseName<DecimalsCase>);

struct TickTextCase {
    const char* name;
    int decimals;
    float value;
    const char* text;
};

class TickTexts : public ::testing::TestWithParam<TickTextCase> {};

TEST_P(TickTexts, AreWritten) {
    EXPECT_EQ(vistrel::FormatTickValue(GetParam().decimals, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TickTexts,
    ::testing::Values(TickTextCase{"zeroWithExponent", -3, 0, "0"},
                      TickTextCase{"thousandsExponent", -3, 12000, "12E3"},
                      TickTextCase{"tenThousandsExponent", -4, 30000, "3E4"},
                      TickTextCase{"negativeExponent", -3, -5000, "-5E3"},
                      TickTextCase{"integerHundreds", -2, 250, "250"},
                      TickTextCase{"integerNegative", -1, -40, "-40"},
                      TickTextCase{"integerRounds", 0, 7.75f, "8"},
                      TickTextCase{"fixedDecimals", 2, 0.25f, "0.25"},
                      TickTextCase{"fixedNegative", 1, -0.5f, "-0.5"},
                      TickTextCase{"fixedAtTwoHundredths", 2, 0.02f, "0.02"},
                      // The single nearest 0.01 lies below the extended 0.01: exponent form,
                      // and three single multiplications leave 9.999999.
                      TickTextCase{"singleHundredthTwoDecimals", 2, 0.01f, "10E-3"},
                      TickTextCase{"singleHundredthThreeDecimals", 3, 0.01f, "10E-3"},
                      TickTextCase{"negativeSingleHundredthTwoDecimals", 2, -0.01f, "-10E-3"},
                      TickTextCase{"negativeSingleHundredthThreeDecimals", 3, -0.01f, "-10E-3"},
                      TickTextCase{"smallWithoutDecimalsLeft", 2, 0.005f, "5E-3"},
                      TickTextCase{"smallWithDecimals", 3, 0.005f, "5E-3"},
                      TickTextCase{"smallKeepsDecimalsBeyondItsExponent", 5, 0.0025f, "2.50E-3"},
                      TickTextCase{"floatRoundingGivesTenEMinusFive", 4, 0.0001f, "10E-5"},
                      TickTextCase{"smallNegative", 3, -0.002f, "-2E-3"},
                      TickTextCase{"twoDigitNegativeExponent", 12, 5e-12f, "5E-12"},
                      TickTextCase{"twoDigitPositiveExponent", -12, 3e12f, "3E12"},
                      TickTextCase{"exponentTen", -10, 3e10f, "3E10"},
                      TickTextCase{"negativeExponentTen", 10, 5e-10f, "5E-10"},
                      TickTextCase{"notANumber", 2, kNaN, "NAN"}),
    CaseName<TickTextCase>);

struct DecadeCase {
    const char* name;
    int exponent, digit;
    const char* text;
};

class DecadeLabels : public ::testing::TestWithParam<DecadeCase> {};

TEST_P(DecadeLabels, AreWritten) {
    EXPECT_EQ(vistrel::FormatDecadeLabel(GetParam().exponent, GetParam().digit), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecadeLabels,
    ::testing::Values(DecadeCase{"one", 0, 1, "1"}, DecadeCase{"nine", 0, 9, "9"},
                      DecadeCase{"ten", 1, 1, "10"}, DecadeCase{"twoHundred", 2, 2, "200"},
                      DecadeCase{"thousand", 3, 1, "1000"}, DecadeCase{"tenth", -1, 1, "0.1"},
                      DecadeCase{"fiveHundredths", -2, 5, "0.05"},
                      DecadeCase{"exponentForMillis", -3, 1, "1E-3"},
                      DecadeCase{"exponentForMillions", 6, 3, "3E6"},
                      DecadeCase{"exponentFive", 5, 1, "1E5"},
                      DecadeCase{"twoDigitExponent", -12, 2, "2E-12"}),
    CaseName<DecadeCase>);

// Rows (or columns) from..to where a grid line has a dot: major lines in runs of four with gaps
// of four, minor lines one dot in eight (positions here are never negative).
std::vector<int> DotsOf(int pattern, int from, int to) {
    std::vector<int> dots;
    for (int i = from; i <= to; ++i) {
        if (pattern == 4 ? i % 8 < 4 : i % 8 == 0)
            dots.push_back(i);
    }
    return dots;
}

TEST(DotPatterns, AreRunsOfFourAndOneInEight) {
    EXPECT_EQ(DotsOf(4, 20, 33), (std::vector<int>{24, 25, 26, 27, 32, 33}));
    EXPECT_EQ(DotsOf(7, 20, 41), (std::vector<int>{24, 32, 40}));
}

struct GridCase {
    const char* name;
    bool vertical;
    bool minor;
    int at;
    int pattern;  // the slot's pattern that the line uses
};

class GridLines : public OneGraph, public ::testing::WithParamInterface<GridCase> {};

TEST_P(GridLines, AreDottedPixelByPixel) {
    const GridCase& c = GetParam();
    box.surface.set_pen_colour(0x0000FF);
    if (c.vertical) {
        vistrel::DrawVerticalGridLine(c.at, c.minor);
    } else {
        vistrel::DrawHorizontalGridLine(c.at, c.minor);
    }
    std::vector<int> along;
    for (const auto& [at, colour] : box.surface.pixels) {
        EXPECT_EQ(colour, 0x0000FFu);
        EXPECT_EQ(c.vertical ? at.first : at.second, c.at);
        along.push_back(c.vertical ? at.second : at.first);
    }
    std::sort(along.begin(), along.end());
    const std::vector<int> expected =
        c.vertical ? DotsOf(c.pattern, 20, 360) : DotsOf(c.pattern, 40, 300);
    EXPECT_EQ(along, expected);
    EXPECT_TRUE(box.surface.segments.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, GridLines,
                         ::testing::Values(GridCase{"verticalMajor", true, false, 100, 4},
                                           GridCase{"verticalMinor", true, true, 101, 7},
                                           GridCase{"horizontalMajor", false, false, 200, 4},
                                           GridCase{"horizontalMinor", false, true, 21, 7}),
                         CaseName<GridCase>);

TEST_F(OneGraph, GridLinesOnTheAxisLinesAreNeverDrawn) {
    for (int pattern : {4, 7, 0}) {
        vistrel::CurrentSlot() = {pattern, pattern, pattern, pattern, 0, 0};
        vistrel::DrawVerticalGridLine(plot.PlotLeft, false);
        vistrel::DrawVerticalGridLine(plot.PlotLeft, true);
        vistrel::DrawHorizontalGridLine(plot.PlotBottom, false);
        vistrel::DrawHorizontalGridLine(plot.PlotBottom, true);
    }
    EXPECT_TRUE(box.surface.calls.empty());
}

TEST_F(OneGraph, ANegativePatternHidesTheLine) {
    vistrel::CurrentSlot() = {-1, -1, -1, -1, 0, 0};
    vistrel::DrawVerticalGridLine(100, false);
    vistrel::DrawHorizontalGridLine(100, true);
    EXPECT_TRUE(box.surface.calls.empty());
}

TEST_F(OneGraph, PatternZeroDrawsSolidLinesAcrossThePlotArea) {
    vistrel::CurrentSlot() = {0, 0, 0, 0, 0, 0};
    box.surface.set_pen_style(vistrel::PenStyle::Dot);
    plot.ZeroLineRow = 190;
    vistrel::DrawVerticalGridLine(100, false);
    vistrel::DrawHorizontalGridLine(190, false);
    vistrel::DrawHorizontalGridLine(100, true);
    ASSERT_EQ(box.surface.segments.size(), 3u);
    const auto& v = box.surface.segments[0];
    EXPECT_EQ(v.from, (vistrel::Point{100, 360}));
    EXPECT_EQ(v.to, (vistrel::Point{100, 20}));
    EXPECT_EQ(v.style, vistrel::PenStyle::Solid);
    const auto& zero = box.surface.segments[1];
    EXPECT_EQ(zero.from, (vistrel::Point{40, 190}));
    EXPECT_EQ(zero.to, (vistrel::Point{300, 190}));
    EXPECT_EQ(zero.width, 2);  // the zero level stands out
    EXPECT_EQ(box.surface.segments[2].width, 1);
    EXPECT_TRUE(box.surface.pixels.empty());
}

TEST_F(OneGraph, GridLinesBeforeAnyGraphDrawNothing) {
    vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.0f);
    box.surface.clear_record();
    vistrel::DrawVerticalGridLine(100, false);
    vistrel::DrawHorizontalGridLine(100, false);
    EXPECT_TRUE(box.surface.calls.empty());
}

struct MixCase {
    const char* name;
    vistrel::Colour c1, c2;
    int w1, w2;
    vistrel::Colour mixed;
};

class Mixes : public ::testing::TestWithParam<MixCase> {};

TEST_P(Mixes, WeighEachChannel) {
    const MixCase& c = GetParam();
    EXPECT_EQ(vistrel::MixColours(c.c1, c.c2, c.w1, c.w2), c.mixed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mixes,
    ::testing::Values(MixCase{"quarterRedOnWhite", 0x0000FF, 0xFFFFFF, 1, 3, 0xBFBFFF},
                      MixCase{"quarterBlackOnWhite", 0x000000, 0xFFFFFF, 1, 3, 0xBFBFBF},
                      MixCase{"channelsTruncate", 0x102031, 0x000000, 1, 1, 0x081018},
                      MixCase{"systemColoursResolve", 0xFF000005, 0x000000, 1, 1, 0x7F7F7F},
                      MixCase{"zeroWeightIsBlack", 0x0000FF, 0xFFFFFF, 0, 3, 0},
                      MixCase{"negativeWeightIsBlack", 0x0000FF, 0xFFFFFF, 1, -1, 0},
                      MixCase{"hugeWeightsDoNotOverflow", 0xFFFFFF, 0xFFFFFF, 2000000000,
                              2000000000, 0xFFFFFF}),
    CaseName<MixCase>);

}  // namespace
