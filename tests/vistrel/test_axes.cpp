// The axes of a graph on the recording canvas: tick positions and lengths, label texts and
// places, grid-line dots, titles, the zero snap, logarithmic decades, and axes that must not be
// drawn or must still end on degenerate ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support_plot_test.h"
#include "support_recording_canvas.h"
#include "tests/recording_platform.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace {

using testing_support::RecordingCanvas;
using testing_support::RecordingPaintBox;
using vistrel::plot;

constexpr vistrel::Colour kBlack = 0x000000;

// A 600 x 400 surface at font scale 1: the recording canvas's "0" is 7 x 13 pixels, so major
// ticks are 8 pixels long and minor ticks 5.
class AxesTest : public testing_support::PlotSurfaceTest {
  protected:
    void SetUp() override { Begin(1.0f); }

    // The left half below the title band: plot area columns 40..300, rows 20..360.
    void LeftHalfGraph() { Graph(0, 50); }
    void Graph(int leftPct, int rightPct, int topPct = 5, int rightMargin = 0) {
        vistrel::DefineGraph(leftPct, rightPct, topPct, 100, 40, rightMargin, 0, 40, true);
        canvas.clear_record();
    }
    void XAxis(float min, float max, bool log = false, bool grid = true) {
        vistrel::DrawXAxis(kBlack, "", grid, min, max, 0, 0, log, false);
    }
    void YAxis(float min, float max, int position = 1, bool grid = true, bool log = false,
               const std::string& title = "") {
        vistrel::DrawYAxis(kBlack, title, position, min, max, 0, 0, grid, log, false);
    }

    // Tick marks of the horizontal axis: column -> length (lines hanging down from its row).
    std::map<int, int> XTicks() const {
        std::map<int, int> ticks;
        for (const auto& s : canvas.segments) {
            if (s.from.x == s.to.x && s.from.y == plot.PlotBottom && s.to.y > plot.PlotBottom)
                ticks[s.from.x] = std::max(ticks[s.from.x], s.to.y - s.from.y);
        }
        return ticks;
    }
    // Tick marks of a vertical axis at column: row -> signed length (negative to the left).
    std::map<int, int> YTicks(int column) const {
        std::map<int, int> ticks;
        for (const auto& s : canvas.segments) {
            // A minor tick may fall on a major one; the longer is what shows.
            if (s.from.y == s.to.y && s.from.x == column &&
                std::abs(s.to.x - s.from.x) > std::abs(ticks[s.from.y]))
                ticks[s.from.y] = s.to.x - s.from.x;
        }
        return ticks;
    }
    std::vector<std::string> Labels() const {
        std::vector<std::string> labels;
        for (const auto& t : canvas.texts) labels.push_back(t.text);
        return labels;
    }
    const RecordingCanvas::Text* FindText(const std::string& text) const {
        for (const auto& t : canvas.texts) {
            if (t.text == text)
                return &t;
        }
        return nullptr;
    }
    std::set<int> DotRowsInColumn(int x) const {
        std::set<int> rows;
        for (const auto& [at, colour] : canvas.pixels) {
            if (at.first == x)
                rows.insert(at.second);
        }
        return rows;
    }
    std::set<int> DotColumnsInRow(int y) const {
        std::set<int> columns;
        for (const auto& [at, colour] : canvas.pixels) {
            if (at.second == y)
                columns.insert(at.first);
        }
        return columns;
    }
};

std::set<int> PatternPositions(int from, int to, int pattern) {
    std::set<int> out;
    for (int p = from; p <= to; ++p) {
        if ((p & pattern) == 0)
            out.insert(p);
    }
    return out;
}

