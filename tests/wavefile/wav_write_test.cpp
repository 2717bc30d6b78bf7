// Writing RIFF WAVE files: the exact header bytes, the size fields after each append, and what
// a Clone of a read file carries into a new one. Expected bytes are laid out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CWavFile.h"

namespace {

using test::Bytes;
using test::le16_at;
using test::le32_at;
using test::read_file;
using test::tag_at;

// The 88 bytes of a header without loops, for the given format.
Bytes header(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
             std::uint32_t samples_bytes, std::uint32_t unity = 60) {
    const std::uint16_t align = static_cast<std::uint16_t>((bits + 7) / 8 * channels);
    Bytes b;
    b.tag("RIFF").le32(80 + samples_bytes).tag("WAVE");
    b.tag("fmt ")
        .le32(16)
        .le16(1)
        .le16(channels)
        .le32(rate)
        .le32(rate * align)
        .le16(align)
        .le16(bits);
    b.tag("smpl").le32(36).le32(0).le32(0).le32(0).le32(unity).le32(0).le32(0).le32(0).le32(0).le32(
        0);
    b.tag("data").le32(samples_bytes);
    return b;
}

TEST(WavWrite, DefaultHeaderIs88Bytes) {
    test::TempDir dir;
    const std::string path = dir.file("new.wav");
    CWavFile wave;
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    EXPECT_EQ(wave.GetDataSize(), 0);
    wave.Close();
    EXPECT_EQ(read_file(path), header(1, 44100, 16, 0).vec());
}

TEST(WavWrite, LoopedFileOf2112Bytes) {
    test::TempDir dir;
    const std::string path = dir.file("looped.wav");
    CWavFile wave;
    ASSERT_TRUE(wave.SetLoop(0, 1000));
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    const std::vector<std::uint8_t> samples = Bytes().ramp(2000).vec();
    ASSERT_TRUE(wave.WriteRaw(samples.data(), 2000));
    wave.Close();
    Bytes want;
    want.tag("RIFF").le32(2104).tag("WAVE");
    want.tag("fmt ").le32(16).le16(1).le16(1).le32(44100).le32(88200).le16(2).le16(16);
    want.tag("smpl").le32(60).le32(0).le32(0).le32(0).le32(60).le32(0).le32(0).le32(0).le32(1).le32(
        0);
    want.le32(0).le32(0).le32(0).le32(999).le32(0).le32(0);
    want.tag("data").le32(2000).append(samples);
    EXPECT_EQ(read_file(path), want.vec());
    EXPECT_EQ(want.size(), 2112u);
}

TEST(WavWrite, EveryAppendLeavesACompleteFile) {
    test::TempDir dir;
    const std::string path = dir.file("grow.wav");
    CWavFile wave;
    ASSERT_TRUE(wave.SetBitsPerSample(8));
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    ASSERT_TRUE(wave.WriteRaw("\x01\x02\x03", 3));
    auto bytes = read_file(path);  // read while still open: nothing is left for Close to do
    ASSERT_EQ(bytes.size(), 91u);  // odd: no pad byte after the data
    EXPECT_EQ(le32_at(bytes, 4), 83u);
    EXPECT_EQ(le32_at(bytes, 84), 3u);
    ASSERT_TRUE(wave.WriteRaw("\x04\x05", 2));
    ASSERT_TRUE(wave.WriteRaw("", 0));
    EXPECT_EQ(wave.GetDataSize(), 5);
    EXPECT_EQ(wave.GetSampleFrames(), 5);
    bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 93u);
    EXPECT_EQ(le32_at(bytes, 4), 85u);
    EXPECT_EQ(le32_at(bytes, 84), 5u);
    EXPECT_EQ(bytes[92], 5);
    EXPECT_FALSE(wave.WriteRaw("x", -1));
    wave.Close();
    EXPECT_FALSE(wave.WriteRaw("x", 1));
    EXPECT_EQ(read_file(path).size(), 93u);
}

