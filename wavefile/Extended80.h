#pragma once
// The AIFF sample rate: an 80-bit IEEE 754 extended-precision number, kept exactly as the file
// holds it and converted only when the rate is set or asked for.

#include <cstdint>

struct Extended80 {
    std::uint16_t exponent = 0;      // bit 15: sign; bits 14-0: exponent biased by 16383
    std::uint32_t mantissaHigh = 0;  // mantissa bits 63-32; bit 63 is the explicit integer bit
    std::uint32_t mantissaLow = 0;   // mantissa bits 31-0
};

// Exact for every finite double. Both zeros give all-zero words; infinities and NaN give the
// largest exponent with a zero mantissa (NaN as positive infinity).
Extended80 ToExtended(double value);

// The 64-bit mantissa rounded once to a double. A zero exponent gives zero (or, for mantissas
// too small to matter, the denormal they stand for); the largest exponent gives infinity
// whatever the mantissa; values beyond a double's range give infinity.
double FromExtended(const Extended80& x);
