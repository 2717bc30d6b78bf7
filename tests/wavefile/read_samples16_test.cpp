// ReadSamples16 over both formats: whole files read in steps of 4096 samples, requests that end
// inside a step or beyond the data, files cut short, and the cases that read nothing.

#include <gtest/gtest.h>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

// The value of sample i, left-justified in 32 bits: a pattern whose every byte varies.
std::uint32_t value(std::uint32_t i) { return i * 2654435761u ^ 0x5A00A500u; }

// The stored bytes of `n` samples of `width` bytes: the top `width` bytes of value(i), in the
// format's byte order, 8-bit WAV samples offset by 128.
Bytes sample_bytes(bool aiff, std::uint32_t width, std::uint32_t n) {
    Bytes b;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint8_t top[4];
        for (std::uint32_t k = 0; k < 4; ++k)
            top[k] = static_cast<std::uint8_t>(value(i) >> (24 - 8 * k));
        if (!aiff && width == 1) top[0] ^= 0x80;
        for (std::uint32_t k = 0; k < width; ++k) b.u8(top[aiff ? k : width - 1 - k]);
    }
    return b;
}

// What ReadSamples16 must deliver for sample i: the top 16 bits the file holds.
std::int16_t expected16(std::uint32_t width, std::uint32_t i) {
    const std::uint32_t top = value(i) >> 16;
    const std::uint32_t kept = width == 1 ? (top & 0xFF00u) : top;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(kept));
}

struct StepCase {
    const char* name;
    bool aiff;
    std::uint32_t bits;
    std::uint32_t in_file;   // samples the data chunk declares
    std::uint32_t present;   // bytes of sample data really in the file (a cut file holds fewer)
    std::uint32_t count;     // samples asked for
    std::uint32_t expected;  // samples delivered
    friend void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }
};

class ReadSamples16Steps : public ::testing::TestWithParam<StepCase> {};

TEST_P(ReadSamples16Steps, DeliversEverySampleOnce) {
    const StepCase& c = GetParam();
    const std::uint32_t width = (c.bits + 7) / 8;
    Bytes data = sample_bytes(c.aiff, width, c.in_file);
    std::vector<std::uint8_t> present(data.vec().begin(), data.vec().begin() + c.present);
    const std::uint32_t declared = c.in_file * width;
    std::vector<std::uint8_t> bytes;
    if (c.aiff) {
        bytes = AiffBuilder()
                    .comm(1, c.in_file, static_cast<std::uint16_t>(c.bits), test::kExt8000)
                    .chunk_declared("SSND", declared + 8, Bytes().be32(0).be32(0).append(present))
                    .bytes();
    } else {
        bytes = RiffBuilder()
                    .fmt(1, 1, 8000, static_cast<std::uint16_t>(c.bits))
                    .chunk_declared("data", declared, Bytes().append(present))
                    .bytes();
    }
    const test::TempFile file(bytes);
    std::unique_ptr<CWaveFile> wave;
    if (c.aiff) {
        wave = std::make_unique<CAiffFile>();
    } else {
        wave = std::make_unique<CWavFile>();
    }
    ASSERT_EQ(wave->Open(file.c_str(), CWaveFile::MODE_READ), 0);
    std::vector<std::int16_t> out(c.count + 1, 0x7777);
    ASSERT_EQ(wave->ReadSamples16(out.data(), c.count), c.expected);
    for (std::uint32_t i = 0; i < c.expected; ++i) {
        ASSERT_EQ(out[i], expected16(width, i)) << "sample " << i;
    }
    for (std::uint32_t i = c.expected; i <= c.count; ++i) {
        ASSERT_EQ(out[i], 0x7777) << "written beyond the samples read, at " << i;
    }
}

const StepCase kSteps[] = {
    {"wav16_one_step", false, 16, 4096, 8192, 4096, 4096},
    {"wav16_step_plus_one", false, 16, 4097, 8194, 4097, 4097},
    {"wav16_many_steps", false, 16, 10000, 20000, 10000, 10000},
    {"wav16_ask_more", false, 16, 5000, 10000, 9000, 5000},
    {"wav16_ask_less", false, 16, 10000, 20000, 4100, 4100},
    {"wav8_many_steps", false, 8, 9000, 9000, 9000, 9000},
    {"wav12_many_steps", false, 12, 9000, 18000, 9000, 9000},
    {"wav24_many_steps", false, 24, 9000, 27000, 9000, 9000},
    {"wav32_many_steps", false, 32, 9000, 36000, 9000, 9000},
    {"wav16_cut_inside_step", false, 16, 10000, 10001, 10000, 5000},
    {"wav24_cut_inside_sample", false, 24, 9000, 3 * 4500 + 2, 9000, 4500},
    {"aiff16_many_steps", true, 16, 10000, 20000, 10000, 10000},
    {"aiff8_step_plus_one", true, 8, 4097, 4097, 4097, 4097},
    {"aiff24_many_steps", true, 24, 9000, 27000, 9000, 9000},
    {"aiff32_ask_more", true, 32, 5000, 20000, 6000, 5000},
    {"aiff16_cut_at_step", true, 16, 10000, 8192, 10000, 4096},
};
INSTANTIATE_TEST_SUITE_P(Files, ReadSamples16Steps, ::testing::ValuesIn(kSteps),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ReadSamples16, ContinuesFromTheCurrentPosition) {
    test::Opened<CWavFile> o(
        RiffBuilder().fmt(1, 1, 8000, 16).data(sample_bytes(false, 2, 100)).bytes());
    std::uint8_t skip[10];
    ASSERT_EQ(o.wave.ReadRaw(skip, 10), 10);
    std::int16_t out[200];
    ASSERT_EQ(o.wave.ReadSamples16(out, 200), 95u);
    EXPECT_EQ(out[0], expected16(2, 5));
    EXPECT_EQ(o.wave.ReadSamples16(out, 200), 0u);  // at data end
}

TEST(ReadSamples16, ReadsNothingWhenItCannot) {
    const auto bytes = [](std::uint16_t tag) {
        return RiffBuilder().fmt(tag, 1, 8000, 16).data(sample_bytes(false, 2, 100)).bytes();
    };
    std::int16_t out[4] = {7, 7, 7, 7};
    {
        test::Opened<CWavFile> o(bytes(1));
        EXPECT_EQ(o.wave.ReadSamples16(out, 0), 0u);
        o.wave.Close();
        EXPECT_EQ(o.wave.ReadSamples16(out, 4), 0u);  // closed
    }
    {
        test::Opened<CWavFile> o(bytes(3));  // not supported
        EXPECT_EQ(o.wave.ReadSamples16(out, 4), 0u);
        std::uint8_t raw[400];
        EXPECT_EQ(o.wave.ReadRaw(raw, 400), 200);  // nothing was consumed: all 200 bytes remain
    }
    EXPECT_EQ(out[0], 7);
    CAiffFile never_opened;
    EXPECT_EQ(never_opened.ReadSamples16(out, 4), 0u);
}

}  // namespace
