// Plot surface set-up, graph regions, the plot font and the pending end pixel.
#include <gtest/gtest.h>

#include <cstdio>

#include "recording_platform.h"
#include "support_recording_canvas.h"
#include "vistrel/metafile.h"
#include "vistrel/state.h"

namespace {

using testing_support::RecordingPaintBox;
using vistrel::plot;

class PlotState : public ::testing::Test {
  protected:
    void SetUp() override { plot = vistrel::Plot{}; }
    void TearDown() override { plot = vistrel::Plot{}; }
    void Init(RecordingPaintBox& box, float scale = 1.1f) {
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0x000000, scale);
    }
    testing_support::RecordedPlatform recorded;
};

TEST_F(PlotState, InitPlotSurfaceFillsAndFramesTheSurface) {
    RecordingPaintBox box(600, 400);
    Init(box);
    EXPECT_EQ(box.surface.calls_starting("rectangle"),
              std::vector<std::string>{"rectangle 0 0 600 400"});
    EXPECT_EQ(box.surface.brush_colour(), 0xFFFFFFu);
    EXPECT_EQ(box.surface.brush_style(), vistrel::BrushStyle::Solid);
    EXPECT_EQ(box.surface.pen_colour(), 0u);
    EXPECT_EQ(box.surface.pen_width(), 1);
    EXPECT_EQ(box.surface.pen_style(), vistrel::PenStyle::Solid);
    EXPECT_EQ(box.surface.pen_mode(), vistrel::PenMode::Copy);
    EXPECT_EQ(plot.SurfaceWidth, 600);
    EXPECT_EQ(plot.SurfaceHeight, 400);
    EXPECT_EQ(plot.PlotCanvas, &box.surface);
    // The arrow cursor is back before drawing starts.
    ASSERT_FALSE(recorded.platform.cursor_changes.empty());
    EXPECT_FALSE(recorded.platform.cursor_changes.back());
}

TEST_F(PlotState, InitPlotSurfaceDrawsTheRectangleWithTheNewPenAndBrush) {
    RecordingPaintBox box;
    box.surface.set_pen_width(3);
    box.surface.set_brush_style(vistrel::BrushStyle::Clear);
    box.surface.clear_record();
    Init(box);
    const auto& calls = box.surface.calls;
    const auto rect = std::find(calls.begin(), calls.end(), "rectangle 0 0 600 400");
    ASSERT_NE(rect, calls.end());
    for (const char* setting : {"brush_style 0", "pen_width 1", "pen_style 0", "pen_mode 0"}) {
        EXPECT_LT(std::find(calls.begin(), calls.end(), setting), rect) << setting;
    }
}

struct TickCase {
    const char* name;
    int char_width;
    int major;
    int minor;
};

class TickLengths : public PlotState, public ::testing::WithParamInterface<TickCase> {};

TEST_P(TickLengths, FollowTheWidthOfTheDigitZero) {
    RecordingPaintBox box;
    box.surface.char_width = GetParam().char_width;
    Init(box);
    EXPECT_EQ(plot.CharWidth, GetParam().char_width);
    EXPECT_EQ(plot.MajorTickLength, GetParam().major);
    EXPECT_EQ(plot.MinorTickLength, GetParam().minor);
}

