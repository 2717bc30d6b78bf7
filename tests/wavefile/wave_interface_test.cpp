// What both implementations promise through CWaveFile: open modes and their failures, setters
// refused while open, Clone, and a new Open forgetting the previous file.

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"
#include "wavefile/CWaveFileException.h"

namespace {

using test::AiffBuilder;
using test::Bytes;
using test::RiffBuilder;

// Per class: an 8-bit, 11025 Hz file looped over [100, 300) with base note 70, and a file
// holding nothing but its container header.
template <typename T>
struct Files;

template <>
struct Files<CWavFile> {
    static std::vector<std::uint8_t> looped() {
        return RiffBuilder()
            .fmt(1, 1, 11025, 8)
            .smpl(70, {{100, 299}})
            .data(Bytes().ramp(400))
            .bytes();
    }
    static std::vector<std::uint8_t> bare() { return RiffBuilder().bytes(); }
};

template <>
struct Files<CAiffFile> {
    static std::vector<std::uint8_t> looped() {
        AiffBuilder::Inst inst;
        inst.base_note = 70;
        inst.sustain_mode = 1;
        inst.sustain_begin = 1;
        inst.sustain_end = 2;
        return AiffBuilder()
            .comm(1, 400, 8, {0x40, 0x0C, 0xAC, 0x44, 0, 0, 0, 0, 0, 0})
            .mark({{1, 100, ""}, {2, 300, ""}})
            .inst(inst)
            .ssnd(Bytes().ramp(400))
            .bytes();
    }
    static std::vector<std::uint8_t> bare() { return AiffBuilder().bytes(); }
};

template <typename T>
class WaveInterface : public ::testing::Test {};
using Classes = ::testing::Types<CWavFile, CAiffFile>;
struct ClassName {
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, CWavFile> ? "Wav" : "Aiff";
    }
};
TYPED_TEST_SUITE(WaveInterface, Classes, ClassName);

template <typename T>
void expect_looped_settings(const CWaveFile& w) {
    EXPECT_EQ(w.GetBitsPerSample(), 8);
    EXPECT_EQ(w.GetSampleRate(), 11025);
    EXPECT_EQ(w.GetBaseNote(), 70);
    EXPECT_TRUE(w.HasLoop());
    EXPECT_EQ(w.GetLoopStart(), 100);
    EXPECT_EQ(w.GetLoopEnd(), 300);
}

TYPED_TEST(WaveInterface, MissingFileCannotOpenWithThePathAsGiven) {
    test::TempDir dir;
    const std::string path = dir.file("no such dir/a b.wav");
    TypeParam wave;
    try {
        wave.Open(path.c_str(), CWaveFile::MODE_READ);
        FAIL() << "opened a missing file";
    } catch (const CWaveFileExceptionCannotOpen& e) {
        EXPECT_EQ(e.filename, path);
    }
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_THROW(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), CWaveFileExceptionCannotOpen);
    EXPECT_FALSE(wave.IsOpen());
}

TYPED_TEST(WaveInterface, OtherModesDoNothing) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    test::TempDir dir;
    const std::string other = dir.file("other");
    EXPECT_EQ(o.wave.Open(other.c_str(), 2), 2);
    EXPECT_EQ(o.wave.Open(other.c_str(), -1), -1);
    EXPECT_TRUE(o.wave.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(other));
    expect_looped_settings<TypeParam>(o.wave);
}

TYPED_TEST(WaveInterface, BadFormatKeepsTheFileAttached) {
    auto bytes = Files<TypeParam>::looped();
    bytes.push_back(0);  // a stray byte: no chunk header fits
    const test::TempFile file(bytes);
    TypeParam wave;
    try {
        wave.Open(file.c_str(), CWaveFile::MODE_READ);
        FAIL() << "opened a bad file";
    } catch (const CWaveFileExceptionBadFormat& e) {
        EXPECT_EQ(e.filename, file.path());
    }
    EXPECT_TRUE(wave.IsOpen());
    EXPECT_EQ(wave.GetBitsPerSample(), 8);  // what was read before the fault stays
    wave.Close();
    EXPECT_FALSE(wave.IsOpen());
}

