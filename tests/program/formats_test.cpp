// The formats that today's tools write by default (WAVE_FORMAT_EXTENSIBLE, float WAV, AIFF-C),
// converted by the built program. Each file in tests/data/formats (made by make.sh there with
// FFmpeg, SoX and libsndfile) has a plain 16-bit WAV of the same signal beside it: the PCM16
// output of the two must be the same, sample for sample where the tools stored the same values,
// within one step where they rounded differently. Encodings still not read are refused with
// the one message.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/program/program_support.h"
#include "tests/support/byte_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_file.h"

namespace fs = std::filesystem;
using program::Klng;
using program::parse_klng;

namespace {

std::string formats_file(const std::string& name) { return test::data_file("formats/" + name); }

// Runs the program on a copy of `input` named in.<extension> in a fresh folder.
test::ProcessResult run_on(const test::TempDir& dir, const std::string& input,
                           std::string* name_out) {
    const std::string name = "in" + fs::path(input).extension().string();
    fs::copy_file(input, dir.file(name));
    *name_out = name;
    test::ProcessOptions options;
    options.cwd = dir.path().string();
    return test::run_program({test::tonecast_exe(), "-s", name}, options);
}

// The PCM16 output for `input`.
Klng convert_pcm16(const std::string& input) {
    test::TempDir dir;
    std::string name;
    const test::ProcessResult r = run_on(dir, input, &name);
    EXPECT_EQ(r.exit_code, 0) << input << ": " << r.err;
    EXPECT_EQ(r.out, "convert " + name + " to in.klng\n");
    const std::vector<std::uint8_t> bytes = test::read_file(dir.file("in.klng"));
    if (bytes.size() < 36) {
        ADD_FAILURE() << input << ": no output record";
        return Klng();
    }
    return parse_klng(bytes);
}

std::vector<int> pcm16_values(const Klng& k) {
    std::vector<int> v(k.data.size() / 2);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(k.data[2 * i] | k.data[2 * i + 1] << 8);
        v[i] = u < 0x8000 ? u : u - 0x10000;
    }
    return v;
}

struct SameSignalCase {
    const char* input;
    const char* reference;  // a plain 16-bit WAV of the same signal
    int steps;              // largest difference allowed in any sample
    friend void PrintTo(const SameSignalCase& c, std::ostream* os) { *os << c.input; }
};

class SameSignal : public ::testing::TestWithParam<SameSignalCase> {};

TEST_P(SameSignal, ConvertsAsThePlainSixteenBitWav) {
    const SameSignalCase& c = GetParam();
    const Klng got = convert_pcm16(formats_file(c.input));
    const Klng want = convert_pcm16(formats_file(c.reference));
    // The record: encoding, loop, rate and timer, loop start and length.
    EXPECT_EQ(got.encoding, 1u);
    EXPECT_EQ(got.encoding, want.encoding);
    EXPECT_EQ(got.loop_flag, want.loop_flag);
    EXPECT_EQ(got.rate, want.rate);
    EXPECT_EQ(got.timer, want.timer);
    EXPECT_EQ(got.loop_start, want.loop_start);
    EXPECT_EQ(got.loop_length, want.loop_length);
    EXPECT_EQ(got.file_size, want.file_size);
    const std::vector<int> a = pcm16_values(got), b = pcm16_values(want);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GE(a.size(), 400u);  // the whole signal, not an empty output twice
    int worst = 0;
    std::size_t worst_at = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > worst) {
            worst = std::abs(a[i] - b[i]);
            worst_at = i;
        }
    }
    EXPECT_LE(worst, c.steps) << "sample " << worst_at << ": " << a[worst_at] << " against "
                              << b[worst_at];
}

const SameSignalCase kSameSignal[] = {
    {"ffmpeg_s24.wav", "ffmpeg_s16.wav", 0},  {"ffmpeg_s32.wav", "ffmpeg_s16.wav", 0},
    {"ffmpeg_f32.wav", "ffmpeg_s16.wav", 0},  {"ffmpeg_sowt.aifc", "ffmpeg_s16.wav", 0},
    {"ffmpeg_f32.aifc", "ffmpeg_s16.wav", 0}, {"ffmpeg_s16_96k.wav", "sox_s16_96k.wav", 0},
    {"sox_s16.aifc", "sox_s16.wav", 0},       {"sox_f32.wav", "sox_s16.wav", 1},
    {"sox_f64.wav", "sox_s16.wav", 1},        {"sox_f32.aifc", "sox_s16.wav", 1},
    {"sox_f64.aifc", "sox_s16.wav", 1},       {"sndfile_f32.aifc", "sox_s16.wav", 1},
};

std::string file_case_name(const char* file) {
    std::string n = file;
    for (char& ch : n) {
        if (ch == '.') ch = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Tools, SameSignal, ::testing::ValuesIn(kSameSignal),
                         [](const auto& p) { return file_case_name(p.param.input); });

struct RefusedCase {
    const char* name;
    const char* file;                 // in tests/data/formats, or empty for `bytes`
    std::vector<std::uint8_t> bytes;  // written as in.<ext>
    const char* extension;
    friend void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, NotSupportedFileFormatAndNoOutput) {
    const RefusedCase& c = GetParam();
    test::TempDir staging;
    std::string input = c.file;
    if (input.empty()) {
        input = staging.file(std::string("built.") + c.extension);
        test::write_file(input, c.bytes);
    } else {
        input = formats_file(input);
    }
    test::TempDir dir;
    std::string name;
    const test::ProcessResult r = run_on(dir, input, &name);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tonecast: Not supported file format " + name + "\n");
    EXPECT_FALSE(fs::exists(dir.file("in.klng")));
}

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

std::vector<RefusedCase> refused_cases() {
    const Bytes samples = Bytes().ramp(64);
    // A GUID of none of the old tags' family: KSDATAFORMAT_SUBTYPE_AMBISONIC_B_FORMAT_PCM,
    // 00000001-0721-11D3-8644-C8C1CA000000, whose first four bytes say "PCM" all the same.
    const Bytes ambisonic =
        Bytes().le32(1).le16(0x0721).le16(0x11D3).append({0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0});
    return {
        {"aifc_ima4", "ffmpeg_ima4.aifc", {}, ""},
        {"aifc_ulaw", "ffmpeg_ulaw.aifc", {}, ""},
        {"wav_alaw_tag6", "ffmpeg_alaw.wav", {}, ""},
        {"wav_mulaw_tag7", "ffmpeg_mulaw.wav", {}, ""},
        {"extensible_ambisonic_guid", "",
         RiffBuilder().fmt_extensible(1, 8000, 16, ambisonic).data(samples).bytes(), "wav"},
        {"extensible_adpcm_guid", "",
         RiffBuilder().fmt_extensible(1, 8000, 16, test::ks_guid(2)).data(samples).bytes(), "wav"},
        {"aifc_alaw", "",
         AiffBuilder("AIFC")
             .comm_aifc(1, 64, 16, test::kExt8000, "alaw", "ALaw 2:1")
             .ssnd(samples)
             .bytes(),
         "aifc"},
    };
}

INSTANTIATE_TEST_SUITE_P(Encodings, Refused, ::testing::ValuesIn(refused_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
