#pragma once
// How a file stores one sample, and the conversions between that layout and native values.
//
// Both wave file classes describe their sample bytes with a SampleLayout and leave the byte work
// to the functions below, so that the signedness of 8-bit samples, the byte order and the
// resolution mask are decided in one place per format (CWavFile::Layout, CAiffFile::Layout).
// Every integer sample is *left-justified*: its most significant stored byte holds the sign bit,
// and a sample narrower than its bytes (12 bits in 2, 20 in 3) keeps the unused bits at the
// bottom. Floating-point samples are the one other encoding; the CWaveFile interface does not
// know about either.

#include <cstdint>

namespace wavefile {

struct SampleLayout {
    // Bytes per sample, (bits + 7) / 8. Below 1 nothing is converted.
    std::int32_t width = 0;
    // Most significant byte first (AIFF) or last (WAV).
    bool big_endian = false;
    // One-byte samples stored unsigned, 128 standing for zero (8-bit WAV).
    bool offset_binary = false;
    // Written into the lowest byte that takes bits from a value: clears the bits below the
    // declared resolution (0xF0 for 12 or 20 bits, 0xFF for whole bytes).
    std::uint8_t low_mask = 0xFF;
    // IEEE 754 binary32 (width 4) or binary64 (width 8) in the byte order above, full scale
    // +-1.0. Any other width converts nothing. Read only: no writer produces this layout.
    bool ieee_float = false;
};

// The mask of the top (bits mod 8) bits of a byte, all eight when bits is a multiple of 8.
std::uint8_t resolution_mask(std::int32_t bits);

// Raw bytes to signed values holding the top of each sample (its sign bit in the value's top
// bit): bytes / width whole samples are converted, trailing bytes of a partial sample are
// ignored, and the count converted is returned (0 when width < 1). Narrowing truncates.
//
// A floating-point sample has no top bits to keep: it is clamped to [-1, 1], scaled by 2^(N-1)
// for N-bit values, rounded halves away from zero (round_to_int16's rule, at every width) and
// clipped to the N-bit range, so +1.0 gives the largest value and -1.0 the smallest; NaN gives
// 0. Each width is rounded from the sample itself, so the 8-bit value need not be the 16-bit
// one's top byte: 128 / 32768 gives 128 in 16 bits (top byte 0) and 1 in 8 bits.
std::int32_t raw_to_samples32(const SampleLayout& layout, const void* raw, std::int32_t* samples,
                              std::uint32_t bytes);
std::int32_t raw_to_samples16(const SampleLayout& layout, const void* raw, std::int16_t* samples,
                              std::uint32_t bytes);
std::int32_t raw_to_samples8(const SampleLayout& layout, const void* raw, std::int8_t* samples,
                             std::uint32_t bytes);

// Signed values to raw bytes: each value fills the sample from its top byte, its low bytes are
// dropped when the sample is narrower, zero bytes follow when it is wider. Returns
// count * width, the bytes produced (0 when width < 1). A floating-point layout produces
// nothing and returns 0: the writers store integer samples only, and integer bytes under a
// floating-point header would be noise.
std::uint32_t samples_to_raw32(const SampleLayout& layout, const std::int32_t* samples, void* raw,
                               std::uint32_t count);
std::uint32_t samples_to_raw16(const SampleLayout& layout, const std::int16_t* samples, void* raw,
                               std::uint32_t count);
std::uint32_t samples_to_raw8(const SampleLayout& layout, const std::int8_t* samples, void* raw,
                              std::uint32_t count);

// n * width in 64 bits, saturated to the 32-bit range: a byte count that does not fit the
// interface's 32-bit result is never produced by wrapping around.
std::int32_t samples_to_bytes(std::int32_t width, std::int32_t samples);

// Two's complement reinterpretation without implementation-defined conversions.
constexpr std::int32_t as_int32(std::uint32_t v) {
    return v <= 0x7FFFFFFFu ? static_cast<std::int32_t>(v)
                            : static_cast<std::int32_t>(v - 0x80000000u) - 0x7FFFFFFF - 1;
}
constexpr std::int16_t as_int16(std::uint16_t v) {
    return static_cast<std::int16_t>(v <= 0x7FFF ? v : v - 0x10000);
}
constexpr std::int8_t as_int8(std::uint8_t v) {
    return static_cast<std::int8_t>(v <= 0x7F ? v : v - 0x100);
}

}  // namespace wavefile
