// Speed of the metafile output of a full picture: four graphs (two waveforms of 2002 points, two
// spectra of 40 lines, all axes, grids and titles) on a 1073 x 809 surface, written by the
// recording repaint, which also draws the picture on the surface's image.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

#include "app/canvas/qt_canvas.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/output.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace {

constexpr int Points = 2002;
constexpr int Lines = 40;

struct Picture {
    float time[Points + 1];
    float volts[2][Points + 1];
    float freq[Lines + 1];
    float amplitude[2][Lines + 1];
};

Picture MakePicture() {
    Picture p{};
    for (int j = 1; j <= Points; ++j) {
        const double t = (j - 1) * 0.5e-6;
        p.time[j] = static_cast<float>(t * 1e3);  // drawn in milliseconds
        p.volts[0][j] = static_cast<float>(0.8 * std::sin(2 * std::numbers::pi * 1000 * t));
        p.volts[1][j] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 3000 * t) + 0.1);
    }
    for (int i = 1; i <= Lines; ++i) {
        p.freq[i] = static_cast<float>(i * 1000.0);
        p.amplitude[0][i] = i == 1 ? 1.0f : 0.02f / static_cast<float>(i);
        p.amplitude[1][i] = i == 3 ? 1.0f : 0.05f / static_cast<float>(i);
    }
    return p;
}

void Waveform(const Picture& p, int ch, int left, int right, int top, int bottom,
              vistrel::Colour colour, const std::string& title) {
    vistrel::DefineGraph(left, right, top, bottom, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(0, "time (milliseconds)", true, 0.0f, p.time[Points], 0, 0, false, false);
    vistrel::DrawYAxis(0, "voltage", 1, -1.05f, 1.05f, 0, 0, true, false, false);
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.set_pen_width(2);
    canvas.set_pen_colour(colour);
    vistrel::PlotMoveTo(p.time[1], p.volts[ch][1]);
    for (int j = 2; j <= Points - 1; ++j) vistrel::PlotLineTo(p.time[j], p.volts[ch][j]);
    canvas.set_pen_colour(0);
    vistrel::PlotMoveTo(p.time[1], 0.0f);
    vistrel::PlotLineTo(p.time[Points - 1], 0.0f);
    vistrel::DrawGraphTitle(colour, title);
}

void Spectrum(const Picture& p, int ch, int left, int right, int top, int bottom,
              vistrel::Colour colour, const std::string& title) {
    vistrel::DefineGraph(left, right, top, bottom, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(0, "frequency", true, 0.0f, 41000.0f, 0, 0, false, false);
    vistrel::DrawYAxis(0, "amplitude", 1, 0.0f, 1.0f, 0, 0, true, false, false);
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.set_pen_width(2);
    canvas.set_pen_colour(colour);
    for (int i = 1; i <= Lines; ++i) {
        vistrel::PlotMoveTo(p.freq[i], 0.0f);
        vistrel::PlotLineTo(p.freq[i], p.amplitude[ch][i]);
    }
    vistrel::DrawGraphTitle(colour, title);
}

// The four-graph layout of the display: waveforms above, spectra below.
void DrawFourGraphs(app::ImagePaintBox& box, const Picture& p) {
    vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.1f);
    Waveform(p, 0, 0, 50, 5, 50, 0x0000FF, "CHANNEL 1    [T=1 ms; f=1 kHz; Vrms=565.7 mv ]");
    Waveform(p, 1, 50, 100, 5, 50, 0x008000, "CHANNEL 2    [T=333.3 us; f=3 kHz; Vrms=223.6 mv ]");
    Spectrum(p, 0, 0, 50, 55, 100, 0xFF0000, "FFT for Ch 1");
    Spectrum(p, 1, 50, 100, 55, 100, 0x800080, "FFT for Ch 2");
    vistrel::FinishPlot();
}

void BM_SaveFourGraphMetafile(benchmark::State& state) {
    const Picture picture = MakePicture();
    app::ImagePaintBox box(1073, 809);
    box.set_paint_handler([&] { DrawFourGraphs(box, picture); });
    box.repaint();  // the surface is painted once before any output
    const std::string name =
        (std::filesystem::temp_directory_path() / "bench_vistrel.wmf").string();
    long bytes = 0;
    for (auto _ : state) {
        bool ok = false;
        vistrel::SavePlotAsMetafile(name, false, ok);
        if (!ok) {
            state.SkipWithError("the metafile was not written");
            break;
        }
        bytes = 2L * vistrel::metafile.MetaTotalWords;
    }
    state.counters["file_bytes"] = static_cast<double>(bytes);
    std::filesystem::remove(name);
}
BENCHMARK(BM_SaveFourGraphMetafile)->Unit(benchmark::kMillisecond);

// The same repaint without recording, to show what the metafile adds.
void BM_RepaintFourGraphs(benchmark::State& state) {
    const Picture picture = MakePicture();
    app::ImagePaintBox box(1073, 809);
    box.set_paint_handler([&] { DrawFourGraphs(box, picture); });
    for (auto _ : state) box.repaint();
}
BENCHMARK(BM_RepaintFourGraphs)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
