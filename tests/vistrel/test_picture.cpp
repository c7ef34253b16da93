// Whole pictures through the plotting unit: a waveform graph and a spectrum graph drawn on the
// Qt canvas offscreen (saved as PNG in the build folder, with pixel checks), and the same
// drawing recorded as a metafile, whose lines and texts must be exactly what the canvas got,
// read back record by record and by libwmf's wmf2svg.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/canvas/qt_canvas.h"
#include "support_recording_canvas.h"
#include "support_wmf.h"
#include "tests/recording_platform.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/output.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace {

using vistrel::plot;

constexpr vistrel::Colour kBlack = 0x000000;
constexpr vistrel::Colour kWhite = 0xFFFFFF;
constexpr vistrel::Colour kRed = 0x0000FF;
constexpr vistrel::Colour kBlue = 0xFF0000;
constexpr int kSamples = 501;
constexpr int kLines = 40;

float Sine(int j) {
    return static_cast<float>(std::sin(2 * M_PI * j / (kSamples - 1) * 2));
}

// A 2-period sine over 10 ms in the upper half, a 40-line spectrum over 5 kHz in the lower
// half, as the program shows one channel's waveform and spectrum.
void DrawWaveformAndSpectrum(vistrel::PaintBox& box) {
    vistrel::InitPlotSurface(box, kWhite, kBlack, 1.1f);
    vistrel::DefineGraph(0, 100, 5, 50, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(kBlack, "time (milliseconds)", true, 0, 10, 0, 0, false, false);
    vistrel::DrawYAxis(kBlack, "voltage", 1, -1.05f, 1.05f, 0, 0, true, false, false);
    plot.PlotCanvas->set_pen_width(2);
    plot.PlotCanvas->set_pen_colour(kRed);
    vistrel::PlotMoveTo(0, Sine(0));
    for (int j = 1; j < kSamples; ++j) vistrel::PlotLineTo(10.0f * j / (kSamples - 1), Sine(j));
    vistrel::DrawGraphTitle(kRed, "CHANNEL 1    [T=5 ms; f=200 Hz; Vrms=707.1 mv ]");

    vistrel::DefineGraph(0, 100, 55, 100, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(kBlack, "frequency", true, 0, 5000, 0, 0, false, false);
    vistrel::DrawYAxis(kBlack, "amplitude", 1, 0, 1, 0, 0, true, false, false);
    plot.PlotCanvas->set_pen_width(2);
    plot.PlotCanvas->set_pen_colour(kBlue);
    for (int i = 1; i <= kLines; ++i) {
        vistrel::PlotMoveTo(100.0f * i, 0);
        vistrel::PlotLineTo(100.0f * i, 1.0f / i);
    }
    vistrel::DrawGraphTitle(kBlue, "FFT for Ch 1");
    vistrel::FinishPlot();
}

class PictureTest : public ::testing::Test {
  protected:
    testing_support::RecordedPlatform platform;
    void SetUp() override {
        testing_support::EnsureGuiApplication();
        plot = vistrel::Plot{};
        vistrel::ReleaseMetafileWriter();
        vistrel::metafile = vistrel::MetafileState{};
    }
    void TearDown() override {
        vistrel::ReleaseMetafileWriter();
        plot = vistrel::Plot{};
    }
};

vistrel::Colour PixelAt(const QImage& image, int x, int y) {
    const QRgb rgb = image.pixel(x, y);
    return static_cast<vistrel::Colour>(qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16);
}

// Some pixel of the colour within the rows of a column.
bool ColourInColumn(const QImage& image, int x, int fromRow, int toRow, vistrel::Colour c) {
    for (int y = fromRow; y <= toRow; ++y) {
        if (PixelAt(image, x, y) == c)
            return true;
    }
    return false;
}

TEST_F(PictureTest, WaveformAndSpectrumOnTheQtCanvas) {
    const char* buildDir = std::getenv("HP_BUILD_DIR");
    ASSERT_NE(buildDir, nullptr) << "HP_BUILD_DIR names the folder for the picture";
    app::ImagePaintBox box(600, 400);
    box.set_paint_handler([&box] { DrawWaveformAndSpectrum(box); });
    box.repaint();
    box.qt_canvas().end_painting();
    const QImage image = box.image().copy();
    const std::string path = std::string(buildDir) + "/vistrel_picture.png";
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;

    // The surface's frame.
    for (auto [x, y] : {std::pair{0, 0}, {599, 0}, {0, 399}, {599, 399}, {300, 0}, {0, 200}})
        EXPECT_EQ(PixelAt(image, x, y), kBlack) << x << "," << y;
    EXPECT_EQ(PixelAt(image, 5, 5), kWhite);

    // Both graphs: plot areas 40..600 wide, rows 20..160 and 220..360. The sine starts on the
    // vertical axis at row 90; the spectrum lines, up to 4 kHz, stand on the horizontal one.
    for (int x = 40; x < 599; ++x) {
        EXPECT_EQ(PixelAt(image, x, 160), kBlack) << "x axis at " << x;
        const vistrel::Colour under = PixelAt(image, x, 360);
        EXPECT_TRUE(under == kBlack || (under == kBlue && x < 500)) << "x axis at " << x;
    }
    for (int y = 20; y <= 360; ++y) {
        const bool onAxis = y <= 160 || y >= 220;
        if (onAxis && std::abs(y - 90) > 4) {
            EXPECT_EQ(PixelAt(image, 40, y), kBlack) << "y axis at " << y;
        }
    }

    // The sine's crest a quarter period in (1.25 ms), and its trough at 3.75 ms.
    const auto column = [](float ms) { return 40 + static_cast<int>(std::lround(ms * 56)); };
    const auto row = [](float v) {
        return 160 - static_cast<int>(std::lround((v + 1.05) / 2.1 * 140));
    };
    EXPECT_TRUE(ColourInColumn(image, column(1.25f), row(1) - 2, row(1) + 2, kRed));
    EXPECT_TRUE(ColourInColumn(image, column(3.75f), row(-1) - 2, row(-1) + 2, kRed));
    EXPECT_FALSE(ColourInColumn(image, column(1.25f), row(-1) - 2, row(-1) + 2, kRed));

    // The spectrum line at 1 kHz (amplitude 0.1) rises 14 pixels from the axis; the column of
    // the line at 1.05 kHz, between two lines, has no blue.
    const int line = 40 + 1000 * 560 / 5000;
    EXPECT_TRUE(ColourInColumn(image, line, 350, 355, kBlue) ||
                ColourInColumn(image, line + 1, 350, 355, kBlue));
    EXPECT_FALSE(ColourInColumn(image, line + 3, 221, 359, kBlue));
    EXPECT_TRUE(ColourInColumn(image, line, 300, 359, kBlue) ||
                ColourInColumn(image, line - 1, 300, 359, kBlue));
}

// ---- The metafile of a picture against what the canvas received ----

struct Line {
    int x1, y1, x2, y2;
    auto operator<=>(const Line&) const = default;
};

struct ReplayedPen {
    int style = 0;
    vistrel::Colour colour = 0;
};

struct Replay {
    std::vector<Line> lines;
    std::vector<ReplayedPen> pens;  // the pen of each line
    std::vector<std::string> texts;
    int moveTos = 0;
    int lineTos = 0;
};

int16_t Signed(uint16_t w) {
    return static_cast<int16_t>(w);
}

// Follows the metafile's pen position and pen through the records, as a reader would.
Replay ReplayRecords(const std::vector<wmf_support::Record>& records) {
    Replay r;
    ReplayedPen pen;
    int x = 0, y = 0;
    for (const auto& rec : records) {
        switch (rec.function) {
            case vistrel::MetaCreatePenIndirect:
                pen.style = rec.params[0];
                pen.colour =
                    static_cast<vistrel::Colour>(rec.params[3] | (rec.params[4] & 0xFF) << 16);
                break;
            case vistrel::MetaMoveTo:
                y = Signed(rec.params[0]);
                x = Signed(rec.params[1]);
                ++r.moveTos;
                break;
            case vistrel::MetaLineTo: {
                const int ny = Signed(rec.params[0]), nx = Signed(rec.params[1]);
                r.lines.push_back({x, y, nx, ny});
                r.pens.push_back(pen);
                x = nx;
                y = ny;
                ++r.lineTos;
                break;
            }
            case vistrel::MetaTextOut:
                r.texts.push_back(wmf_support::UnpackText(rec.params, 1, rec.params[0]));
                break;
            default:
                break;
        }
    }
    return r;
}

struct Area {
    int left, top, right, bottom;
};

// The canvas's line operations, and the grid lines it drew dot by dot: a run of set_pixel calls
// in one column is a vertical grid line across the plot area holding it, one in a row a
// horizontal one.
std::vector<Line> CanvasLines(const testing_support::RecordingCanvas& canvas,
                              const std::vector<Area>& areas) {
    std::vector<Line> lines;
    for (const auto& s : canvas.segments) lines.push_back({s.from.x, s.from.y, s.to.x, s.to.y});
    std::vector<std::pair<int, int>> run;
    const auto finishRun = [&] {
        if (run.size() >= 2) {
            const bool vertical = run[0].first == run[1].first;
            for (const Area& a : areas) {
                const auto [x, y] = run[0];
                if (x < a.left || x > a.right || y < a.top || y > a.bottom)
                    continue;
                lines.push_back(vertical ? Line{x, a.bottom, x, a.top}
                                         : Line{a.left, y, a.right, y});
                break;
            }
        }
        run.clear();
    };
    for (const auto& call : canvas.calls) {
        int x = 0, y = 0;
        if (std::sscanf(call.c_str(), "set_pixel %d %d", &x, &y) == 2) {
            if (run.size() >= 2 && run[0].first != x && run[0].second != y)
                finishRun();
            run.emplace_back(x, y);
        } else {
            finishRun();
        }
    }
    finishRun();
    return lines;
}

class RecordedPictureTest : public PictureTest {
  protected:
    testing_support::RecordingPaintBox box{600, 400};
    wmf_support::TempDir dir;
    std::string name;
    std::vector<wmf_support::Record> records;

    void Record(const std::function<void()>& draw) {
        box.on_paint = draw;
        name = dir.file("picture.wmf");
        bool ok = false;
        vistrel::StartMetafileRecording(name, ok);
        ASSERT_TRUE(ok);
        box.repaint();
        vistrel::StopMetafileRecording(ok);
        ASSERT_TRUE(ok);
        records = wmf_support::ParseRecords(wmf_support::ReadBytes(name));
    }
};

std::vector<Line> Sorted(std::vector<Line> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(RecordedPictureTest, MetafileLinesAndTextsAreWhatTheCanvasDrew) {
    Record([this] { DrawWaveformAndSpectrum(box); });
    const Replay replay = ReplayRecords(records);
    const std::vector<Area> areas = {{40, 20, 600, 160}, {40, 220, 600, 360}};
    EXPECT_EQ(Sorted(replay.lines), Sorted(CanvasLines(box.surface, areas)));
    std::vector<std::string> canvasTexts;
    for (const auto& t : box.surface.texts) canvasTexts.push_back(t.text);
    EXPECT_EQ(replay.texts, canvasTexts);

    // libwmf reads the same lines and texts back.
    const auto svg = wmf_support::ConvertToSvg(name);
    ASSERT_EQ(svg.status, 0) << svg.errors;
    EXPECT_EQ(wmf_support::CountElements(svg.svg, "line"), static_cast<int>(replay.lines.size()));
    auto svgTexts = wmf_support::TextContents(svg.svg);
    for (const auto& text : canvasTexts)
        EXPECT_NE(std::find(svgTexts.begin(), svgTexts.end(), text), svgTexts.end()) << text;
}

TEST_F(RecordedPictureTest, GridLinesAreDottedPenLinesMinorOnesFaint) {
    Record([this] {
        vistrel::InitPlotSurface(box, kWhite, kBlack, 1.0f);
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
        vistrel::DrawXAxis(kBlack, "", true, 0, 10, 0, 0, false, false);
    });
    const Replay replay = ReplayRecords(records);
    std::vector<int> minor, major;
    for (std::size_t i = 0; i < replay.lines.size(); ++i) {
        const Line& l = replay.lines[i];
        if (replay.pens[i].style != static_cast<int>(vistrel::PenStyle::Dot))
            continue;
        EXPECT_EQ(l.x1, l.x2);
        EXPECT_EQ(l.y1, 360);
        EXPECT_EQ(l.y2, 20);
        if (replay.pens[i].colour == 0xBFBFBF) {
            minor.push_back(l.x1);
        } else if (replay.pens[i].colour == kBlack) {
            major.push_back(l.x1);
        } else {
            ADD_FAILURE() << "grid pen colour " << replay.pens[i].colour;
        }
    }
    EXPECT_EQ(major, (std::vector<int>{92, 144, 196, 248, 300}));
    std::vector<int> expectedMinor;
    for (int k = 1; k < 20; ++k) {
        if (k % 4 != 0)
            expectedMinor.push_back(40 + 13 * k);
    }
    EXPECT_EQ(minor, expectedMinor);
}

class PolylineRecordTest : public RecordedPictureTest, public ::testing::WithParamInterface<int> {};

TEST_P(PolylineRecordTest, OneMoveToAndALineToPerFurtherPoint) {
    const int n = GetParam();
    int axisLines = 0;
    Record([&] {
        vistrel::InitPlotSurface(box, kWhite, kBlack, 1.0f);
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, true);
        vistrel::DrawXAxis(kBlack, "", false, 0, 100, 0, 0, false, false);
        vistrel::DrawYAxis(kBlack, "", 1, -1, 1, 0, 0, false, false, false);
        axisLines = static_cast<int>(box.surface.calls_starting("line_to").size());
        plot.PlotCanvas->set_pen_colour(kRed);
        vistrel::PlotMoveTo(0, 0);
        for (int j = 1; j < n; ++j) vistrel::PlotLineTo(100.0f * j / n, j % 2 ? 0.5f : -0.5f);
    });
    const Replay replay = ReplayRecords(records);
    // The axes echo every canvas line as a move-to and a line-to; the zero level's dotted line
    // adds one more pair.
    EXPECT_EQ(replay.moveTos - axisLines - 1, 1);
    EXPECT_EQ(replay.lineTos - axisLines - 1, n - 1);
}

INSTANTIATE_TEST_SUITE_P(Picture, PolylineRecordTest, ::testing::Values(2, 3, 50, 2002),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "points";
                         });

// An inward axis ends its last tick inside the plot area, where the metafile pen is not (it has
// drawn the grid lines since). A clipped curve starting on that very pixel must not chain a
// line-to from the grid line's end.
TEST_F(RecordedPictureTest, ClippedCurveAfterAnInwardAxisStartsWhereItShould) {
    Line firstCurveLine{};
    Record([&] {
        vistrel::InitPlotSurface(box, kWhite, kBlack, 1.0f);
        vistrel::DefineGraph(0, 50, 5, 100, 40, 0, 0, 40, false);
        vistrel::DrawXAxis(kBlack, "", true, 0, 260, 0, 0, false, false);
        vistrel::DrawYAxis(kBlack, "", 2, 0, 340, 0, 0, true, false, false);
        const auto tickEnd = box.surface.segments.back().to;
        firstCurveLine = {tickEnd.x, tickEnd.y, 200, 100};
        plot.PlotCanvas->set_pen_colour(kRed);
        vistrel::PlotMoveTo(static_cast<float>(tickEnd.x - 40),
                            static_cast<float>(360 - tickEnd.y));
        vistrel::PlotLineTo(160, 260);
    });
    const Replay replay = ReplayRecords(records);
    ASSERT_FALSE(replay.lines.empty());
    EXPECT_EQ(replay.lines.back(), firstCurveLine);
    EXPECT_EQ(replay.pens.back().colour, kRed);
}

}  // namespace
