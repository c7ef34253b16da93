// Start-up cost of the program: from a fresh process to the main window shown, and the peak
// memory of that process. Each iteration starts this binary again (so dynamic loading of Qt and
// the fonts counts) in a child mode that builds the window the way the program does, waits until
// it is exposed, reports its peak resident size and exits.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/window/main_window.h"

namespace {

constexpr const char* kChildFlag = "--startup-child";
std::string self_path;

// The child: the program's start, up to the first frame of the window.
int run_child(int argc, char** argv, int report_fd) {
    QApplication application(argc, argv);
    app::TForm1 form;
    form.show();
    for (int i = 0; i < 10000 && !(form.windowHandle() && form.windowHandle()->isExposed()); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();  // the first paint
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long peak_kb = usage.ru_maxrss;
    const bool shown = form.windowHandle() && form.windowHandle()->isExposed();
    if (write(report_fd, &peak_kb, sizeof peak_kb) != sizeof peak_kb || !shown)
        return 1;
    return 0;
}

struct StartResult {
    bool ok = false;
    double seconds = 0.0;
    double peak_mb = 0.0;
};

StartResult start_once() {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(self_path.c_str(), self_path.c_str(), kChildFlag, fd.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    long peak_kb = 0;
    const bool got = read(fds[0], &peak_kb, sizeof peak_kb) == sizeof peak_kb;
    const auto t1 = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    StartResult r;
    r.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.seconds = std::chrono::duration<double>(t1 - t0).count();
    r.peak_mb = static_cast<double>(peak_kb) / 1024.0;
    return r;
}

void BM_StartToWindowShown(benchmark::State& state) {
    double peak = 0.0;
    for (auto _ : state) {
        const StartResult r = start_once();
        if (!r.ok) {
            state.SkipWithError("the child did not show its window");
            return;
        }
        state.SetIterationTime(r.seconds);
        peak = std::max(peak, r.peak_mb);
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_StartToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    // The window needs no screen to be measured.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0) {
        int child_argc = 1;
        return run_child(child_argc, argv, std::atoi(argv[2]));
    }
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return 1;
    path[n] = '\0';
    self_path = path;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