TEST_F(AxesTest, ZeroToTenOn260PixelsHasMajorEvery2AndMinorEveryHalf) {
    LeftHalfGraph();
    XAxis(0, 10);
    ASSERT_TRUE(plot.XAxisReady);

    std::map<int, int> expected;
    for (int k = 0; k <= 20; ++k) expected[40 + 13 * k] = k % 4 == 0 ? 8 : 5;
    EXPECT_EQ(XTicks(), expected);
    EXPECT_EQ(Labels(), (std::vector<std::string>{"0", "2", "4", "6", "8", "10"}));
    // Labels are centred under their ticks, just below the major tick length.
    const auto* ten = FindText("10");
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->x, 300 - 7);
    EXPECT_EQ(ten->y, 368);

    // The axis line runs one pixel past the right edge, so the canvas paints column 300.
    ASSERT_FALSE(canvas.segments.empty());
    EXPECT_EQ(canvas.segments.front().from, (vistrel::Point{40, 360}));
    EXPECT_EQ(canvas.segments.front().to, (vistrel::Point{301, 360}));
}

TEST_F(AxesTest, GridLinesAreDashedAtMajorAndDottedAtMinorTicksButNotOnTheAxis) {
    LeftHalfGraph();
    XAxis(0, 10);
    EXPECT_TRUE(DotRowsInColumn(40).empty());
    for (int x : {92, 144, 196, 248, 300})
        EXPECT_EQ(DotRowsInColumn(x), PatternPositions(20, 360, 4)) << "column " << x;
    for (int x : {53, 66, 79, 105, 287})
        EXPECT_EQ(DotRowsInColumn(x), PatternPositions(20, 360, 7)) << "column " << x;
    EXPECT_EQ(canvas.pixels.size(),
              5 * PatternPositions(20, 360, 4).size() + 15 * PatternPositions(20, 360, 7).size());
}

TEST_F(AxesTest, NoGridLeavesOnlyTicks) {
    LeftHalfGraph();
    XAxis(0, 10, false, false);
    EXPECT_TRUE(canvas.pixels.empty());
    EXPECT_EQ(XTicks().size(), 21u);
}

TEST_F(AxesTest, TickNextToZeroIsSnappedAndLabelledZero) {
    LeftHalfGraph();
    XAxis(-0.3f, 0.3f);
    EXPECT_EQ(Labels(),
              (std::vector<std::string>{"-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"}));
    const auto* zero = FindText("0");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->x, 170 - 3);
}

TEST_F(AxesTest, VerticalZeroTickSetsTheZeroLineRowAndAlwaysGetsItsGridLine) {
    LeftHalfGraph();
    XAxis(0, 10);
    ASSERT_EQ(plot.ZeroLineRow, -1);
    canvas.clear_record();
    YAxis(-0.3f, 0.3f, 1, false);
    ASSERT_TRUE(plot.AxesReady);
    EXPECT_EQ(plot.ZeroLineRow, 190);
    const auto* zero = FindText("0");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->y, 190 - 6);
    // Without a grid only the zero level is marked.
    EXPECT_EQ(DotColumnsInRow(190), PatternPositions(40, 300, 4));
    EXPECT_EQ(canvas.pixels.size(), PatternPositions(40, 300, 4).size());
}

struct LogCase {
    const char* name;
    bool vertical;
    float min, max;
    int rightMargin;  // 0: the full-width graph is 560 pixels wide; 260 makes it 300
    std::vector<std::string> labels;
    std::vector<float> majors;  // tick values with major length
    int minorCount;
};

