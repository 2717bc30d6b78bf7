// Floating-point samples to integers, at the edges: full scale, just beyond and just inside it,
// the ties of every width, NaN, infinities, huge values and denormals. Each value is stored in
// every float layout the readers take (32 and 64 bits; little-endian WAV, format tag 3 and
// WAVE_FORMAT_EXTENSIBLE; big-endian AIFF-C 'fl32'/'fl64' and the capitals libsndfile writes),
// and the expected integers are worked out by hand: clamp to [-1, 1], times 2^(N-1), halves
// away from zero, clipped to N bits.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

struct FloatRow {
    const char* name;
    double value;
    std::int16_t s16;
    std::int32_t s32;
    std::int8_t s8;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

double p2(int e) { return std::ldexp(1.0, e); }

const std::vector<FloatRow>& rows() {
    static const std::vector<FloatRow> r = {
        {"zero", 0.0, 0, 0, 0},
        {"minus_zero", -0.0, 0, 0, 0},
        {"one", 1.0, 32767, kMax32, 127},
        {"minus_one", -1.0, -32768, kMin32, -128},
        {"half", 0.5, 16384, 1 << 30, 64},
        {"minus_half", -0.5, -16384, -(1 << 30), -64},
        // Just beyond full scale: clamped.
        {"above_one", 1 + p2(-23), 32767, kMax32, 127},
        {"below_minus_one", -1 - p2(-23), -32768, kMin32, -128},
        // Just inside: 32767.998 rounds to 32768 and is clipped; 2^31 - 2^7 is exact.
        {"just_below_one", 1 - p2(-24), 32767, 2147483520, 127},
        {"just_above_minus_one", -1 + p2(-24), -32768, -2147483520, -128},
        // 65533 / 65536 is 32766.5 steps: the tie goes up to 32767; in 8 bits 127.99 rounds to
        // 128, which is clipped.
        {"tie_below_top", 65533.0 / 65536, 32767, 2147385344, 127},
        // Half a 16-bit step, either side of zero, and a hair less.
        {"tie16", p2(-16), 1, 32768, 0},
        {"minus_tie16", -p2(-16), -1, -32768, 0},
        {"below_tie16", p2(-16) - p2(-40), 0, 32768, 0},
        {"minus_below_tie16", -p2(-16) + p2(-40), 0, -32768, 0},
        {"tie16_one_and_a_half", 3 * p2(-16), 2, 98304, 0},
        {"minus_tie16_one_and_a_half", -3 * p2(-16), -2, -98304, 0},
        {"quarter_step", -p2(-17), 0, -16384, 0},
        // Half an 8-bit step and half a 32-bit step.
        {"tie8", p2(-8), 128, 1 << 23, 1},
        {"minus_tie8", -p2(-8), -128, -(1 << 23), -1},
        {"tie32", p2(-32), 0, 1, 0},
        {"minus_tie32", -p2(-32), 0, -1, 0},
        {"nan", kNaN, 0, 0, 0},
        {"minus_nan", -kNaN, 0, 0, 0},
        {"infinity", kInf, 32767, kMax32, 127},
        {"minus_infinity", -kInf, -32768, kMin32, -128},
        // 2^127, near the largest float, and a double far beyond any float.
        {"huge", p2(127), 32767, kMax32, 127},
        {"minus_huge", -p2(127), -32768, kMin32, -128},
        {"huge64", 1e300, 32767, kMax32, 127},
        {"minus_huge64", -1e300, -32768, kMin32, -128},
        {"min_denormal32", p2(-149), 0, 0, 0},
        {"minus_min_denormal32", -p2(-149), 0, 0, 0},
        {"min_denormal64", p2(-1074), 0, 0, 0},
        // Ties that only a double can come near: 2^-16 - 2^-45 and 2^-16 + 2^-60.
        {"below_tie16_64", p2(-16) - p2(-45), 0, 32768, 0},
        {"above_tie16_64", p2(-16) + p2(-60), 1, 32768, 0},
    };
    return r;
}

// A float layout can store the row when the value survives the trip to its width (NaN always
// does); the f32 files leave out the rows that only a double holds.
bool fits(const FloatRow& row, int bits) {
    if (bits == 64 || std::isnan(row.value)) return true;
    if (std::isinf(row.value)) return true;
    return std::fabs(row.value) <= std::numeric_limits<float>::max() &&
           static_cast<double>(static_cast<float>(row.value)) == row.value;
}

struct Layout {
    const char* name;
    bool aiff;
    int bits;
    // Builds the file around the sample bytes.
    std::vector<std::uint8_t> (*build)(const Bytes& samples, std::uint32_t frames);
    friend void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }
};

std::vector<std::uint8_t> wav_tag3_32(const Bytes& s, std::uint32_t) {
    return RiffBuilder().fmt(3, 1, 8000, 32).data(s).bytes();
}
std::vector<std::uint8_t> wav_tag3_64(const Bytes& s, std::uint32_t) {
    return RiffBuilder().fmt(3, 1, 8000, 64, 2).data(s).bytes();
}
std::vector<std::uint8_t> wav_ext_32(const Bytes& s, std::uint32_t) {
    return RiffBuilder().fmt_extensible(1, 8000, 32, test::ks_guid(3)).data(s).bytes();
}
std::vector<std::uint8_t> wav_ext_64(const Bytes& s, std::uint32_t) {
    return RiffBuilder().fmt_extensible(1, 8000, 64, test::ks_guid(3)).data(s).bytes();
}
std::vector<std::uint8_t> aifc_fl32(const Bytes& s, std::uint32_t frames) {
    return AiffBuilder("AIFC")
        .comm_aifc(1, frames, 32, test::kExt8000, "fl32", "32-bit floating point")
        .ssnd(s)
        .bytes();
}
std::vector<std::uint8_t> aifc_fl64(const Bytes& s, std::uint32_t frames) {
    return AiffBuilder("AIFC").comm_aifc(1, frames, 64, test::kExt8000, "fl64").ssnd(s).bytes();
}
std::vector<std::uint8_t> aifc_FL32(const Bytes& s, std::uint32_t frames) {
    return AiffBuilder("AIFC")
        .comm_aifc(1, frames, 32, test::kExt8000, "FL32", nullptr)
        .ssnd(s)
        .bytes();
}
std::vector<std::uint8_t> aifc_FL64(const Bytes& s, std::uint32_t frames) {
    return AiffBuilder("AIFC").comm_aifc(1, frames, 64, test::kExt8000, "FL64").ssnd(s).bytes();
}

