// Opening a saved four-graph capture (both channels' waveform and spectrum CSV files, 2002 rows
// each, numbers with 17 digits as the program writes them): the files read, checked and put into
// the records; and the same with the window's title, status line and the four graphs drawn on its
// plot surface. Going back to the scope between the runs is not timed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/reopen/opened_capture.h"
#include "app/window/main_window.h"
#include "app/window/open_capture.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

class QuietPlatform final : public platform::Platform {
  public:
    void message_box(platform::BoxKind, const std::string&, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void beep() override {}
    void set_busy_cursor(bool) override {}
    [[noreturn]] void stop_program() override { std::_Exit(1); }
    void sleep_ms(int) override {}
};

std::string Number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The four files of a capture, written once.
const std::vector<std::string>& Capture_files() {
    static const std::vector<std::string> files = [] {
        const fs::path dir =
            fs::temp_directory_path() / ("hp_bench_open_" + std::to_string(getpid()));
        fs::create_directories(dir);
        // Removed when the program ends.
        static const struct Remover {
            fs::path dir;
            ~Remover() { fs::remove_all(dir); }
        } remover{dir};
        std::vector<std::string> paths;
        constexpr int kRows = 2002;
        constexpr double kIncrement = 1e-6;
        for (int ch = 1; ch <= 2; ++ch) {
            const std::string c = "ch" + std::to_string(ch);
            std::string header = "# hp54200a\n# " + c + " x increment (s): " + Number(kIncrement) +
                                 "\n# " + c + " x origin (s): 0\n# " + c +
                                 " y increment (V): 0.01\n# " + c + " y origin (V): 0\n# " + c +
                                 " y reference: 128\n# " + c + " period (s): 0.001\n# " + c +
                                 " RMS (V): 0.70710678118654757\n";
            std::string waveform = header + "time_s," + c + "_V\n";
            std::string spectrum = header + "frequency_Hz," + c + "_amplitude_rel\n";
            for (int j = 1; j <= kRows; ++j) {
                waveform += Number(j * kIncrement) + "," + Number(std::sin(j * 0.0123 * ch)) + "\n";
                const bool bin = j <= 512;
                spectrum += Number(bin ? (j - 1) / (1024 * kIncrement) : 0.0) + "," +
                            Number(bin ? 1.0 / j : 0.0) + "\n";
            }
            for (const auto& [suffix, text] :
                 {std::pair{"", waveform}, std::pair{"-fft", spectrum}}) {
                const fs::path p = dir / ("capture-" + c + suffix + ".csv");
                std::ofstream(p, std::ios::binary) << text;
                paths.push_back(p.string());
            }
        }
        return paths;
    }();
    return files;
}

void BM_OpenFourGraphCapture(benchmark::State& state) {
    for (auto _ : state) {
        const std::string why = app::Open_capture(Capture_files());
        if (!why.empty())
            state.SkipWithError(why.c_str());
        state.PauseTiming();
        app::Close_capture();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFourGraphCapture)->Unit(benchmark::kMillisecond);

struct Window {
    std::unique_ptr<QApplication> application;
    std::unique_ptr<app::TForm1> form;
    QuietPlatform platform;
};

void BM_OpenAndDrawFourGraphCapture(benchmark::State& state) {
    static Window* w = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_open_capture";
        static char* argv[] = {name, nullptr};
        auto* p = new Window;
        p->application = std::make_unique<QApplication>(argc, argv);
        platform::set_current(&p->platform);
        p->form = std::make_unique<app::TForm1>();
        p->form->show();
        QApplication::processEvents();
        return p;
    }();
    for (auto _ : state) {
        if (!app::Open_in_window(*w->form, Capture_files()))
            state.SkipWithError("the capture did not open");
        state.PauseTiming();
        app::Back_to_scope(*w->form);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAndDrawFourGraphCapture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