class LogAxisTest : public AxesTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogAxisTest, DecadeLabelsAndTicks) {
    const LogCase& c = GetParam();
    Graph(0, 100, 5, c.rightMargin);
    if (c.vertical) {
        XAxis(0, 1);
        canvas.clear_record();
        YAxis(c.min, c.max, 1, true, true);
        EXPECT_TRUE(plot.YLog);
    } else {
        XAxis(c.min, c.max, true);
        EXPECT_TRUE(plot.XLog);
    }
    EXPECT_EQ(Labels(), c.labels);
    const auto ticks = c.vertical ? YTicks(plot.PlotLeft) : XTicks();
    std::set<int> majors, minors;
    for (const auto& [p, length] : ticks) (std::abs(length) == 8 ? majors : minors).insert(p);
    std::set<int> expectedMajors;
    for (float v : c.majors)
        expectedMajors.insert(c.vertical ? vistrel::YToPixel(v) : vistrel::XToPixel(v));
    EXPECT_EQ(majors, expectedMajors);
    EXPECT_EQ(static_cast<int>(minors.size()), c.minorCount);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, LogAxisTest,
    ::testing::Values(
        // 100 pixels a decade: labels at the decades, majors at 1, 2, 5, minors at the rest.
        LogCase{"OneToThousandOn300Pixels",
                false,
                1,
                1000,
                260,
                {"1", "10", "100", "1000"},
                {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000},
                18},
        // 280 pixels a decade: every digit labelled, except 7 and 9 on a horizontal axis.
        LogCase{
            "DenseHorizontalSkipsSevenAndNine",
            false,
            1,
            100,
            0,
            {"1", "2", "3", "4", "5", "6", "8", "10", "20", "30", "40", "50", "60", "80", "100"},
            {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100},
            26 + 26},
        // 170 pixels a decade on a vertical axis: 1, 2, 5 labelled.
        LogCase{"VerticalLabelsOneTwoFive",
                true,
                1,
                100,
                0,
                {"1", "2", "5", "10", "20", "50", "100"},
                {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100},
                14}),
    [](const auto& info) { return std::string(info.param.name); });

struct LinearFallbackCase {
    const char* name;
    float min, max;
};

class LogFallbackTest : public AxesTest,
                        public ::testing::WithParamInterface<LinearFallbackCase> {};

TEST_P(LogFallbackTest, DrawnLinear) {
    LeftHalfGraph();
    XAxis(GetParam().min, GetParam().max, true);
    EXPECT_TRUE(plot.XAxisReady);
    EXPECT_FALSE(plot.XLog);
    // The middle of a linear axis is the middle of the range.
    EXPECT_EQ(vistrel::XToPixel((GetParam().min + GetParam().max) / 2), 170);
}

INSTANTIATE_TEST_SUITE_P(Axes, LogFallbackTest,
                         ::testing::Values(LinearFallbackCase{"StartsAtZero", 0, 10},
                                           LinearFallbackCase{"StartsBelowZero", -5, 10},
                                           LinearFallbackCase{"LessThanAFactorOfTwo", 5, 9}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PositionCase {
    const char* name;
    int position;
    int rightPct;
    int column;      // of the axis line
    int tickEnd;     // column where the tick at 5 ends
    int labelX;      // left edge of the label "5"
    int titleX;      // left edge of the title "volts"
    int metaLabelX;  // anchor of "5" in the metafile
};

class YPositionTest : public AxesTest, public ::testing::WithParamInterface<PositionCase> {};

// 0..10 over 340 pixels: labels 0..10 by 1, the widest ("10") 14 pixels; "volts" is 35.
TEST_P(YPositionTest, AxisTicksLabelsAndTitle) {
    const PositionCase& c = GetParam();
    Graph(0, c.rightPct);
    XAxis(0, 1);
    canvas.clear_record();
    YAxis(0, 10, c.position, true, false, "volts");
    ASSERT_TRUE(plot.AxesReady);

    const int top = plot.PlotBottom - plot.PlotHeight;
    ASSERT_FALSE(canvas.segments.empty());
    EXPECT_EQ(canvas.segments.front().from, (vistrel::Point{c.column, 360}));
    EXPECT_EQ(canvas.segments.front().to, (vistrel::Point{c.column, top - 1}));

    const int row5 = vistrel::YToPixel(5);
    const auto ticks = YTicks(c.column);
    ASSERT_EQ(ticks.count(row5), 1u);
    EXPECT_EQ(c.column + ticks.at(row5), c.tickEnd);

    const auto* five = FindText("5");
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five->x, c.labelX);
    EXPECT_EQ(five->y, row5 - 6);
    const auto* title = FindText("volts");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x, c.titleX);
    EXPECT_EQ(title->y, top - 13 - 6);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, YPositionTest,
    ::testing::Values(PositionCase{"LeftOutward", 1, 50, 40, 32, 25, 18, 32},
                      PositionCase{"LeftInward", 2, 50, 41, 49, 50, 40, 49},
                      PositionCase{"RightInward", 3, 50, 299, 291, 284, 265, 291},
                      PositionCase{"RightOutward", 4, 50, 300, 308, 309, 287, 308},
                      // The title of a right-hand axis stays inside the surface.
                      PositionCase{"RightOutwardAtSurfaceEdge", 4, 100, 600, 608, 609, 565, 608}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AxesTest, AtSignLiftsTheVerticalTitleOneLineAndIsDropped) {
    LeftHalfGraph();
    XAxis(0, 1);
    YAxis(0, 10, 1, true, false, "volts");
    YAxis(0, 10, 1, true, false, "@volts");
    std::vector<const RecordingCanvas::Text*> titles;
    for (const auto& t : canvas.texts) {
        if (t.text.find("volts") != std::string::npos)
            titles.push_back(&t);
    }
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[1]->text, "volts");
    EXPECT_EQ(titles[1]->x, titles[0]->x);
    EXPECT_EQ(titles[1]->y, titles[0]->y - 13);
}

