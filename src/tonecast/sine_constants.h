#pragma once
// The constants of the converter's sine (sine.cpp), shared with the vector copy of its
// medium-range path in the AVX-512 resampler, which must give the same bits. Exact binary values,
// written as hexadecimal literals so that no decimal conversion stands between source and bits.
// Values: fdlibm (Sun Microsystems, 1993), k_sin.c, k_cos.c and e_rem_pio2.c.

namespace sine_constants {

// sin(x) ~ x + x^3 (S1 + x^2 S2 + ... + x^10 S6) on [-pi/4, pi/4].
constexpr double S1 = -0x1.5555555555549p-3;
constexpr double S2 = 0x1.111111110f8a6p-7;
constexpr double S3 = -0x1.a01a019c161d5p-13;
constexpr double S4 = 0x1.71de357b1fe7dp-19;
constexpr double S5 = -0x1.ae5e68a2b9cebp-26;
constexpr double S6 = 0x1.5d93a5acfd57cp-33;

// cos(x) ~ 1 - x^2/2 + x^4 (C1 + x^2 C2 + ... + x^10 C6) on [-pi/4, pi/4].
constexpr double C1 = 0x1.555555555554cp-5;
constexpr double C2 = -0x1.6c16c16c15177p-10;
constexpr double C3 = 0x1.a01a019cb1590p-16;
constexpr double C4 = -0x1.27e4f809c52adp-22;
constexpr double C5 = 0x1.1ee9ebdb4b1c4p-29;
constexpr double C6 = -0x1.8fae9be8838d4p-37;

// 2/pi, and pi/2 in three 33-bit parts, each with the rounded rest after it.
constexpr double invpio2 = 0x1.45f306dc9c883p-1;
constexpr double pio2_1 = 0x1.921fb54400000p+0;
constexpr double pio2_1t = 0x1.0b4611a626331p-34;
constexpr double pio2_2 = 0x1.0b4611a600000p-34;
constexpr double pio2_2t = 0x1.3198a2e037073p-69;
constexpr double pio2_3 = 0x1.3198a2e000000p-69;
constexpr double pio2_3t = 0x1.b839a252049c1p-104;

// Upper words (sign cleared) that bound the argument ranges.
constexpr unsigned kHighPiOver4 = 0x3fe921fbu;   // up to about pi/4: no reduction
constexpr unsigned kHighMedium = 0x413921fbu;    // up to 2^20 pi/2: three-part reduction
constexpr unsigned kHighTiny = 0x3e400000u;      // 2^-27
constexpr unsigned kHighCosSmall = 0x3fd33333u;  // 0.3
constexpr unsigned kHighCosLarge = 0x3fe90000u;  // 0.78125

}  // namespace sine_constants
