// Speed of the measurements window's work for one channel: every waveform and spectrum quantity
// of the largest record (2002 points) and of the simulator's usual 500, noisy square and sine
// records; the target is 1 ms per channel.
#include <benchmark/benchmark.h>

#include <cmath>

#include "app/analysis/measure_table.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "dsp/measure.h"
#include "dsp/spectrum_measure.h"
#include "model/waveform.h"

namespace {

// A noisy 1 kHz record: square (state.range(1) = 1) or sine, state.range(0) points.
void Fill_channel(int points, bool square) {
    model::Preamble.points = points;
    model::Byte_format = true;
    auto& r = model::Waveforms[1];
    r.xincrement = 1e-5;
    r.x_max = points * 1e-5;
    r.measurement_valid = true;
    uint32_t seed = 1;
    for (int j = 1; j <= points; ++j) {
        seed = seed * 1664525u + 1013904223u;
        const double phase = 2 * M_PI * 1000.0 * j * 1e-5 * 500.0 / points * 4.0;
        const double clean = square ? (std::sin(phase) >= 0 ? 1.0 : -1.0) : std::sin(phase);
        r.volts[static_cast<std::size_t>(j)] =
            clean + 0.02 * (static_cast<double>(seed >> 8) / 16777216.0 - 0.5);
        dsp::Channel_raw_sums[1][static_cast<std::size_t>(j)] = 128;
    }
    app::Window = {};
    app::Window.Show_ch1_waveform = true;
    app::Window.Show_ch1_fft = true;
}

void BM_Measure_one_channel(benchmark::State& state) {
    Fill_channel(static_cast<int>(state.range(0)), state.range(1) == 1);
    for (auto _ : state) {
        const app::MeasureTable t = app::Build_measure_table();
        benchmark::DoNotOptimize(t.columns[0].values[6].value);
    }
}
BENCHMARK(BM_Measure_one_channel)
    ->ArgNames({"points", "square"})
    ->Args({500, 0})
    ->Args({500, 1})
    ->Args({2002, 0})
    ->Args({2002, 1})
    ->Unit(benchmark::kMicrosecond);

// The parts: the waveform's quantities, the spectrum's (with the harmonics' fit), the fit alone.
void BM_Measure_parts(benchmark::State& state) {
    Fill_channel(static_cast<int>(state.range(0)), false);
    const std::span<const double> x(model::Waveforms[1].volts.data() + 1,
                                    static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        switch (state.range(1)) {
            case 0:
                benchmark::DoNotOptimize(dsp::Measure_waveform({x, 1e-5L, false, false}));
                break;
            case 1:
                benchmark::DoNotOptimize(dsp::Measure_spectrum(x, 1e-5L, false, 0.0L));
                break;
            default:
                benchmark::DoNotOptimize(dsp::Harmonic_amplitudes(x, 1e-5L, 1000.0L, 5));
                break;
        }
    }
}
BENCHMARK(BM_Measure_parts)
    ->ArgNames({"points", "part"})
    ->Args({2002, 0})
    ->Args({2002, 1})
    ->Args({2002, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
