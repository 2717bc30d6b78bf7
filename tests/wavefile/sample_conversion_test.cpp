// Raw sample bytes to values and back, for both formats and the widths each stores, against
// byte tables worked out by hand: WAV is little-endian with unsigned 8-bit samples, AIFF
// big-endian and signed; both keep a narrow sample in the top bits of its bytes.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

enum Format { kWav, kAiff };

std::unique_ptr<CWaveFile> make(Format format, std::int32_t bits) {
    std::unique_ptr<CWaveFile> w;
    if (format == kWav) {
        w = std::make_unique<CWavFile>();
    } else {
        w = std::make_unique<CAiffFile>();
    }
    EXPECT_TRUE(w->SetBitsPerSample(bits));
    return w;
}

struct ReadCase {
    const char* name;
    Format format;
    std::int32_t bits;
    std::vector<std::uint8_t> raw;  // one sample, in file order
    std::uint32_t v32;              // the expected values' bit patterns
    std::uint16_t v16;
    std::uint8_t v8;
    friend void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }
};

class RawToSamples : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RawToSamples, KeepsTheTopOfTheSample) {
    const ReadCase& c = GetParam();
    const auto w = make(c.format, c.bits);
    const auto n = static_cast<std::uint32_t>(c.raw.size());
    std::int32_t s32[2] = {7, 7};
    std::int16_t s16[2] = {7, 7};
    std::int8_t s8[2] = {7, 7};
    ASSERT_EQ(w->RawToSamples32(c.raw.data(), s32, n), 1);
    ASSERT_EQ(w->RawToSamples16(c.raw.data(), s16, n), 1);
    ASSERT_EQ(w->RawToSamples8(c.raw.data(), s8, n), 1);
    EXPECT_EQ(static_cast<std::uint32_t>(s32[0]), c.v32);
    EXPECT_EQ(static_cast<std::uint16_t>(s16[0]), c.v16);
    EXPECT_EQ(static_cast<std::uint8_t>(s8[0]), c.v8);
    EXPECT_EQ(s32[1], 7);  // one sample, one value
    EXPECT_EQ(s16[1], 7);
    EXPECT_EQ(s8[1], 7);
}

