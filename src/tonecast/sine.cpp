#include "src/tonecast/sine.h"

#include <cstdint>
#include <cstring>

#include "src/tonecast/sine_constants.h"

// The method is fdlibm's (Sun Microsystems, 1993; the same in FreeBSD msun): reduce the argument
// by multiples of pi/2 to r = y0 + y1 with |r| <= pi/4, then evaluate one of two polynomial
// kernels fitted on [-pi/4, pi/4]. Constants are exact binary values, written as hexadecimal
// literals (sine_constants.h).

namespace {

using namespace sine_constants;

std::uint64_t bits_of(double x) {
    std::uint64_t u = 0;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double from_bits(std::uint64_t u) {
    double x = 0;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

// The upper 32 bits of a double: sign, exponent and the top 20 bits of the significand.
std::uint32_t high_word(double x) { return static_cast<std::uint32_t>(bits_of(x) >> 32); }

// 2^k for an exponent in the normal range.
double pow2(int k) { return from_bits(static_cast<std::uint64_t>(k + 1023) << 52); }

// sin(x + y) for |x + y| <= pi/4, y the tail of x below its last bit; `with_tail` false means
// y is 0. Coefficients: fdlibm k_sin.c, a minimax fit of (sin(x) - x) / x^3 in x^2.
double kernel_sin(double x, double y, bool with_tail) {
    // Below 2^-27 the cubic term lies under half an ulp of x.
    if ((high_word(x) & 0x7fffffffu) < kHighTiny) return x;
    const double z = x * x;
    const double v = z * x;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    if (!with_tail) return x + v * (S1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos(x + y) for |x + y| <= pi/4. Coefficients: fdlibm k_cos.c, a minimax fit of
// (cos(x) - 1 + x^2/2) / x^4 in x^2; above 0.3 a part of x^2/2 is moved into the leading term
// so that 1 - x^2/2 loses no bits.
double kernel_cos(double x, double y) {
    const std::uint32_t ix = high_word(x) & 0x7fffffffu;
    if (ix < kHighTiny) return 1.0;  // |x| < 2^-27: x^2/2 lies under half an ulp of 1
    const double z = x * x;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    if (ix < kHighCosSmall) return 1.0 - (0.5 * z - (z * r - x * y));  // |x| < 0.3
    // qx: x^2/4 rounded down to a few bits (0.28125 for |x| > 0.78125), exact to subtract.
    const double qx = ix > kHighCosLarge
                          ? 0.28125
                          : from_bits(static_cast<std::uint64_t>(ix - 0x00200000u) << 32);
    const double hz = 0.5 * z - qx;
    const double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// Cody-Waite reduction for 2^-2 pi <= ax < 2^20 pi/2: ax - n pi/2 = y0 + y1, returns n.
// pi/2 is split into three 33-bit parts (pio2_1, pio2_2, pio2_3) with the rounded rest of each
// (pio2_Nt), so n * pio2_N is exact for n < 2^20. Further parts are used only when cancellation
// has eaten the bits the previous ones supplied (fdlibm e_rem_pio2.c).
std::int32_t reduce_medium(double ax, double& y0, double& y1) {
    const auto n = static_cast<std::int32_t>(ax * invpio2 + 0.5);  // < 2^20 + 1: fits
    const double fn = n;
    double r = ax - fn * pio2_1;
    double w = fn * pio2_1t;  // first pass good to 85 bits
    const auto exponent = [](double v) { return static_cast<int>((high_word(v) >> 20) & 0x7ff); };
    const int j = exponent(ax);
    y0 = r - w;
    if (j - exponent(y0) > 16) {  // second pass, good to 118 bits
        double t = r;
        w = fn * pio2_2;
        r = t - w;
        w = fn * pio2_2t - ((t - r) - w);
        y0 = r - w;
        if (j - exponent(y0) > 49) {  // third pass, 151 bits: covers every double
            t = r;
            w = fn * pio2_3;
            r = t - w;
            w = fn * pio2_3t - ((t - r) - w);
            y0 = r - w;
        }
    }
    y1 = (r - y0) - w;
    return n;
}

// The binary digits of 2/pi after the point, 32 to a word (fdlibm's ipio2 table holds the same
// digits in 24-bit pieces). 1280 bits cover the largest double's need of about 1160.
constexpr std::uint32_t kTwoOverPi[40] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D};

// The 32 digits of 2/pi from digit `first` on (digit 1 has the weight 1/2).
std::uint32_t two_over_pi_digits(int first) {
    const auto q = static_cast<std::size_t>((first - 1) / 32);
    const int r = (first - 1) % 32;
    const std::uint64_t pair = std::uint64_t{kTwoOverPi[q]} << 32 | kTwoOverPi[q + 1];
    return static_cast<std::uint32_t>((pair << r) >> 32);
}

// Bits [pos, pos + 64) of a little-endian number of 32-bit limbs, pos < 256; the two limbs above
// the eight of the product are zero so that a window may reach past it.
std::uint64_t bits64(const std::uint32_t (&p)[10], int pos) {
    const auto q = static_cast<std::size_t>(pos / 32);
    const int r = pos % 32;
    const std::uint64_t low = std::uint64_t{p[q + 1]} << 32 | p[q];
    const std::uint64_t top = p[q + 2];
    return r == 0 ? low : (low >> r | top << (64 - r));
}

// Payne-Hanek reduction for ax >= 2^20 pi/2 (finite): ax * 2/pi is formed exactly enough, in
// integers, from the 53-bit significand and a 192-bit window of the digits of 2/pi; only its last
// two integer bits (the quadrant) and its fraction matter.
std::int32_t reduce_large(double ax, double& y0, double& y1) {
    const std::uint64_t u = bits_of(ax);
    const std::uint64_t m = (u & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
    const int e = static_cast<int>(u >> 52) - 1075;  // ax = m * 2^e, e >= -32
    // Digits before j0 give multiples of 4, which leave the sine unchanged.
    const int j0 = e - 1 > 1 ? e - 1 : 1;
    std::uint32_t b[6];  // the window, little-endian: b[5] holds digits j0 ... j0 + 31
    for (int w = 0; w < 6; ++w) b[5 - w] = two_over_pi_digits(j0 + 32 * w);
    const std::uint32_t a[2] = {static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(m >> 32)};
    std::uint32_t p[10] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t k = 0; k < 6; ++k) {
            const std::uint64_t t = std::uint64_t{a[i]} * b[k] + p[i + k] + carry;
            p[i + k] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        p[i + 6] = static_cast<std::uint32_t>(carry);
    }
    // Bit `point` of p has the weight 1: the product's scale is 2^(e - j0 - 191).
    const int point = j0 + 191 - e;
    auto n = static_cast<std::int32_t>(bits64(p, point) & 3);
    std::uint64_t fh = bits64(p, point - 64);  // the fraction's first 64 bits
    std::uint64_t fl = bits64(p, point - 128);
    bool negative = false;
    if (fh >> 63) {  // fraction >= 1/2: take the next quadrant and the negative rest 1 - f
        n = (n + 1) & 3;
        negative = true;
        fl = ~fl + 1;
        fh = ~fh + (fl == 0 ? 1 : 0);
    }
    if (fh == 0 && fl == 0) {  // ax a multiple of pi/2: cannot happen, pi is irrational
        y0 = 0;
        y1 = 0;
        return n;
    }
    int s = 0;
    while ((fh >> 63) == 0) {
        fh = fh << 1 | fl >> 63;
        fl <<= 1;
        ++s;
    }
    const double hi = static_cast<double>(fh >> 11) * pow2(-53 - s);
    const double lo = static_cast<double>((fh & 0x7ff) << 53 | fl >> 11) * pow2(-117 - s);
    // (hi + lo) * pi/2 in double-double; the exact product hi * pio2_hi by Dekker's splitting.
    constexpr double pio2_hi = 0x1.921fb54442d18p+0;
    constexpr double pio2_lo = 0x1.1a62633145c07p-54;
    constexpr double splitter = 0x1p27 + 1;
    const auto split = [](double v, double& high, double& low) {
        const double c = splitter * v;
        high = c - (c - v);
        low = v - high;
    };
    double ah = 0, al = 0, bh = 0, bl = 0;
    split(hi, ah, al);
    split(pio2_hi, bh, bl);
    const double prod = hi * pio2_hi;
    const double prod_err = ((ah * bh - prod) + ah * bl + al * bh) + al * bl;
    const double tail = prod_err + (hi * pio2_lo + lo * pio2_hi);
    y0 = prod + tail;
    y1 = tail - (y0 - prod);
    if (negative) {
        y0 = -y0;
        y1 = -y1;
    }
    return n;
}

}  // namespace

double sine(double x) {
    const std::uint32_t ix = high_word(x) & 0x7fffffffu;
    if (ix <= kHighPiOver4) return kernel_sin(x, 0.0, false);  // |x| <= pi/4 (about)
    if (ix >= 0x7ff00000u) return x - x;                       // NaN for NaN and infinities
    // sin is odd and every step below is exact under a change of sign: work on |x|.
    const double ax = x < 0 ? -x : x;
    double y0 = 0, y1 = 0;
    const std::int32_t n = ix <= kHighMedium ? reduce_medium(ax, y0, y1) : reduce_large(ax, y0, y1);
    double s = 0;
    switch (n & 3) {
        case 0: s = kernel_sin(y0, y1, true); break;
        case 1: s = kernel_cos(y0, y1); break;
        case 2: s = -kernel_sin(y0, y1, true); break;
        default: s = -kernel_cos(y0, y1); break;
    }
    return x < 0 ? -s : s;
}
