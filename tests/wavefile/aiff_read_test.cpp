// Reading AIFF headers: chunks in any order, sizes as claims, markers and the sustain loop.
// Files are built in memory byte by byte; rates are written as their extended bytes by hand.

#include <gtest/gtest.h>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/open_case.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"

namespace {

using test::AiffBuilder;
using test::bad_format;
using test::Bytes;
using test::kExt22050;
using test::kExt44100;
using test::kExt8000;
using test::ok;
using test::OpenCase;
using Inst = AiffBuilder::Inst;

Inst sustain(std::uint16_t mode, std::uint16_t begin, std::uint16_t end) {
    Inst in;
    in.sustain_mode = mode;
    in.sustain_begin = begin;
    in.sustain_end = end;
    return in;
}

class AiffOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(AiffOpen, ReportsTheHeader) { test::check_open_case<CAiffFile>(GetParam()); }

const OpenCase kAiffCases[] = {
    {"minimal_12_bytes", AiffBuilder().bytes(), ok().no_data()},
    {"mono16", AiffBuilder().comm(1, 50, 16, kExt22050).ssnd(Bytes().ramp(100)).bytes(),
     ok().format(1, 16, 22050).size(50, 100)},
    // The frame count is the header's claim, not derived from the data.
    {"frames_as_stored", AiffBuilder().comm(2, 12345, 8, kExt8000).ssnd(Bytes().ramp(10)).bytes(),
     ok().format(2, 8, 8000).size(12345, 10)},
    {"channels_ffff", AiffBuilder().comm(0xFFFF, 0, 16, kExt8000).bytes(),
     ok().format(-1, 16, 8000).no_data()},
    // AIFF-C: formats_read_test.cpp.
    {"not_form", Bytes().tag("RIFF").be32(4).tag("AIFF").vec(), bad_format()},
    {"comm22", AiffBuilder().comm(1, 5, 16, kExt8000, 4).ssnd(Bytes().ramp(10)).bytes(),
     ok().format(1, 16, 8000).size(5, 10)},
    {"comm18_exact",
     AiffBuilder().chunk("COMM", Bytes().be16(1).be32(5).be16(16).append(kExt8000)).bytes(),
     ok().format(1, 16, 8000).size(5, 0).no_data()},
    {"comm16_short",
     AiffBuilder()
         .chunk("COMM", Bytes().be16(1).be32(5).be16(16).be16(0x400B).be32(0xFA000000).be16(0))
         .ssnd(Bytes().ramp(4))
         .bytes(),
     bad_format()},
    {"ssnd_before_comm", AiffBuilder().ssnd(Bytes().ramp(30)).comm(1, 10, 24, kExt44100).bytes(),
     ok().format(1, 24, 44100).size(10, 30)},
    {"later_comm_wins",
     AiffBuilder().comm(2, 1, 8, kExt8000).comm(1, 3, 16, kExt22050).ssnd(Bytes().ramp(6)).bytes(),
     ok().format(1, 16, 22050).size(3, 6)},
    {"odd_chunk_with_pad",
     AiffBuilder()
         .chunk("APPL", Bytes().ramp(5))
         .comm(1, 2, 16, kExt8000)
         .ssnd(Bytes().ramp(4))
         .bytes(),
     ok().format(1, 16, 8000).size(2, 4)},
    // Without the pad byte the walk skips the "C" of "COMM" and reads "OMM\0" with the size
    // 0x00001200 (bytes 00 00 12 00): the COMM body and the SSND chunk are swallowed.
    {"odd_chunk_without_pad",
     AiffBuilder()
         .chunk("APPL", Bytes().ramp(5), false)
         .comm(1, 2, 16, kExt8000)
         .ssnd(Bytes().ramp(4))
         .bytes(),
     ok().no_data()},
    {"ssnd_size8_empty", AiffBuilder().comm(1, 0, 16, kExt8000).ssnd(Bytes()).bytes(),
     ok().format(1, 16, 8000).size(0, 0)},
    {"ssnd_size7", AiffBuilder().comm(1, 0, 16, kExt8000).chunk("SSND", Bytes().zeros(7)).bytes(),
     bad_format()},
    {"ssnd_offset4", AiffBuilder().comm(1, 2, 16, kExt8000).ssnd(Bytes().ramp(8), 4).bytes(),
     ok().format(1, 16, 8000).size(2, 8).unsupported()},
    {"ssnd_block_size",
     AiffBuilder().comm(1, 2, 16, kExt8000).ssnd(Bytes().ramp(8), 0, 4096).bytes(),
     ok().format(1, 16, 8000).size(2, 8).unsupported()},
    {"ssnd_longer_than_file",
     AiffBuilder()
         .comm(1, 500, 16, kExt8000)
         .chunk_declared("SSND", 1008, Bytes().be32(0).be32(0).ramp(10))
         .bytes(),
     ok().format(1, 16, 8000).size(500, 1000)},
    {"bits0", AiffBuilder().comm(1, 2, 0, kExt8000).ssnd(Bytes().ramp(4)).bytes(),
     ok().format(1, 0, 8000).size(2, 4).unsupported()},
    {"bits33", AiffBuilder().comm(1, 2, 33, kExt8000).ssnd(Bytes().ramp(10)).bytes(),
     ok().format(1, 33, 8000).size(2, 10).unsupported()},
    {"bits_negative", AiffBuilder().comm(1, 2, 0xFFF0, kExt8000).ssnd(Bytes().ramp(4)).bytes(),
     ok().format(1, -16, 8000).size(2, 4).unsupported()},
    {"sustain_loop",
     AiffBuilder()
         .comm(1, 400, 16, kExt8000)
         .mark({{1, 100, "beg"}, {2, 300, "end"}})
         .inst(sustain(1, 1, 2))
         .ssnd(Bytes().ramp(800))
         .bytes(),
     ok().format(1, 16, 8000).size(400, 800).loop(100, 300)},
    {"inst_before_mark",
     AiffBuilder().inst(sustain(1, 7, 9)).mark({{9, 30, ""}, {7, 10, "x"}}).bytes(),
     ok().no_data().loop(10, 30)},
    {"play_mode0_no_loop",
     AiffBuilder().mark({{1, 100, ""}, {2, 300, ""}}).inst(sustain(0, 1, 2)).bytes(),
     ok().no_data()},
    {"play_mode2_loops",
     AiffBuilder().mark({{1, 100, ""}, {2, 300, ""}}).inst(sustain(2, 1, 2)).bytes(),
     ok().no_data().loop(100, 300)},
    {"begin_marker_missing", AiffBuilder().mark({{2, 300, ""}}).inst(sustain(1, 1, 2)).bytes(),
     ok().no_data().loop(-1, 300)},
    {"same_id_twice_later_wins",
     AiffBuilder().mark({{1, 10, "a"}, {1, 20, "b"}, {2, 30, "c"}}).inst(sustain(1, 1, 2)).bytes(),
     ok().no_data().loop(20, 30)},
    // "abc" with its length byte is even: no pad; "abcd" is odd: one pad byte, skipped.
    {"name_pad_bytes",
     AiffBuilder()
         .mark({{1, 100, "abcd"}, {2, 200, "abc"}, {3, 300, ""}})
         .inst(sustain(1, 2, 3))
         .bytes(),
     ok().no_data().loop(200, 300)},
    {"mark_chunks_accumulate",
     AiffBuilder().mark({{1, 10, ""}}).mark({{2, 20, ""}}).inst(sustain(1, 1, 2)).bytes(),
     ok().no_data().loop(10, 20)},
    {"negative_marker_ids",
     AiffBuilder()
         .mark({{0xFFFF, 5, ""}, {0x8000, 6, ""}})
         .inst(sustain(1, 0xFFFF, 0x8000))
         .bytes(),
     ok().no_data().loop(5, 6)},
    {"marker_count_beyond_chunk",
     AiffBuilder()
         .chunk("MARK", Bytes().be16(2).be16(1).be32(5).u8(0).u8(0))
         .comm(1, 0, 16, kExt8000)
         .ssnd(Bytes().ramp(40))
         .bytes(),
     bad_format()},
    {"marker_count_huge_at_end",
     AiffBuilder().chunk("MARK", Bytes().be16(0xFFFF).be16(1).be32(5).u8(0).u8(0)).bytes(),
     bad_format()},
    // A name cut off by the end of the file is accepted; the marker itself is whole.
    {"marker_name_cut_by_end",
     AiffBuilder()
         .inst(sustain(1, 1, 1))
         .chunk_declared("MARK", 19, Bytes().be16(1).be16(1).be32(50).u8(10).text("abc"))
         .bytes(),
     ok().no_data().loop(50, 50)},
    {"inst_short", AiffBuilder().chunk("INST", Bytes().zeros(18)).comm(1, 0, 16, kExt8000).bytes(),
     bad_format()},
    {"base_note_zero_extended",
     AiffBuilder()
         .inst([] {
             Inst i;
             i.base_note = 200;
             return i;
         }())
         .bytes(),
     ok().no_data().note(200)},
    {"negative_chunk_size", AiffBuilder().chunk_declared("APPL", 0xFFFFFFF0, Bytes()).bytes(),
     bad_format()},
    {"chunk_end_beyond_32bit_offsets",
     AiffBuilder().chunk_declared("SSND", 0x7FFFFFF0, Bytes().zeros(8)).bytes(), bad_format()},
    {"form_size_ignored",
     Bytes()
         .tag("FORM")
         .be32(4)
         .tag("AIFF")
         .tag("COMM")
         .be32(18)
         .be16(1)
         .be32(2)
         .be16(8)
         .append(kExt8000)
         .vec(),
     ok().format(1, 8, 8000).size(2, 0).no_data()},
};
INSTANTIATE_TEST_SUITE_P(Headers, AiffOpen, ::testing::ValuesIn(kAiffCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AiffOpen, StrayBytesAfterTheLastChunkMakeTheFileBad) {
    for (std::size_t stray = 1; stray <= 7; ++stray) {
        const auto bytes = AiffBuilder()
                               .comm(1, 2, 16, kExt8000)
                               .ssnd(Bytes().ramp(4))
                               .raw(Bytes().zeros(stray))
                               .bytes();
        const test::TempFile file(bytes);
        CAiffFile wave;
        EXPECT_THROW(wave.Open(file.c_str(), CWaveFile::MODE_READ), CWaveFileExceptionBadFormat)
            << stray;
    }
}

TEST(AiffReadRaw, StopsAtDataEnd) {
    test::Opened<CAiffFile> o(AiffBuilder()
                                  .comm(1, 55, 16, kExt8000)
                                  .ssnd(Bytes().ramp(110))
                                  .chunk("APPL", Bytes().ramp(20))
                                  .bytes());
    ASSERT_EQ(o.result, 0);
    std::uint8_t buffer[128];
    ASSERT_EQ(o.wave.SeekData(100), 0);
    EXPECT_EQ(o.wave.ReadRaw(buffer, 100), 10);  // 10 left before data end
    EXPECT_EQ(buffer[0], 100);
    EXPECT_EQ(buffer[9], 109);
    EXPECT_EQ(o.wave.ReadRaw(buffer, 100), 0);
    // Past data end (the APPL chunk follows): nothing, never a negative count.
    ASSERT_EQ(o.wave.SeekData(115), 0);
    EXPECT_EQ(o.wave.ReadRaw(buffer, 100), 0);
}

TEST(AiffReadRaw, DeliversOnlyWhatTheFileHolds) {
    test::Opened<CAiffFile> o(AiffBuilder()
                                  .comm(1, 500, 16, kExt8000)
                                  .chunk_declared("SSND", 1008, Bytes().be32(0).be32(0).ramp(10))
                                  .bytes());
    std::uint8_t buffer[64];
    EXPECT_EQ(o.wave.ReadRaw(buffer, 64), 10);
    std::int16_t samples[64];
    ASSERT_EQ(o.wave.SeekData(0), 0);
    EXPECT_EQ(o.wave.ReadSamples16(samples, 64), 5u);
    EXPECT_EQ(samples[4], 0x0809);
}

TEST(AiffReadRaw, NothingWithoutSampleData) {
    test::Opened<CAiffFile> o(AiffBuilder().comm(1, 500, 16, kExt8000).bytes());
    EXPECT_NE(o.result, 0);
    std::uint8_t buffer[8];
    EXPECT_EQ(o.wave.ReadRaw(buffer, 8), 0);
    EXPECT_NE(o.wave.SeekData(0), 0);
}

}  // namespace
