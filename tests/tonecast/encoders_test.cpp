#include "src/tonecast/encoders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/ima_adpcm.h"
#include "src/tonecast/mono_wave.h"
#include "src/tonecast/resample.h"
#include "wavefile/strm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Writer = void (*)(const CMonoWave&, strm::file&);

Bytes encode(const std::function<void(const CMonoWave&, strm::file&)>& writer,
             const CMonoWave& wave) {
    strm::file out(std::tmpfile());
    EXPECT_TRUE(out.is_open());
    writer(wave, out);
    std::fflush(out.get());
    std::rewind(out.get());
    Bytes bytes;
    for (int c = std::fgetc(out.get()); c != EOF; c = std::fgetc(out.get())) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return bytes;
}

// The wave is neither copied nor moved; it lives on the heap for the test's expression.
std::unique_ptr<CMonoWave> make_wave(std::vector<std::int16_t> samples, double rate,
                                     bool loop = false, std::uint32_t loopstart = 0) {
    auto wave = std::make_unique<CMonoWave>();
    wave->length = static_cast<std::uint32_t>(samples.size());
    wave->samples = std::move(samples);
    wave->rate = rate;
    wave->loop = loop;
    wave->loopstart = loopstart;
    return wave;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    if (from + count > bytes.size()) return {};
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

TEST(Encoders, Pcm16FourSamples) {
    const Bytes bytes = encode(write_pcm16, *make_wave({1, -2, 0x1234, -32768}, 32000));
    const Bytes expected = {0x01, 0x00, 0x00, 0x7D, 0x0B, 0x02, 0x00, 0x00, 0x02, 0x00,
                            0x00, 0x00, 0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80};
    EXPECT_EQ(bytes, expected);
}

TEST(Encoders, AdpcmSixteenSamplesStartingAt100AndMinus100) {
    std::vector<std::int16_t> samples(16, 0);
    samples[0] = 100;
    samples[1] = -100;
    const Bytes bytes = encode(write_adpcm, *make_wave(samples, 32000));
    ASSERT_EQ(bytes.size(), 12u + 4 + 8);
    EXPECT_EQ(slice(bytes, 0, 12),
              (Bytes{0x02, 0x00, 0x00, 0x7D, 0x0B, 0x02, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 12, 4), (Bytes{0x00, 0x00, 0x18, 0x00}));  // start index 24
    EXPECT_EQ(bytes[16], 0xF5);  // codes 5, then 15 in the high half
}

TEST(Encoders, AdpcmOfSilenceIsZeros) {
    const Bytes bytes = encode(write_adpcm, *make_wave(std::vector<std::int16_t>(16, 0), 32000));
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(slice(bytes, 12, 12), Bytes(12, 0));
}

TEST(Encoders, EmptyWaveWritesRecordAndHeaderWordOnly) {
    const Bytes bytes = encode(write_adpcm, *make_wave({}, 32000));
    const Bytes expected = {0x02, 0x00, 0x00, 0x7D, 0x0B, 0x02, 0x01, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(encode(write_pcm8, *make_wave({}, 32000)).size(), 12u);
    EXPECT_EQ(encode(write_pcm16, *make_wave({}, 32000)).size(), 12u);
}

struct LoopCase {
    const char* name;
    Writer writer;
    std::uint8_t code;
    std::uint32_t length;
    std::uint32_t loopstart;
    std::uint16_t start_field;
    std::uint32_t length_field;
    std::size_t data_bytes;
    friend void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
};

class EncoderLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(EncoderLoop, LoopFieldsCountWords) {
    const LoopCase& c = GetParam();
    const Bytes bytes = encode(
        c.writer, *make_wave(std::vector<std::int16_t>(c.length, 0), 22050, true, c.loopstart));
    ASSERT_EQ(bytes.size(), 12 + c.data_bytes);
    EXPECT_EQ(bytes[0], c.code);
    EXPECT_EQ(bytes[1], 1);  // loops
    EXPECT_EQ(slice(bytes, 6, 6), (Bytes{static_cast<std::uint8_t>(c.start_field & 0xff),
                                         static_cast<std::uint8_t>(c.start_field >> 8),
                                         static_cast<std::uint8_t>(c.length_field & 0xff),
                                         static_cast<std::uint8_t>(c.length_field >> 8 & 0xff),
                                         static_cast<std::uint8_t>(c.length_field >> 16 & 0xff),
                                         static_cast<std::uint8_t>(c.length_field >> 24)}));
}

const LoopCase kLoopCases[] = {
    {"adpcm_976_1024", write_adpcm, 2, 1024, 976, 123, 6, 4 + 512},
    {"pcm8_8_24", write_pcm8, 0, 24, 8, 2, 4, 24},
    {"pcm16_8_24", write_pcm16, 1, 24, 8, 4, 8, 48},
    {"adpcm_at_field_limit", write_adpcm, 2, 524280, 524272, 65535, 1, 4 + 262140},
};
INSTANTIATE_TEST_SUITE_P(Loops, EncoderLoop, ::testing::ValuesIn(kLoopCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Encoders, RateAndTimerKeepTheLowSixteenBits) {
    const struct {
        double rate;
        std::uint16_t rate_field;
        std::uint16_t timer;
    } cases[] = {
        {8000, 8000, 2094},
        {11025, 11025, 1519},
        {22050, 22050, 759},
        {32000, 32000, 523},
        {44100, 44100, 379},
        {48000, 48000, 349},
        {255, 255, 177},                      // 65713 ticks
        {32000 * (48.0 / 47.0), 32680, 512},  // 32680.85 Hz after a 47 -> 48 loop stretch
        {65536, 0, 255},
        {70000, 4464, 239},
        {1, 1, 45311},              // 16756991 ticks
        {34359738360.0, 65528, 0},  // 2^32 - 1 Hz stretched eightfold
    };
    for (const auto& c : cases) {
        const Bytes bytes = encode(write_pcm16, *make_wave({}, c.rate));
        EXPECT_EQ(slice(bytes, 2, 4), (Bytes{static_cast<std::uint8_t>(c.rate_field & 0xff),
                                             static_cast<std::uint8_t>(c.rate_field >> 8),
                                             static_cast<std::uint8_t>(c.timer & 0xff),
                                             static_cast<std::uint8_t>(c.timer >> 8)}))
            << c.rate;
    }
}

TEST(Encoders, Pcm8RoundsHalvesAwayFromZeroWithinRange) {
    const struct {
        std::int16_t sample;
        std::int8_t byte;
    } cases[] = {
        {0, 0},         {127, 0},       {128, 1},       {-127, 0},    {-128, -1},   {383, 1},
        {384, 2},       {-383, -1},     {-384, -2},     {32639, 127}, {32640, 127}, {32767, 127},
        {-32639, -127}, {-32640, -128}, {-32768, -128}, {-1, 0},
    };
    std::vector<std::int16_t> samples;
    for (const auto& c : cases) samples.push_back(c.sample);
    const Bytes bytes = encode(write_pcm8, *make_wave(samples, 22050));
    ASSERT_EQ(bytes.size(), 12 + samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(static_cast<std::int8_t>(bytes[12 + i]), cases[i].byte) << cases[i].sample;
    }
}

std::vector<std::int16_t> test_signal(std::size_t n) {
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::int16_t>(
            std::lround(10000 * std::sin(static_cast<double>(i) * 0.006) +
                        3000 * std::sin(static_cast<double>(i) * 0.0011)));
    }
    return out;
}

class EncoderBuffer : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EncoderBuffer, Pcm8DataIsEverySampleOnce) {
    const std::vector<std::int16_t> samples = test_signal(GetParam());
    const Bytes bytes = encode(write_pcm8, *make_wave(samples, 22050));
    ASSERT_EQ(bytes.size(), 12 + samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double expected = std::min(127.0, std::round(samples[i] / 256.0));
        ASSERT_EQ(static_cast<std::int8_t>(bytes[12 + i]), expected) << i;
    }
}

TEST_P(EncoderBuffer, AdpcmDecodesBackToTheSignal) {
    const std::size_t n = GetParam() * 2;  // the same byte counts: two samples per byte
    const std::vector<std::int16_t> samples = test_signal(n);
    const Bytes bytes = encode(write_adpcm, *make_wave(samples, 22050));
    ASSERT_EQ(bytes.size(), 12 + 4 + n / 2);
    adpcm_state state;
    state.predictor = static_cast<std::int16_t>(bytes[12] | bytes[13] << 8);
    state.step_index = bytes[14];
    int worst = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t byte = bytes[16 + i / 2];
        const auto code = static_cast<std::uint8_t>(i % 2 == 0 ? byte & 0x0f : byte >> 4);
        const int error = std::abs(adpcm_decode(code, state) - samples[i]);
        if (error > worst) worst = error;
    }
    EXPECT_LT(worst, 300);  // a lost or repeated buffer would throw the decoder far off
}

// Around the 4096-byte buffer: one short, exactly full, one word over, several buffers.
INSTANTIATE_TEST_SUITE_P(Lengths, EncoderBuffer,
                         ::testing::Values(std::size_t{4092}, std::size_t{4096}, std::size_t{4100},
                                           std::size_t{12300}));

// The coded wave split into pieces, coded side by side on threads, is the coded wave: one
// adpcm_encode after another from the first sample to the last, whatever the threads, the piece
// size, how soon (or whether) a piece's guessed coder comes to agree with the true one, and
// whether the piece before it did.
TEST(Encoders, AdpcmOnThreadsIsOneCoderThroughTheWave) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> full_scale(-32768, 32767);
    const std::size_t kPiece = 1024;
    const struct {
        const char* name;
        std::function<std::int16_t(std::size_t)> sample;
    } signals[] = {
        // Full-scale noise: coders from different states seldom meet within a piece, so most
        // pieces are coded again from their start.
        {"noise", [&](std::size_t) { return static_cast<std::int16_t>(full_scale(random)); }},
        // A quiet tone: they meet within a few hundred samples, inside the first checkpoint
        // or a later one.
        {"tone",
         [](std::size_t i) {
             return static_cast<std::int16_t>(std::lround(3000 * std::sin(0.05 * double(i))));
         }},
        // Silence: the guess is already the true state, nothing is coded again.
        {"silence", [](std::size_t) { return std::int16_t{0}; }},
        // Full-scale square wave: the predictor's clamp and the step index's top.
        {"square",
         [](std::size_t i) { return static_cast<std::int16_t>(i / 37 % 2 ? 32767 : -32768); }},
        // Bursts of noise in a tone: some pieces meet their true coder early, some late, some
        // never, so a mending may start from a wrong state and have to be done again.
        {"bursts",
         [&](std::size_t i) {
             if (i % 3000 < 1400) return static_cast<std::int16_t>(full_scale(random));
             return static_cast<std::int16_t>(std::lround(3000 * std::sin(0.05 * double(i))));
         }},
    };
    // Empty; one word; fewer pieces than lanes; more than one thread's lanes; several rounds
    // and a rest after them.
    const std::size_t lengths[] = {0, 8, 3 * kPiece + 8, 20 * kPiece + 520, 100 * kPiece + 264};
    for (const auto& signal : signals) {
        for (const std::size_t length : lengths) {
            std::vector<std::int16_t> samples(length);
            for (std::size_t i = 0; i < length; ++i) samples[i] = signal.sample(i);
            const auto wave = make_wave(samples, 22050);

            // The reference: the record, the header word, then adpcm_encode sample by sample.
            const Bytes expected =
                encode([](const CMonoWave& w,
                          strm::file& out) { write_adpcm_with(w, out, 1, kAdpcmPieceSamples); },
                       *wave);
            ASSERT_EQ(expected.size(), 16 + length / 2);
            adpcm_state state;
            state.step_index = length > 0 ? adpcm_find_start_index(0, samples[0]) : 0;
            ASSERT_EQ(expected[14], state.step_index);
            for (std::size_t i = 0; i < length; i += 2) {
                const std::uint8_t low = adpcm_encode(samples[i], state);
                const std::uint8_t high = adpcm_encode(samples[i + 1], state);
                ASSERT_EQ(expected[16 + i / 2], low | high << 4) << signal.name << " " << i;
            }

            for (const unsigned threads : {1u, 2u, 3u}) {
                for (const std::uint32_t piece : {1024u, 2048u}) {
                    const Bytes bytes =
                        encode([&](const CMonoWave& w,
                                   strm::file& out) { write_adpcm_with(w, out, threads, piece); },
                               *wave);
                    EXPECT_EQ(bytes, expected) << signal.name << ", " << length << " samples, "
                                               << threads << " threads, pieces of " << piece;
                }
            }
        }
    }
}

