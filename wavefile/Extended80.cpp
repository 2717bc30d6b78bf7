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

double PowerOfInt(double x, std::int32_t n) {
    // |n| in unsigned arithmetic: -n overflows for the smallest int32.
    std::uint32_t m = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    if (n < 0) x = 1.0 / x;
    double result = 1.0;
    for (;;) {
        if (m & 1u) result *= x;
        m >>= 1;
        if (m == 0) break;
        x *= x;
    }
    return result;
}

namespace {

// word * 2^n rounded once to a double. Where 2^n itself would be a denormal or zero, the power
// is taken in two steps: the word is first scaled to the smallest normal exponent, exactly,
// and the remaining power, itself exact down to 2^-1074, rounds the product once. So the term
// is right wherever the result lies in a double's range, denormals included.
double ScaledWord(std::uint32_t word, int n) {
    if (word == 0) return 0;  // an overflowing power never meets a zero word: no NaN
    constexpr int kMinNormalExponent = -1022;
    if (n >= kMinNormalExponent) return word * PowerOfInt(2.0, n);
    return word * PowerOfInt(2.0, kMinNormalExponent) * PowerOfInt(2.0, n - kMinNormalExponent);
}

}  // namespace

double FromExtended(const Extended80& x) {
    const int e = x.exponent & 0x7FFF;
    double result = 0;
    if (e == 0x7FFF) {
        result = HUGE_VAL;
    } else {
        // 16414 = 16383 + 31: the high word has the integer bit at its top; the low word
        // continues 32 bits further down (16446 = 16383 + 63). Each term is a 32-bit integer
        // times a power of two, exact wherever a double holds it, so the sum rounds once.
        const double lowTerm = ScaledWord(x.mantissaLow, e - 16446);
        const double highTerm = ScaledWord(x.mantissaHigh, e - 16414);
        result = highTerm + lowTerm;
    }
    return (x.exponent & 0x8000) ? -result : result;
}
