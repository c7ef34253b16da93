// One acquisition of channel 1 against the simulated scope with the real fixed waits: the wall
// time over the waits the link must make (420 ms with valid measurements, 100 ms more per extra
// averaged set). A ratio near 1 means the exchange, conversion and spectrum cost next to nothing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "bench/acquisition_timing.h"
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
    bench_support::Time_channel_1_acquisitions(state, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_AcquireChannel)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
