// One acquisition of channel 1 through the USBTMC driver's code over the tests' fake kernel
// (1012-byte transfers, as UsbGpib sends them), with the link's real fixed waits: the wall time
// over the 420 ms the link must wait (100 ms more per extra averaged set). A ratio near 1 means
// gathering the transfers costs next to nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/acquisition_timing.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"
#include "usbtmc/support_usbtmc.h"

namespace {

void Connect_once() {
    static const bool connected = [] {
        setenv("USBTMC_DEVICE", "/dev/usbtmc0", 1);
        setenv("GPIB_LIBRARY", usbtmc_test::Driver_with_fake_kernel_path().c_str(), 1);
        scope::initialize_hp54200A();
        return true;
    }();
    (void)connected;
}

void BM_AcquireChannelThroughUsbtmc(benchmark::State& state) {
    Connect_once();
    bench_support::Time_channel_1_acquisitions(state, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_AcquireChannelThroughUsbtmc)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
