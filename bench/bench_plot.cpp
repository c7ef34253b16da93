// Speed of one full repaint of the plot surface: four graphs (two 2002-point waveforms with
// their zero lines, two 40-line spectra), all axes, grids and titles, on a 1073 x 809 Qt canvas
// the size of the program's paint box.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/canvas/qt_canvas.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace {

constexpr int kPoints = 2002;
constexpr int kLines = 40;
constexpr vistrel::Colour kBlack = 0x000000;

struct Placement {
    int left, right, top, bottom;
};

// Samples 1..2001 of a waveform: a sine of some cycles with a little ripple, made once.
std::vector<float> MakeVolts(double cycles) {
    std::vector<float> volts(kPoints + 1);
    for (int j = 1; j <= kPoints; ++j)
        volts[j] = static_cast<float>(std::sin(2 * M_PI * cycles * j / kPoints) +
                                      0.02 * std::sin(0.9 * j));
    return volts;
}

const std::vector<float>& Volts1() {
    static const std::vector<float> v = MakeVolts(5);
    return v;
}

const std::vector<float>& Volts2() {
    static const std::vector<float> v = MakeVolts(3);
    return v;
}

void Waveform(const Placement& p, vistrel::Colour colour, const std::vector<float>& volts,
              const char* title) {
    vistrel::DefineGraph(p.left, p.right, p.top, p.bottom, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(kBlack, "time (microseconds)", true, 0, 2001, 0, 0, false, false);
    vistrel::DrawYAxis(kBlack, "voltage", 1, -1.05f, 1.05f, 0, 0, true, false, false);
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.set_pen_width(2);
    canvas.set_pen_colour(colour);
    vistrel::PlotMoveTo(1, volts[1]);
    for (int j = 2; j < kPoints; ++j) vistrel::PlotLineTo(static_cast<float>(j), volts[j]);
    canvas.set_pen_colour(kBlack);
    vistrel::PlotMoveTo(1, 0);
    vistrel::PlotLineTo(kPoints - 1, 0);
    vistrel::DrawGraphTitle(colour, title);
}

void Spectrum(const Placement& p, vistrel::Colour colour, const char* title) {
    vistrel::DefineGraph(p.left, p.right, p.top, p.bottom, 40, 0, 0, 40, true);
    vistrel::DrawXAxis(kBlack, "frequency", true, 0, 20000, 0, 0, false, false);
    vistrel::DrawYAxis(kBlack, "amplitude", 1, 0, 1, 0, 0, true, false, false);
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.set_pen_width(2);
    canvas.set_pen_colour(colour);
    for (int i = 1; i <= kLines; ++i) {
        vistrel::PlotMoveTo(500.0f * i, 0);
        vistrel::PlotLineTo(500.0f * i, 1.0f / static_cast<float>(i));
    }
    vistrel::DrawGraphTitle(colour, title);
}

void DrawFourGraphs(vistrel::PaintBox& box) {
    vistrel::InitPlotSurface(box, 0xFFFFFF, kBlack, 1.1f);
    Waveform({0, 50, 5, 50}, 0x0000FF, Volts1(),
             "CHANNEL 1    [T=400 us; f=2.5 kHz; Vrms=707.1 mv ]");
    Waveform({50, 100, 5, 50}, 0x008000, Volts2(),
             "CHANNEL 2    [T=667 us; f=1.5 kHz; Vrms=707.1 mv ]");
    Spectrum({0, 50, 55, 100}, 0xFF0000, "FFT for Ch 1");
    Spectrum({50, 100, 55, 100}, 0x800080, "FFT for Ch 2");
    vistrel::FinishPlot();
}

void BM_FourGraphPicture(benchmark::State& state) {
    app::ImagePaintBox box(1073, 809);
    box.set_paint_handler([&box] { DrawFourGraphs(box); });
    for (auto _ : state) {
        box.repaint();
        benchmark::DoNotOptimize(box.image().constBits());
    }
}
BENCHMARK(BM_FourGraphPicture)->Unit(benchmark::kMillisecond)->Repetitions(10);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication gui(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