TEST(WavWrite, HeaderFieldsFromTheSetters) {
    test::TempDir dir;
    const std::string path = dir.file("set.wav");
    CWavFile wave;
    EXPECT_TRUE(wave.SetSampleRate(48000.9));  // truncated to whole hertz
    EXPECT_EQ(wave.GetSampleRate(), 48000);
    EXPECT_TRUE(wave.SetBitsPerSample(0x10018));  // low 16 bits: 24
    EXPECT_TRUE(wave.SetChannels(0x20002));       // low 16 bits: 2
    EXPECT_TRUE(wave.SetBaseNote(72));
    EXPECT_FALSE(wave.SetSampleFrames(10));  // follows from the data size
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    wave.Close();
    // Block align 3 * 2 = 6, byte rate 6 * 48000 = 288000.
    EXPECT_EQ(read_file(path), header(2, 48000, 24, 0, 72).vec());
}

TEST(WavWrite, RatesThatDoNotFitTheFieldAreRefused) {
    CWavFile wave;
    const double refused[] = {-1.0, 4294967296.0, 1e300, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
    for (double rate : refused) {
        EXPECT_FALSE(wave.SetSampleRate(rate)) << rate;
        EXPECT_EQ(wave.GetSampleRate(), 44100);
    }
    EXPECT_TRUE(wave.SetSampleRate(4294967295.5));
    EXPECT_EQ(wave.GetSampleRate(), 4294967295.0);
    EXPECT_TRUE(wave.SetSampleRate(-0.5));  // truncates to 0
    EXPECT_EQ(wave.GetSampleRate(), 0);
}

TEST(WavWrite, CloneOfAReadFileKeepsEveryLoopRecordAndSamplerField) {
    Bytes smpl;
    smpl.le32(0x11).le32(0x22).le32(22675).le32(67).le32(0x80000000).le32(25).le32(0x01020304);
    smpl.le32(2).le32(0);
    smpl.le32(7).le32(0).le32(10).le32(19).le32(0).le32(3);
    smpl.le32(8).le32(1).le32(30).le32(59).le32(5).le32(0);
    const auto original = test::RiffBuilder()
                              .fmt(1, 1, 44100, 16)
                              .chunk("smpl", smpl)
                              .data(Bytes().ramp(100))
                              .bytes();
    test::Opened<CWavFile> o(original);
    ASSERT_EQ(o.result, 0);
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    test::TempDir dir;
    const std::string path = dir.file("copy.wav");
    ASSERT_EQ(copy->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    copy->Close();
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 88u + 48u);
    EXPECT_EQ(tag_at(bytes, 36), "smpl");
    EXPECT_EQ(le32_at(bytes, 40), smpl.size());
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 44, bytes.begin() + 44 + 84), smpl.vec());

    // SetLoop moves the first record only and keeps its other fields.
    const std::unique_ptr<CWaveFile> moved = o.wave.Clone();
    ASSERT_TRUE(moved->SetLoop(1, 5));
    ASSERT_EQ(moved->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    moved->Close();
    const auto b2 = read_file(path);
    EXPECT_EQ(le32_at(b2, 80), 7u);    // cue point
    EXPECT_EQ(le32_at(b2, 88), 1u);    // start
    EXPECT_EQ(le32_at(b2, 92), 4u);    // last sample
    EXPECT_EQ(le32_at(b2, 100), 3u);   // play count
    EXPECT_EQ(le32_at(b2, 112), 30u);  // the second record untouched
}

TEST(WavWrite, WritingAgainReplacesTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("again.wav");
    test::write_file(path, Bytes().ramp(500).vec());
    CWavFile wave;
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    ASSERT_TRUE(wave.WriteRaw("ab", 2));
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);  // closes and starts anew
    EXPECT_EQ(wave.GetDataSize(), 0);
    wave.Close();
    EXPECT_EQ(read_file(path), header(1, 44100, 16, 0).vec());
}

}  // namespace