const ReadCase kReadCases[] = {
    {"wav8_zero_byte", kWav, 8, {0x00}, 0x80000000, 0x8000, 0x80},  // -32768 as 16 bits
    {"wav8_mid", kWav, 8, {0x80}, 0, 0, 0},
    {"wav8_top", kWav, 8, {0xFF}, 0x7F000000, 0x7F00, 0x7F},  // 32512
    {"wav12", kWav, 12, {0x30, 0x12}, 0x12300000, 0x1230, 0x12},
    {"wav16", kWav, 16, {0x34, 0x12}, 0x12340000, 0x1234, 0x12},
    {"wav16_negative", kWav, 16, {0xFF, 0xFF}, 0xFFFF0000, 0xFFFF, 0xFF},
    {"wav20", kWav, 20, {0x50, 0x34, 0x12}, 0x12345000, 0x1234, 0x12},
    {"wav24", kWav, 24, {0x56, 0x34, 0x12}, 0x12345600, 0x1234, 0x12},
    {"wav24_negative", kWav, 24, {0x00, 0x00, 0x80}, 0x80000000, 0x8000, 0x80},
    {"wav32", kWav, 32, {0x78, 0x56, 0x34, 0x12}, 0x12345678, 0x1234, 0x12},
    {"wav40", kWav, 40, {0x9A, 0x78, 0x56, 0x34, 0x12}, 0x12345678, 0x1234, 0x12},
    {"aiff8_80", kAiff, 8, {0x80}, 0x80000000, 0x8000, 0x80},
    {"aiff8_7f", kAiff, 8, {0x7F}, 0x7F000000, 0x7F00, 0x7F},
    {"aiff12", kAiff, 12, {0x12, 0x30}, 0x12300000, 0x1230, 0x12},
    {"aiff16", kAiff, 16, {0x12, 0x34}, 0x12340000, 0x1234, 0x12},
    {"aiff24", kAiff, 24, {0x12, 0x34, 0x56}, 0x12345600, 0x1234, 0x12},
    {"aiff24_negative", kAiff, 24, {0xFE, 0xDC, 0xBA}, 0xFEDCBA00, 0xFEDC, 0xFE},
    {"aiff32", kAiff, 32, {0x12, 0x34, 0x56, 0x78}, 0x12345678, 0x1234, 0x12},
    {"aiff40", kAiff, 40, {0x12, 0x34, 0x56, 0x78, 0x9A}, 0x12345678, 0x1234, 0x12},
};
INSTANTIATE_TEST_SUITE_P(Widths, RawToSamples, ::testing::ValuesIn(kReadCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct WriteCase {
    const char* name;
    Format format;
    std::int32_t bits;
    int source_bits;  // 8, 16 or 32: which SamplesToRaw
    std::uint32_t value;
    std::vector<std::uint8_t> raw;  // expected, in file order
    friend void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
};

class SamplesToRaw : public ::testing::TestWithParam<WriteCase> {};

TEST_P(SamplesToRaw, FillsTheSampleFromItsTop) {
    const WriteCase& c = GetParam();
    const auto w = make(c.format, c.bits);
    std::vector<std::uint8_t> raw(c.raw.size() + 1, 0xEE);
    std::uint32_t made = 0;
    if (c.source_bits == 32) {
        const std::int32_t v = static_cast<std::int32_t>(c.value);
        made = w->SamplesToRaw32(&v, raw.data(), 1);
    } else if (c.source_bits == 16) {
        const std::int16_t v = static_cast<std::int16_t>(c.value);
        made = w->SamplesToRaw16(&v, raw.data(), 1);
    } else {
        const std::int8_t v = static_cast<std::int8_t>(c.value);
        made = w->SamplesToRaw8(&v, raw.data(), 1);
    }
    EXPECT_EQ(made, c.raw.size());
    EXPECT_EQ(raw.back(), 0xEE) << "wrote past one sample";
    raw.pop_back();
    EXPECT_EQ(raw, c.raw);
}

const WriteCase kWriteCases[] = {
    {"wav12_from16", kWav, 12, 16, 0x1234, {0x30, 0x12}},
    {"wav8_from16", kWav, 8, 16, 0x1234, {0x92}},
    {"wav8_from16_min", kWav, 8, 16, 0x8000, {0x00}},
    {"wav8_from16_max", kWav, 8, 16, 0x7FFF, {0xFF}},
    {"wav24_from16", kWav, 24, 16, 0x1234, {0x00, 0x34, 0x12}},
    {"wav20_from32", kWav, 20, 32, 0x12345678, {0x50, 0x34, 0x12}},
    {"wav24_from32", kWav, 24, 32, 0x12345678, {0x56, 0x34, 0x12}},
    {"wav16_from32", kWav, 16, 32, 0x12345678, {0x34, 0x12}},
    {"wav8_from32", kWav, 8, 32, 0x12345678, {0x92}},
    {"wav32_from16", kWav, 32, 16, 0x1234, {0x00, 0x00, 0x34, 0x12}},
    {"wav40_from16", kWav, 40, 16, 0x1234, {0x00, 0x00, 0x00, 0x34, 0x12}},
    {"wav40_from32", kWav, 40, 32, 0x12345678, {0x00, 0x78, 0x56, 0x34, 0x12}},
    {"wav16_from8", kWav, 16, 8, 0x12, {0x00, 0x12}},
    {"wav8_from8", kWav, 8, 8, 0x12, {0x92}},
    {"wav14_from16", kWav, 14, 16, 0x1237, {0x34, 0x12}},  // mask 0xFC
    {"wav12_from8", kWav, 12, 8, 0x1F, {0x00, 0x10}},      // the mask falls on the 8 bits
    {"aiff12_from16", kAiff, 12, 16, 0x1234, {0x12, 0x30}},
    {"aiff20_from32", kAiff, 20, 32, 0x12345678, {0x12, 0x34, 0x50}},
    {"aiff24_from32", kAiff, 24, 32, 0x12345678, {0x12, 0x34, 0x56}},
    {"aiff24_from16", kAiff, 24, 16, 0x1234, {0x12, 0x34, 0x00}},
    {"aiff16_from8", kAiff, 16, 8, 0x7F, {0x7F, 0x00}},
    {"aiff8_from16", kAiff, 8, 16, 0x8000, {0x80}},  // signed: no offset
    {"aiff40_from32", kAiff, 40, 32, 0x12345678, {0x12, 0x34, 0x56, 0x78, 0x00}},
    {"aiff32_from8", kAiff, 32, 8, 0xF0, {0xF0, 0x00, 0x00, 0x00}},
};
INSTANTIATE_TEST_SUITE_P(Widths, SamplesToRaw, ::testing::ValuesIn(kWriteCases),
                         [](const auto& p) { return std::string(p.param.name); });

class BothFormats : public ::testing::TestWithParam<Format> {};

TEST_P(BothFormats, ConvertsWholeSamplesOnlyAndNothingWithoutWidth) {
    const auto w16 = make(GetParam(), 16);
    const std::uint8_t raw[5] = {1, 2, 3, 4, 5};
    std::int16_t out[3] = {7, 7, 7};
    EXPECT_EQ(w16->RawToSamples16(raw, out, 5), 2);  // the fifth byte is half a sample
    EXPECT_EQ(out[2], 7);

    const auto w0 = make(GetParam(), 0);
    std::int32_t out32[1] = {7};
    EXPECT_EQ(w0->RawToSamples32(raw, out32, 5), 0);
    EXPECT_EQ(out32[0], 7);
    std::uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    const std::int16_t v = 0x1234;
    EXPECT_EQ(w0->SamplesToRaw16(&v, bytes, 1), 0u);
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(w0->SamplesToBytes(100), 0);
}

TEST_P(BothFormats, SamplesToBytesIsCountTimesWidthWithoutOverflow) {
    for (const auto& [bits, width] :
         {std::pair{8, 1}, {12, 2}, {16, 2}, {20, 3}, {24, 3}, {32, 4}}) {
        EXPECT_EQ(make(GetParam(), bits)->SamplesToBytes(1000), 1000 * width) << bits;
    }
    // 32 bits wide, 2^30 samples: 2^32 bytes cannot be said in 32 bits; the count saturates
    // instead of wrapping to 0.
    EXPECT_EQ(make(GetParam(), 32)->SamplesToBytes(1 << 30), INT32_MAX);
}

TEST_P(BothFormats, LongRunsOfSixteenBitSamples) {
    // Long enough for the block-wise path that two-byte samples take, with a tail after it.
    const bool aiff = GetParam() == kAiff;
    const auto w = make(GetParam(), 16);
    constexpr std::uint32_t n = 1500;
    std::vector<std::uint8_t> raw;
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto hi = static_cast<std::uint8_t>(i * 7 + 3),
                   lo = static_cast<std::uint8_t>(i * 13);
        raw.push_back(aiff ? hi : lo);
        raw.push_back(aiff ? lo : hi);
    }
    std::vector<std::int32_t> s32(n);
    std::vector<std::int16_t> s16(n);
    std::vector<std::int8_t> s8(n);
    ASSERT_EQ(w->RawToSamples32(raw.data(), s32.data(), 2 * n), 1500);
    ASSERT_EQ(w->RawToSamples16(raw.data(), s16.data(), 2 * n), 1500);
    ASSERT_EQ(w->RawToSamples8(raw.data(), s8.data(), 2 * n), 1500);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t hi = (i * 7 + 3) & 0xFF, lo = (i * 13) & 0xFF;
        ASSERT_EQ(static_cast<std::uint32_t>(s32[i]), hi << 24 | lo << 16) << i;
        ASSERT_EQ(static_cast<std::uint16_t>(s16[i]), hi << 8 | lo) << i;
        ASSERT_EQ(static_cast<std::uint8_t>(s8[i]), hi) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Wav, BothFormats, ::testing::Values(kWav));
INSTANTIATE_TEST_SUITE_P(Aiff, BothFormats, ::testing::Values(kAiff));

}  // namespace
