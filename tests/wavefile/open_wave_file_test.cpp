// Format detection: the form type at bytes 8 to 11 picks the class, each class checks its own
// container; and the exceptions that come out of it.

#include <gtest/gtest.h>

#include <cstring>
#include <exception>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/OpenWaveFile.h"
#include "wavefile/strm.h"

namespace {

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

TEST(OpenWaveFile, PicksTheClassByFormType) {
    const test::TempFile wav(
        RiffBuilder().fmt(1, 1, 8000, 8).data(Bytes().u8(0xAB).u8(0xCD)).bytes());
    const test::TempFile aiff(
        AiffBuilder().comm(1, 1, 16, test::kExt8000).ssnd(Bytes().u8(0x12).u8(0x34)).bytes());
    const test::TempFile aifc(AiffBuilder("AIFC")
                                  .comm_aifc(1, 1, 16, test::kExt8000, "sowt")
                                  .ssnd(Bytes().u8(0x56).u8(0x78))
                                  .bytes());
    for (const auto& [file, name, first] :
         {std::tuple{&wav, "WAVE", 0xAB}, std::tuple{&aiff, "AIFF", 0x12},
          std::tuple{&aifc, "AIFF", 0x56}}) {
        const std::unique_ptr<CWaveFile> w = OpenWaveFile(file->c_str());
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->GetFormatName(), name);
        EXPECT_TRUE(w->IsOpen());
        std::uint8_t b = 0;
        ASSERT_EQ(w->ReadRaw(&b, 1), 1);  // positioned at the first sample
        EXPECT_EQ(b, first);
    }
}

TEST(OpenWaveFile, ReturnsAnOpenFileEvenWithoutSampleData) {
    const test::TempFile bare(RiffBuilder().bytes());
    const std::unique_ptr<CWaveFile> w = OpenWaveFile(bare.c_str());
    EXPECT_TRUE(w->IsOpen());
    EXPECT_EQ(w->GetDataSize(), 0);
}

TEST(OpenWaveFile, MissingFileCannotOpenWithThePathAsGiven) {
    test::TempDir dir;
    const std::string path = dir.file("a b") + "/c.wav";
    try {
        OpenWaveFile(path.c_str());
        FAIL();
    } catch (const CWaveFileExceptionCannotOpen& e) {
        EXPECT_EQ(e.filename, path);
    }
}

TEST(OpenWaveFile, FewerThanTwelveBytesIsAShortRead) {
    const std::vector<std::uint8_t> whole = RiffBuilder().bytes();
    for (std::size_t n : {0u, 1u, 8u, 11u}) {
        const test::TempFile file(std::vector<std::uint8_t>(
            whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_THROW(OpenWaveFile(file.c_str()), strm::failure) << n;
    }
}

struct DetectCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool bad_format;  // else not supported
    friend void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name; }
};

class OpenWaveFileRefuses : public ::testing::TestWithParam<DetectCase> {};

TEST_P(OpenWaveFileRefuses, WithTheRightException) {
    const test::TempFile file(GetParam().bytes);
    try {
        OpenWaveFile(file.c_str());
        FAIL() << "opened";
    } catch (const CWaveFileExceptionBadFormat& e) {
        EXPECT_TRUE(GetParam().bad_format);
        EXPECT_EQ(e.filename, file.path());
    } catch (const CWaveFileExceptionNotSupported& e) {
        EXPECT_FALSE(GetParam().bad_format);
        EXPECT_EQ(e.filename, file.path());
    }
}

const DetectCase kRefused[] = {
    {"iff_8svx", AiffBuilder("8SVX").comm(1, 0, 16, test::kExt8000).bytes(), false},
    {"aifc_lower_case", AiffBuilder("aifc").comm_aifc(1, 0, 16, test::kExt8000, "NONE").bytes(),
     false},
    // AIFF-C goes to the AIFF reader, for which a COMM without the compression type is bad.
    {"aifc_comm_without_type", AiffBuilder("AIFC").comm(1, 0, 16, test::kExt8000).bytes(), true},
    {"other_form", Bytes().tag("RIFF").le32(4).tag("AVI ").vec(), false},
    {"lower_case_wave", Bytes().tag("RIFF").le32(4).tag("wave").vec(), false},
    {"wave_without_riff", RiffBuilder("FORM").fmt(1, 1, 8000, 8).bytes(), true},
    {"aiff_without_form", Bytes().tag("RIFF").be32(4).tag("AIFF").vec(), true},
    {"wav_bad_inside", RiffBuilder().fmt(1, 1, 8000, 8).raw(Bytes().zeros(3)).bytes(), true},
};
INSTANTIATE_TEST_SUITE_P(Files, OpenWaveFileRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WaveFileExceptions, FamilyOutsideTheStandardExceptions) {
    const test::TempFile svx(AiffBuilder("8SVX").bytes());
    const test::TempFile bad(RiffBuilder("RIFX").bytes());
    const std::string missing = svx.path() + ".missing";
    int caught_by_base = 0;
    for (const std::string& path : {svx.path(), bad.path(), missing}) {
        try {
            try {
                OpenWaveFile(path.c_str());
            } catch (const std::exception&) {
                ADD_FAILURE() << "a standard exception handler took it";
            }
        } catch (const CWaveFileException& e) {
            ++caught_by_base;
            EXPECT_EQ(e.filename, path);
            // The library's one message: 40 bytes of Shift-JIS, starting with 波 (94 67).
            EXPECT_EQ(std::strlen(e.GetMessage()), 40u);
            EXPECT_EQ(std::string(e.GetMessage(), 2), "\x94\x67");
        }
    }
    EXPECT_EQ(caught_by_base, 3);
}

}  // namespace
