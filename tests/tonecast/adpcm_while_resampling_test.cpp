// IMA-ADPCM coded by the resampler's threads as they make the samples must give the bytes the
// writer gives on its own, whatever the split, the way of resampling (in place or from a copy)
// and the padding that follows.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "src/tonecast/resample.h"
#include "wavefile/strm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the writer puts in a file: with the resampling's codes when `coded` is given.
Bytes written(const CMonoWave& wave, adpcm_pieces* coded) {
    strm::file out(std::tmpfile());
    EXPECT_TRUE(out.is_open());
    if (coded != nullptr) {
        write_adpcm_coded(wave, out, *coded);
    } else {
        write_adpcm(wave, out);
    }
    std::fflush(out.get());
    std::rewind(out.get());
    Bytes bytes;
    for (int c = std::fgetc(out.get()); c != EOF; c = std::fgetc(out.get())) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return bytes;
}

// Loud noise over a tone: two coders from different states take tens of thousands of samples
// to agree, so every piece after the first needs mending.
void fill(CMonoWave& wave, std::uint32_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-20000, 20000);
    wave.samples.resize(length);
    for (std::uint32_t i = 0; i < length; ++i) {
        const int tone = (i / 40 % 2 == 0) ? 9000 : -9000;
        wave.samples[i] = static_cast<std::int16_t>(value(random) + tone);
    }
    wave.length = length;
    wave.rate = 48000;
    wave.loop = false;
    wave.loopstart = 0;
}

bool has_avx512() { return resample_isa_supported(resample_isa::avx512); }

struct SplitCase {
    std::uint32_t length;
    std::uint32_t newlength;  // a multiple of 8: the wave is written without a loop
    unsigned threads;
    std::uint32_t pieces;  // coded by the resampling: one per thread, or none
};

TEST(AdpcmWhileResampling, GivesTheWritersBytesOnEverySplit) {
    if (!has_avx512()) GTEST_SKIP() << "the resampler codes only on its AVX-512 path";
    const SplitCase cases[] = {
        {400003, 400008, 1, 1},  // in place, one piece and no mending
        {400003, 400008, 2, 2},
        {400003, 400008, 3, 3},  // the last thread's range runs past its piece
        {300001, 306392, 2, 2},  // from a copy: stretched past the in-place limit
        {500000, 250000, 2, 2},  // from a copy: shrunk
        {100000, 100000, 2, 0},  // pieces too short to be worth their mending
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.length << " -> " << c.newlength << " on " << c.threads << " threads");
        CMonoWave coded_wave;
        fill(coded_wave, c.length, c.length);
        adpcm_pieces coded;
        resample_wave_with(coded_wave, c.newlength, resample_isa::avx512, c.threads, &coded);
        coded_wave.length = c.newlength;
        EXPECT_EQ(coded.count, c.pieces);

        CMonoWave plain_wave;
        fill(plain_wave, c.length, c.length);
        resample_wave_with(plain_wave, c.newlength, resample_isa::avx512, c.threads);
        plain_wave.length = c.newlength;
        ASSERT_EQ(coded_wave.samples, plain_wave.samples) << "the coding changed the samples";

        const Bytes expected = written(plain_wave, nullptr);
        EXPECT_EQ(written(coded_wave, &coded), expected);
    }
}

// The conversion's own path: the loop stretched to whole words resamples the wave (coding it on
// the way where it can), then the loop start moves to a word, repeating the loop's first samples
// after its end, which the writer codes after the resampling's pieces.
TEST(AdpcmWhileResampling, AlignedWaveGivesTheWritersBytes) {
    struct Case {
        std::uint32_t length, loopstart;
    };
    for (const Case c : {Case{300005, 1003}, Case{600013, 7}, Case{200000, 199990}}) {
        SCOPED_TRACE(testing::Message() << c.length << " samples, loop from " << c.loopstart);
        CMonoWave coded_wave;
        fill(coded_wave, c.length, 7);
        coded_wave.loop = true;
        coded_wave.loopstart = c.loopstart;
        adpcm_pieces coded;
        align_wave(coded_wave, 8, &coded);
        if (has_avx512()) {
            EXPECT_GT(coded.count, 0u);
        }

        CMonoWave plain_wave;
        fill(plain_wave, c.length, 7);
        plain_wave.loop = true;
        plain_wave.loopstart = c.loopstart;
        align_wave(plain_wave, 8);
        ASSERT_EQ(coded_wave.length, plain_wave.length);
        ASSERT_EQ(coded_wave.loopstart, plain_wave.loopstart);

        EXPECT_EQ(written(coded_wave, &coded), written(plain_wave, nullptr));
    }
}

// The portable and AVX2 variants do not code: the writer codes the whole wave itself.
TEST(AdpcmWhileResampling, OtherVariantsLeaveTheCodingToTheWriter) {
    for (const resample_isa isa : {resample_isa::portable, resample_isa::avx2}) {
        if (!resample_isa_supported(isa)) continue;
        CMonoWave wave;
        fill(wave, 140003, 3);
        adpcm_pieces coded;
        coded.count = 5;  // whatever it held before is dropped
        resample_wave_with(wave, 140008, isa, 1, &coded);
        EXPECT_EQ(coded.count, 0u) << resample_isa_name(isa);
        EXPECT_TRUE(coded.bytes.empty()) << resample_isa_name(isa);
    }
}

}  // namespace
