#include "src/tonecast/mono_wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "src/tonecast/my_exception.h"
#include "tests/support/byte_builder.h"
#include "tests/support/fake_wave_file.h"
#include "tests/support/temp_file.h"
#include "wavefile/OpenWaveFile.h"

namespace {

std::vector<std::int16_t> ramp(std::size_t n) {
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::int16_t>(i * 7 % 60000 - 30000);
    return out;
}

std::string message_of(test::FakeWaveFile& file) {
    try {
        CMonoWave wave(file, "in.wav");
    } catch (const my_exception& e) {
        return e.what();
    }
    return "";
}

// What the header claims against what the file holds.
struct LoadCase {
    const char* name;
    std::int32_t frames;    // declared
    std::size_t delivered;  // samples present
    bool has_loop;
    std::int32_t loop_start;
    std::int32_t loop_end;
    bool valid;
    std::uint32_t length;     // when valid
    std::uint32_t loopstart;  // when valid
    friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
};

class MonoWaveLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(MonoWaveLoad, ReadsWhatTheFileHoldsAndChecksTheLoop) {
    const LoadCase& c = GetParam();
    const std::vector<std::int16_t> data = ramp(c.delivered);
    test::FakeWaveFile file(data, c.frames);
    if (c.has_loop) file.loop(c.loop_start, c.loop_end);
    if (!c.valid) {
        EXPECT_EQ(message_of(file), "Invalid loop in in.wav");
        return;
    }
    const CMonoWave wave(file, "in.wav");
    EXPECT_EQ(wave.length, c.length);
    EXPECT_EQ(wave.loop, c.has_loop);
    EXPECT_EQ(wave.loopstart, c.loopstart);
    EXPECT_EQ(wave.rate, 22050);
    ASSERT_EQ(wave.samples.size(), c.length);
    EXPECT_TRUE(std::equal(wave.samples.begin(), wave.samples.end(), data.begin()));
    // Nothing after the loop end is read.
    EXPECT_EQ(file.samples_read(), c.length);
}

const LoadCase kLoadCases[] = {
    {"plain", 1000, 1000, false, -1, -1, true, 1000, 0},
    {"truncated", 1000, 400, false, -1, -1, true, 400, 0},
    {"empty", 0, 0, false, -1, -1, true, 0, 0},
    {"negative_frames", -5, 10, false, -1, -1, true, 0, 0},
    {"across_read_steps", 150000, 150000, false, -1, -1, true, 150000, 0},
    {"loop_inside", 1000, 1000, true, 10, 500, true, 500, 10},
    {"loop_end_past_frames", 1000, 1000, true, 10, 5000, true, 1000, 10},
    {"loop_one_sample", 1000, 1000, true, 999, 1000, true, 1000, 999},
    {"loop_end_past_data", 1000, 400, true, 10, 900, true, 400, 10},
    {"missing_start_marker", 1000, 1000, true, -1, 500, false, 0, 0},
    {"missing_end_marker", 1000, 1000, true, 10, -1, false, 0, 0},
    {"empty_loop", 1000, 1000, true, 500, 500, false, 0, 0},
    {"reversed_loop", 1000, 1000, true, 600, 500, false, 0, 0},
    {"start_past_frames", 1000, 1000, true, 1200, 1500, false, 0, 0},
    {"start_past_data", 1000, 400, true, 500, 900, false, 0, 0},
    {"looped_empty_file", 0, 0, true, 0, 10, false, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Headers, MonoWaveLoad, ::testing::ValuesIn(kLoadCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(MonoWave, MemoryFollowsTheDataNotTheClaim) {
    // A header claiming 2^31 - 1 frames over ten samples: no 4 GB buffer, just the ten.
    test::FakeWaveFile file(ramp(10), std::numeric_limits<std::int32_t>::max());
    const CMonoWave wave(file, "in.wav");
    EXPECT_EQ(wave.length, 10u);
    EXPECT_LE(wave.samples.capacity(), 65536u);
}

// The same with real files, whose reading may size the buffer once: only by samples the file
// really holds. A 16-bit mono WAV whose data chunk declares `declared` bytes over `present`
// samples.
struct FileLoadCase {
    const char* name;
    std::uint32_t declared;
    std::size_t present;
    std::size_t capacity_at_most;
    friend void PrintTo(const FileLoadCase& c, std::ostream* os) { *os << c.name; }
};

class MonoWaveFromFile : public ::testing::TestWithParam<FileLoadCase> {};

TEST_P(MonoWaveFromFile, BufferFollowsTheSamplesPresent) {
    const FileLoadCase& c = GetParam();
    const std::vector<std::int16_t> data = ramp(c.present);
    test::Bytes body;
    for (const std::int16_t s : data) body.le16(static_cast<std::uint16_t>(s));
    const test::TempFile file(
        test::RiffBuilder().fmt(1, 1, 22050, 16).chunk_declared("data", c.declared, body).bytes(),
        "in.wav");
    const std::unique_ptr<CWaveFile> in = OpenWaveFile(file.c_str());
    const CMonoWave wave(*in, file.c_str());
    ASSERT_EQ(wave.length, c.present);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), wave.samples.begin()));
    EXPECT_LE(wave.samples.capacity(), c.capacity_at_most);
}

const FileLoadCase kFileLoadCases[] = {
    // All there: one buffer of the wave with room for alignment's padding, no doubling on the way.
    {"whole", 2 * 150000, 150000, 150000 + 8},
    // A billion samples claimed over ten: the buffer grows by what is read, no 2 GB one.
    {"claims_a_billion", 0x7FFFFF00u, 10, 65536},
    // One sample short of the claim: read as it is, to the last sample present.
    {"one_sample_short", 2 * 150001, 150000, std::numeric_limits<std::size_t>::max()},
};
INSTANTIATE_TEST_SUITE_P(Files, MonoWaveFromFile, ::testing::ValuesIn(kFileLoadCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(MonoWave, RefusesRatesOutsideOneHertzTo2Pow32) {
    const struct {
        double rate;
        bool valid;
    } cases[] = {
        {22050, true},
        {1, true},
        {0.999, false},
        {0, false},
        {-8000, false},
        {4294967295.0, true},
        {4294967296.0, false},
        {1e300, false},
        {std::numeric_limits<double>::quiet_NaN(), false},
        {std::numeric_limits<double>::infinity(), false},
    };
    for (const auto& c : cases) {
        test::FakeWaveFile file(ramp(16), 16, c.rate);
        EXPECT_EQ(message_of(file), c.valid ? "" : "Invalid sample rate in in.wav") << c.rate;
    }
}

TEST(MonoWave, LoopIsCheckedBeforeTheRate) {
    test::FakeWaveFile file(ramp(16), 16, 0);
    file.loop(8, 8);
    EXPECT_EQ(message_of(file), "Invalid loop in in.wav");
}

void make_wave(CMonoWave& wave, std::size_t length, bool loop, std::uint32_t loopstart,
               double rate = 32000) {
    wave.samples = ramp(length);
    wave.length = static_cast<std::uint32_t>(length);
    wave.loop = loop;
    wave.loopstart = loopstart;
    wave.rate = rate;
}

struct AlignCase {
    const char* name;
    std::size_t length;
    bool loop;
    std::uint32_t loopstart;
    std::uint32_t align;
    std::uint32_t new_length;
    std::uint32_t new_loopstart;
    double rate_factor;
    bool resampled;
    friend void PrintTo(const AlignCase& c, std::ostream* os) { *os << c.name; }
};

class AlignWave : public ::testing::TestWithParam<AlignCase> {};

TEST_P(AlignWave, WholeWordsAndIdempotent) {
    const AlignCase& c = GetParam();
    CMonoWave wave;
    make_wave(wave, c.length, c.loop, c.loopstart);
    const std::vector<std::int16_t> before = wave.samples;
    align_wave(wave, c.align);
    EXPECT_EQ(wave.length, c.new_length);
    EXPECT_EQ(wave.loopstart, c.new_loopstart);
    EXPECT_EQ(wave.rate, c.rate_factor * 32000);
    ASSERT_GE(wave.samples.size(), wave.length);
    if (!c.resampled) {
        // The old samples stay; what is added is silence or the loop's first samples again.
        for (std::uint32_t i = 0; i < wave.length; ++i) {
            const std::int16_t expected = i < c.length ? before[i]
                                          : c.loop     ? before[c.loopstart + (i - c.length)]
                                                       : 0;
            ASSERT_EQ(wave.samples[i], expected) << i;
        }
    }
    const std::vector<std::int16_t> aligned(wave.samples.begin(),
                                            wave.samples.begin() + wave.length);
    const double rate = wave.rate;
    align_wave(wave, c.align);
    EXPECT_EQ(wave.length, c.new_length);
    EXPECT_EQ(wave.loopstart, c.new_loopstart);
    EXPECT_EQ(wave.rate, rate);
    EXPECT_TRUE(std::equal(aligned.begin(), aligned.end(), wave.samples.begin()));
}

const AlignCase kAlignCases[] = {
    {"unlooped_10_to_16", 10, false, 0, 8, 16, 0, 1.0, false},
    {"unlooped_whole", 24, false, 0, 8, 24, 0, 1.0, false},
    {"unlooped_empty", 0, false, 0, 8, 0, 0, 1.0, false},
    {"loop_5_21_padded", 21, true, 5, 8, 24, 8, 1.0, false},
    {"loop_0_47_resampled", 47, true, 0, 8, 48, 0, 48.0 / 47.0, true},
    {"loop_953_1000", 1000, true, 953, 8, 1024, 976, 48.0 / 47.0, true},
    {"pcm8_loop_1_9_padded", 9, true, 1, 4, 12, 4, 1.0, false},
    {"pcm16_loop_3_12", 12, true, 3, 2, 14, 4, 10.0 / 9.0, true},
    {"aligned_already", 32, true, 8, 8, 32, 8, 1.0, false},
    {"one_sample_loop", 1, true, 0, 8, 8, 0, 8.0, true},
};
INSTANTIATE_TEST_SUITE_P(Cases, AlignWave, ::testing::ValuesIn(kAlignCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A tone of 10 periods in a 470-sample loop, stretched to 472 samples: the loop must still hold
// exactly 10 periods, at the rate that keeps the pitch. Measured by DFT and zero crossings.
TEST(AlignWave, ResampledToneKeepsItsPitch) {
    const std::size_t length = 1410;  // 30 periods of 47 samples
    const std::uint32_t loopstart = 940;
    CMonoWave wave;
    make_wave(wave, length, true, loopstart, 22050);
    const double pi = 3.14159265358979323846;
    for (std::size_t i = 0; i < length; ++i) {
        wave.samples[i] = static_cast<std::int16_t>(
            std::lround(12000 * std::sin(2 * pi * static_cast<double>(i) / 47)));
    }
    align_wave(wave, 8);
    ASSERT_EQ(wave.length, 1416u);  // floor(1410 * 472 / 470)
    ASSERT_EQ(wave.loopstart, 944u);
    EXPECT_DOUBLE_EQ(wave.rate, 22050.0 * 472 / 470);

    const std::size_t n = wave.length - wave.loopstart;
    const std::int16_t* loop = wave.samples.data() + wave.loopstart;
    double total = 0;
    double at_10 = 0;
    for (std::size_t bin = 0; bin <= n / 2; ++bin) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double phase = 2 * pi * static_cast<double>(bin * i) / static_cast<double>(n);
            re += loop[i] * std::cos(phase);
            im += loop[i] * std::sin(phase);
        }
        const double power = re * re + im * im;
        total += power;
        if (bin == 10) at_10 = power;
    }
    EXPECT_GT(at_10 / total, 0.999);
    // Amplitude kept: bin power of a sine of amplitude A over n samples is (A n / 2)^2.
    EXPECT_NEAR(std::sqrt(at_10) * 2 / static_cast<double>(n), 12000, 120);
    // Played as a loop, it crosses zero upwards 10 times.
    int upward = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (loop[i] < 0 && loop[(i + 1) % n] >= 0) ++upward;
    }
    EXPECT_EQ(upward, 10);
    // Period in seconds: 47.2 samples at the new rate, 47 at the old.
    EXPECT_NEAR(47.2 / wave.rate, 47.0 / 22050, 1e-12);
}

}  // namespace
