// The PCM8 and IMA-ADPCM writers, in samples per second, writing through their 4096-byte buffer
// into a temporary file that is rewound for every pass.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "wavefile/strm.h"

namespace {

constexpr std::uint32_t kLength = 1 << 20;

void fill(CMonoWave& wave) {
    wave.samples.resize(kLength);
    std::uint32_t lcg = 1;
    for (std::size_t i = 0; i < kLength; ++i) {
        lcg = lcg * 1664525u + 1013904223u;
        const double noise = static_cast<double>(lcg >> 20) - 2048.0;
        const double tone = 12000.0 * std::sin(static_cast<double>(i) * 0.0627);
        wave.samples[i] = static_cast<std::int16_t>(std::lround(tone + noise));
    }
    wave.length = kLength;
    wave.rate = 22050;
}

void run(benchmark::State& state, void (*writer)(const CMonoWave&, strm::file&)) {
    CMonoWave wave;
    fill(wave);
    strm::file out(std::tmpfile());
    if (!out.is_open()) {
        state.SkipWithError("no temporary file");
        return;
    }
    for (auto _ : state) {
        std::rewind(out.get());
        writer(wave, out);
    }
    state.SetItemsProcessed(state.iterations() * kLength);
    state.SetLabel("items = samples");
}

void BM_WritePcm8(benchmark::State& state) { run(state, write_pcm8); }
void BM_WriteAdpcm(benchmark::State& state) { run(state, write_adpcm); }
void BM_WritePcm16(benchmark::State& state) { run(state, write_pcm16); }
BENCHMARK(BM_WritePcm8);
BENCHMARK(BM_WriteAdpcm);
BENCHMARK(BM_WritePcm16);

}  // namespace
