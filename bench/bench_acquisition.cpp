// One acquisition of channel 1 against the simulated scope with the real fixed waits: the wall
// time over the waits the link must make (420 ms with valid measurements, 100 ms more per extra
// averaged set). A ratio near 1 means the exchange, conversion and spectrum cost next to nothing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "model/waveform.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"

namespace {

void Connect_once() {
    static bool connected = false;
    if (connected)
        return;
    setenv("GPIB_LIBRARY", bench_support::Simulator_path().c_str(), 1);
    scope::initialize_hp54200A();
    connected = true;
}

void BM_AcquireChannel(benchmark::State& state) {
    Connect_once();
    const auto sets = static_cast<int32_t>(state.range(0));
    model::Waveforms[1].averaging = sets > 1;
    model::Waveforms[1].average_count = sets;
    // Preamble 100, one 100 per set, measurement selection 100, then 40 + 40 + 20 + 20.
    const double mandated_s = (100.0 + 100.0 * sets + 220.0) / 1000.0;
    double total_s = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        scope::Get_Information_About_Waveform(1);
        scope::Get_waveform_data(1);
        total_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!model::Waveforms[1].measurement_valid)
        state.SkipWithError("measurements not valid");
    state.counters["wall_over_waits"] =
        total_s / (static_cast<double>(state.iterations()) * mandated_s);
}
BENCHMARK(BM_AcquireChannel)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
