// One acquisition of channel 1 through the adapter driver and a fake Prologix GPIB-USB on a
// pseudo-terminal, with the real fixed waits: the wall time over the waits the link must make
// (420 ms with valid measurements). A ratio near 1 means the "++" protocol, the reply framing
// and the adapter's serial port cost next to nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bench/acquisition_timing.h"
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
    bench_support::Time_channel_1_acquisitions(state, 1);
}
BENCHMARK(BM_AcquireChannelThroughAdapter)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
