// Writing AIFF files: the exact header bytes, the size fields after each append, markers and
// the sustain loop, and what a Clone of a read file carries into a new one. Expected bytes are
// laid out by hand.

#include <gtest/gtest.h>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"

namespace {

using test::AiffBuilder;
using test::be16_at;
using test::be32_at;
using test::Bytes;
using test::read_file;
using test::tag_at;

Bytes comm_chunk(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits,
                 const std::vector<std::uint8_t>& rate) {
    return Bytes().tag("COMM").be32(18).be16(channels).be32(frames).be16(bits).append(rate);
}

Bytes default_inst(std::uint16_t mode = 0, std::uint16_t begin = 0, std::uint16_t end = 0) {
    return Bytes()
        .tag("INST")
        .be32(20)
        .u8(60)
        .u8(0)
        .u8(0)
        .u8(127)
        .u8(0)
        .u8(127)
        .be16(0)
        .be16(mode)
        .be16(begin)
        .be16(end)
        .be16(0)
        .be16(0)
        .be16(0);
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& b, std::size_t from,
                                std::size_t n) {
    return std::vector<std::uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(from),
                                     b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

TEST(AiffWrite, DefaultFileIs82BytesAndGrowsWithEachAppend) {
    test::TempDir dir;
    const std::string path = dir.file("new.aiff");
    CAiffFile wave;
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    EXPECT_EQ(wave.GetDataSize(), 0);
    Bytes want;
    want.tag("FORM").be32(74).tag("AIFF").append(comm_chunk(1, 0, 16, test::kExt44100).vec());
    want.append(default_inst().vec()).tag("SSND").be32(8).be32(0).be32(0);
    EXPECT_EQ(read_file(path), want.vec());

    const auto hundred = Bytes().ramp(100).vec();
    ASSERT_TRUE(wave.WriteRaw(hundred.data(), 100));
    auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 182u);
    EXPECT_EQ(be32_at(bytes, 4), 174u);
    EXPECT_EQ(be32_at(bytes, 70), 108u);
    EXPECT_EQ(slice(bytes, 82, 100), hundred);

    ASSERT_TRUE(wave.WriteRaw("xyz", 3));
    bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 185u);  // no pad byte after odd data
    EXPECT_EQ(be32_at(bytes, 4), 177u);
    EXPECT_EQ(be32_at(bytes, 70), 111u);
    EXPECT_EQ(wave.GetDataSize(), 103);
    wave.Close();
    EXPECT_FALSE(wave.WriteRaw("x", 1));
}

TEST(AiffWrite, LoopGoesIntoMarkAndInst) {
    test::TempDir dir;
    const std::string path = dir.file("loop.aiff");
    CAiffFile wave;
    ASSERT_TRUE(wave.SetLoop(100, 200));
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    wave.Close();
    Bytes want;
    want.tag("FORM").be32(108).tag("AIFF").append(comm_chunk(1, 0, 16, test::kExt44100).vec());
    want.tag("MARK").be32(26).be16(2);
    want.be16(1).be32(100).u8(4).text("Loop").u8(0);
    want.be16(2).be32(200).u8(4).text("Loop").u8(0);
    want.append(default_inst(1, 1, 2).vec()).tag("SSND").be32(8).be32(0).be32(0);
    EXPECT_EQ(read_file(path), want.vec());
    EXPECT_EQ(want.size(), 116u);  // where the samples start

    test::Opened<CAiffFile> back(read_file(path));
    EXPECT_TRUE(back.wave.HasLoop());
    EXPECT_EQ(back.wave.GetLoopStart(), 100);
    EXPECT_EQ(back.wave.GetLoopEnd(), 200);
}

