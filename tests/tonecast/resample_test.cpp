#include "src/tonecast/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "src/tonecast/mono_wave.h"
#include "src/tonecast/sine.h"
#include "tests/tonecast/sinc_reference.h"
#include "wavefile/round16.h"

namespace {

std::vector<resample_isa> supported_isas() {
    std::vector<resample_isa> isas;
    for (const resample_isa isa :
         {resample_isa::portable, resample_isa::avx2, resample_isa::avx512}) {
        if (resample_isa_supported(isa)) isas.push_back(isa);
    }
    return isas;
}

// The wave is neither copied nor moved: tests fill one in place.
void make_looped(CMonoWave& wave, const std::vector<std::int16_t>& samples,
                 std::uint32_t loopstart) {
    wave.samples = samples;
    wave.length = static_cast<std::uint32_t>(samples.size());
    wave.loop = true;
    wave.loopstart = loopstart;
    wave.rate = 22050;
}

std::vector<std::int16_t> noise(std::size_t n, int amplitude, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-amplitude - 1, amplitude);
    std::vector<std::int16_t> out(n);
    for (auto& s : out) s = static_cast<std::int16_t>(value(random));
    return out;
}

// The AVX-512 variant computes the per-output sine eight lanes at a time; it must give sine()'s
// bits, including where the reduction needs its second and third passes (near multiples of
// pi/2) and where a lane leaves the range that the vector path covers.
TEST(ResampleVectorSine, GivesTheScalarSineBits) {
    if (!resample_isa_supported(resample_isa::avx512)) GTEST_SKIP() << "no AVX-512";
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> resampler(-100 * 3.141592653589793,
                                                     -99 * 3.141592653589793);
    std::uniform_real_distribution<double> medium(-1.6e6, 1.6e6);
    std::uniform_int_distribution<int> multiple(1, 1 << 20);
    std::uniform_int_distribution<int> nudge(-3, 3);
    const double outside[] = {0.0, -0.5, 1e-300, 1e300, std::numeric_limits<double>::infinity()};
    int mismatches = 0;
    for (int n = 0; n < static_cast<int>(20000 / test::kScale); ++n) {
        double args[8];
        for (int l = 0; l < 8; ++l) {
            switch ((n + l) % 3) {
                case 0: args[l] = resampler(random); break;
                case 1: args[l] = medium(random); break;
                default: {
                    double x = multiple(random) * 1.5707963267948966;
                    for (int u = nudge(random); u != 0; u += u > 0 ? -1 : 1) {
                        x = std::nextafter(x, u > 0 ? 1e300 : -1e300);
                    }
                    args[l] = x;
                }
            }
        }
        if (n % 16 == 0) args[n / 16 % 8] = outside[n / 16 % 5];  // the scalar fallback
        double got[8];
        resample_sine8_avx512(args, got);
        for (int l = 0; l < 8; ++l) {
            const double want = sine(args[l]);
            if (std::memcmp(&got[l], &want, sizeof want) != 0) ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

struct RoundCase {
    double value;
    std::int16_t expected;
};

TEST(RoundToInt16, HalvesAwayFromZeroAndClips) {
    const RoundCase cases[] = {
        {0.0, 0},
        // The rule is "add 0.5, then truncate" in double: 0.5 - 2^-54 plus 0.5 rounds to 1.
        {0.49999999999999994, 1},
        {0.5, 1},
        {2.5, 3},
        {-2.5, -3},
        {2.4999999, 2},
        {-2.4999999, -2},
        {-0.4, 0},
        {-0.5, -1},
        {32766.5, 32767},
        {32767.4, 32767},
        {32767.5, 32767},
        {1e9, 32767},
        {-32767.5, -32768},
        {-32768.4, -32768},
        {-32768.5, -32768},
        {-1e9, -32768},
        {std::numeric_limits<double>::infinity(), 32767},
        {-std::numeric_limits<double>::infinity(), -32768},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const RoundCase& c : cases) EXPECT_EQ(round_to_int16(c.value), c.expected) << c.value;
}

TEST(SincInterpolate, MatchesLiteralFormulaAtRandomPositions) {
    std::mt19937_64 random(7);
    struct WaveShape {
        std::size_t length;
        std::uint32_t loopstart;
    };
    // Shorter and longer than the 200 taps, looped from the start, the middle and the end.
    const WaveShape shapes[] = {{1, 0}, {7, 3}, {150, 100}, {199, 198}, {200, 0}, {1000, 953}};
    for (const WaveShape& shape : shapes) {
        const std::vector<std::int16_t> source = noise(shape.length, 32767, 11);
        CMonoWave wave;
        make_looped(wave, source, shape.loopstart);
        std::uniform_real_distribution<double> position(0.0,
                                                        static_cast<double>(shape.length) + 300);
        for (int n = 0; n < static_cast<int>(400 / test::kScale); ++n) {
            double x = position(random);
            if (n % 4 == 0) x = std::floor(x);  // on a sample: one tap has t == 0
            ASSERT_EQ(sinc_interpolate(source.data(), x, wave),
                      test::literal_sinc(source, shape.loopstart, x))
                << "length " << shape.length << " x " << std::hexfloat << x;
        }
    }
}

TEST(SincInterpolate, OnASampleGivesThatSampleAlsoPastTheEnd) {
    const std::vector<std::int16_t> source = noise(300, 30000, 3);
    const std::uint32_t loopstart = 250;
    CMonoWave wave;
    make_looped(wave, source, loopstart);
    for (std::uint32_t i = 0; i < 500; ++i) {
        // Past the end the wave goes on with its loop: 300 -> 250, 301 -> 251, ...
        const std::uint32_t folded = i < 300 ? i : loopstart + (i - 300) % 50;
        ASSERT_EQ(sinc_interpolate(source.data(), i, wave), source[folded]) << i;
    }
}

TEST(SincInterpolate, OvershootIsClipped) {
    // Full scale alternating, with its phase turned over between samples 200 and 201: at 200.5
    // every one of the 200 taps adds with the same sign, to about four times full scale.
    std::vector<std::int16_t> up(400), down(400);
    for (std::size_t i = 0; i < up.size(); ++i) {
        const bool high = (i % 2 == 0) == (i <= 200);
        up[i] = high ? 32767 : -32768;
        down[i] = high ? -32768 : 32767;
    }
    CMonoWave wave;
    make_looped(wave, up, 0);
    EXPECT_EQ(sinc_interpolate(up.data(), 200.5, wave), 32767);
    EXPECT_EQ(sinc_interpolate(down.data(), 200.5, wave), -32768);
    EXPECT_EQ(test::literal_sinc(up, 0, 200.5), 32767);
    EXPECT_EQ(test::literal_sinc(down, 0, 200.5), -32768);
}

struct ResampleCase {
    const char* name;
    std::size_t length;
    std::uint32_t loopstart;
    std::uint32_t newlength;
    int amplitude;
    friend void PrintTo(const ResampleCase& c, std::ostream* os) { *os << c.name; }
};

class ResampleExact : public ::testing::TestWithParam<ResampleCase> {};

// Every variant's sums before rounding carry the literal formula's bits, and its rounded
// outputs, on one thread and split across several, the literal outputs.
TEST_P(ResampleExact, EveryVariantAndSplitMatchesLiteralFormula) {
    const ResampleCase& c = GetParam();
    const std::vector<std::int16_t> source = noise(c.length, c.amplitude, 5);
    std::vector<double> expected_sums;
    std::vector<std::int16_t> expected;
    for (const double x : test::literal_positions(c.length, c.newlength)) {
        expected_sums.push_back(test::literal_sum(source, c.loopstart, x));
        expected.push_back(test::literal_round(expected_sums.back()));
    }
    for (const resample_isa isa : supported_isas()) {
        CMonoWave wave;
        make_looped(wave, source, c.loopstart);
        std::vector<double> sums(c.newlength);
        resample_sums_with(wave, c.newlength, isa, sums.data());
        std::size_t same = 0;
        while (same < sums.size() &&
               std::memcmp(&sums[same], &expected_sums[same], sizeof(double)) == 0) {
            ++same;
        }
        EXPECT_EQ(same, sums.size()) << resample_isa_name(isa) << " sums";
        for (const unsigned threads : {1u, 2u, 3u}) {
            make_looped(wave, source, c.loopstart);
            resample_wave_with(wave, c.newlength, isa, threads);
            EXPECT_EQ(wave.samples, expected)
                << resample_isa_name(isa) << " on " << threads << " threads";
        }
    }
    CMonoWave wave;
    make_looped(wave, source, c.loopstart);
    resample_wave(wave, c.newlength);
    EXPECT_EQ(wave.samples, expected) << "resample_wave's own choice";
}

const ResampleCase kResampleCases[] = {
    {"one_sample", 1, 0, 8, 32767},
    {"loop_47_to_48", 47, 0, 48, 32767},
    {"shorter_than_taps", 150, 100, 157, 20000},
    {"loop_at_end", 1000, 953, 1021, 32767},
    {"double_length_on_samples", 333, 20, 666, 32767},  // even outputs fall on samples
    {"same_length", 250, 10, 250, 32767},               // every output on a sample
    {"shrink", 3001, 1000, 1999, 32767},
    {"shrink_threefold", 3000, 10, 1000, 32767},  // too far apart for the vector windows
    // Some groups' lanes fit a window, some do not: the converted samples skip ahead.
    {"shrink_by_2_2", 4400, 10, 2000, 32767},
    {"long", 40000 / test::kScale + 13, 1234, (40000 / test::kScale + 13) * 48 / 47, 32767},
    // Waves that grow by a few samples are resampled in their own buffer: the outputs overwrite
    // the samples behind the reading, across threads, and the taps past the end read the loop's
    // start, overwritten long before.
    {"long_in_place", 40000 / test::kScale + 13, 1234, 40000 / test::kScale + 20, 32767},
    {"in_place_short_loop", 3000, 2995, 3005, 32767},  // the taps go round the loop many times
    {"in_place_grown_most", 3000, 100, 3024, 32767},
    {"grown_past_in_place", 3000, 100, 3060, 32767},
};
INSTANTIATE_TEST_SUITE_P(Waves, ResampleExact, ::testing::ValuesIn(kResampleCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ResampleWave, SameLengthReproducesTheWave) {
    const std::vector<std::int16_t> source = noise(1000, 32767, 9);
    for (const resample_isa isa : supported_isas()) {
        CMonoWave wave;
        make_looped(wave, source, 500);
        resample_wave_with(wave, 1000, isa, 2);
        EXPECT_EQ(wave.samples, source) << resample_isa_name(isa);
    }
}

TEST(ResampleWave, EmptyWaveGivesSilence) {
    for (const resample_isa isa : supported_isas()) {
        CMonoWave wave;
        resample_wave_with(wave, 20, isa, 2);
        EXPECT_EQ(wave.samples, std::vector<std::int16_t>(20, 0)) << resample_isa_name(isa);
    }
}

}  // namespace
