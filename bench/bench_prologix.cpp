// One acquisition of channel 1 through the adapter driver and a fake Prologix GPIB-USB on a
// pseudo-terminal, with the real fixed waits: the wall time over the waits the link must make
// (420 ms with valid measurements). A ratio near 1 means the "++" protocol, the reply framing
// and the adapter's serial port cost next to nothing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/waveform.h"
#include "prologix/support_driver.h"
#include "prologix/support_fake_adapter.h"
#include "scope/acquisition.h"
#include "scope/scope_link.h"

namespace {

void Connect_once() {
    static std::unique_ptr<fake_adapter::SimulatedScope> instrument;
    static std::unique_ptr<fake_adapter::FakeAdapter> adapter;
    if (adapter != nullptr)
        return;
    instrument = std::make_unique<fake_adapter::SimulatedScope>();
    adapter = std::make_unique<fake_adapter::FakeAdapter>(
        fake_adapter::Options{fake_adapter::Dialect::prologix, fake_adapter::Transport::pty},
        *instrument);
    setenv("PROLOGIX_PORT", adapter->port().c_str(), 1);
    setenv("GPIB_LIBRARY", prologix_test::Library_path().c_str(), 1);
    scope::initialize_hp54200A();
}

void BM_AcquireChannelThroughAdapter(benchmark::State& state) {
    Connect_once();
    // Preamble 100, one data set 100, measurement selection 100, then 40 + 40 + 20 + 20.
    const double mandated_s = 0.420;
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
BENCHMARK(BM_AcquireChannelThroughAdapter)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