TEST(AiffWrite, NewLoopTakesTheLowestFreeMarkerIds) {
    // Markers 1 and 2 exist, no loop: the loop gets 3 and 4, and 1 and 2 are written unchanged.
    const auto original = AiffBuilder().mark({{1, 7, "one"}, {2, 9, "zwei"}}).bytes();
    test::Opened<CAiffFile> o(original);
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    ASSERT_TRUE(copy->SetLoop(20, 40));
    test::TempDir dir;
    const std::string path = dir.file("ids.aiff");
    ASSERT_EQ(copy->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    copy->Close();
    const auto bytes = read_file(path);
    Bytes mark;
    mark.tag("MARK").be32(2 + 10 + 12 + 12 + 12).be16(4);
    mark.be16(1).be32(7).u8(3).text("one");
    mark.be16(2).be32(9).u8(4).text("zwei").u8(0);
    mark.be16(3).be32(20).u8(4).text("Loop").u8(0);
    mark.be16(4).be32(40).u8(4).text("Loop").u8(0);
    EXPECT_EQ(slice(bytes, 38, mark.size()), mark.vec());
    EXPECT_EQ(slice(bytes, 38 + mark.size(), 28), default_inst(1, 3, 4).vec());
}

TEST(AiffWrite, ExistingLoopKeepsItsIdsAndPlayMode) {
    AiffBuilder::Inst inst;
    inst.sustain_mode = 2;
    inst.sustain_begin = 5;
    inst.sustain_end = 9;
    const auto original = AiffBuilder().mark({{5, 1, "a"}, {9, 2, "b"}}).inst(inst).bytes();
    test::Opened<CAiffFile> o(original);
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    ASSERT_TRUE(copy->SetLoop(300, 600));
    EXPECT_EQ(copy->GetLoopStart(), 300);
    EXPECT_EQ(copy->GetLoopEnd(), 600);
    test::TempDir dir;
    const std::string path = dir.file("mode2.aiff");
    ASSERT_EQ(copy->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    copy->Close();
    const auto bytes = read_file(path);
    Bytes mark;
    mark.tag("MARK").be32(26).be16(2);
    mark.be16(5).be32(300).u8(4).text("Loop").u8(0);
    mark.be16(9).be32(600).u8(4).text("Loop").u8(0);
    EXPECT_EQ(slice(bytes, 38, mark.size()), mark.vec());
    EXPECT_EQ(slice(bytes, 38 + mark.size(), 28), default_inst(2, 5, 9).vec());
}

TEST(AiffWrite, CloneOfAReadFileKeepsMarkersAndInstrument) {
    AiffBuilder::Inst inst{69, 0xF6, 10, 100, 1, 120, 0xFFFD, 1, 3, 4, 2, 4, 3};
    const std::vector<AiffBuilder::Marker> markers = {
        {3, 128, "start"}, {4, 512, std::string("e\0d", 3)}, {7, 0, ""}};
    const auto original = AiffBuilder()
                              .comm(1, 600, 24, test::kExt22050)
                              .mark(markers)
                              .inst(inst)
                              .ssnd(Bytes().ramp(30))
                              .bytes();
    test::Opened<CAiffFile> o(original);
    ASSERT_EQ(o.result, 0);
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    test::TempDir dir;
    const std::string path = dir.file("copy.aiff");
    ASSERT_EQ(copy->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    copy->Close();
    // The original's chunks from COMM to INST, byte for byte (the builder wrote them in the
    // writer's order), then an SSND chunk without samples.
    const auto bytes = read_file(path);
    const std::size_t header = original.size() - 30;
    ASSERT_EQ(bytes.size(), header);
    EXPECT_EQ(slice(bytes, 12, header - 28), slice(original, 12, header - 28));
    EXPECT_EQ(slice(bytes, header - 16, 16), Bytes().tag("SSND").be32(8).be32(0).be32(0).vec());
    EXPECT_EQ(be32_at(bytes, 4), header - 8);
}

TEST(AiffWrite, SettersStoreTheirLowBits) {
    test::TempDir dir;
    const std::string path = dir.file("set.aiff");
    CAiffFile wave;
    EXPECT_TRUE(wave.SetBaseNote(300));  // low 8 bits: 44
    EXPECT_EQ(wave.GetBaseNote(), 44);
    EXPECT_TRUE(wave.SetBitsPerSample(0x10008));
    EXPECT_TRUE(wave.SetChannels(2));
    EXPECT_TRUE(wave.SetSampleFrames(123456));
    EXPECT_TRUE(wave.SetSampleRate(8000));
    ASSERT_EQ(wave.Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    wave.Close();
    const auto bytes = read_file(path);
    EXPECT_EQ(slice(bytes, 12, 26), comm_chunk(2, 123456, 8, test::kExt8000).vec());
    EXPECT_EQ(bytes[46], 44);  // INST base note
}

// Two MARK chunks, together holding every id except `missing` (or all 65536 when none).
std::vector<std::uint8_t> crowded(long missing) {
    std::vector<AiffBuilder::Marker> low, high;
    for (long id = 0; id < 0x10000; ++id) {
        if (id == missing) continue;
        (id < 0x8000 ? low : high).push_back({static_cast<std::uint16_t>(id), 0, ""});
    }
    return AiffBuilder().mark(low).mark(high).bytes();
}

TEST(AiffWrite, SetLoopNeedsTwoFreeMarkerIds) {
    for (long missing : {-1L, 1234L}) {
        test::Opened<CAiffFile> o(crowded(missing));
        const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
        EXPECT_FALSE(copy->SetLoop(1, 2)) << missing;
        EXPECT_FALSE(copy->HasLoop());
    }
    // Two free ids beyond 32767 count as well: -32768 (0x8000) and -1 (0xFFFF).
    std::vector<AiffBuilder::Marker> taken;
    for (long id = 1; id < 0x10000; ++id) {
        if (id != 0x8000 && id != 0xFFFF) taken.push_back({static_cast<std::uint16_t>(id), 0, ""});
    }
    test::Opened<CAiffFile> o(AiffBuilder().mark(taken).bytes());
    const std::unique_ptr<CWaveFile> copy = o.wave.Clone();
    ASSERT_TRUE(copy->SetLoop(10, 20));
    EXPECT_EQ(copy->GetLoopStart(), 10);
    EXPECT_EQ(copy->GetLoopEnd(), 20);
}

}  // namespace