TEST_F(AxesTest, AtSignTitleKeepsAtMost99Characters) {
    LeftHalfGraph();
    XAxis(0, 1);
    canvas.clear_record();
    YAxis(0, 10, 1, true, false, "@" + std::string(150, 'v'));
    ASSERT_FALSE(canvas.texts.empty());
    EXPECT_EQ(canvas.texts.back().text, std::string(99, 'v'));
}

TEST_F(AxesTest, HorizontalTitleIsCentredBelowTheLabels) {
    LeftHalfGraph();
    vistrel::DrawXAxis(kBlack, "frequency", true, 0, 10, 0, 0, false, false);
    const auto* title = FindText("frequency");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x, 170 - 63 / 2);
    EXPECT_EQ(title->y, 360 + 8 + 13);
    EXPECT_EQ(vistrel::CurrentSlot().XAxisOrigin, 40);
    EXPECT_EQ(vistrel::CurrentSlot().XAxisLength, 260);
}

TEST_F(AxesTest, FixedFormatLabelsUseTheStepsDecimals) {
    LeftHalfGraph();
    vistrel::DrawXAxis(kBlack, "", true, 0, 0.07f, 0, 0, false, true);
    // 0.07 over 7 intervals: steps of 0.01, two decimals, even for the zero.
    EXPECT_EQ(Labels(), (std::vector<std::string>{"0.00", "0.01", "0.02", "0.03", "0.04", "0.05",
                                                  "0.06", "0.07"}));
}

TEST_F(AxesTest, ResolutionLimitsTheStepAndTheDecimals) {
    LeftHalfGraph();
    vistrel::DrawXAxis(kBlack, "", false, 0, 1, 0.5f, 0, false, false);
    // The step rises from 0.2 to the resolution; the one decimal of 0.2 stays.
    EXPECT_EQ(Labels(), (std::vector<std::string>{"0", "0.5", "1.0"}));
}

struct NotDrawnCase {
    const char* name;
    int graphRightPct;  // 0 gives an empty plot area
    float xMin, xMax;
    int position;
    float yMin, yMax;
    bool xReady;
};

class AxisNotDrawnTest : public AxesTest, public ::testing::WithParamInterface<NotDrawnCase> {};

