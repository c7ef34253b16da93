// One acquisition of channel 1 through the VXI-11 driver and the fake LAN-GPIB gateway on
// loopback, with the link's real fixed waits: the wall time over the 420 ms the link must wait
// (100 ms more per extra averaged set). A ratio near 1 means the RPC round trips of the
// preamble, the data block and the measurements cost next to nothing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/waveform.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"
#include "vxi11/support_fake_gateway.h"

namespace {

fake_vxi11::FakeGateway& Connect_once() {
    static std::unique_ptr<fake_vxi11::FakeGateway> gateway;
    if (!gateway) {
        gateway = std::make_unique<fake_vxi11::FakeGateway>();
        setenv("VXI11_HOST", gateway->host_with_port().c_str(), 1);
        const char* library = std::getenv("HP_VXI11_LIBRARY");
        setenv("GPIB_LIBRARY", library != nullptr && *library ? library : HP_VXI11_LIBRARY_PATH, 1);
        scope::initialize_hp54200A();
    }
    return *gateway;
}

void BM_AcquireChannelThroughGateway(benchmark::State& state) {
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
BENCHMARK(BM_AcquireChannelThroughGateway)
    ->Arg(1)
    ->Arg(10)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
