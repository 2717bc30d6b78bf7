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

// The table coder on one run.
void BM_AdpcmEncodeBlock(benchmark::State& state) {
    const std::vector<std::int16_t> wave = test_wave();
    std::vector<std::uint8_t> codes(wave.size());
    for (auto _ : state) {
        adpcm_state coder{0, 0};
        adpcm_encode_block(wave.data(), wave.size(), coder, codes.data());
        benchmark::DoNotOptimize(codes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(wave.size()));
    state.SetLabel("items = samples");
}
BENCHMARK(BM_AdpcmEncodeBlock);

// Sixteen runs side by side, packed, in the calls of 1,024 samples that the converter makes;
// argument 1 takes the vector coder where the processor has one, 0 the plain one.
void BM_AdpcmEncodeLanes(benchmark::State& state) {
    const std::vector<std::int16_t> wave = test_wave();
    const std::size_t run = wave.size() / kAdpcmLanes;
    std::vector<unsigned char> bytes(wave.size() / 2);
    const bool vector = state.range(0) != 0;
    for (auto _ : state) {
        adpcm_state states[kAdpcmLanes] = {};
        for (std::size_t done = 0; done < run; done += 1024) {
            (vector ? adpcm_encode_lanes : adpcm_encode_lanes_plain)(
                wave.data() + done, run, 1024, 0xFFFF, states, bytes.data() + done / 2, run / 2);
        }
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(wave.size()));
    state.SetLabel(vector && adpcm_lanes_vectorised() ? "items = samples, vector"
                                                      : "items = samples, plain");
}
BENCHMARK(BM_AdpcmEncodeLanes)->Arg(0)->Arg(1);

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
