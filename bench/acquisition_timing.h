// The timed loop shared by the acquisition benchmarks (simulated scope, adapter, gateway): one
// acquisition of channel 1 per iteration, averaged over `sets` data sets, and its wall time over
// the waits the link must make (420 ms with valid measurements, 100 ms more per extra set).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "model/waveform.h"
#include "scope/acquisition.h"

namespace bench_support {

inline void Time_channel_1_acquisitions(benchmark::State& state, int32_t sets) {
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

}  // namespace bench_support