TEST_P(AxisNotDrawnTest, NothingDrawnAndCurvesStayOff) {
    const NotDrawnCase& c = GetParam();
    Graph(0, c.graphRightPct);
    XAxis(c.xMin, c.xMax);
    EXPECT_EQ(plot.XAxisReady, c.xReady);
    if (!c.xReady) {
        EXPECT_TRUE(canvas.calls.empty());
    }
    canvas.clear_record();
    YAxis(c.yMin, c.yMax, c.position);
    EXPECT_FALSE(plot.AxesReady);
    vistrel::PlotMoveTo(0, 0);
    vistrel::PlotLineTo(1, 1);
    EXPECT_TRUE(canvas.calls.empty());
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Axes, AxisNotDrawnTest,
    ::testing::Values(NotDrawnCase{"EmptyPlotArea", 0, 0, 10, 1, 0, 1, false},
                      NotDrawnCase{"EqualXRange", 50, 5, 5, 1, 0, 1, false},
                      NotDrawnCase{"FallingXRange", 50, 10, 0, 1, 0, 1, false},
                      NotDrawnCase{"NaNXRange", 50, kNaN, 10, 1, 0, 1, false},
                      NotDrawnCase{"InfiniteXEnd", 50, 0, kInf, 1, 0, 1, false},
                      NotDrawnCase{"InfiniteXStart", 50, -kInf, 0, 1, 0, 1, false},
                      NotDrawnCase{"EqualYRange", 50, 0, 10, 1, 2, 2, true},
                      NotDrawnCase{"InfiniteYEnd", 50, 0, 10, 1, 0, kInf, true},
                      NotDrawnCase{"PositionZero", 50, 0, 10, 0, 0, 1, true},
                      NotDrawnCase{"PositionFive", 50, 0, 10, 5, 0, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AxesTest, NinthGraphDrawsNoAxes) {
    for (int i = 0; i < 8; ++i) vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
    vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
    canvas.clear_record();
    XAxis(0, 10);
    YAxis(0, 10);
    EXPECT_FALSE(plot.AxesReady);
    EXPECT_TRUE(canvas.calls.empty());
}

struct ExtremeCase {
    const char* name;
    bool vertical;
    float min, max;
    bool log;
};

class ExtremeRangeTest : public AxesTest, public ::testing::WithParamInterface<ExtremeCase> {};

// Each of these would loop for ever if a tick loop waited for the value to pass the range.
TEST_P(ExtremeRangeTest, AxisEndsWithFewTicks) {
    const ExtremeCase& c = GetParam();
    LeftHalfGraph();
    if (c.vertical) {
        XAxis(0, 1);
        canvas.clear_record();
        YAxis(c.min, c.max, 1, true, c.log);
        EXPECT_TRUE(plot.AxesReady);
    } else {
        XAxis(c.min, c.max, c.log);
        EXPECT_TRUE(plot.XAxisReady);
    }
    // The axis line and at most a tick per pixel of its length.
    EXPECT_GE(canvas.segments.size(), 1u);
    EXPECT_LE(canvas.segments.size(), 400u);
}

constexpr float kMaxFloat = std::numeric_limits<float>::max();

INSTANTIATE_TEST_SUITE_P(
    Axes, ExtremeRangeTest,
    ::testing::Values(ExtremeCase{"WholeFloatRange", false, -kMaxFloat, kMaxFloat, false},
                      ExtremeCase{"TinyAgainstMagnitude", false, 1e8f, 1.00000008e8f, false},
                      ExtremeCase{"TinyAgainstMagnitudeVertical", true, 1e8f, 1.00000008e8f, false},
                      ExtremeCase{"OneUlpAtOne", false, 1.0f, 1.00000012f, false},
                      ExtremeCase{"LogOverAllDecades", false, 1e-45f, kMaxFloat, true},
                      ExtremeCase{"LogWithinOneFloatDecade", true, 1e-45f, 1e-38f, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AxesTest, AxisLeavesPenInAxisColourAndTextWithoutBackground) {
    LeftHalfGraph();
    vistrel::DrawXAxis(0x00FF00, "t", true, 0, 10, 0, 0, false, false);
    EXPECT_EQ(canvas.pen_colour(), 0x00FF00u);
    EXPECT_EQ(canvas.font_colour(), 0x00FF00u);
    EXPECT_EQ(canvas.brush_style(), vistrel::BrushStyle::Clear);
    for (const auto& [at, colour] : canvas.pixels) EXPECT_EQ(colour, 0x00FF00u);
}

}  // namespace
