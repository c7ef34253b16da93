// One acquisition of channel 1 through the adapter driver and a fake Prologix GPIB-USB on a
// pseudo-terminal, with the real fixed waits: the wall time over the waits the link must make
// (420 ms with valid measurements). A ratio near 1 means the "++" protocol, the reply framing
// and the adapter's serial port cost next to nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/acquisition_timing.h"
#include "model/waveform.h"
#include "prologix/support_driver.h"
#include "prologix/support_fake_adapter.h"
#include "scope/acquisition.h"
#include "scope/gpib_driver.h"
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

// The program's own block read through the adapter, by count: "DATA?" and the time of the
// reads only (the three header bytes and the samples), the command and the pause before the
// next one left out of the timing.
void BM_DataBlockReadByCount(benchmark::State& state) {
    Connect_once();
    scope::Get_Information_About_Waveform(1);
    const int32_t requested = model::Preamble.points + 1;
    std::vector<char> row(static_cast<std::size_t>(requested));
    for (auto _ : state) {
        state.PauseTiming();
        scope::Send_command("DATA?");
        state.ResumeTiming();
        char header = 0;
        for (int i = 0; i < 3; ++i) scope::Call_ibrd(scope::Link.Device, &header, 1);
        scope::Call_ibrd(scope::Link.Device, row.data(), requested);
        state.PauseTiming();
        if (scope::Error_bit_set() || scope::Ibcnt() != requested)
            state.SkipWithError("the block was not read whole");
        scope::Wait_ms(100);  // the program's pause after a block, in which the rest is dropped
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DataBlockReadByCount)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
