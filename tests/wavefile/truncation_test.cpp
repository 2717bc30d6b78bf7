// Every prefix of a valid file, for both readers: each must open (possibly without sample data)
// or fail with CWaveFileExceptionBadFormat, and nothing else; reading its samples afterwards
// must stay within the file. Under the sanitizer build this is a small deterministic fuzzer.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <memory>

#include "tests/support/byte_builder.h"
#include "tests/support/process.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"
#include "wavefile/CWaveFileException.h"

namespace {

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

struct PrefixCase {
    const char* name;
    bool aiff;
    std::vector<std::uint8_t> bytes;
    friend void PrintTo(const PrefixCase& c, std::ostream* os) { *os << c.name; }
};

class EveryPrefix : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(EveryPrefix, OpensOrIsBadFormat) {
    const PrefixCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("cut");
    std::size_t opened = 0;
    // The file grows by one byte per round, so that it always holds the prefix being tried
    // (rewriting it whole each time costs a disk flush per round on some file systems).
    std::ofstream grow(path, std::ios::binary | std::ios::trunc);
    for (std::size_t length = 0; length <= c.bytes.size(); ++length) {
        if (length > 0) grow.put(static_cast<char>(c.bytes[length - 1]));
        grow.flush();
        ASSERT_TRUE(grow.good());
        std::unique_ptr<CWaveFile> wave;
        if (c.aiff) {
            wave = std::make_unique<CAiffFile>();
        } else {
            wave = std::make_unique<CWavFile>();
        }
        try {
            wave->Open(path.c_str(), CWaveFile::MODE_READ);
            ++opened;
        } catch (const CWaveFileExceptionBadFormat& e) {
            EXPECT_EQ(e.filename, path);
        } catch (...) {
            ADD_FAILURE() << "length " << length << ": an exception other than BadFormat";
        }
        // Whatever was read, the samples can be asked for without leaving the file.
        std::vector<std::int16_t> samples(1 << 16);
        const std::uint32_t got = wave->ReadSamples16(samples.data(), 1 << 16);
        EXPECT_LE(static_cast<std::size_t>(wave->SamplesToBytes(static_cast<std::int32_t>(got))),
                  length)
            << "length " << length;
        wave->GetLoopStart();
        wave->GetLoopEnd();
        wave->GetSampleFrames();
    }
    EXPECT_GT(opened, 0u);  // the whole file, at least
}

// A file in tests/data/wavefile, or a path from tests/data when the name has a '/'.
std::vector<std::uint8_t> fixture(const char* name) {
    const std::string n = name;
    return test::read_file(test::data_file(n.find('/') == std::string::npos ? "wavefile/" + n : n));
}

std::vector<PrefixCase> cases() {
    std::vector<PrefixCase> c;
    c.push_back({"wav_built", false,
                 RiffBuilder()
                     .chunk("LIST", Bytes().ramp(7))
                     .fmt(1, 1, 8000, 16, 2)
                     .smpl(60, {{10, 19}, {20, 29}})
                     .data(Bytes().ramp(41))
                     .chunk("junk", Bytes().ramp(3))
                     .bytes()});
    c.push_back({"aiff_built", true,
                 AiffBuilder()
                     .chunk("COMT", Bytes().ramp(5))
                     .comm(1, 20, 16, test::kExt8000, 4)
                     .mark({{1, 2, "abcd"}, {2, 9, "Loop"}, {3, 10, ""}})
                     .inst(AiffBuilder::Inst())
                     .ssnd(Bytes().ramp(41))
                     .chunk("APPL", Bytes().ramp(3))
                     .bytes()});
    c.push_back({"wav_extensible_built", false,
                 RiffBuilder()
                     .fmt_extensible(1, 8000, 32, test::ks_guid(3), 24)
                     .chunk("fact", Bytes().le32(10))
                     .data(Bytes().ramp(40))
                     .bytes()});
    c.push_back({"aifc_named_comm_built", true,
                 AiffBuilder("AIFC")
                     .chunk("FVER", Bytes().be32(0xA2805140))
                     .comm_aifc(1, 20, 32, test::kExt8000, "fl32", "32-bit floating point")
                     .mark({{1, 2, "abc"}})
                     .ssnd(Bytes().ramp(80))
                     .bytes()});
    for (const char* name : {"sox_u8.wav", "ffmpeg_s16.wav", "sox_s24.wav", "sndfile_loop16.wav",
                             "formats/ffmpeg_f32.wav", "formats/sox_f64.wav"}) {
        c.push_back({name, false, fixture(name)});
    }
    for (const char* name :
         {"audiofile_loop16.aiff", "sox_s16.aiff", "sndfile_s24.aiff", "formats/ffmpeg_sowt.aifc",
          "formats/sox_s16.aifc", "formats/sndfile_f32.aifc"}) {
        c.push_back({name, true, fixture(name)});
    }
    return c;
}

std::string case_name(const ::testing::TestParamInfo<PrefixCase>& p) {
    std::string n = p.param.name;
    for (char& ch : n) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Files, EveryPrefix, ::testing::ValuesIn(cases()), case_name);

}  // namespace
