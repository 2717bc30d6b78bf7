#include "wavefile/CWaveFile.h"

#include <vector>

std::uint32_t CWaveFile::ReadSamples16(std::int16_t* out, std::uint32_t count) {
    if (count == 0 || !IsOpen() || !IsSupported()) return 0;
    // One step converts at most this many samples through a scratch buffer of raw bytes.
    constexpr std::uint32_t kStep = 4096;
    const std::int32_t scratch_bytes = SamplesToBytes(static_cast<std::int32_t>(kStep));
    if (scratch_bytes <= 0) return 0;
    std::vector<unsigned char> scratch(static_cast<std::size_t>(scratch_bytes));
    std::uint32_t total = 0;
    while (count > 0) {
        const std::uint32_t n = count < kStep ? count : kStep;
        const std::int32_t got =
            ReadRaw(scratch.data(), SamplesToBytes(static_cast<std::int32_t>(n)));
        if (got <= 0) break;
        const std::int32_t k = RawToSamples16(scratch.data(), out + total,
                                              static_cast<std::uint32_t>(got));
        if (k <= 0) break;
        total += static_cast<std::uint32_t>(k);
        count -= static_cast<std::uint32_t>(k);
    }
    return total;
}
