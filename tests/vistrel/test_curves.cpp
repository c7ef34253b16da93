// Curves on the recording canvas: the clipped path against a fixed plot area, the clip start
// that every segment moves, the pending end pixel of one-pixel polylines, and curve calls that
// come before the axes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support_plot_test.h"
#include "support_recording_canvas.h"
#include "tests/recording_platform.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/state.h"

namespace {

using testing_support::RecordingCanvas;
using testing_support::RecordingPaintBox;
using vistrel::plot;
using vistrel::Point;

constexpr vistrel::Colour kRed = 0x0000FF;

// Plot area columns 40..300, rows 20..360 on a 600 x 400 surface; both axes 0..260 x 0..340 so
// that a data point maps to pixel (40 + x, 360 - y).
class CurvesTest : public testing_support::PlotSurfaceTest {
  protected:
    void SetUp() override { Begin(1.0f); }

    void Graph(bool unclipped) {
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, unclipped);
        vistrel::DrawXAxis(0, "", false, 0, 260, 0, 0, false, false);
        vistrel::DrawYAxis(0, "", 1, 0, 340, 0, 0, false, false, false);
        canvas.set_pen_colour(kRed);
        canvas.clear_record();
    }
};

struct ClipCase {
    const char* name;
    Point from, to;
    std::optional<std::pair<Point, Point>> drawn;
};

class ClipTest : public CurvesTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(ClipTest, SegmentIsCutToThePlotArea) {
    const ClipCase& c = GetParam();
    Graph(false);
    plot.ClipStartX = c.from.x;
    plot.ClipStartY = c.from.y;
    vistrel::ClipAndDrawSegment(c.to.x, c.to.y);
    if (c.drawn) {
        ASSERT_EQ(canvas.segments.size(), 1u);
        EXPECT_EQ(canvas.segments[0].from, c.drawn->first);
        EXPECT_EQ(canvas.segments[0].to, c.drawn->second);
    } else {
        EXPECT_TRUE(canvas.calls.empty());
    }
    // Drawn or not, the next segment starts where this one ended.
    EXPECT_EQ(plot.ClipStartX, c.to.x);
    EXPECT_EQ(plot.ClipStartY, c.to.y);
}

using Cut = std::pair<Point, Point>;

