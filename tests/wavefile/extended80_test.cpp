// The AIFF sample rate as an 80-bit extended number: known byte images worked out by hand from
// the IEEE 754 extended layout, and the round trip over many doubles.

#include "wavefile/Extended80.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using Ten = std::array<std::uint8_t, 10>;

Extended80 from_bytes(const Ten& b) {
    Extended80 x;
    x.exponent = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
    x.mantissaHigh =
        std::uint32_t{b[2]} << 24 | std::uint32_t{b[3]} << 16 | std::uint32_t{b[4]} << 8 | b[5];
    x.mantissaLow =
        std::uint32_t{b[6]} << 24 | std::uint32_t{b[7]} << 16 | std::uint32_t{b[8]} << 8 | b[9];
    return x;
}

struct ImageCase {
    const char* name;
    double value;
    Ten bytes;
    friend void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }
};

class ExtendedImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ExtendedImage, ToExtendedGivesTheBytes) {
    const Extended80 want = from_bytes(GetParam().bytes);
    const Extended80 got = ToExtended(GetParam().value);
    EXPECT_EQ(got.exponent, want.exponent);
    EXPECT_EQ(got.mantissaHigh, want.mantissaHigh);
    EXPECT_EQ(got.mantissaLow, want.mantissaLow);
}

TEST_P(ExtendedImage, FromExtendedGivesTheValue) {
    const double v = GetParam().value;
    const double got = FromExtended(from_bytes(GetParam().bytes));
    EXPECT_EQ(got, v);
    EXPECT_EQ(std::signbit(got), std::signbit(v) && v != 0) << "only -0.0 loses its sign";
}

const double kInf = std::numeric_limits<double>::infinity();

