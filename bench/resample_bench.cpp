// The resampler, in output samples per second: the literal formula (sinc_interpolate called for
// every output, as the alignment describes it) beside the shipped resample_wave and each of its
// instruction-set variants on one and on two threads. All of them produce the same bits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "src/tonecast/resample.h"

namespace {

// A loop of 47 samples stretched to 48, as the IMA-ADPCM alignment does, over a wave of 64K.
constexpr std::uint32_t kLength = 1 << 16;
constexpr std::uint32_t kLoopStart = kLength - 47 * 100;
constexpr std::uint32_t kNewLength = static_cast<std::uint32_t>(std::uint64_t{kLength} * 48 / 47);

std::vector<std::int16_t> test_wave() {
    std::vector<std::int16_t> wave(kLength);
    std::uint32_t lcg = 1;
    for (std::size_t i = 0; i < wave.size(); ++i) {
        lcg = lcg * 1664525u + 1013904223u;
        const double noise = static_cast<double>(lcg >> 20) - 2048.0;
        const double tone = 12000.0 * std::sin(static_cast<double>(i) * 0.0627);
        wave[i] = static_cast<std::int16_t>(std::lround(tone + noise));
    }
    return wave;
}

void fill(CMonoWave& wave, const std::vector<std::int16_t>& samples) {
    wave.samples = samples;
    wave.length = kLength;
    wave.loop = true;
    wave.loopstart = kLoopStart;
    wave.rate = 22050;
}

void BM_ResampleLiteral(benchmark::State& state) {
    const std::vector<std::int16_t> samples = test_wave();
    CMonoWave wave;
    fill(wave, samples);
    std::vector<std::int16_t> out(kNewLength);
    const double step = 1.0 / (static_cast<double>(kNewLength) / static_cast<double>(kLength));
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kNewLength; ++i) {
            out[i] = sinc_interpolate(samples.data(), i * step, wave);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kNewLength);
    state.SetLabel("items = output samples");
}
BENCHMARK(BM_ResampleLiteral)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ResampleVariant(benchmark::State& state) {
    const auto isa = static_cast<resample_isa>(state.range(0));
    const auto threads = static_cast<unsigned>(state.range(1));
    if (!resample_isa_supported(isa)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    const std::vector<std::int16_t> samples = test_wave();
    CMonoWave wave;
    for (auto _ : state) {
        state.PauseTiming();
        fill(wave, samples);
        state.ResumeTiming();
        resample_wave_with(wave, kNewLength, isa, threads);
        benchmark::DoNotOptimize(wave.samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kNewLength);
    state.SetLabel(resample_isa_name(isa));
}
BENCHMARK(BM_ResampleVariant)
    ->ArgNames({"isa", "threads"})
    ->ArgsProduct({{static_cast<int>(resample_isa::portable), static_cast<int>(resample_isa::avx2),
                    static_cast<int>(resample_isa::avx512)},
                   {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the converter runs: the widest variant, threads by the wave's length.
void BM_ResampleShipped(benchmark::State& state) {
    const std::vector<std::int16_t> samples = test_wave();
    CMonoWave wave;
    for (auto _ : state) {
        state.PauseTiming();
        fill(wave, samples);
        state.ResumeTiming();
        resample_wave(wave, kNewLength);
        benchmark::DoNotOptimize(wave.samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kNewLength);
    state.SetLabel(resample_isa_name(resample_best_isa()));
}
BENCHMARK(BM_ResampleShipped)->Unit(benchmark::kMillisecond)->UseRealTime();

// The resampling that a loop stretched by a few samples asks for on a 1M-sample wave, in place,
// without (0) and with (1) the IMA-ADPCM coding of its outputs between the taps: what the coding
// costs the resampler, which spares the writer its own pass over the wave.
void BM_ResampleCoding(benchmark::State& state) {
    constexpr std::uint32_t kLong = 1 << 20;
    std::vector<std::int16_t> samples(kLong);
    const std::vector<std::int16_t> part = test_wave();
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = part[i % part.size()];
    CMonoWave wave;
    adpcm_pieces coded;
    for (auto _ : state) {
        state.PauseTiming();
        wave.samples = samples;
        wave.length = kLong;
        wave.loop = true;
        wave.loopstart = 1000;
        state.ResumeTiming();
        resample_wave(wave, kLong + 5, state.range(0) != 0 ? &coded : nullptr);
        benchmark::DoNotOptimize(wave.samples.data());
        benchmark::DoNotOptimize(coded.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * (kLong + 5));
    state.SetLabel(state.range(0) != 0 && coded.count == 0
                       ? "no coding on this processor"
                       : resample_isa_name(resample_best_isa()));
}
BENCHMARK(BM_ResampleCoding)
    ->ArgName("coding")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
