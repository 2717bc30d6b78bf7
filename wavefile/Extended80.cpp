#include "wavefile/Extended80.h"

#include <cmath>

Extended80 ToExtended(double value) {
    Extended80 x;
    std::uint16_t sign = 0;
    if (value < 0) {  // false for -0.0 and NaN
        sign = 0x8000;
        value = -value;
    }
    if (value == 0) return x;  // either zero: all words 0, so -0.0 loses its sign
    int e = 0;
    double f = std::frexp(value, &e);  // value = f * 2^e, 0.5 <= f < 1 for finite values
    if (e > 16384 || !(f < 1)) {       // infinity or NaN
        x.exponent = static_cast<std::uint16_t>(sign | 0x7FFF);
        return x;
    }
    e += 16382;
    if (e < 0) {  // below the extended format's range; unreachable from a double
        f = std::ldexp(f, e);
        e = 0;
    }
    x.exponent = static_cast<std::uint16_t>(e | sign);
    // f * 2^32 lies in [2^31, 2^32), and the remainder scaled again in [0, 2^32): both words fit.
    f = std::ldexp(f, 32);
    const double high = std::floor(f);
    x.mantissaHigh = static_cast<std::uint32_t>(high);
    f = std::ldexp(f - high, 32);
    x.mantissaLow = static_cast<std::uint32_t>(std::floor(f));
    return x;
}

double FromExtended(const Extended80& x) {
    const int e = x.exponent & 0x7FFF;
    double result = 0;
    if (e == 0x7FFF) {
        result = HUGE_VAL;
    } else {
        // Each term is a 32-bit integer times a power of two, exact wherever a double can hold
        // it; ldexp (rather than a separately computed power of two) keeps terms exact down to
        // the denormals, where the power alone would already have underflowed. A zero word
        // contributes nothing, so an overflowing power never meets a zero (no NaN).
        // 16414 = 16383 + 31: the high word has the integer bit at its top; the low word
        // continues 32 bits further down.
        if (x.mantissaHigh != 0) result = std::ldexp(x.mantissaHigh, e - 16414);
        if (x.mantissaLow != 0) result += std::ldexp(x.mantissaLow, e - 16446);
    }
    return (x.exponent & 0x8000) ? -result : result;
}
