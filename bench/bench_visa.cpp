// One acquisition of channel 1 through the VISA driver and the tests' fake VISA, with the link's
// real fixed waits: the wall time over the 420 ms the link must wait (100 ms more per extra
// averaged set). A ratio near 1 means the driver's VISA calls cost next to nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/acquisition_timing.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"
#include "visa/support_visa.h"

namespace {

void Connect_once() {
    static const bool connected = [] {
        setenv("VISA_LIBRARY", visa_test::Fake_path().c_str(), 1);
        setenv("VISA_RESOURCE", "GPIB0::5::INSTR", 1);
        setenv("GPIB_LIBRARY", visa_test::Driver_path().c_str(), 1);
        scope::initialize_hp54200A();
        return true;
    }();
    (void)connected;
}

void BM_AcquireChannelThroughVisa(benchmark::State& state) {
    Connect_once();
    bench_support::Time_channel_1_acquisitions(state, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_AcquireChannelThroughVisa)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