INSTANTIATE_TEST_SUITE_P(
    Curves, ClipTest,
    ::testing::Values(
        ClipCase{"InsideUnchanged", {50, 50}, {200, 300}, Cut{{50, 50}, {200, 300}}},
        ClipCase{"EntersFromTheLeft", {20, 100}, {60, 140}, Cut{{40, 120}, {60, 140}}},
        ClipCase{"DrawnLeftToRight", {60, 140}, {20, 100}, Cut{{40, 120}, {60, 140}}},
        ClipCase{
            "LeavesToTheRightOnePixelBeyond", {100, 100}, {400, 100}, Cut{{100, 100}, {301, 100}}},
        ClipCase{"LeavesRightOnASlope", {250, 100}, {350, 200}, Cut{{250, 100}, {301, 151}}},
        ClipCase{"VerticalThroughBothEdges", {100, 0}, {100, 500}, Cut{{100, 20}, {100, 361}}},
        ClipCase{"VerticalUpward", {100, 500}, {100, 0}, Cut{{100, 360}, {100, 19}}},
        ClipCase{"VerticalPointOnTheLeftEdge", {40, 100}, {40, 100}, std::nullopt},
        ClipCase{"EntersThroughTheTop", {100, 0}, {200, 100}, Cut{{120, 20}, {200, 100}}},
        ClipCase{"LeavesThroughTheBottom", {100, 300}, {200, 400}, Cut{{100, 300}, {161, 361}}},
        ClipCase{"LeavesThroughTheTop", {100, 100}, {200, 0}, Cut{{100, 100}, {181, 19}}},
        ClipCase{"EntersThroughTheBottom", {100, 400}, {200, 300}, Cut{{140, 360}, {200, 300}}},
        ClipCase{"HalfRowRoundsToEvenDown", {20, 100}, {60, 101}, Cut{{40, 100}, {60, 101}}},
        ClipCase{"HalfRowRoundsToEvenUp", {20, 100}, {60, 103}, Cut{{40, 102}, {60, 103}}},
        ClipCase{"WhollyLeft", {0, 100}, {30, 200}, std::nullopt},
        ClipCase{"WhollyRight", {310, 100}, {400, 200}, std::nullopt},
        ClipCase{"WhollyAbove", {100, 0}, {200, 10}, std::nullopt},
        ClipCase{"WhollyBelow", {100, 380}, {200, 390}, std::nullopt},
        ClipCase{"CutAtTheLeftThenAtTheTop", {0, 40}, {80, 0}, Cut{{40, 20}, {42, 19}}},
        ClipCase{
            "FarOutsideBothWays", {-32768, -32768}, {32767, 32767}, Cut{{40, 40}, {301, 301}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurvesTest, ClippedPolylineContinuesFromTheLastEndEvenWhenHidden) {
    Graph(false);
    vistrel::PlotMoveTo(-100, 100);  // pixel (-60, 260), left of the plot area
    vistrel::PlotLineTo(-50, 100);   // wholly outside: nothing, but the start moves
    EXPECT_TRUE(canvas.segments.empty());
    EXPECT_EQ(plot.ClipStartX, -10);
    vistrel::PlotLineTo(30, 100);
    ASSERT_EQ(canvas.segments.size(), 1u);
    EXPECT_EQ(canvas.segments[0].from, (Point{40, 260}));
    EXPECT_EQ(canvas.segments[0].to, (Point{70, 260}));
}

TEST_F(CurvesTest, ClippedMoveDoesNotMoveTheCanvasPen) {
    Graph(false);
    const Point before = canvas.pen_pos();
    vistrel::PlotMoveTo(100, 100);
    EXPECT_EQ(canvas.pen_pos(), before);
    EXPECT_EQ(plot.ClipStartX, 140);
    EXPECT_EQ(plot.ClipStartY, 260);
}

struct PendingCase {
    const char* name;
    bool unclipped;
    int penWidth;
    Point end;                   // data point of the last line
    std::optional<Point> pixel;  // painted at the end: the last end that was inside
};

class PendingPixelTest : public CurvesTest, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingPixelTest, LastPointPaintedWhenThePolylineEnds) {
    const PendingCase& c = GetParam();
    for (bool endByMove : {false, true}) {
        SCOPED_TRACE(endByMove ? "ended by PlotMoveTo" : "ended by FinishPlot");
        Graph(c.unclipped);
        canvas.set_pen_width(c.penWidth);
        vistrel::PlotMoveTo(10, 10);
        vistrel::PlotLineTo(50, 60);
        vistrel::PlotLineTo(static_cast<float>(c.end.x), static_cast<float>(c.end.y));
        // The middle point is covered by the second segment; nothing is painted yet.
        EXPECT_TRUE(canvas.pixels.empty());
        if (endByMove) {
            vistrel::PlotMoveTo(0, 0);
        } else {
            vistrel::FinishPlot();
        }
        if (c.pixel) {
            ASSERT_EQ(canvas.pixels.size(), 1u);
            EXPECT_EQ(canvas.pixels.begin()->first, std::make_pair(c.pixel->x, c.pixel->y));
            EXPECT_EQ(canvas.pixels.begin()->second, kRed);
        } else {
            EXPECT_TRUE(canvas.pixels.empty());
        }
        // Painted once only.
        canvas.clear_record();
        vistrel::FinishPlot();
        EXPECT_TRUE(canvas.pixels.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Curves, PendingPixelTest,
    ::testing::Values(PendingCase{"OnePixelPen", true, 1, {100, 200}, Point{140, 160}},
                      PendingCase{"TwoPixelPenCoversItsEnd", true, 2, {100, 200}, std::nullopt},
                      PendingCase{"ClippedInside", false, 1, {100, 200}, Point{140, 160}},
                      // An end cut beyond an edge is not painted; the pixel of the previous end
                      // still is, over the start of the last segment.
                      PendingCase{"ClippedEndBeyondTheTop", false, 1, {100, 400}, Point{90, 300}},
                      PendingCase{"ClippedEndOnTheRightEdge", false, 1, {260, 200}, Point{90, 300}},
                      PendingCase{
                          "UnclippedEndOutsideStillPainted", true, 1, {300, 200}, Point{340, 160}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurvesTest, NothingDrawnBeforeTheVerticalAxis) {
    vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(0, "", false, 0, 260, 0, 0, false, false);
    canvas.clear_record();
    const vistrel::Plot before = plot;
    vistrel::PlotLineTo(100, 100);
    vistrel::PlotMoveTo(10, 10);
    vistrel::PlotLineTo(100, 100);
    EXPECT_TRUE(canvas.calls.empty());
    EXPECT_FALSE(plot.PendingPixel.set);
    EXPECT_EQ(plot.ClipStartX, before.ClipStartX);
    EXPECT_EQ(plot.ClipStartY, before.ClipStartY);
}

TEST_F(CurvesTest, MoveStillPaintsThePendingPixelOfThePreviousGraph) {
    Graph(true);
    vistrel::PlotMoveTo(10, 10);
    vistrel::PlotLineTo(20, 20);
    ASSERT_TRUE(plot.PendingPixel.set);
    plot.AxesReady = false;  // as after the next graph's failed axes
    vistrel::PlotMoveTo(0, 0);
    EXPECT_EQ(canvas.pixels.size(), 1u);
    EXPECT_FALSE(plot.PendingPixel.set);
}

TEST_F(CurvesTest, UnclippedPolylineMapsEveryPointAndDrawsOutsideTheArea) {
    Graph(true);
    vistrel::PlotMoveTo(0, 0);
    vistrel::PlotLineTo(130, 170);
    vistrel::PlotLineTo(400, -100);
    ASSERT_EQ(canvas.segments.size(), 2u);
    EXPECT_EQ(canvas.segments[0].from, (Point{40, 360}));
    EXPECT_EQ(canvas.segments[0].to, (Point{170, 190}));
    EXPECT_EQ(canvas.segments[1].to, (Point{440, 460}));
    EXPECT_EQ(canvas.segments[1].colour, kRed);
}

}  // namespace