TYPED_TEST(WaveInterface, SettersAreRefusedWhileOpen) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    CWaveFile& w = o.wave;
    EXPECT_FALSE(w.SetSampleRate(8000));
    EXPECT_FALSE(w.SetBitsPerSample(16));
    EXPECT_FALSE(w.SetChannels(2));
    EXPECT_FALSE(w.SetSampleFrames(5));
    EXPECT_FALSE(w.SetLoop(1, 2));
    EXPECT_FALSE(w.SetBaseNote(10));
    EXPECT_FALSE(w.WriteRaw("ab", 2));  // open for reading
    expect_looped_settings<TypeParam>(w);
    EXPECT_EQ(w.GetChannels(), 1);
}

TYPED_TEST(WaveInterface, SetLoopOnAClosedObject) {
    TypeParam wave;
    EXPECT_FALSE(wave.HasLoop());
    EXPECT_EQ(wave.GetLoopStart(), -1);
    EXPECT_EQ(wave.GetLoopEnd(), -1);
    EXPECT_TRUE(wave.SetLoop(100, 200));
    EXPECT_TRUE(wave.HasLoop());
    EXPECT_EQ(wave.GetLoopStart(), 100);
    EXPECT_EQ(wave.GetLoopEnd(), 200);
    EXPECT_TRUE(wave.SetLoop(5, 6));  // the same loop, moved
    EXPECT_EQ(wave.GetLoopStart(), 5);
    EXPECT_EQ(wave.GetLoopEnd(), 6);
}

TYPED_TEST(WaveInterface, CloneOfAnOpenObjectIsClosedWithTheSameSettings) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    EXPECT_FALSE(copy->IsOpen());
    EXPECT_TRUE(o.wave.IsOpen());
    EXPECT_STREQ(copy->GetFormatName(), o.wave.GetFormatName());
    expect_looped_settings<TypeParam>(*copy);
    EXPECT_EQ(copy->GetDataSize(), 0);  // both data positions -1
    std::uint8_t b[4];
    EXPECT_EQ(copy->ReadRaw(b, 4), 0);
    EXPECT_NE(copy->SeekData(0), 0);
    EXPECT_EQ(o.wave.ReadRaw(b, 4), 4);  // the original reads on
}

TYPED_TEST(WaveInterface, OpenForgetsThePreviousFile) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    const test::TempFile bare(Files<TypeParam>::bare());
    EXPECT_NE(o.wave.Open(bare.c_str(), CWaveFile::MODE_READ), 0);  // no sample data
    EXPECT_EQ(o.wave.GetBitsPerSample(), 16);
    EXPECT_EQ(o.wave.GetSampleRate(), 44100);
    EXPECT_EQ(o.wave.GetChannels(), 1);
    EXPECT_EQ(o.wave.GetBaseNote(), 60);
    EXPECT_FALSE(o.wave.HasLoop());
    EXPECT_EQ(o.wave.GetDataSize(), 0);
    EXPECT_EQ(o.wave.GetSampleFrames(), 0);
}

TYPED_TEST(WaveInterface, CloseKeepsTheSettingsReadable) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    o.wave.Close();
    o.wave.Close();  // twice is harmless
    expect_looped_settings<TypeParam>(o.wave);
    EXPECT_EQ(o.wave.GetDataSize(), 400);
    std::uint8_t b[4];
    EXPECT_EQ(o.wave.ReadRaw(b, 4), 0);
    EXPECT_NE(o.wave.SeekData(0), 0);
}

TYPED_TEST(WaveInterface, SeekDataMovesWithinTheFile) {
    test::Opened<TypeParam> o(Files<TypeParam>::looped());
    std::uint8_t b[4];
    ASSERT_EQ(o.wave.SeekData(396), 0);
    ASSERT_EQ(o.wave.ReadRaw(b, 4), 4);
    EXPECT_EQ(b[3], static_cast<std::uint8_t>(399));
    EXPECT_NE(o.wave.SeekData(-0x7FFFFFFF), 0);  // before the start of the file
}

}  // namespace
