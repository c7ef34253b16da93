// Examining the four-graph picture: how long the plot surface takes to show one wheel notch of
// zoom, one step of a pan and one step of a cursor, each a full repaint of the picture the
// operator sees (both channels' waveforms and spectra, 2002 points a channel), reported as the
// median and the 95th percentile of single steps. And the running display over 10,000
// acquisitions through the simulator, with the program's resident memory before and after.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/examine/graph_view.h"
#include "app/examine/run_control.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "bench/bench_support.h"
#include "platform/platform.h"

namespace {

namespace ex = app::examine;

// Instant waits: the soak measures the program, not the scope's fixed delays.
class InstantPlatform final : public platform::Platform {
  public:
    void message_box(platform::BoxKind, const std::string&, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void beep() override {}
    void set_busy_cursor(bool) override {}
    [[noreturn]] void stop_program() override { std::_Exit(1); }
    void sleep_ms(int) override {}
};

struct Program {
    std::unique_ptr<QApplication> application;
    std::unique_ptr<app::TForm1> form;
    InstantPlatform platform;
};

Program& Shown() {
    static Program* program = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("GPIB_LIBRARY", bench_support::Simulator_path().c_str(), 1);
        setenv("HP_SIM_POINTS", "2002", 1);
        // The settings file of a scratch folder, not the user's.
        setenv("XDG_CONFIG_HOME", "/nonexistent/hp54200a-bench", 1);
        static int argc = 1;
        static char name[] = "bench_examine";
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

QPoint Middle_of(int graph) {
    const ex::DrawnGraph& d = ex::Examine.graphs[static_cast<size_t>(graph)].drawn;
    return {d.left + d.width / 2, d.bottom - d.height / 2};
}

void Wheel(QWidget* w, QPoint p, int delta) {
    QWheelEvent e(QPointF(p), QPointF(w->mapToGlobal(p)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

void Mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers, QPoint at) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    Mouse(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, modifiers, at);
    Mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, modifiers, at);
}

void Key(QWidget* w, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

double Thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The median and the 95th percentile of a set of times.
void Report(benchmark::State& state, std::vector<double> ms, const std::string& name) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return;
    state.counters["median_" + name] = ms[ms.size() / 2];
    state.counters["p95_" + name] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
}

// Times each step (which repaints the picture): the wall time the operator waits, and the
// processor time of the program's thread, which a machine busy with other work does not
// stretch.
template <typename Step>
void Time_steps(benchmark::State& state, Step step) {
    std::vector<double> wall;
    std::vector<double> cpu;
    long i = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = Thread_cpu_ms();
        step(i++);
        cpu.push_back(Thread_cpu_ms() - c0);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    Report(state, wall, "wall_ms");
    Report(state, cpu, "cpu_ms");
}

void BM_ZoomNotch(benchmark::State& state) {
    Program& p = Shown();
    ex::Examine.graphs[0].x_zoomed = false;
    p.form->PaintBox1->repaint();
    const QPoint at = Middle_of(0);
    // In and out in turn, so that every step is a real change of the visible range.
    Time_steps(state, [&](long i) { Wheel(p.form->PaintBox1, at, (i / 4) % 2 == 0 ? 120 : -120); });
}
BENCHMARK(BM_ZoomNotch)->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_PanStep(benchmark::State& state) {
    Program& p = Shown();
    QWidget* w = p.form->PaintBox1;
    const QPoint at = Middle_of(0);
    Wheel(w, at, 360);
    Mouse(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, {}, at);
    Time_steps(state, [&](long i) {
        const QPoint to = at + QPoint((i % 20) < 10 ? (i % 10) * 5 : (10 - i % 10) * 5, 0);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(w->mapToGlobal(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    });
    Mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {}, at);
}
BENCHMARK(BM_PanStep)->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_CursorStep(benchmark::State& state) {
    Program& p = Shown();
    QWidget* w = p.form->PaintBox1;
    const QPoint at = Middle_of(0);
    Click(w, at);
    Click(w, at + QPoint(40, 0), Qt::ShiftModifier);
    Time_steps(state, [&](long i) { Key(w, (i / 10) % 2 == 0 ? Qt::Key_Right : Qt::Key_Left); });
}
BENCHMARK(BM_CursorStep)->Iterations(400)->Unit(benchmark::kMillisecond);

long Resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    }
    return -1;
}

// Run for 10,000 acquisitions of both channels, as fast as the simulator answers: the resident
// memory after the first 1,000 (when every cache has filled) and at the end.
void BM_RunSoak(benchmark::State& state) {
    Program& p = Shown();
    ex::RunControl& run = *p.form->Run;
    run.interval_box()->setValue(0);
    long after_first_thousand = 0;
    for (auto _ : state) {
        run.start();
        while (run.acquisitions() < 1000) QApplication::processEvents();
        after_first_thousand = Resident_kb();
        while (run.acquisitions() < 10000) QApplication::processEvents();
        run.stop();
    }
    const long at_end = Resident_kb();
    state.counters["rss_after_1000_kb"] = static_cast<double>(after_first_thousand);
    state.counters["rss_after_10000_kb"] = static_cast<double>(at_end);
    state.counters["growth_kb"] = static_cast<double>(at_end - after_first_thousand);
}
BENCHMARK(BM_RunSoak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
