// Files written by this library, read by other tools: SoX (soxi for the format, `sox -t s32`
// for the samples, `sox -V3` for AIFF loops) and libsndfile's sndfile-info (the "smpl" loop,
// the AIFF INST and MARK chunks). A tool that is not installed skips its test; CI installs them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "tests/support/process.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

// The tool's full path from PATH, or "" when it is not installed.
std::string find_tool(const char* name) {
    const char* path = std::getenv("PATH");
#ifdef _WIN32
    const char separator = ';';
#else
    const char separator = ':';
#endif
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, separator)) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / name;
        if (std::filesystem::exists(candidate)) return candidate.string();
    }
    return "";
}

std::string run(const std::string& tool, std::vector<std::string> args, bool want_stderr = false) {
    args.insert(args.begin(), tool);
    const test::ProcessResult r = test::run_program(args);
    EXPECT_EQ(r.exit_code, 0) << tool << ": " << r.err;
    return want_stderr ? r.out + r.err : r.out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// The number that follows the first `label` at or after `pos` (past spaces and colons), and
// `pos` moved past it; -1 when the label or the number is missing.
long number_after(const std::string& text, const std::string& label, std::size_t& pos) {
    const std::size_t at = text.find(label, pos);
    if (at == std::string::npos) return -1;
    std::size_t p = at + label.size();
    while (p < text.size() && (text[p] == ' ' || text[p] == ':')) ++p;
    std::size_t end = p;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == p) return -1;
    pos = end;
    return std::stol(text.substr(p, end - p));
}

long number_after(const std::string& text, const std::string& label) {
    std::size_t pos = 0;
    return number_after(text, label, pos);
}

struct InteropCase {
    const char* name;
    bool aiff;
    std::int32_t bits;
    std::int32_t rate;
    std::int32_t loop_start, loop_end;  // -1: no loop
    friend void PrintTo(const InteropCase& c, std::ostream* os) { *os << c.name; }
};

constexpr std::int32_t kSamples = 1001;  // odd: 8-bit data without its pad byte
constexpr std::int32_t kNote = 72;

std::int32_t value(std::int32_t i) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(i) * 2654435761u);
}

class Interop : public ::testing::TestWithParam<InteropCase> {
protected:
    void SetUp() override {
        sox_ = find_tool("sox");
        soxi_ = find_tool("soxi");
        sndfile_info_ = find_tool("sndfile-info");
        const InteropCase& c = GetParam();
        path_ = dir_.file(c.aiff ? "ours.aiff" : "ours.wav");
        std::unique_ptr<CWaveFile> w;
        if (c.aiff) {
            w = std::make_unique<CAiffFile>();
            ASSERT_TRUE(w->SetSampleFrames(kSamples));
        } else {
            w = std::make_unique<CWavFile>();
        }
        ASSERT_TRUE(w->SetBitsPerSample(c.bits));
        ASSERT_TRUE(w->SetSampleRate(c.rate));
        ASSERT_TRUE(w->SetBaseNote(kNote));
        if (c.loop_start >= 0) {
            ASSERT_TRUE(w->SetLoop(c.loop_start, c.loop_end));
        }
        ASSERT_EQ(w->Open(path_.c_str(), CWaveFile::MODE_WRITE), 0);
        values_.resize(kSamples);
        for (std::int32_t i = 0; i < kSamples; ++i) values_[static_cast<std::size_t>(i)] = value(i);
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(w->SamplesToBytes(kSamples)));
        w->SamplesToRaw32(values_.data(), raw.data(), kSamples);
        ASSERT_TRUE(w->WriteRaw(raw.data(), static_cast<std::int32_t>(raw.size())));
    }

    test::TempDir dir_;
    std::string path_, sox_, soxi_, sndfile_info_;
    std::vector<std::int32_t> values_;
};

TEST_P(Interop, SoxReadsFormatAndSamples) {
    if (sox_.empty() || soxi_.empty()) GTEST_SKIP() << "SoX is not installed";
    const InteropCase& c = GetParam();
    EXPECT_EQ(trimmed(run(soxi_, {"-t", path_})), c.aiff ? "aiff" : "wav");
    EXPECT_EQ(trimmed(run(soxi_, {"-r", path_})), std::to_string(c.rate));
    EXPECT_EQ(trimmed(run(soxi_, {"-c", path_})), "1");
    EXPECT_EQ(trimmed(run(soxi_, {"-b", path_})), std::to_string(c.bits));
    EXPECT_EQ(trimmed(run(soxi_, {"-s", path_})), std::to_string(kSamples));
    // SoX's decoding, left-justified in 32 bits, against the values written, cut to `bits`.
    const std::string s32 = run(sox_, {path_, "-t", "s32", "-"});
    ASSERT_EQ(s32.size(), 4u * kSamples);
    const std::uint32_t kept = ~(0xFFFFFFFFu >> c.bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kSamples); ++i) {
        std::int32_t decoded = 0;
        std::memcpy(&decoded, s32.data() + 4 * i, 4);  // the machine's order, as SoX writes it
        ASSERT_EQ(static_cast<std::uint32_t>(decoded),
                  static_cast<std::uint32_t>(values_[i]) & kept)
            << "sample " << i;
    }
}

