// The screen canvas on an offscreen image: line ends, frames, direct pixel writes mixed with
// painter drawing, fonts, and a whole surface drawn through the plotting unit.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <set>

#include "app/canvas/qt_canvas.h"
#include "recording_platform.h"
#include "support_recording_canvas.h"
#include "vistrel/state.h"

namespace {

using app::ImagePaintBox;
using PixelSet = std::set<std::pair<int, int>>;

class QtCanvasTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing_support::EnsureGuiApplication(); }
    void SetUp() override { vistrel::plot = vistrel::Plot{}; }
    void TearDown() override { vistrel::plot = vistrel::Plot{}; }

    // The pixels of the box that are not white.
    static PixelSet Painted(const ImagePaintBox& box) {
        PixelSet out;
        for (int y = 0; y < box.height(); ++y) {
            for (int x = 0; x < box.width(); ++x) {
                if ((box.image().pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu)
                    out.insert({x, y});
            }
        }
        return out;
    }
};

struct LineCase {
    const char* name;
    int x0, y0, x1, y1;
    PixelSet painted;
};

class ThinLines : public QtCanvasTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ThinLines, LeaveOutTheirEndPixel) {
    const LineCase& c = GetParam();
    ImagePaintBox box(20, 20);
    box.canvas().move_to(c.x0, c.y0);
    box.canvas().line_to(c.x1, c.y1);
    EXPECT_EQ(Painted(box), c.painted);
    EXPECT_EQ(box.canvas().pen_pos(), (vistrel::Point{c.x1, c.y1}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThinLines,
    ::testing::Values(LineCase{"rightward", 2, 5, 6, 5, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
                      LineCase{"leftward", 6, 5, 2, 5, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
                      LineCase{"downward", 5, 2, 5, 5, {{5, 2}, {5, 3}, {5, 4}}},
                      LineCase{"upward", 5, 5, 5, 2, {{5, 5}, {5, 4}, {5, 3}}},
                      LineCase{"diagonal", 1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
                      LineCase{"shallow", 0, 0, 5, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
                      LineCase{"singlePointPaintsNothing", 5, 5, 5, 5, {}},
                      LineCase{
                          "clippedAtTheImageEdge", 17, 3, 40000, 3, {{17, 3}, {18, 3}, {19, 3}}},
                      LineCase{"fromFarOutside", -32768, 7, 2, 7, {{0, 7}, {1, 7}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtCanvasTest, RectangleFillsAndFramesUpToButNotIncludingItsEnd) {
    ImagePaintBox box(10, 8);
    auto& canvas = box.canvas();
    canvas.set_brush_colour(0x00FF00);
    canvas.set_pen_colour(0x0000FF);
    canvas.rectangle(2, 1, 7, 6);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x <= 6 && y >= 1 && y <= 5;
            const bool frame = inside && (x == 2 || x == 6 || y == 1 || y == 5);
            const vistrel::Colour want = frame ? 0x0000FF : inside ? 0x00FF00 : 0xFFFFFF;
            EXPECT_EQ(canvas.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST_F(QtCanvasTest, XorFrameCornersAreInvertedOnlyOnce) {
    ImagePaintBox box(10, 10);
    auto& canvas = box.canvas();
    canvas.set_brush_style(vistrel::BrushStyle::Clear);
    canvas.set_pen_mode(vistrel::PenMode::Xor);
    canvas.set_pen_colour(0xFFFFFF);
    canvas.rectangle(1, 1, 6, 6);
    for (auto [x, y] : {std::pair{1, 1}, {5, 1}, {5, 5}, {1, 5}, {3, 1}}) {
        EXPECT_EQ(canvas.pixel(x, y), 0u) << x << "," << y;
    }
    EXPECT_EQ(canvas.pixel(3, 3), 0xFFFFFFu);
}

TEST_F(QtCanvasTest, DirectPixelWritesAndPainterDrawingKeepTheirOrder) {
    ImagePaintBox box(40, 20);
    auto& canvas = box.canvas();
    canvas.set_pen_width(2);
    canvas.set_pen_colour(0x0000FF);
    canvas.move_to(5, 10);
    canvas.line_to(30, 10);  // painter now active on the image
    canvas.set_pixel(15, 10, 0x00FF00);
    canvas.set_pixel(15, 2, 0x00FF00);
    EXPECT_EQ(canvas.pixel(15, 10), 0x00FF00u);
    canvas.set_pen_colour(0xFF0000);
    canvas.move_to(15, 0);
    canvas.line_to(15, 5);  // painted over the pixel at (15, 2)
    canvas.set_pixel(15, 3, 0x000000);
    box.repaint();  // ends the painter: what it drew must not overwrite later direct writes
    EXPECT_EQ(canvas.pixel(15, 10), 0x00FF00u);
    EXPECT_EQ(canvas.pixel(15, 2), 0xFF0000u);
    EXPECT_EQ(canvas.pixel(15, 3), 0x000000u);
    EXPECT_EQ(canvas.pixel(20, 10), 0x0000FFu);
}

TEST_F(QtCanvasTest, APixelWrittenWhileASnapshotExistsGoesToThePicture) {
    ImagePaintBox box(10, 10);
    box.canvas().set_pen_width(2);
    box.canvas().move_to(0, 0);
    box.canvas().line_to(9, 0);
    const QImage shared = box.image();  // the widget may hold a copy while drawing goes on
    box.canvas().set_pixel(4, 6, 0x0000FF);
    EXPECT_EQ(box.canvas().pixel(4, 6), 0x0000FFu);
    EXPECT_EQ(box.image().pixel(4, 6) & 0xFFFFFFu, 0xFF0000u);
}

TEST_F(QtCanvasTest, WidePolylinesHaveNoGapsAtTheirJoins) {
    ImagePaintBox box(60, 60);
    auto& canvas = box.canvas();
    canvas.set_pen_width(2);
    canvas.set_pen_colour(0);
    const std::vector<vistrel::Point> points = {{10, 10}, {40, 13}, {20, 45}, {50, 50}};
    canvas.move_to(points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) canvas.line_to(points[i].x, points[i].y);
    box.repaint();
    for (const auto& p : points) {
        bool covered = false;
        for (int dy = -1; dy <= 0; ++dy) {
            for (int dx = -1; dx <= 0; ++dx) covered |= canvas.pixel(p.x + dx, p.y + dy) == 0;
        }
        EXPECT_TRUE(covered) << p.x << "," << p.y;
    }
}

TEST_F(QtCanvasTest, TheUnitDrawsAFramedWhiteSurface) {
    ImagePaintBox box(120, 80);
    // Whatever was there before is covered.
    box.canvas().set_brush_colour(0x00FF00);
    box.canvas().rectangle(0, 0, 120, 80);
    testing_support::RecordedPlatform recorded;
    box.set_paint_handler([&box] {
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0x000000, 1.1f);
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
    });
    box.repaint();
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x) {
            const bool frame = x == 0 || y == 0 || x == 119 || y == 79;
            ASSERT_EQ(box.canvas().pixel(x, y), frame ? 0u : 0xFFFFFFu) << x << "," << y;
        }
    }
    EXPECT_TRUE(vistrel::plot.GraphValid);
    EXPECT_GT(vistrel::plot.CharWidth, 0);
    EXPECT_GT(vistrel::plot.CharHeight, 0);
}

TEST_F(QtCanvasTest, ArialIsFoundThroughItsMetricCompatibleFamily) {
    ImagePaintBox box(10, 10);
    EXPECT_TRUE(vistrel::ArialInstalled(box.canvas()));
    testing_support::RecordedPlatform recorded;
    vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.1f);
    EXPECT_EQ(box.canvas().font_name(), "Arial");
    EXPECT_EQ(box.canvas().font_size(), 9);
}

TEST_F(QtCanvasTest, TextIsMeasuredInTheChosenFont) {
    ImagePaintBox box(10, 10);
    auto& canvas = box.canvas();
    canvas.set_font_name("Arial");
    canvas.set_font_size(9);
    const int small_width = canvas.text_width("0000");
    const int small_height = canvas.text_height("0");
    canvas.set_font_size(18);
    EXPECT_GT(canvas.text_width("0000"), small_width);
    EXPECT_GT(canvas.text_height("0"), small_height);
    EXPECT_EQ(canvas.text_width(""), 0);
}

TEST_F(QtCanvasTest, TextIsPlacedByTheTopLeftOfItsCell) {
    ImagePaintBox box(80, 40);
    auto& canvas = box.canvas();
    canvas.set_font_name("Arial");
    canvas.set_font_size(12);
    canvas.set_font_colour(0);
    canvas.set_brush_style(vistrel::BrushStyle::Clear);
    canvas.text_out(10, 10, "8");
    box.repaint();
    const PixelSet ink = Painted(box);
    ASSERT_FALSE(ink.empty());
    for (const auto& [x, y] : ink) {
        EXPECT_GE(x, 10);
        EXPECT_LT(x, 10 + canvas.text_width("8"));
        EXPECT_GE(y, 10);
        EXPECT_LT(y, 10 + canvas.text_height("8"));
    }
}

struct HeightCase {
    const char* name;
    int points, ppi, height;
};

class FontHeights : public QtCanvasTest, public ::testing::WithParamInterface<HeightCase> {};

TEST_P(FontHeights, AreMinusThePixelSize) {
    ImagePaintBox box(10, 10);
    box.qt_canvas().set_pixels_per_inch(GetParam().ppi);
    box.canvas().set_font_size(GetParam().points);
    EXPECT_EQ(box.canvas().pixels_per_inch(), GetParam().ppi);
    EXPECT_EQ(box.canvas().font_height(), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Cases, FontHeights,
                         ::testing::Values(HeightCase{"nineAt96", 9, 96, -12},
                                           HeightCase{"elevenAt96", 11, 96, -15},
                                           HeightCase{"nineAt120", 9, 120, -15},
                                           HeightCase{"sevenAt96", 7, 96, -9}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtCanvasTest, PixelsPerInchComeFromTheScreenUnlessOverridden) {
    ImagePaintBox box(10, 10);
    const int screen = box.canvas().pixels_per_inch();
    EXPECT_GT(screen, 0);
    box.qt_canvas().set_pixels_per_inch(144);
    EXPECT_EQ(box.canvas().pixels_per_inch(), 144);
    box.qt_canvas().set_pixels_per_inch(0);
    EXPECT_EQ(box.canvas().pixels_per_inch(), screen);
}

TEST_F(QtCanvasTest, TheClipboardGetsThePictureAtTheBoxSize) {
    ImagePaintBox box(33, 21);
    box.canvas().set_pixel(5, 6, 0x0000FF);
    box.copy_to_clipboard();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(33, 21));
    EXPECT_EQ(copied.pixel(5, 6) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(copied.pixel(6, 6) & 0xFFFFFFu, 0xFFFFFFu);
}

TEST_F(QtCanvasTest, ResizingGivesAWhitePictureOfTheNewSize) {
    ImagePaintBox box(10, 10);
    box.canvas().set_pen_width(3);
    box.canvas().move_to(0, 5);
    box.canvas().line_to(9, 5);
    box.resize(30, 12);
    box.canvas().set_pen_width(1);
    EXPECT_EQ(box.width(), 30);
    EXPECT_EQ(box.height(), 12);
    EXPECT_TRUE(Painted(box).empty());
    box.canvas().move_to(0, 11);
    box.canvas().line_to(30, 11);
    EXPECT_EQ(Painted(box).size(), 30u);
}

struct CodePageCase {
    const char* name;
    std::string bytes;
    char16_t unicode;
};

class CodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePage, RoundTrips) {
    const QString text = app::FromWindows1252(GetParam().bytes);
    ASSERT_EQ(text.size(), 1);
    EXPECT_EQ(text.at(0).unicode(), GetParam().unicode);
    EXPECT_EQ(app::ToWindows1252(text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodePage,
                         ::testing::Values(CodePageCase{"ascii", "V", u'V'},
                                           CodePageCase{"microSign", "\xB5", u'\u00B5'},
                                           CodePageCase{"euroSign", "\x80", u'\u20AC'},
                                           CodePageCase{"enDash", "\x96", u'\u2013'}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CodePageGaps, UnmappedCharactersBecomeQuestionMarks) {
    EXPECT_EQ(app::FromWindows1252("\x81"), QString("?"));
    EXPECT_EQ(app::ToWindows1252(QString(QChar(u'\u4E00'))), "?");
}

}  // namespace
