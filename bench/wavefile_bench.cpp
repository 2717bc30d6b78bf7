// Reading a 16-bit mono file through ReadSamples16 (header parse excluded, conversion included)
// against a plain fread of the same bytes: the price of the wave file layer per sample.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

constexpr std::uint32_t kSamples = 1 << 20;  // 2 MB of sample data: stays in the page cache

// A 16-bit mono file of kSamples samples, written once per run in the temporary folder.
struct TestFile {
    explicit TestFile(bool aiff) {
        path = (std::filesystem::temp_directory_path() /
                (aiff ? "tonecast-bench-16.aiff" : "tonecast-bench-16.wav"))
                   .string();
        std::unique_ptr<CWaveFile> w;
        if (aiff) {
            w = std::make_unique<CAiffFile>();
            w->SetSampleFrames(static_cast<std::int32_t>(kSamples));
        } else {
            w = std::make_unique<CWavFile>();
        }
        w->Open(path.c_str(), CWaveFile::MODE_WRITE);
        std::vector<std::int16_t> samples(kSamples);
        std::uint32_t lcg = 1;
        for (std::int16_t& s : samples) {
            lcg = lcg * 1664525u + 1013904223u;
            s = static_cast<std::int16_t>(lcg >> 16);
        }
        std::vector<std::uint8_t> raw(2 * kSamples);
        w->SamplesToRaw16(samples.data(), raw.data(), kSamples);
        w->WriteRaw(raw.data(), static_cast<std::int32_t>(raw.size()));
        data_start = static_cast<long>(std::filesystem::file_size(path) - raw.size());
    }
    ~TestFile() { std::filesystem::remove(path); }
    std::string path;
    long data_start = 0;
};

template <typename T>
void BM_ReadSamples16(benchmark::State& state) {
    const TestFile file(std::is_same_v<T, CAiffFile>);
    T wave;
    wave.Open(file.path.c_str(), CWaveFile::MODE_READ);
    std::vector<std::int16_t> out(kSamples);
    for (auto _ : state) {
        wave.SeekData(0);
        benchmark::DoNotOptimize(wave.ReadSamples16(out.data(), kSamples));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kSamples);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSamples * 2);
}
BENCHMARK_TEMPLATE(BM_ReadSamples16, CWavFile)->Name("ReadSamples16/wav16");
BENCHMARK_TEMPLATE(BM_ReadSamples16, CAiffFile)->Name("ReadSamples16/aiff16");

// The floor: the same bytes with one fread into a buffer, no conversion.
void BM_Fread(benchmark::State& state) {
    const TestFile file(false);
    std::FILE* f = std::fopen(file.path.c_str(), "rb");
    std::vector<std::uint8_t> out(2 * kSamples);
    for (auto _ : state) {
        std::fseek(f, file.data_start, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(out.data(), 1, out.size(), f));
        benchmark::ClobberMemory();
    }
    std::fclose(f);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kSamples);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSamples * 2);
}
BENCHMARK(BM_Fread)->Name("fread/wav16");

}  // namespace
