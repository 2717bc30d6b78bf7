#include "src/tonecast/sine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "tests/tonecast/sinc_reference.h"

namespace {

// The distance between two doubles in units of the last place of `expected`.
double ulps(double got, long double expected) {
    const double e = static_cast<double>(expected);
    const double ulp =
        std::nextafter(std::fabs(e), std::numeric_limits<double>::infinity()) - std::fabs(e);
    return static_cast<double>(std::fabs(static_cast<long double>(got) - expected) / ulp);
}

struct KnownSine {
    const char* name;
    double x;
    double sin_x;  // correctly rounded, from mpmath at 2000 bits
    friend void PrintTo(const KnownSine& c, std::ostream* os) { *os << c.name; }
};

class SineKnown : public ::testing::TestWithParam<KnownSine> {};

TEST_P(SineKnown, WithinOneUlp) {
    const KnownSine& c = GetParam();
    EXPECT_LE(ulps(sine(c.x), c.sin_x), 1.0) << std::hexfloat << sine(c.x);
}

const KnownSine kKnown[] = {
    {"half", 0.5, 0x1.eaee8744b05f0p-2},
    {"one", 1.0, 0x1.aed548f090ceep-1},
    {"pi", 3.141592653589793, 0x1.1a62633145c07p-53},  // pi minus the double nearest pi
    {"near_113_pi", 355.0, -0x1.f9bd0307d1de3p-16},    // 355/113 is close to pi
    // The resampler's arguments: pi times a position 99 to 100 samples before the tap
    {"resampler_range", -311.01767270538954, 0x1.cb2fce8fc81a5p-47},
    {"1e22", 1e22, -0x1.b453ab76bf397p-1},
    {"1e300", 1e300, -0x1.a2c16b010e385p-1},
    // The double closest to a multiple of pi/2 (Kahan, McDonald): the reduction's worst case
    {"hardest_reduction", 6381956970095103.0 * 0x1p797, 1.0},
    {"largest_double", 0x1.fffffffffffffp1023, 0x1.452fc98b34e97p-8},
};
INSTANTIATE_TEST_SUITE_P(Values, SineKnown, ::testing::ValuesIn(kKnown),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Sine, ExactWhereTheValueIsExact) {
    EXPECT_EQ(sine(0.0), 0.0);
    EXPECT_FALSE(std::signbit(sine(0.0)));
    EXPECT_TRUE(std::signbit(sine(-0.0)));
    // Below 2^-27 sin x rounds to x itself.
    for (const double x : {1e-300, -1e-300, 0x1p-30, -0x1p-28, 4.9e-324}) EXPECT_EQ(sine(x), x);
}

TEST(Sine, NotANumberWithoutAValue) {
    EXPECT_TRUE(std::isnan(sine(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(sine(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(sine(-std::numeric_limits<double>::infinity())));
}

// x87 long double has a 64-bit significand: sinl is 11 bits more precise than any double sine,
// so it serves as the reference over a wide sweep.
TEST(Sine, WithinOneUlpOfLongDoubleSweep) {
    if (std::numeric_limits<long double>::digits < 64) GTEST_SKIP() << "no extended long double";
#ifdef __MINGW32__
    // There sinl is the x87 fsin instruction, whose 66-bit pi is off by thousands of double
    // ulps from 2^18 on and by 10^17 from 2^61; the Linux builds run this sweep.
    GTEST_SKIP() << "MinGW-w64's sinl is no reference for large arguments";
#endif
    std::mt19937_64 random(20240611);
    const int count = static_cast<int>(200000 / test::kScale);
    double worst = 0;
    double worst_x = 0;
    int asymmetric = 0;
    const auto check = [&](double x) {
        const double u = ulps(sine(x), sinl(static_cast<long double>(x)));
        if (u > worst) {
            worst = u;
            worst_x = x;
        }
        if (!(sine(-x) == -sine(x))) ++asymmetric;  // odd, bit for bit
    };
    std::uniform_real_distribution<double> near(-400.0, 400.0);
    std::uniform_real_distribution<double> resampler(-315.0, -310.0);
    std::uniform_int_distribution<int> exponent(-40, 1023);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    for (int n = 0; n < count; ++n) {
        check(near(random));
        check(resampler(random));
        check(std::ldexp(mantissa(random), exponent(random)));
    }
    // Around the multiples of pi/2, where the reduction cancels the most bits.
    for (int k = 1; k < 4000; ++k) {
        const double m = k * 1.5707963267948966;
        check(m);
        check(std::nextafter(m, 0.0));
        check(std::nextafter(m, 1e9));
    }
    EXPECT_LE(worst, 1.0) << "at " << std::hexfloat << worst_x;
    EXPECT_EQ(asymmetric, 0);
}

}  // namespace
