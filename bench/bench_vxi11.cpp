// One acquisition of channel 1 through the VXI-11 driver and the fake LAN-GPIB gateway on
// loopback, with the link's real fixed waits: the wall time over the 420 ms the link must wait
// (100 ms more per extra averaged set). A ratio near 1 means the RPC round trips of the
// preamble, the data block and the measurements cost next to nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bench/acquisition_timing.h"
#include "model/waveform.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"
#include "vxi11/support_driver.h"
#include "vxi11/support_fake_gateway.h"

namespace {

fake_vxi11::FakeGateway& Connect_once() {
    static std::unique_ptr<fake_vxi11::FakeGateway> gateway;
    if (!gateway) {
        gateway = std::make_unique<fake_vxi11::FakeGateway>();
        setenv("VXI11_HOST", gateway->host_with_port().c_str(), 1);
        setenv("GPIB_LIBRARY", vxi11_test::Driver_path().c_str(), 1);
        scope::initialize_hp54200A();
    }
    return *gateway;
}

void BM_AcquireChannelThroughGateway(benchmark::State& state) {
    Connect_once();
    bench_support::Time_channel_1_acquisitions(state, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_AcquireChannelThroughGateway)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