// IMA-ADPCM coded by the resampler's threads as they make the samples must give the bytes the
// writer gives on its own, whatever the split, the way of resampling (in place or from a copy)
// and the padding that follows.

// write_adpcm_coded with the resampling's codes.
std::function<void(const CMonoWave&, strm::file&)> coded_writer(adpcm_pieces& coded) {
    return
        [&coded](const CMonoWave& wave, strm::file& out) { write_adpcm_coded(wave, out, coded); };
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
        {100000, 100000, 2, 0},  // pieces too short to be worth their mending
        // From a copy of the source, stretched past the in-place limit or shrunk: no codes on
        // top of the copy.
        {300001, 306392, 2, 0},
        {500000, 250000, 2, 0},
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

        EXPECT_EQ(encode(coded_writer(coded), coded_wave), encode(write_adpcm, plain_wave));
    }
}

// The conversion's own path: the loop stretched to whole words resamples the wave (coding it on
// the way where it can), then the loop start moves to a word, repeating the loop's first samples
// after its end, which the writer codes after the resampling's pieces.
TEST(AdpcmWhileResampling, AlignedWaveGivesTheWritersBytes) {
    struct Case {
        std::uint32_t length, loopstart;
        bool coded;  // resampled in place
    };
    for (const Case c :
         {Case{300005, 1003, true}, Case{600013, 7, true}, Case{200000, 199990, false}}) {
        SCOPED_TRACE(testing::Message() << c.length << " samples, loop from " << c.loopstart);
        CMonoWave coded_wave;
        fill(coded_wave, c.length, 7);
        coded_wave.loop = true;
        coded_wave.loopstart = c.loopstart;
        adpcm_pieces coded;
        align_wave(coded_wave, 8, &coded);
        EXPECT_EQ(coded.count > 0, c.coded && has_avx512());

        CMonoWave plain_wave;
        fill(plain_wave, c.length, 7);
        plain_wave.loop = true;
        plain_wave.loopstart = c.loopstart;
        align_wave(plain_wave, 8);
        ASSERT_EQ(coded_wave.length, plain_wave.length);
        ASSERT_EQ(coded_wave.loopstart, plain_wave.loopstart);

        EXPECT_EQ(encode(coded_writer(coded), coded_wave), encode(write_adpcm, plain_wave));
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
