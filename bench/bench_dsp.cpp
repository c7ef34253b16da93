// Speed of the per-acquisition processing: the spectrum of one channel and the conversion of
// the largest acquisition (2002 points, 50 averaged word-format sets).
#include <benchmark/benchmark.h>

#include <cmath>

#include "dsp/channel_math.h"
#include "dsp/fft.h"

namespace {

void Fill_record() {
    model::Preamble.points = 2002;
    model::Preamble.xincrement = 1e-6;
    model::Preamble.yincrement = 1e-4;
    model::Preamble.yreference = 32768;
    model::Preamble.coupling = "DC";
    model::Byte_format = false;
    uint32_t seed = 1;
    for (int s = 1; s <= model::kMaxDataSets; ++s)
        for (int j = 1; j <= 2002; ++j) {
            seed = seed * 1664525u + 1013904223u;
            model::Raw_word_sets[s][j] = static_cast<uint16_t>(32768 + 20000 * std::sin(0.01 * j) +
                                                               static_cast<int>(seed >> 22) - 512);
        }
    auto& r = model::Waveforms[1];
    r.averaging = true;
    r.average_count = 50;
    r.xincrement = 1e-6;
    for (int j = 1; j <= 2002; ++j) r.volts[j] = std::sin(0.05 * j) + 0.3 * std::sin(0.31 * j);
}

void BM_Compute_spectrum(benchmark::State& state) {
    Fill_record();
    for (auto _ : state) {
        dsp::Compute_spectrum(1);
        benchmark::DoNotOptimize(dsp::Spectra[1].amplitude[5]);
    }
}
BENCHMARK(BM_Compute_spectrum)->Unit(benchmark::kMicrosecond);

// The transform alone, to tell it from the magnitudes and divisions around it.
void BM_Real_fft_1024(benchmark::State& state) {
    dsp::FftWork input{};
    for (int j = 1; j <= 1024; ++j) input[j] = std::sin(0.05 * j);
    dsp::FftWork data;
    for (auto _ : state) {
        data = input;
        dsp::Real_fft(data, 512, 1);
        benchmark::DoNotOptimize(data[7]);
    }
}
BENCHMARK(BM_Real_fft_1024)->Unit(benchmark::kMicrosecond);

void BM_Scale_waveform_2002_points_50_sets(benchmark::State& state) {
    Fill_record();
    for (auto _ : state) {
        dsp::Scale_waveform(2002, 1);
        benchmark::DoNotOptimize(model::Waveforms[1].volts[1000]);
    }
}
BENCHMARK(BM_Scale_waveform_2002_points_50_sets)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
