#pragma once
// The resampler written out literally, one step after the other, as the reference that every
// optimised variant must match bit for bit.

#include <cstdint>
#include <vector>

namespace test {

// The interpolated value before rounding at position x of a wave of `source.size()` samples
// whose loop starts at loopstart.
double literal_sum(const std::vector<std::int16_t>& source, std::uint32_t loopstart, double x);

// The rounding to 16 bits: halves away from zero, clipped.
std::int16_t literal_round(double acc);

// The value at position x of a wave of `source.size()` samples whose loop starts at loopstart.
std::int16_t literal_sinc(const std::vector<std::int16_t>& source, std::uint32_t loopstart,
                          double x);

// The positions of `newlength` outputs over `length` samples: output i at i * (1 / ratio).
std::vector<double> literal_positions(std::size_t length, std::uint32_t newlength);

// `newlength` outputs, output i at position i * (1 / (newlength / length)).
std::vector<std::int16_t> literal_resample(const std::vector<std::int16_t>& source,
                                           std::uint32_t loopstart, std::uint32_t newlength);

// How many outputs the tests afford: the sanitizer builds run the same tests much slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned kScale = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr unsigned kScale = 8;
#else
constexpr unsigned kScale = 1;
#endif
#else
constexpr unsigned kScale = 1;
#endif

}  // namespace test
