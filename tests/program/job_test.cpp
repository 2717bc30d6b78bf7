// The conversion job end to end through the built program: container and record fields, the
// samples of each encoding checked against third-party readers and decoders, every refusal,
// and no partial output after any failure, a write error or an interrupt.

#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/program/program_support.h"
#include "tests/support/process.h"
#include "tests/support/temp_file.h"

namespace fs = std::filesystem;
using program::Klng;
using program::make_wav;
using program::parse_klng;
using program::WavSpec;

namespace {

const std::string kExample = std::string(TONECAST_TEST_DATA) + "/../../examples/chime.wav";

std::string job_file(const std::string& name) { return test::data_file("job/" + name); }

test::ProcessResult run_in(const test::TempDir& dir, std::vector<std::string> args,
                           test::ProcessOptions options = {}) {
    args.insert(args.begin(), test::tonecast_exe());
    options.cwd = dir.path().string();
    return test::run_program(args, options);
}

// Converts `input` (copied into a fresh folder as in.<ext>) with the given encoding option.
std::vector<std::uint8_t> convert(const std::string& input, const std::string& option) {
    test::TempDir dir;
    const std::string name = "in" + fs::path(input).extension().string();
    fs::copy_file(input, dir.file(name));
    const test::ProcessResult r = run_in(dir, {option, name});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "convert " + name + " to in.klng\n");
    return test::read_file(dir.file("in.klng"));
}