const ImageCase kImages[] = {
    {"r44100", 44100, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
    {"r22050", 22050, {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
    {"r32000", 32000, {0x40, 0x0D, 0xFA, 0x00, 0, 0, 0, 0, 0, 0}},
    {"r48000", 48000, {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
    {"one", 1.0, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
    {"minus_one", -1.0, {0xBF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
    {"third", 1.0 / 3, {0x3F, 0xFD, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xA8, 0x00}},
    {"zero", 0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"minus_zero", -0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"infinity", kInf, {0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"minus_infinity", -kInf, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 2^-1074, the smallest denormal: exponent 16383 - 1074, integer bit alone.
    {"min_denormal", std::ldexp(1.0, -1074), {0x3B, 0xCD, 0x80, 0, 0, 0, 0, 0, 0, 0}},
    // The largest double, 53 ones: exponent 16383 + 1023, 0xFFFFFFFF then 0xFFFFF800.
    {"max",
     std::numeric_limits<double>::max(),
     {0x43, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0x00}},
};
INSTANTIATE_TEST_SUITE_P(Bytes, ExtendedImage, ::testing::ValuesIn(kImages),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ToExtended, NaNIsWrittenAsPositiveInfinity) {
    const Extended80 x = ToExtended(-std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(x.exponent, 0x7FFF);
    EXPECT_EQ(x.mantissaHigh, 0u);
    EXPECT_EQ(x.mantissaLow, 0u);
}

TEST(FromExtended, SpecialExponents) {
    Extended80 x;
    x.exponent = 0x7FFF;
    x.mantissaHigh = 0x12345678;  // any mantissa
    EXPECT_EQ(FromExtended(x), kInf);
    x.exponent = 0xFFFF;
    EXPECT_EQ(FromExtended(x), -kInf);
    // Exponent 0 with a mantissa: 2^-16382 times at most 2, far below any double.
    x.exponent = 0;
    x.mantissaHigh = 0x80000000;
    x.mantissaLow = 1;
    EXPECT_EQ(FromExtended(x), 0.0);
    // 80 00 and eight zero bytes: negative zero.
    const double minus_zero = FromExtended(from_bytes({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(minus_zero, 0.0);
    EXPECT_TRUE(std::signbit(minus_zero));
}

TEST(FromExtended, BeyondADoubleIsInfinityNeverNaN) {
    // 2^16383 with only the low word set, and with only the high word set.
    Extended80 x;
    x.exponent = 0x7FFE;
    x.mantissaLow = 1;
    EXPECT_EQ(FromExtended(x), kInf);
    x.mantissaLow = 0;
    x.mantissaHigh = 0x80000000;
    EXPECT_EQ(FromExtended(x), kInf);
}

TEST(FromExtended, RoundsTheSixtyFourBitMantissaToNearestEven) {
    // 1 + 2^-53 lies halfway between 1 and the next double: ties go to the even one, 1.
    Extended80 x = from_bytes({0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0x04, 0x00});
    EXPECT_EQ(FromExtended(x), 1.0);
    // A bit more than halfway goes up to 1 + 2^-52.
    x.mantissaLow = 0x401;
    EXPECT_EQ(FromExtended(x), 1.0 + std::ldexp(1.0, -52));
}

struct PowerCase {
    double x;
    std::int32_t n;
    double expected;  // from ldexp, or written out
};

TEST(PowerOfInt, ExactPowersOfTwoIntoTheDenormals) {
    const PowerCase cases[] = {
        {2.0, 0, 1.0},
        {2.0, 1, 2.0},
        {2.0, 10, 1024.0},
        {2.0, 1023, std::ldexp(1.0, 1023)},
        {2.0, 1024, kInf},
        {2.0, -1, 0.5},
        {2.0, -1022, std::ldexp(1.0, -1022)},
        // Below here 2^|n| overflows: 1 / 2^|n| would be 0 from n = -1024 on.
        {2.0, -1023, std::ldexp(1.0, -1023)},
        {2.0, -1024, std::ldexp(1.0, -1024)},
        {2.0, -1050, std::ldexp(1.0, -1050)},
        {2.0, -1074, std::ldexp(1.0, -1074)},
        // Half the smallest denormal rounds to even, 0; beyond that nothing is left.
        {2.0, -1075, 0.0},
        {2.0, -16446, 0.0},
        {2.0, std::numeric_limits<std::int32_t>::min(), 0.0},
        {2.0, std::numeric_limits<std::int32_t>::max(), kInf},
        {0.5, 3, 0.125},
        {0.5, -3, 8.0},
        {-2.0, 3, -8.0},
        {-2.0, -3, -0.125},
        {10.0, 3, 1000.0},
        {4.0, -2, 0.0625},
    };
    for (const PowerCase& c : cases) {
        EXPECT_EQ(PowerOfInt(c.x, c.n), c.expected) << c.x << "^" << c.n;
    }
}

TEST(FromExtended, DenormalsThatThePowerAloneCannotHold) {
    // 2^-1074 with the integer bit alone: the high word is 2^31 times 2^-1105, a power that no
    // double holds; so is 2^-1085 for the low word of the smallest normal's neighbour.
    EXPECT_EQ(FromExtended(from_bytes({0x3B, 0xCD, 0x80, 0, 0, 0, 0, 0, 0, 0})),
              std::ldexp(1.0, -1074));
    // 2^-1022 + 2^-1074: exponent 16383 - 1022 = 0x3C01, the last bit in the low word's bit 11.
    EXPECT_EQ(FromExtended(from_bytes({0x3C, 0x01, 0x80, 0, 0, 0, 0, 0, 0x08, 0x00})),
              std::ldexp(1.0, -1022) + std::ldexp(1.0, -1074));
    // Three quarters of the smallest denormal rounds up to it; a quarter rounds down to 0.
    EXPECT_EQ(FromExtended(from_bytes({0x3B, 0xCC, 0xC0, 0, 0, 0, 0, 0, 0, 0})),
              std::ldexp(1.0, -1074));
    EXPECT_EQ(FromExtended(from_bytes({0x3B, 0xCB, 0x80, 0, 0, 0, 0, 0, 0, 0})), 0.0);
}

TEST(Extended80RoundTrip, EveryFiniteDoubleComesBack) {
    // Random bit patterns cover every exponent, denormals included; a fixed seed keeps the run
    // reproducible.
    std::mt19937_64 random(20240611);
    int checked = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = random();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        const double back = FromExtended(ToExtended(v));
        ASSERT_EQ(back, v) << std::hexfloat << v;
        if (v != 0) {
            ASSERT_EQ(std::signbit(back), std::signbit(v));
        }
        ++checked;
    }
    EXPECT_GT(checked, 190000);
    for (double v : {8000.0, 11025.0, 44100.0, 96000.0, 44100.5, 1e-300, 5e-324, 1e308}) {
        EXPECT_EQ(FromExtended(ToExtended(v)), v);
    }
}

}  // namespace
