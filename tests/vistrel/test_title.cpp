// Graph titles on the recording canvas: placement over the horizontal axis in the larger bold
// font, and the plot font coming back afterwards.
#include <gtest/gtest.h>

#include <string>

#include "support_plot_test.h"
#include "support_recording_canvas.h"
#include "tests/recording_platform.h"
#include "vistrel/axes.h"
#include "vistrel/metafile.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace {

using testing_support::RecordingCanvas;
using testing_support::RecordingPaintBox;
using vistrel::plot;

constexpr vistrel::Colour kRed = 0x0000FF;

// Font scale 1.1: the plot font is Arial 9 (a 7 x 13 "0"), the title font Arial 11, whose "0"
// is made 10 x 18 here.
class TitleTest : public testing_support::PlotSurfaceTest {
  protected:
    void SetUp() override {
        canvas.metrics_by_size[11] = {10, 18};
        Begin(1.1f);
    }

    // Plot area: left 40, width 260, bottom 360, height 140.
    void LowerLeftGraph() {
        vistrel::DefineGraph(0, 50, 55, 100, 40, 0, 0, 40, true);
        vistrel::DrawXAxis(0, "", true, 0, 10, 0, 0, false, false);
        canvas.clear_record();
    }
};

TEST_F(TitleTest, CentredOverTheAxisOneAndAHalfLinesAboveThePlotArea) {
    LowerLeftGraph();
    ASSERT_EQ(plot.PlotHeight, 140);
    vistrel::DrawGraphTitle(kRed, "0123456789");  // 100 pixels wide
    ASSERT_EQ(canvas.texts.size(), 1u);
    const auto& t = canvas.texts[0];
    EXPECT_EQ(t.x, 40 + 130 - 50);
    EXPECT_EQ(t.y, 220 - 18 - 9);
    EXPECT_EQ(t.face, "Arial");
    EXPECT_EQ(t.size, 11);
    EXPECT_TRUE(t.style.bold);
    EXPECT_EQ(t.colour, kRed);
    EXPECT_EQ(canvas.brush_style(), vistrel::BrushStyle::Clear);
}

TEST_F(TitleTest, PlotFontAndMetricsComeBackAfterTheTitle) {
    LowerLeftGraph();
    vistrel::DrawGraphTitle(kRed, "CHANNEL 1");
    EXPECT_EQ(canvas.font_size(), 9);
    EXPECT_EQ(canvas.font_name(), "Arial");
    EXPECT_FALSE(canvas.font_style().bold);
    EXPECT_EQ(plot.CharWidth, 7);
    EXPECT_EQ(plot.CharHeight, 13);
    EXPECT_EQ(canvas.font_colour(), kRed);  // the colour stays
}

TEST_F(TitleTest, EmptyTitleShowsNothingButSwitchesTheFontAndBack) {
    LowerLeftGraph();
    vistrel::DrawGraphTitle(kRed, "");
    for (const auto& t : canvas.texts) EXPECT_TRUE(t.text.empty());
    EXPECT_EQ(canvas.calls_starting("font_size"),
              (std::vector<std::string>{"font_size 11", "font_size 9"}));
}

TEST_F(TitleTest, CentreComesFromTheLastHorizontalAxisOfTheSlot) {
    LowerLeftGraph();
    // The axes of a wider graph in the same slot would move the centre; a title drawn before
    // any axis of a fresh picture uses what the slot kept.
    vistrel::GraphSlot& slot = vistrel::CurrentSlot();
    slot.XAxisOrigin = 100;
    slot.XAxisLength = 401;
    vistrel::DrawGraphTitle(kRed, "0123456789");
    ASSERT_EQ(canvas.texts.size(), 1u);
    EXPECT_EQ(canvas.texts[0].x, 100 + 200 - 50);
}

TEST_F(TitleTest, InvalidGraphGetsNoTitle) {
    vistrel::DefineGraph(0, 5, 55, 100, 40, 0, 0, 40, true);  // narrower than its margin
    ASSERT_FALSE(plot.GraphValid);
    canvas.clear_record();
    vistrel::DrawGraphTitle(kRed, "lost");
    EXPECT_TRUE(canvas.calls.empty());
}

TEST_F(TitleTest, LaterAxesKeepTheirTickLengthsAndLabelSpacing) {
    LowerLeftGraph();
    vistrel::DrawGraphTitle(kRed, "first");
    vistrel::DefineGraph(50, 100, 55, 100, 40, 0, 0, 40, true);
    canvas.clear_record();
    vistrel::DrawXAxis(0, "", false, 0, 10, 0, 0, false, false);
    // The same 0..10 over 260 pixels: six labels a major tick below the axis, as before.
    ASSERT_EQ(canvas.texts.size(), 6u);
    EXPECT_EQ(canvas.texts[0].y, 360 + 8);
    EXPECT_EQ(canvas.texts[0].size, 9);
}

}  // namespace