// SoX reports AIFF loops (it does not read the WAV sampler chunk).
class SoxAiffLoop : public Interop {};

TEST_P(SoxAiffLoop, SeesTheSustainLoop) {
    const InteropCase& c = GetParam();
    if (sox_.empty()) GTEST_SKIP() << "SoX is not installed";
    const std::string report = run(sox_, {"-V3", path_, "-n"}, true);
    if (c.loop_start < 0) {
        EXPECT_EQ(report.find("Loop 0"), std::string::npos) << report;
        return;
    }
    std::size_t pos = 0;
    EXPECT_EQ(number_after(report, "Loop 0: start", pos), c.loop_start) << report;
    EXPECT_EQ(number_after(report, "end", pos), c.loop_end) << report;
    EXPECT_NE(report.find("Unity MIDI Note: 72"), std::string::npos) << report;
}

TEST_P(Interop, SndfileInfoSeesTheLoop) {
    if (sndfile_info_.empty()) GTEST_SKIP() << "sndfile-info is not installed";
    const InteropCase& c = GetParam();
    const std::string report = run(sndfile_info_, {path_}, true);
    // libsndfile marks what it finds wrong with "***" (sizes that disagree: "Should be ...").
    // Odd-sized sample data carries no pad byte by design, and that is the one remark allowed.
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("***") == std::string::npos) continue;
        EXPECT_NE(line.find("should be an even number of bytes"), std::string::npos) << report;
        EXPECT_EQ(kSamples * ((c.bits + 7) / 8) % 2, 1) << report;
    }
    EXPECT_NE(report.find("Frames      : " + std::to_string(kSamples)), std::string::npos)
        << report;
    if (!c.aiff) {
        EXPECT_EQ(number_after(report, "Midi Note"), kNote) << report;
        EXPECT_EQ(number_after(report, "Loop Count"), c.loop_start >= 0 ? 1 : 0) << report;
        if (c.loop_start >= 0) {
            // The sampler chunk's end is the loop's last sample.
            std::size_t pos = 0;
            EXPECT_EQ(number_after(report, "Start", pos), c.loop_start) << report;
            EXPECT_EQ(number_after(report, "End", pos), c.loop_end - 1) << report;
        }
        return;
    }
    EXPECT_EQ(number_after(report, "Base Note"), kNote) << report;
    if (c.loop_start < 0) {
        EXPECT_EQ(report.find("MARK"), std::string::npos) << report;
        return;
    }
    // Sustain: mode 801 => forward, begin 1, end 2; then markers 1 and 2 named "Loop".
    std::size_t pos = report.find("Sustain");
    ASSERT_NE(pos, std::string::npos) << report;
    EXPECT_NE(report.find("=> forward", pos), std::string::npos) << report;
    EXPECT_EQ(number_after(report, "begin", pos), 1) << report;
    EXPECT_EQ(number_after(report, "end", pos), 2) << report;
    pos = 0;
    EXPECT_EQ(number_after(report, "Mark ID", pos), 1) << report;
    EXPECT_EQ(number_after(report, "Position", pos), c.loop_start) << report;
    EXPECT_EQ(report.compare(report.find("Name", pos), 15, "Name     : Loop"), 0) << report;
    EXPECT_EQ(number_after(report, "Mark ID", pos), 2) << report;
    EXPECT_EQ(number_after(report, "Position", pos), c.loop_end) << report;
}

const InteropCase kWavInterop[] = {
    {"wav8", false, 8, 8000, -1, -1},    {"wav8_looped", false, 8, 8000, 10, 1001},
    {"wav16", false, 16, 22050, -1, -1}, {"wav16_looped", false, 16, 22050, 0, 500},
    {"wav24", false, 24, 48000, -1, -1}, {"wav24_looped", false, 24, 48000, 333, 999},
};
const InteropCase kAiffInterop[] = {
    {"aiff8", true, 8, 8000, -1, -1},    {"aiff8_looped", true, 8, 8000, 10, 1001},
    {"aiff16", true, 16, 22050, -1, -1}, {"aiff16_looped", true, 16, 22050, 0, 500},
    {"aiff24", true, 24, 48000, -1, -1}, {"aiff24_looped", true, 24, 48000, 333, 999},
};
std::string case_name(const ::testing::TestParamInfo<InteropCase>& p) { return p.param.name; }
INSTANTIATE_TEST_SUITE_P(Wav, Interop, ::testing::ValuesIn(kWavInterop), case_name);
INSTANTIATE_TEST_SUITE_P(Aiff, Interop, ::testing::ValuesIn(kAiffInterop), case_name);
INSTANTIATE_TEST_SUITE_P(Aiff, SoxAiffLoop, ::testing::ValuesIn(kAiffInterop), case_name);

}  // namespace
