// One whole conversion, as the program runs it for one input: convert_file opens a 60-second
// 48 kHz 16-bit mono WAV file, reads it into a CMonoWave, aligns it and writes the container with
// the encoder's data. Input and output lie on tmpfs (/dev/shm) where there is one, so the figure
// is the converter's own work and the page-cache copies any program pays, not the disk.
//
// Items are input samples. The looped cases carry a loop from sample 1000 to the end whose length
// is a whole number of words for no encoding, so the whole wave is resampled, as bench/compare.sh
// times it from outside.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "src/tonecast/convert_file.h"
#include "src/tonecast/converter_options.h"
#include "wavefile/CWavFile.h"

namespace {

constexpr std::int32_t kRate = 48000;
// 60 s and 3 samples: the loop below is 2,879,003 samples, 3 past a multiple of 8 (IMA-ADPCM),
// 3 past one of 4 (PCM8) and 1 past one of 2 (PCM16).
constexpr std::int32_t kFrames = 60 * kRate + 3;
constexpr std::int32_t kLoopStart = 1000;

std::filesystem::path scratch_folder() {
    const std::filesystem::path shm = "/dev/shm";
    std::error_code error;
    if (std::filesystem::is_directory(shm, error)) return shm;
    return std::filesystem::temp_directory_path();
}

// Noise with two tones on it, about 3 dB below full scale.
std::vector<std::int16_t> test_samples() {
    std::vector<std::int16_t> samples(kFrames);
    std::uint32_t lcg = 1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        lcg = lcg * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / kRate;
        const double noise = static_cast<double>(lcg >> 16) - 32768.0;
        const double tones = 8000.0 * std::sin(2 * 3.141592653589793 * 440 * t) +
                             8000.0 * std::sin(2 * 3.141592653589793 * 1234.5 * t);
        samples[i] = static_cast<std::int16_t>(std::lround(0.35 * noise + tones));
    }
    return samples;
}

// The input file, written once for each benchmark and removed with it, and the output's name.
struct Files {
    explicit Files(bool looped) {
        const std::string tag = looped ? "loop" : "plain";
        input = (scratch_folder() / ("tonecast-bench-" + tag + ".wav")).string();
        output = (scratch_folder() / ("tonecast-bench-" + tag + ".klng")).string();
        CWavFile w;
        w.SetSampleRate(kRate);
        w.SetBitsPerSample(16);
        w.SetChannels(1);
        if (looped) w.SetLoop(kLoopStart, kFrames);
        w.Open(input.c_str(), CWaveFile::MODE_WRITE);
        const std::vector<std::int16_t> samples = test_samples();
        std::vector<std::uint8_t> raw(samples.size() * 2);
        w.SamplesToRaw16(samples.data(), raw.data(), static_cast<std::uint32_t>(samples.size()));
        ok = w.WriteRaw(raw.data(), static_cast<std::int32_t>(raw.size()));
        w.Close();
    }
    ~Files() {
        std::error_code error;
        std::filesystem::remove(input, error);
        std::filesystem::remove(output, error);
    }
    std::string input;
    std::string output;
    bool ok = false;
};

// Args: the encoding (0 PCM8, 1 PCM16, 2 IMA-ADPCM) and whether the input loops.
void BM_ConvertFile(benchmark::State& state) {
    const Files files(state.range(1) != 0);
    if (!files.ok) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    converter_options options;
    options.encoding = static_cast<std::int32_t>(state.range(0));
    // The progress line goes to a string, not among the benchmark's figures.
    std::ostringstream progress;
    std::streambuf* const console = std::cout.rdbuf(progress.rdbuf());
    try {
        for (auto _ : state) {
            convert_file(files.input.c_str(), files.output.c_str(), options);
            progress.str(std::string());
        }
    } catch (...) {
        std::cout.rdbuf(console);
        state.SkipWithError("the conversion failed");
        return;
    }
    std::cout.rdbuf(console);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kFrames});
    static const char* const kNames[] = {"pcm8", "pcm16", "adpcm"};
    state.SetLabel(std::string(kNames[state.range(0)]) +
                   (state.range(1) ? ", loop resampled" : ", no loop") + "; items = samples");
}
BENCHMARK(BM_ConvertFile)
    ->ArgNames({"encoding", "loop"})
    ->ArgsProduct({{ENCODING_ADPCM, ENCODING_PCM16, ENCODING_PCM8}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