// The samples of a sound file as sox reads them, signed 16-bit.
std::vector<std::int16_t> sox_samples(const std::string& path) {
    const std::string sox = program::find_tool("sox");
    if (sox.empty()) return {};
    const test::ProcessResult r = test::run_program({sox, path, "-t", "s16", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return program::s16_samples(r.out);
}

struct FieldCase {
    const char* name;
    const char* input;  // under tests/data/job, or "example"
    const char* option;
    std::uint32_t encoding, loop_flag, rate, timer, loop_start, loop_length, data_bytes;
    friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }
};

class Fields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(Fields, ContainerAndRecordHoldWhatTheInputGives) {
    const FieldCase& c = GetParam();
    const std::string input = std::string(c.input) == "example" ? kExample : job_file(c.input);
    const std::vector<std::uint8_t> out = convert(input, c.option);
    ASSERT_GE(out.size(), 36u);
    const Klng k = parse_klng(out);
    EXPECT_EQ(k.file_tag, "KLNG");
    EXPECT_EQ(out[4], 0xFF);
    EXPECT_EQ(out[5], 0xFE);
    EXPECT_EQ(k.version, 0x0100u);
    EXPECT_EQ(k.file_size, out.size());
    EXPECT_EQ(k.header_size, 16u);
    EXPECT_EQ(k.block_count, 1u);
    EXPECT_EQ(k.block_tag, "DATA");
    EXPECT_EQ(k.block_size, out.size() - 16);
    EXPECT_EQ(k.encoding, c.encoding);
    EXPECT_EQ(k.loop_flag, c.loop_flag);
    EXPECT_EQ(k.rate, c.rate);
    EXPECT_EQ(k.timer, c.timer);
    EXPECT_EQ(k.loop_start, c.loop_start);
    EXPECT_EQ(k.loop_length, c.loop_length);
    EXPECT_EQ(k.data.size(), c.data_bytes);
}

// tone16/tone8 (sox): 5512 samples at 22050 Hz, no loop; 5512 is a whole number of words for
// every encoding. Timer: 16756991 / 22050 = 759.95.
// The example (libsndfile): loop [2205, 4410) at 22050 Hz. For IMA-ADPCM and PCM8 the loop grows
// to 2208 samples: the wave is resampled to 4410 * 2208 / 2205 = 4416 samples at
// 22050 * 2208 / 2205 = 22080 Hz (timer 758.9), loop start 2208. For PCM16 it grows to 2206:
// 4412 samples at 22060 Hz (timer 759.6), loop start 2206.
const FieldCase kFieldCases[] = {
    {"wav_adpcm", "tone16.wav", "-a", 2, 0, 22050, 759, 1, 689, 4 + 2756},
    {"wav_pcm16", "tone16.wav", "-s", 1, 0, 22050, 759, 0, 2756, 11024},
    {"wav_pcm8", "tone16.wav", "-c", 0, 0, 22050, 759, 0, 1378, 5512},
    {"aiff_adpcm", "tone16.aiff", "-a", 2, 0, 22050, 759, 1, 689, 4 + 2756},
    {"aiff_pcm16", "tone16.aiff", "-s", 1, 0, 22050, 759, 0, 2756, 11024},
    {"wav8_pcm8", "tone8.wav", "-c", 0, 0, 22050, 759, 0, 1378, 5512},
    {"looped_adpcm", "example", "-a", 2, 1, 22080, 758, 2208 / 8 + 1, 2208 / 8, 4 + 2208},
    {"looped_pcm16", "example", "-s", 1, 1, 22060, 759, 2206 / 2, 2206 / 2, 4412 * 2},
    {"looped_pcm8", "example", "-c", 0, 1, 22080, 758, 2208 / 4, 2208 / 4, 4416},
};

INSTANTIATE_TEST_SUITE_P(Inputs, Fields, ::testing::ValuesIn(kFieldCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Samples, Pcm16IsTheInputAsSoxReadsIt) {
    for (const char* name : {"tone16.wav", "tone16.aiff", "tone8.wav"}) {
        const std::vector<std::int16_t> expected = sox_samples(job_file(name));
        if (expected.empty()) GTEST_SKIP() << "sox is not installed";
        const Klng k = parse_klng(convert(job_file(name), "-s"));
        std::string raw(k.data.begin(), k.data.end());
        EXPECT_EQ(program::s16_samples(raw), expected) << name;
    }
}

TEST(Samples, Pcm8RoundsHalvesAwayFromZero) {
    const std::vector<std::int16_t> input = sox_samples(job_file("tone16.wav"));
    if (input.empty()) GTEST_SKIP() << "sox is not installed";
    const Klng k = parse_klng(convert(job_file("tone16.wav"), "-c"));
    ASSERT_EQ(k.data.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        // s / 256 to the nearest integer, halves away from zero, within -128 ... 127.
        const double nearest = std::round(input[i] / 256.0);
        const int expected = static_cast<int>(std::min(127.0, nearest));
        ASSERT_EQ(static_cast<std::int8_t>(k.data[i]), expected) << "sample " << i;
    }
}

// Wraps IMA-ADPCM sample data (a header word, then two codes per byte, low nibble first) in a
// one-block IMA ADPCM WAV, the layout every general decoder reads. Such a block starts with the
// predictor as its first output sample, so the decoded sound is one sample longer than ours.
std::vector<std::uint8_t> ima_wav(const std::vector<std::uint8_t>& data, std::uint32_t rate) {
    using program::put_le;
    const std::uint32_t block = static_cast<std::uint32_t>(data.size());
    const std::uint32_t samples_per_block = (block - 4) * 2 + 1;
    std::vector<std::uint8_t> b{'R', 'I', 'F', 'F'};
    put_le(b, 4 + 8 + 20 + 8 + 4 + 8 + block, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_le(b, 20, 4);
    put_le(b, 0x11, 2);
    put_le(b, 1, 2);
    put_le(b, rate, 4);
    put_le(b, rate * block / samples_per_block, 4);
    put_le(b, block, 2);
    put_le(b, 4, 2);
    put_le(b, 2, 2);
    put_le(b, samples_per_block, 2);
    b.insert(b.end(), {'f', 'a', 'c', 't'});
    put_le(b, 4, 4);
    put_le(b, samples_per_block, 4);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put_le(b, block, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(Samples, AdpcmDecodedByFfmpegIsCloseToTheInput) {
    const std::string ffmpeg = program::find_tool("ffmpeg");
    if (ffmpeg.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    for (const char* name : {"tone16.wav", "tone16.aiff"}) {
        const std::vector<std::int16_t> input = sox_samples(job_file(name));
        ASSERT_FALSE(input.empty());
        const Klng k = parse_klng(convert(job_file(name), "-a"));
        test::TempDir dir;
        test::write_file(dir.file("ima.wav"), ima_wav(k.data, k.rate));
        const test::ProcessResult r = test::run_program(
            {ffmpeg, "-v", "error", "-i", dir.file("ima.wav"), "-f", "s16le", "-"});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::vector<std::int16_t> decoded = program::s16_samples(r.out);
        ASSERT_EQ(decoded.size(), input.size() + 1);
        EXPECT_EQ(decoded[0], 0) << "the block's predictor";
        double signal = 0, noise = 0;
        for (std::size_t i = 0; i < input.size(); ++i) {
            const double d = static_cast<double>(decoded[i + 1]) - input[i];
            signal += static_cast<double>(input[i]) * input[i];
            noise += d * d;
        }
        const double snr = 10 * std::log10(signal / noise);
        ::testing::Test::RecordProperty(std::string("snr_db_") + name, std::to_string(snr));
        std::printf("%s: IMA-ADPCM SNR through ffmpeg %.2f dB\n", name, snr);
        EXPECT_GT(snr, 20.0) << name;
    }
}

TEST(Samples, EmptyWaveConverts) {
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), make_wav(WavSpec{}));
    const test::ProcessResult r = run_in(dir, {"in.wav"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Klng k = parse_klng(test::read_file(dir.file("in.klng")));
    EXPECT_EQ(k.loop_length, 0u);
    EXPECT_EQ(k.data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

// A wave of several megabytes lives in the program's large blocks, whose pages a thread of their
// own maps while the reader fills them: every sample comes out as it went in, the last ones
// (in the block's small-page tail) too.
TEST(Samples, LargeWaveComesOutWhole) {
    WavSpec s;
    s.rate = 48000;
    std::uint32_t lcg = 1;
    for (std::size_t i = 0; i < 1600000; ++i) {  // 3.2 MB: one huge page and a tail
        lcg = lcg * 1664525u + 1013904223u;
        s.samples.push_back(static_cast<std::int16_t>(lcg >> 16));
    }
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), make_wav(s));
    const test::ProcessResult r = run_in(dir, {"-s", "in.wav"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Klng k = parse_klng(test::read_file(dir.file("in.klng")));
    std::string raw(k.data.begin(), k.data.end());
    EXPECT_TRUE(program::s16_samples(raw) == s.samples);
}

// The loop start in 32-bit words must fit the record's 16-bit field; the test runs after
// alignment and the refusal names the output.
struct LoopStartCase {
    const char* name;
    const char* option;
    std::uint32_t loop_start;
    std::uint32_t field;  // 0: refused
    friend void PrintTo(const LoopStartCase& c, std::ostream* os) { *os << c.name; }
};

class LoopStart : public ::testing::TestWithParam<LoopStartCase> {};

TEST_P(LoopStart, LastWordThatFitsPassesAndTheNextIsRefused) {
    const LoopStartCase& c = GetParam();
    WavSpec s;
    s.samples.assign(c.loop_start + 8, 0);
    s.loop = true;
    s.loop_start = c.loop_start;
    s.loop_end = c.loop_start + 8;
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), make_wav(s));
    test::write_file(dir.file("in.klng"), {'o', 'l', 'd'});
    const test::ProcessResult r = run_in(dir, {c.option, "in.wav"});
    EXPECT_EQ(r.out, "convert in.wav to in.klng\n");
    if (c.field) {
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(parse_klng(test::read_file(dir.file("in.klng"))).loop_start, c.field);
    } else {
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "tonecast: Loop start position is too large. in.klng\n");
        EXPECT_FALSE(fs::exists(dir.file("in.klng"))) << "the older output is gone too";
    }
}

const LoopStartCase kLoopStartCases[] = {
    {"pcm8_fits", "-c", 262140, 65535},
    {"pcm8_refused", "-c", 262144, 0},
    {"pcm16_fits", "-s", 131070, 65535},
    {"pcm16_refused", "-s", 131072, 0},
    {"pcm16_moved_past_the_limit_by_alignment", "-s", 131071, 0},
    {"adpcm_fits_with_its_header_word", "-a", 524272, 65535},
    {"adpcm_refused", "-a", 524280, 0},
};

INSTANTIATE_TEST_SUITE_P(Limits, LoopStart, ::testing::ValuesIn(kLoopStartCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct RefusalCase {
    const char* name;
    WavSpec input;
    std::string err;
    friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

WavSpec looped(std::size_t frames, std::uint32_t start, std::uint32_t end) {
    WavSpec s;
    s.samples.assign(frames, 100);
    s.loop = true;
    s.loop_start = start;
    s.loop_end = end;
    return s;
}

WavSpec at_rate(std::uint32_t rate) {
    WavSpec s;
    s.samples.assign(16, 100);
    s.rate = rate;
    return s;
}

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, RefusesBeforeTheOutputExists) {
    const RefusalCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), make_wav(c.input));
    const std::vector<std::uint8_t> older{'o', 'l', 'd'};
    test::write_file(dir.file("in.klng"), older);
    const test::ProcessResult r = run_in(dir, {"in.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(test::read_file(dir.file("in.klng")), older) << "untouched";
}

const RefusalCase kRefusalCases[] = {
    {"stereo", [] {
         WavSpec s;
         s.channels = 2;
         s.samples.assign(32, 1);
         return s;
     }(),
     "tonecast: Not mono file in.wav\n"},
    {"loop_start_at_loop_end", looped(64, 20, 20), "tonecast: Invalid loop in in.wav\n"},
    {"loop_start_after_loop_end", looped(64, 30, 20), "tonecast: Invalid loop in in.wav\n"},
    {"loop_beyond_the_samples", looped(64, 64, 100), "tonecast: Invalid loop in in.wav\n"},
    {"zero_rate", at_rate(0), "tonecast: Invalid sample rate in in.wav\n"},
};

INSTANTIATE_TEST_SUITE_P(Inputs, Refusal, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Job, LoopEndBeyondTheSamplesIsClampedToThem) {
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), make_wav(looped(64, 32, 1000)));
    const test::ProcessResult r = run_in(dir, {"-s", "in.wav"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Klng k = parse_klng(test::read_file(dir.file("in.klng")));
    EXPECT_EQ(k.loop_flag, 1u);
    EXPECT_EQ(k.loop_start, 16u);
    EXPECT_EQ(k.loop_length, 16u);
}

TEST(Job, WriteFailureIsReportedAndLeavesNoOutput) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to make a write fail";
#endif
    for (const char* option : {"-a", "-s", "-c"}) {
        test::TempDir dir;
        test::write_file(dir.file("in.wav"), program::wav16(20000));
        test::ProcessOptions limited;
        limited.file_size_limit = 4096;
        const test::ProcessResult r = run_in(dir, {option, "in.wav"}, limited);
        EXPECT_EQ(r.exit_code, 1) << option;
        EXPECT_EQ(r.err, "tonecast: Cannot write in.klng.\n") << option;
        EXPECT_FALSE(fs::exists(dir.file("in.klng"))) << option;
    }
}

TEST(Job, NeverWritesOverItsOwnInput) {
#ifdef _WIN32
    // tests/platform covers the Windows identity check, symbolic links aside.
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    test::TempDir dir;
    const std::vector<std::uint8_t> input = program::wav16(64);
    test::write_file(dir.file("in.wav"), input);
    fs::create_hard_link(dir.file("in.wav"), dir.file("hard.wav"));
    fs::create_symlink("in.wav", dir.file("soft.wav"));
    for (const char* output : {"in.wav", "./in.wav", "hard.wav", "soft.wav"}) {
        const test::ProcessResult r = run_in(dir, {"-o", output, "in.wav"});
        EXPECT_EQ(r.exit_code, 1) << output;
        EXPECT_EQ(r.err, "tonecast: Input and output are the same file in.wav\n") << output;
        EXPECT_EQ(test::read_file(dir.file("in.wav")), input) << output;
    }
}

// A looped input whose loop is not whole words: the whole wave is resampled after the output
// has been created, which leaves time to interrupt the conversion.
std::vector<std::uint8_t> long_resampling_input() {
    WavSpec s;
    const std::uint32_t frames = 6000003;
    s.samples.resize(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        s.samples[i] = static_cast<std::int16_t>((i * 7919u) % 20000u) - 10000;
    }
    s.loop = true;
    s.loop_start = 1000;
    s.loop_end = frames;
    return make_wav(s);
}

TEST(Job, InterruptRemovesThePartialOutput) {
    const std::vector<std::uint8_t> input = long_resampling_input();
#ifdef _WIN32
    const int kInterrupts[] = {SIGINT, SIGBREAK};  // Ctrl-C and Ctrl-Break
#else
    const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
#endif
    for (int sig : kInterrupts) {
        test::TempDir dir;
        test::write_file(dir.file("in.wav"), input);
        test::ProcessOptions options;
        options.cwd = dir.path().string();
        test::Process p({test::tonecast_exe(), "-u", "in.wav"}, options);
        // The progress line comes once the output exists and the interrupt clean-up is armed;
        // the output alone shows up a moment before that.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (p.output_so_far().find("convert ") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_TRUE(fs::exists(dir.file("in.klng"))) << "the output was never created";
        p.send_signal(sig);
        const test::ProcessResult r = p.wait();
        EXPECT_EQ(r.signal, sig) << "dies by the signal it got";
        EXPECT_FALSE(fs::exists(dir.file("in.klng"))) << "signal " << sig;

        // Nothing is left for the update check to take as current.
        const test::ProcessResult again = run_in(dir, {"-u", "in.wav"});
        EXPECT_EQ(again.exit_code, 0) << again.err;
        EXPECT_EQ(again.out, "convert in.wav to in.klng\n");
        EXPECT_TRUE(fs::exists(dir.file("in.klng")));
    }
}

}  // namespace