INSTANTIATE_TEST_SUITE_P(Cases, TickLengths,
                         ::testing::Values(TickCase{"width7", 7, 8, 5}, TickCase{"width6", 6, 7, 4},
                                           TickCase{"width1", 1, 2, 2},
                                           TickCase{"width0", 0, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RegionCase {
    const char* name;
    int surface_w, surface_h;
    int xl, xr, yt, yb, ml, mr, mt, mb;
    int left, bottom, width, height;
    bool valid;
};

class Regions : public PlotState, public ::testing::WithParamInterface<RegionCase> {};

TEST_P(Regions, GiveThePlotArea) {
    const RegionCase& c = GetParam();
    RecordingPaintBox box(c.surface_w, c.surface_h);
    Init(box);
    vistrel::DefineGraph(c.xl, c.xr, c.yt, c.yb, c.ml, c.mr, c.mt, c.mb, true);
    EXPECT_EQ(plot.PlotLeft, c.left);
    EXPECT_EQ(plot.PlotBottom, c.bottom);
    EXPECT_EQ(plot.PlotWidth, c.width);
    EXPECT_EQ(plot.PlotHeight, c.height);
    EXPECT_EQ(plot.GraphValid, c.valid);
    EXPECT_EQ(plot.CurrentGraph, 1);
    EXPECT_EQ(plot.GraphCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Regions,
    ::testing::Values(RegionCase{"leftHalfBelowTopStrip", 600, 400, 0, 50, 5, 100, 40, 0, 0, 40, 40,
                                 360, 260, 340, true},
                      RegionCase{"reversedPercentagesAreSwapped", 600, 400, 80, 20, 100, 5, 40, 0,
                                 0, 40, 160, 360, 320, 340, true},
                      RegionCase{"percentagesBeyondTheSurfaceAreCut", 600, 400, -10, 120, -10, 120,
                                 40, 0, 0, 40, 40, 360, 560, 360, true},
                      RegionCase{"regionNarrowerThanTheMargins", 600, 400, 0, 5, 0, 100, 40, 0, 0,
                                 40, 40, 360, -10, 360, false},
                      RegionCase{"regionExactlyAsWideAsTheMargins", 400, 400, 0, 10, 0, 100, 20, 20,
                                 0, 0, 20, 400, 0, 400, false},
                      RegionCase{"regionLowerThanTheMargins", 600, 400, 0, 100, 0, 10, 40, 0, 0, 40,
                                 40, 0, 560, 0, false},
                      RegionCase{"edgesRoundHalfToEven", 602, 402, 25, 75, 25, 75, 0, 0, 0, 0, 150,
                                 302, 302, 202, true},
                      RegionCase{"edgesRoundHalfUpToEven", 606, 406, 25, 75, 25, 75, 0, 0, 0, 0,
                                 152, 304, 302, 202, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlotState, DefineGraphSetsItsPenAndBrushAndClearsTheAxes) {
    RecordingPaintBox box;
    Init(box);
    plot.AxesReady = true;
    box.surface.set_pen_width(2);
    box.surface.set_pen_style(vistrel::PenStyle::Dot);
    box.surface.set_brush_colour(0x123456);
    box.surface.set_brush_style(vistrel::BrushStyle::Clear);
    vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, false);
    EXPECT_FALSE(plot.AxesReady);
    EXPECT_FALSE(plot.DrawUnclipped);
    EXPECT_EQ(box.surface.pen_width(), 1);
    EXPECT_EQ(box.surface.pen_style(), vistrel::PenStyle::Solid);
    EXPECT_EQ(box.surface.brush_colour(), 0xFFFFFFu);
    EXPECT_EQ(box.surface.brush_style(), vistrel::BrushStyle::Solid);
}

TEST_F(PlotState, TheNinthGraphOnlyLosesItsValidity) {
    RecordingPaintBox box;
    Init(box);
    for (int i = 0; i < 8; ++i) vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, true);
    plot.AxesReady = true;
    const vistrel::Plot before = plot;
    box.surface.clear_record();
    vistrel::DefineGraph(0, 50, 0, 50, 10, 0, 0, 10, false);
    EXPECT_FALSE(plot.GraphValid);
    EXPECT_EQ(plot.GraphCount, 8);
    EXPECT_EQ(plot.CurrentGraph, 8);
    EXPECT_EQ(plot.PlotLeft, before.PlotLeft);
    EXPECT_EQ(plot.PlotWidth, before.PlotWidth);
    EXPECT_EQ(plot.PlotBottom, before.PlotBottom);
    EXPECT_EQ(plot.PlotHeight, before.PlotHeight);
    EXPECT_EQ(plot.DrawUnclipped, before.DrawUnclipped);
    EXPECT_EQ(plot.AxesReady, before.AxesReady);
    EXPECT_TRUE(box.surface.calls.empty());
}

TEST_F(PlotState, ANewPictureStartsFromSlotOneWithFreshGridPatterns) {
    RecordingPaintBox box;
    Init(box);
    for (int i = 0; i < 8; ++i) vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, true);
    vistrel::Slot(3).VGridMajorPattern = -1;
    vistrel::Slot(3).HGridMinorPattern = 0;
    vistrel::Slot(3).XAxisOrigin = 77;
    vistrel::Slot(3).XAxisLength = 123;
    Init(box);
    EXPECT_EQ(plot.GraphCount, 0);
    EXPECT_EQ(plot.CurrentGraph, 0);
    EXPECT_FALSE(plot.GraphValid);
    for (int n = 1; n <= vistrel::kMaxGraphs; ++n) {
        const vistrel::GraphSlot& s = vistrel::Slot(n);
        EXPECT_EQ(s.VGridMajorPattern, 4) << n;
        EXPECT_EQ(s.VGridMinorPattern, 7) << n;
        EXPECT_EQ(s.HGridMajorPattern, 4) << n;
        EXPECT_EQ(s.HGridMinorPattern, 7) << n;
    }
    // The axis values stay as the previous picture left them.
    EXPECT_EQ(vistrel::Slot(3).XAxisOrigin, 77);
    EXPECT_EQ(vistrel::Slot(3).XAxisLength, 123);
    vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, true);
    EXPECT_EQ(plot.CurrentGraph, 1);
}

TEST_F(PlotState, SlotsOutsideOneToEightAreAScratchSlot) {
    vistrel::Slot(0).VGridMajorPattern = 99;
    vistrel::Slot(9).VGridMajorPattern = 99;
    for (const auto& s : plot.GraphSlots) EXPECT_EQ(s.VGridMajorPattern, 0);
    EXPECT_EQ(vistrel::Slot(0).VGridMajorPattern, 0);
}

struct FontCase {
    const char* name;
    float scale;
    bool arial_listed;
    const char* arial_resolves_to;
    const char* face;
    int size;
};

class PlotFonts : public PlotState, public ::testing::WithParamInterface<FontCase> {};

TEST_P(PlotFonts, ChooseFaceAndSize) {
    const FontCase& c = GetParam();
    RecordingPaintBox box;
    box.surface.families = {"Courier New"};
    if (c.arial_listed)
        box.surface.families.push_back("Arial");
    box.surface.substitutes["Arial"] = c.arial_resolves_to;
    Init(box, c.scale);
    EXPECT_EQ(box.surface.font_name(), c.face);
    EXPECT_EQ(box.surface.font_size(), c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlotFonts,
    ::testing::Values(
        FontCase{"scale0IsScale1", 0.0f, true, "Arial", "Arial", 8},
        FontCase{"scale0p9SmallFonts", 0.9f, true, "Arial", "Small Fonts", 7},
        FontCase{"scale0p9SmallFontsWithoutArial", 0.9f, false, "DejaVu Sans", "Small Fonts", 7},
        FontCase{"scale1p1Arial", 1.1f, true, "Arial", "Arial", 9},
        FontCase{"scale1p1WithoutArial", 1.1f, false, "DejaVu Sans", "MS Sans Serif", 8},
        FontCase{"scale1p32Arial", 1.32f, true, "Arial", "Arial", 11},
        FontCase{"scale1p32WithoutArial", 1.32f, false, "DejaVu Sans", "MS Sans Serif", 10},
        FontCase{"arialResolvedToLiberationSans", 1.1f, false, "Liberation Sans", "Arial", 9},
        FontCase{"arialResolvedToArimo", 1.32f, false, "Arimo", "Arial", 11},
        FontCase{"size7p5IsNotSmallFonts", 0.9375f, true, "Arial", "Arial", 8},
        FontCase{"size10p5RoundsToEven", 1.3125f, true, "Arial", "Arial", 10},
        FontCase{"ladderJustBelow13", 1.6f, false, "DejaVu Sans", "MS Sans Serif", 12},
        FontCase{"ladder13Gives14", 1.625f, false, "DejaVu Sans", "MS Sans Serif", 14},
        FontCase{"ladder16Gives18", 2.0f, false, "DejaVu Sans", "MS Sans Serif", 18},
        FontCase{"ladderTopIs24", 3.0f, false, "DejaVu Sans", "MS Sans Serif", 24}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlotState, ScaleZeroIsStoredAsOne) {
    RecordingPaintBox box;
    Init(box, 0.0f);
    EXPECT_EQ(plot.FontScale, 1.0f);
}

TEST_F(PlotState, SetPlotFontMeasuresTheDigitZeroInTheNewFont) {
    RecordingPaintBox box;
    box.surface.metrics_by_size[9] = {7, 15};
    box.surface.metrics_by_size[11] = {8, 18};
    Init(box, 1.1f);
    EXPECT_EQ(plot.CharWidth, 7);
    EXPECT_EQ(plot.CharHeight, 15);
    box.surface.set_font_style({true, false, false, false});
    box.surface.set_font_colour(0x0000FF);
    vistrel::SetPlotFont(1.32f);
    EXPECT_EQ(plot.CharWidth, 8);
    EXPECT_EQ(plot.CharHeight, 18);
    // Style and colour belong to the caller.
    EXPECT_TRUE(box.surface.font_style().bold);
    EXPECT_EQ(box.surface.font_colour(), 0x0000FFu);
}

TEST_F(PlotState, APendingPixelIsPaintedOnceInItsOwnColour) {
    RecordingPaintBox box;
    Init(box);
    box.surface.clear_record();
    box.surface.set_pen_colour(0x00FF00);
    vistrel::SetPendingPixel(120, 80, 0x0000FF);
    EXPECT_TRUE(plot.PendingPixel.set);
    EXPECT_TRUE(box.surface.pixels.empty());
    vistrel::FlushPendingPixel();
    EXPECT_FALSE(plot.PendingPixel.set);
    EXPECT_EQ(box.surface.calls_starting("set_pixel"),
              std::vector<std::string>{"set_pixel 120 80 0x0000ff"});
    vistrel::FlushPendingPixel();
    EXPECT_EQ(box.surface.calls_starting("set_pixel").size(), 1u);
}

TEST_F(PlotState, TheNextGraphPaintsWhatThePreviousLeftPending) {
    RecordingPaintBox box;
    Init(box);
    vistrel::DefineGraph(0, 50, 0, 100, 40, 0, 0, 40, true);
    vistrel::SetPendingPixel(60, 70, 0x0000FF);
    box.surface.clear_record();
    vistrel::DefineGraph(50, 100, 0, 100, 40, 0, 0, 40, true);
    EXPECT_FALSE(plot.PendingPixel.set);
    EXPECT_EQ(box.surface.calls_starting("set_pixel"),
              std::vector<std::string>{"set_pixel 60 70 0x0000ff"});
}

TEST_F(PlotState, ANewPictureForgetsThePendingPixel) {
    RecordingPaintBox box;
    Init(box);
    vistrel::SetPendingPixel(60, 70, 0x0000FF);
    box.surface.clear_record();
    Init(box);
    vistrel::DefineGraph(0, 100, 0, 100, 40, 0, 0, 40, true);
    EXPECT_FALSE(plot.PendingPixel.set);
    EXPECT_TRUE(box.surface.pixels.empty());
}

}  // namespace

namespace {

// While a metafile is recorded, a new picture opens with the prologue and a painted end pixel
// becomes a set-pixel record.
TEST_F(PlotState, RecordingWritesThePrologueAndPendingPixels) {
    const std::string dir = ::testing::TempDir();
    std::string name = dir + "state_recording";
    bool ok = false;
    vistrel::OpenMetafile(name, ok);
    ASSERT_TRUE(ok) << name;
    plot.MetafileRecording = true;
    RecordingPaintBox box(600, 400);
    Init(box);
    const int afterPrologue = vistrel::metafile.MetaTotalWords;
    EXPECT_GT(afterPrologue, 20);
    vistrel::SetPendingPixel(5, 6, 0x0000FF);
    vistrel::FlushPendingPixel();
    EXPECT_EQ(vistrel::metafile.MetaTotalWords, afterPrologue + 7);
    vistrel::CloseMetafile(600, 400, 96, ok);
    plot.MetafileRecording = false;
    EXPECT_TRUE(ok);
    std::remove(name.c_str());
}

}  // namespace
