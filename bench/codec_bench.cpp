// Throughput of the IMA-ADPCM codec in samples per second. Encoding is serial (each code
// depends on the state the previous one left), so this is the speed of one wave's encoding.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/ima_adpcm.h"

namespace {

constexpr std::size_t kSamples = 1 << 16;

// A tone with some noise on it: the codes vary, as they do for real sound.
std::vector<std::int16_t> test_wave() {
    std::vector<std::int16_t> wave(kSamples);
    std::uint32_t lcg = 1;
    for (std::size_t i = 0; i < wave.size(); ++i) {
        lcg = lcg * 1664525u + 1013904223u;
        const double noise = static_cast<double>(lcg >> 20) - 2048.0;
        const double tone = 12000.0 * std::sin(static_cast<double>(i) * 0.0627);
        wave[i] = static_cast<std::int16_t>(std::lround(tone + noise));
    }
    return wave;
}

void BM_AdpcmEncode(benchmark::State& state) {
    const std::vector<std::int16_t> wave = test_wave();
    std::vector<std::uint8_t> codes(wave.size());
    for (auto _ : state) {
        adpcm_state coder{0, adpcm_find_start_index(0, wave[0])};
        for (std::size_t i = 0; i < wave.size(); ++i) codes[i] = adpcm_encode(wave[i], coder);
        benchmark::DoNotOptimize(codes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(wave.size()));
    state.SetLabel("items = samples");
}
BENCHMARK(BM_AdpcmEncode);

void BM_AdpcmDecode(benchmark::State& state) {
    const std::vector<std::int16_t> wave = test_wave();
    std::vector<std::uint8_t> codes(wave.size());
    adpcm_state coder{0, 0};
    for (std::size_t i = 0; i < wave.size(); ++i) codes[i] = adpcm_encode(wave[i], coder);
    std::vector<std::int16_t> out(wave.size());
    for (auto _ : state) {
        adpcm_state decoder{0, 0};
        for (std::size_t i = 0; i < codes.size(); ++i) out[i] = adpcm_decode(codes[i], decoder);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(codes.size()));
    state.SetLabel("items = samples");
}
BENCHMARK(BM_AdpcmDecode);

// Once per wave: 89 trial steps.
void BM_AdpcmFindStartIndex(benchmark::State& state) {
    std::int16_t sample = -32768;
    for (auto _ : state) {
        benchmark::DoNotOptimize(adpcm_find_start_index(0, sample));
        sample = static_cast<std::int16_t>(sample + 257);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("items = searches");
}
BENCHMARK(BM_AdpcmFindStartIndex);

}  // namespace
