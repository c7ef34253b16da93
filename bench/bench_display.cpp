// The whole window against the simulated scope with both channels' waveforms and spectra shown:
// a Refresh of both channels with the real fixed waits (wall time over the waits the link must
// make), and the paint handler's drawing of that four-graph picture.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/picture/display.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "bench/bench_support.h"
#include "model/waveform.h"
#include "platform/platform.h"

namespace {

// Real waits, counted; boxes go to stderr.
class TimedPlatform final : public platform::Platform {
  public:
    double waited_ms = 0;
    void message_box(platform::BoxKind, const std::string&, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void beep() override {}
    void set_busy_cursor(bool) override {}
    [[noreturn]] void stop_program() override { std::_Exit(1); }
    void sleep_ms(int ms) override {
        waited_ms += ms;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

struct Program {
    std::unique_ptr<QApplication> application;
    std::unique_ptr<app::TForm1> form;
    TimedPlatform platform;
};

// The window with both channels' "Waveform + FFT" chosen, 2002 points a channel.
Program& Shown() {
    static Program* program = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("GPIB_LIBRARY", bench_support::Simulator_path().c_str(), 1);
        setenv("HP_SIM_POINTS", "2002", 1);
        static int argc = 1;
        static char name[] = "bench_display";
        static char* argv[] = {name, nullptr};
        auto* p = new Program;
        p->application = std::make_unique<QApplication>(argc, argv);
        platform::set_current(&p->platform);
        p->form = std::make_unique<app::TForm1>();
        p->form->show();
        p->form->RadioGroup1->setItemIndex(2);
        p->form->RadioGroup2->setItemIndex(2);
        return p;
    }();
    return *program;
}

void BM_RefreshBothChannels(benchmark::State& state) {
    Program& p = Shown();
    double wall_s = 0;
    p.platform.waited_ms = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        p.form->Button1Click();
        wall_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!model::Waveforms[1].measurement_valid || !model::Waveforms[2].measurement_valid)
        state.SkipWithError("measurements not valid");
    state.counters["waits_ms"] = p.platform.waited_ms / static_cast<double>(state.iterations());
    state.counters["wall_over_waits"] = wall_s * 1000.0 / p.platform.waited_ms;
}
BENCHMARK(BM_RefreshBothChannels)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DisplayGraphFourGraphs(benchmark::State& state) {
    Program& p = Shown();
    for (auto _ : state) {
        app::Display_graph(*p.form->PaintBox1);
    }
}
BENCHMARK(BM_DisplayGraphFourGraphs)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
