// klnginfo -w on real tonecast outputs: the WAV and AIFF files it writes hold exactly the
// samples the .klng file stores (read by sox, compared with the .klng bytes decoded here and
// with the converter's input where it was not resampled), at the record's rate, with the loop
// where the record puts it (read back by the wave file library and by libsndfile).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/klnginfo/klnginfo_support.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/OpenWaveFile.h"

namespace {

struct RoundTrip {
    const char* name;
    bool example;        // examples/chime.wav, else tests/data/job/tone16.wav
    const char* option;  // tonecast's encoding option
    const char* out;     // the name given to -w
    // Known answers (tests/program/job_test.cpp derives them by hand): the example's loop
    // [2205, 4410) at 22050 Hz grows to whole words by resampling; the tone is 5512 samples.
    std::int32_t samples, rate, loop_start, loop_end;  // loop_start -1: no loop
    friend void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }
};

// The digits after the first `label` in `text`, blanks skipped; "" when absent.
std::string number_after(const std::string& text, const std::string& label) {
    std::size_t at = text.find(label);
    if (at == std::string::npos) return "";
    at = text.find_first_not_of(' ', at + label.size());
    const std::size_t end = text.find_first_not_of("0123456789", at);
    return at == std::string::npos ? "" : text.substr(at, end - at);
}

class Decoded : public ::testing::TestWithParam<RoundTrip> {
protected:
    // Converts, then decodes with klnginfo -w; returns the .klng bytes.
    std::vector<std::uint8_t> run() {
        const RoundTrip& c = GetParam();
        const std::vector<std::uint8_t>& klng =
            klt::converted(c.example ? klt::example_wav() : klt::tone_wav(), c.option);
        test::write_file(dir_.file("in.klng"), klng);
        const test::ProcessResult r = klt::run_klnginfo(dir_, {"-w", c.out, "in.klng"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string progress = std::string("decode in.klng to ") + c.out + "\n";
        EXPECT_GE(r.out.size(), progress.size());
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), progress.size())), progress);
        return klng;
    }
    std::string out_path() const { return dir_.file(GetParam().out); }

    test::TempDir dir_;
};

TEST_P(Decoded, SamplesAreTheStoredOnes) {
    const RoundTrip& c = GetParam();
    const std::vector<std::uint8_t> klng = run();
    const std::vector<std::int16_t> written = klt::sox_samples(out_path());
    if (written.empty()) GTEST_SKIP() << "sox is not installed";
    ASSERT_EQ(written.size(), static_cast<std::size_t>(c.samples));
    // PCM16 as stored, PCM8 bytes times 256, IMA-ADPCM through the project's own codec.
    EXPECT_EQ(written, klt::reference_samples(klng));
    if (c.example) return;
    // The tone was not resampled: the converter's input itself, as sox reads it.
    const std::vector<std::int16_t> input = klt::sox_samples(klt::tone_wav());
    ASSERT_EQ(input.size(), written.size());
    const std::string option = c.option;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const std::int32_t s = input[i];
        if (option == "-s") {
            ASSERT_EQ(written[i], s) << "sample " << i;
        } else if (option == "-c") {
            // The converter's rounding to 8 bits: s / 256 to the nearest, halves away from
            // zero, kept within -128 ... 127.
            const std::int32_t byte = s >= 0 ? std::min((s + 128) >> 8, 127) : -((128 - s) >> 8);
            ASSERT_EQ(written[i], byte * 256) << "sample " << i;
        }
    }
}

TEST_P(Decoded, RateAndLoopReadBackByTheLibrary) {
    const RoundTrip& c = GetParam();
    run();
    const std::unique_ptr<CWaveFile> back = OpenWaveFile(out_path().c_str());
    EXPECT_EQ(back->GetChannels(), 1);
    EXPECT_EQ(back->GetBitsPerSample(), 16);
    EXPECT_EQ(back->GetSampleFrames(), c.samples);
    EXPECT_EQ(back->GetSampleRate(), c.rate);
    EXPECT_EQ(back->HasLoop(), c.loop_start >= 0);
    EXPECT_EQ(back->GetLoopStart(), c.loop_start);
    EXPECT_EQ(back->GetLoopEnd(), c.loop_start >= 0 ? c.loop_end : -1);
}

TEST_P(Decoded, RateAndLoopReadBackByLibsndfileAndSox) {
    const RoundTrip& c = GetParam();
    run();
    const std::string info = klt::find_tool("sndfile-info");
    const std::string soxi = klt::find_tool("soxi");
    if (info.empty() || soxi.empty()) GTEST_SKIP() << "sndfile-info or soxi is not installed";
    const test::ProcessResult r = test::run_program({info, "--instrument", out_path()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    if (c.loop_start < 0) {
        EXPECT_NE(r.out.find("Loop points : 0"), std::string::npos) << r.out;
    } else {
        // "Mode : fwd     Start :   2208   End :   4416   Count :      0"; libsndfile shows the
        // end exclusive, for WAV and AIFF alike.
        EXPECT_NE(r.out.find("Loop points : 1"), std::string::npos) << r.out;
        EXPECT_EQ(number_after(r.out, "Start :"), std::to_string(c.loop_start)) << r.out;
        EXPECT_EQ(number_after(r.out, "End :"), std::to_string(c.loop_end)) << r.out;
    }
    EXPECT_EQ(test::run_program({soxi, "-r", out_path()}).out, std::to_string(c.rate) + "\n");
    EXPECT_EQ(test::run_program({soxi, "-s", out_path()}).out, std::to_string(c.samples) + "\n");
}

const RoundTrip kRoundTrips[] = {
    {"chime_adpcm_wav", true, "-a", "out.wav", 4416, 22080, 2208, 4416},
    {"chime_adpcm_aiff", true, "-a", "out.aiff", 4416, 22080, 2208, 4416},
    {"chime_pcm16_wav", true, "-s", "out.WAV", 4412, 22060, 2206, 4412},
    {"chime_pcm16_aiff", true, "-s", "out.aif", 4412, 22060, 2206, 4412},
    {"chime_pcm8_wav", true, "-c", "out.wav", 4416, 22080, 2208, 4416},
    {"chime_pcm8_aiff", true, "-c", "out.AIFF", 4416, 22080, 2208, 4416},
    {"tone_adpcm_wav", false, "-a", "out.wav", 5512, 22050, -1, -1},
    {"tone_adpcm_aiff", false, "-a", "out.aiff", 5512, 22050, -1, -1},
    {"tone_pcm16_wav", false, "-s", "out.wav", 5512, 22050, -1, -1},
    {"tone_pcm16_aiff", false, "-s", "out.aif", 5512, 22050, -1, -1},
    {"tone_pcm8_wav", false, "-c", "out.wav", 5512, 22050, -1, -1},
    {"tone_pcm8_aiff", false, "-c", "out.aiff", 5512, 22050, -1, -1},
};

INSTANTIATE_TEST_SUITE_P(Outputs, Decoded, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