const Layout kLayouts[] = {
    {"wav_tag3_f32", false, 32, wav_tag3_32},
    {"wav_tag3_f64", false, 64, wav_tag3_64},
    {"wav_extensible_f32", false, 32, wav_ext_32},
    {"wav_extensible_f64", false, 64, wav_ext_64},
    {"aifc_fl32", true, 32, aifc_fl32},
    {"aifc_fl64", true, 64, aifc_fl64},
    {"aifc_FL32", true, 32, aifc_FL32},
    {"aifc_FL64", true, 64, aifc_FL64},
};

// The value's IEEE bits, in the file's byte order.
void put_float(Bytes& out, double v, int bits, bool big_endian) {
    std::uint64_t u = 0;
    if (bits == 32) {
        const float f = static_cast<float>(v);
        std::uint32_t u32 = 0;
        std::memcpy(&u32, &f, sizeof u32);
        u = u32;
    } else {
        std::memcpy(&u, &v, sizeof u);
    }
    const int n = bits / 8;
    for (int k = 0; k < n; ++k) {
        const int shift = big_endian ? 8 * (n - 1 - k) : 8 * k;
        out.u8(static_cast<std::uint8_t>(u >> shift));
    }
}

class FloatSamples : public ::testing::TestWithParam<Layout> {};

TEST_P(FloatSamples, RoundToEveryWidth) {
    const Layout& layout = GetParam();
    std::vector<FloatRow> used;
    Bytes samples;
    for (const FloatRow& row : rows()) {
        if (!fits(row, layout.bits)) continue;
        used.push_back(row);
        put_float(samples, row.value, layout.bits, layout.aiff);
    }
    ASSERT_GE(used.size(), 30u);
    const auto frames = static_cast<std::uint32_t>(used.size());
    const test::TempFile file(layout.build(samples, frames));
    std::unique_ptr<CWaveFile> w;
    if (layout.aiff) {
        w = std::make_unique<CAiffFile>();
    } else {
        w = std::make_unique<CWavFile>();
    }
    ASSERT_EQ(w->Open(file.c_str(), CWaveFile::MODE_READ), 0);
    ASSERT_TRUE(w->IsSupported());
    EXPECT_EQ(w->GetBitsPerSample(), layout.bits);
    EXPECT_EQ(w->GetSampleFrames(), static_cast<std::int32_t>(frames));

    const std::vector<std::int16_t> s16 = test::read_all16(*w);
    ASSERT_EQ(s16.size(), used.size());
    ASSERT_EQ(w->SeekData(0), 0);
    const std::vector<std::int32_t> s32 = test::read_all32(*w);
    ASSERT_EQ(s32.size(), used.size());
    std::vector<std::uint8_t> raw(samples.size());
    ASSERT_EQ(w->SeekData(0), 0);
    ASSERT_EQ(w->ReadRaw(raw.data(), static_cast<std::int32_t>(raw.size())),
              static_cast<std::int32_t>(raw.size()));
    std::vector<std::int8_t> s8(used.size() + 1, 99);
    ASSERT_EQ(w->RawToSamples8(raw.data(), s8.data(), static_cast<std::uint32_t>(raw.size())),
              static_cast<std::int32_t>(used.size()));
    EXPECT_EQ(s8.back(), 99);  // one value per sample, no more

    for (std::size_t i = 0; i < used.size(); ++i) {
        const FloatRow& row = used[i];
        EXPECT_EQ(s16[i], row.s16) << row.name;
        EXPECT_EQ(s32[i], row.s32) << row.name;
        EXPECT_EQ(s8[i], row.s8) << row.name;
    }
}

TEST_P(FloatSamples, ConvertWholeSamplesOnly) {
    // Raw data that ends inside a sample: the partial one is not converted.
    const Layout& layout = GetParam();
    Bytes samples;
    put_float(samples, 0.5, layout.bits, layout.aiff);
    put_float(samples, -0.5, layout.bits, layout.aiff);
    const test::TempFile file(layout.build(samples, 2));
    std::unique_ptr<CWaveFile> w;
    if (layout.aiff) {
        w = std::make_unique<CAiffFile>();
    } else {
        w = std::make_unique<CWavFile>();
    }
    ASSERT_EQ(w->Open(file.c_str(), CWaveFile::MODE_READ), 0);
    const std::uint32_t width = static_cast<std::uint32_t>(layout.bits / 8);
    std::int16_t out[3] = {7, 7, 7};
    EXPECT_EQ(w->RawToSamples16(samples.vec().data(), out, 2 * width - 1), 1);
    EXPECT_EQ(out[0], 16384);
    EXPECT_EQ(out[1], 7);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FloatSamples, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
