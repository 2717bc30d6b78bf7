#pragma once
// Helpers shared by the wave file tests: open bytes as a file, read a whole file's samples.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"
#include "wavefile/CWaveFile.h"

namespace test {

// Every sample from the current position to data end, through ReadSamples16.
inline std::vector<std::int16_t> read_all16(CWaveFile& wave, std::uint32_t capacity = 1 << 20) {
    std::vector<std::int16_t> out(capacity);
    out.resize(wave.ReadSamples16(out.data(), capacity));
    return out;
}

// Every sample as signed 32-bit values, through ReadRaw and RawToSamples32.
inline std::vector<std::int32_t> read_all32(CWaveFile& wave) {
    std::vector<std::uint8_t> raw(
        static_cast<std::size_t>(wave.GetDataSize() > 0 ? wave.GetDataSize() : 0));
    const std::int32_t got = wave.ReadRaw(raw.data(), static_cast<std::int32_t>(raw.size()));
    std::vector<std::int32_t> out(raw.size() + 1);
    out.resize(static_cast<std::size_t>(
        wave.RawToSamples32(raw.data(), out.data(), static_cast<std::uint32_t>(got))));
    return out;
}

// A file holding `bytes`, opened for reading by a new object of type T.
template <typename T>
struct Opened {
    explicit Opened(const std::vector<std::uint8_t>& bytes) : file(bytes) {
        result = wave.Open(file.c_str(), CWaveFile::MODE_READ);
    }
    TempFile file;
    T wave;
    std::int32_t result = -1;
};

}  // namespace test
