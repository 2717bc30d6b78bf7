// Reading RIFF WAVE headers: which chunks are found, how sizes are trusted, what each getter
// reports. Files are built in memory byte by byte.

#include <gtest/gtest.h>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/open_case.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CWavFile.h"

namespace {

using test::bad_format;
using test::Bytes;
using test::ok;
using test::OpenCase;
using test::RiffBuilder;
using Loop = RiffBuilder::Loop;

class WavOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(WavOpen, ReportsTheHeader) { test::check_open_case<CWavFile>(GetParam()); }

const OpenCase kWavCases[] = {
    {"stereo16", RiffBuilder().fmt(1, 2, 22050, 16).data(Bytes().ramp(1000)).bytes(),
     ok().format(2, 16, 22050).size(250, 1000)},
    {"fmt18", RiffBuilder().fmt(1, 1, 22050, 16, 2).data(Bytes().ramp(100)).bytes(),
     ok().format(1, 16, 22050).size(50, 100)},
    {"fmt14",
     RiffBuilder()
         .chunk("fmt ", Bytes().le16(1).le16(1).le32(8000).le32(16000).le16(2))
         .data(Bytes().ramp(100))
         .bytes(),
     bad_format()},
    // Extensible and float formats: formats_read_test.cpp.
    {"bits0", RiffBuilder().fmt(1, 1, 8000, 0).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 0, 8000).size(0, 40).unsupported()},
    {"bits1", RiffBuilder().fmt(1, 1, 8000, 1).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 1, 8000).size(40, 40)},
    {"bits32", RiffBuilder().fmt(1, 1, 8000, 32).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 32, 8000).size(10, 40)},
    {"bits33", RiffBuilder().fmt(1, 1, 8000, 33).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 33, 8000).size(8, 40).unsupported()},
    {"zero_channels", RiffBuilder().fmt(1, 0, 8000, 16).data(Bytes().ramp(40)).bytes(),
     ok().format(0, 16, 8000).size(0, 40)},
    {"no_fmt_keeps_defaults", RiffBuilder().data(Bytes().ramp(100)).bytes(), ok().size(50, 100)},
    {"no_data", RiffBuilder().fmt(1, 1, 8000, 8).bytes(), ok().format(1, 8, 8000).no_data()},
    {"data_before_fmt", RiffBuilder().data(Bytes().ramp(7)).fmt(1, 1, 8000, 8).bytes(),
     ok().format(1, 8, 8000).size(7, 7)},
    {"later_fmt_wins",
     RiffBuilder().fmt(1, 2, 11025, 8).fmt(1, 1, 32000, 24).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 24, 32000).size(10, 30)},
    {"odd_chunk_with_pad",
     RiffBuilder().chunk("junk", Bytes().ramp(5)).fmt(1, 1, 8000, 8).data(Bytes().ramp(9)).bytes(),
     ok().format(1, 8, 8000).size(9, 9)},
    // Without its pad byte the walk skips the "f" of "fmt " and reads "mt \x10" with a size of
    // 0x01000000 (the bytes 00 00 00 01), which runs off the end: nothing else is found.
    {"odd_chunk_without_pad",
     RiffBuilder()
         .chunk("junk", Bytes().ramp(5), false)
         .fmt(1, 1, 8000, 8)
         .data(Bytes().ramp(9))
         .bytes(),
     ok().no_data()},
    {"odd_data_last_without_pad",
     RiffBuilder().fmt(1, 1, 8000, 16).data(Bytes().ramp(3), false).bytes(),
     ok().format(1, 16, 8000).size(1, 3)},
    {"other_chunks_anywhere",
     RiffBuilder()
         .chunk("LIST", Bytes().text("INFOxxxx"))
         .fmt(1, 1, 8000, 16)
         .chunk("fact", Bytes().le32(5))
         .data(Bytes().ramp(10))
         .chunk("id3 ", Bytes().ramp(11))
         .bytes(),
     ok().format(1, 16, 8000).size(5, 10)},
    {"smpl_after_data",
     RiffBuilder().fmt(1, 1, 8000, 16).data(Bytes().ramp(40)).smpl(72, {Loop{10, 19}}).bytes(),
     ok().format(1, 16, 8000).size(20, 40).loop(10, 20).note(72)},
    {"two_loops_first_counts",
     RiffBuilder()
         .fmt(1, 1, 8000, 16)
         .smpl(60, {Loop{5, 9}, Loop{100, 199}})
         .data(Bytes().ramp(40))
         .bytes(),
     ok().format(1, 16, 8000).size(20, 40).loop(5, 10)},
    {"zero_loops", RiffBuilder().fmt(1, 1, 8000, 16).smpl(61, {}).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 16, 8000).size(20, 40).note(61)},
    {"smpl_longer_than_its_loops",
     RiffBuilder()
         .fmt(1, 1, 8000, 16)
         .chunk(
             "smpl", Bytes()
                         .le32(0)
                         .le32(0)
                         .le32(0)
                         .le32(60)
                         .le32(0)
                         .le32(0)
                         .le32(0)
                         .le32(1)
                         .le32(4)
                         .le32(0)
                         .le32(0)
                         .le32(3)
                         .le32(6)
                         .le32(0)
                         .le32(0)
                         .le32(0xDEADBEEF))
         .data(Bytes().ramp(40))
         .bytes(),
     ok().format(1, 16, 8000).size(20, 40).loop(3, 7)},
    {"loop_count_beyond_chunk",
     RiffBuilder().smpl(60, {Loop{1, 2}}, 2).data(Bytes().ramp(4)).bytes(), bad_format()},
    // Nothing may be sized by this count: under the sanitizer build an allocation of 100 GB
    // would fail the test at once.
    {"loop_count_huge", RiffBuilder().smpl(60, {}, 0xFFFFFFFF).data(Bytes().ramp(4)).bytes(),
     bad_format()},
    {"smpl_shorter_than_its_fields", RiffBuilder().chunk("smpl", Bytes().zeros(20)).bytes(),
     bad_format()},
    // The chunk's size is a claim too: a count that fits a 2 GB "smpl" chunk in a file of a
    // few bytes must not size anything (found by fuzzing the conversion).
    {"loop_count_fits_only_the_claimed_chunk",
     RiffBuilder()
         .fmt(1, 1, 8000, 16)
         .chunk_declared("smpl", 0x7FFF0000,
                         Bytes()
                             .zeros(28)
                             .le32((0x7FFF0000 - 36) / 24)
                             .le32(0)
                             .le32(0)
                             .le32(0)
                             .le32(1)
                             .le32(2)
                             .le32(0)
                             .le32(0))
         .bytes(),
     bad_format()},
    {"negative_chunk_size",
     RiffBuilder()
         .fmt(1, 1, 8000, 16)
         .chunk_declared("junk", 0xFFFFFFF0, Bytes())
         .data(Bytes().ramp(4))
         .bytes(),
     bad_format()},
    {"chunk_end_beyond_32bit_offsets",
     RiffBuilder().chunk_declared("junk", 0x7FFFFFF0, Bytes()).bytes(), bad_format()},
    {"data_size_beyond_32bit_offsets",
     RiffBuilder().chunk_declared("data", 0x7FFFFFF0, Bytes().ramp(8)).bytes(), bad_format()},
    // The walk stops at the physical end; the claim stands, ReadRaw will deliver what is there.
    {"data_longer_than_file",
     RiffBuilder().fmt(1, 1, 8000, 16).chunk_declared("data", 1000, Bytes().ramp(10)).bytes(),
     ok().format(1, 16, 8000).size(500, 1000)},
    {"riff_size_ignored",
     RiffBuilder().fmt(1, 1, 8000, 8).data(Bytes().ramp(6)).riff_size(4).bytes(),
     ok().format(1, 8, 8000).size(6, 6)},
    {"not_riff", RiffBuilder("RIFX").fmt(1, 1, 8000, 8).data(Bytes().ramp(6)).bytes(),
     bad_format()},
    {"not_wave", RiffBuilder("RIFF", "AVI ").fmt(1, 1, 8000, 8).data(Bytes().ramp(6)).bytes(),
     bad_format()},
    {"header_only", RiffBuilder().bytes(), ok().no_data()},
};
INSTANTIATE_TEST_SUITE_P(Headers, WavOpen, ::testing::ValuesIn(kWavCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WavOpen, StrayBytesAfterTheLastChunkMakeTheFileBad) {
    // One to seven bytes cannot hold a chunk header.
    for (std::size_t stray = 1; stray <= 7; ++stray) {
        const auto bytes = RiffBuilder()
                               .fmt(1, 1, 8000, 16)
                               .data(Bytes().ramp(4))
                               .raw(Bytes().zeros(stray))
                               .bytes();
        const test::TempFile file(bytes);
        CWavFile wave;
        EXPECT_THROW(wave.Open(file.c_str(), CWaveFile::MODE_READ), CWaveFileExceptionBadFormat)
            << stray;
    }
}

TEST(WavReadRaw, DeliversOnlyWhatTheFileHolds) {
    // The data chunk claims 1000 bytes; the file holds 10 of them.
    test::Opened<CWavFile> o(
        RiffBuilder().fmt(1, 1, 8000, 16).chunk_declared("data", 1000, Bytes().ramp(10)).bytes());
    ASSERT_EQ(o.result, 0);
    std::uint8_t buffer[64];
    EXPECT_EQ(o.wave.ReadRaw(buffer, 64), 10);
    EXPECT_EQ(buffer[9], 9);
    EXPECT_EQ(o.wave.ReadRaw(buffer, 64), 0);
    std::int16_t samples[64];
    ASSERT_EQ(o.wave.SeekData(0), 0);
    EXPECT_EQ(o.wave.ReadSamples16(samples, 64), 5u);
    EXPECT_EQ(samples[4], 0x0908);
}

}  // namespace
