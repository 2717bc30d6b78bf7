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

// x to the power n by square-and-multiply over the bits of |n|. For n < 0 it runs on 1 / x
// rather than dividing 1 by x^|n|: with x = 2 every step is then exact down to the smallest
// denormal, 2^-1074, where 1 / 2^1074 would have overflowed to 1 / infinity = 0 already at
// n = -1024.
double PowerOfInt(double x, std::int32_t n);

// The 64-bit mantissa rounded once to a double. A zero exponent gives zero (or, for mantissas
// too small to matter, the denormal they stand for); the largest exponent gives infinity
// whatever the mantissa; values beyond a double's range give infinity.
double FromExtended(const Extended80& x);
