// The formats that tools write by default besides plain PCM: WAVE_FORMAT_EXTENSIBLE, float
// WAV and AIFF-C. Which headers open, which are supported, how their samples come out, and
// what a writer makes of an object that read one. Files are built in memory byte by byte.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/open_case.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"
#include "wavefile/OpenWaveFile.h"

namespace {

using test::AiffBuilder;
using test::bad_format;
using test::Bytes;
using test::kExt8000;
using test::ks_guid;
using test::ok;
using test::OpenCase;
using test::RiffBuilder;

// The PCM GUID with one byte changed: in Data2 (byte 4), Data3 (6) or Data4 (8 to 15).
Bytes pcm_guid_with(std::size_t byte, std::uint8_t value) {
    std::vector<std::uint8_t> g = ks_guid(1).vec();
    g.at(byte) = value;
    return Bytes().append(g);
}

class ExtensibleAndFloatWav : public ::testing::TestWithParam<OpenCase> {};

TEST_P(ExtensibleAndFloatWav, ReportsTheHeader) { test::check_open_case<CWavFile>(GetParam()); }

const OpenCase kWavCases[] = {
    {"extensible_pcm24",
     RiffBuilder().fmt_extensible(1, 48000, 24, ks_guid(1)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 24, 48000).size(10, 30)},
    {"extensible_pcm16_96k",
     RiffBuilder().fmt_extensible(1, 96000, 16, ks_guid(1)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 96000).size(15, 30)},
    {"extensible_pcm8",
     RiffBuilder().fmt_extensible(1, 8000, 8, ks_guid(1)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 8, 8000).size(30, 30)},
    {"extensible_pcm32_valid_24",
     RiffBuilder().fmt_extensible(1, 8000, 32, ks_guid(1), 24).data(Bytes().ramp(32)).bytes(),
     ok().format(1, 32, 8000).size(8, 32)},
    {"extensible_pcm_stereo",
     RiffBuilder().fmt_extensible(2, 8000, 24, ks_guid(1)).data(Bytes().ramp(60)).bytes(),
     ok().format(2, 24, 8000).size(10, 60)},
    {"extensible_pcm40",
     RiffBuilder().fmt_extensible(1, 8000, 40, ks_guid(1)).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 40, 8000).size(8, 40).unsupported()},
    {"extensible_float32",
     RiffBuilder().fmt_extensible(1, 8000, 32, ks_guid(3)).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 32, 8000).size(10, 40)},
    {"extensible_float64",
     RiffBuilder().fmt_extensible(1, 8000, 64, ks_guid(3)).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 64, 8000).size(5, 40)},
    {"extensible_float24",
     RiffBuilder().fmt_extensible(1, 8000, 24, ks_guid(3)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 24, 8000).size(10, 30).unsupported()},
    {"extensible_adpcm_guid",
     RiffBuilder().fmt_extensible(1, 8000, 16, ks_guid(2)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_mulaw_guid",
     RiffBuilder().fmt_extensible(1, 8000, 8, ks_guid(7)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 8, 8000).size(30, 30).unsupported()},
    {"extensible_guid_data2_differs",
     RiffBuilder().fmt_extensible(1, 8000, 16, pcm_guid_with(4, 1)).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_guid_data3_differs",
     RiffBuilder()
         .fmt_extensible(1, 8000, 16, pcm_guid_with(6, 0x11))
         .data(Bytes().ramp(30))
         .bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_guid_data4_head_differs",
     RiffBuilder()
         .fmt_extensible(1, 8000, 16, pcm_guid_with(8, 0x81))
         .data(Bytes().ramp(30))
         .bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_guid_data4_tail_differs",
     RiffBuilder()
         .fmt_extensible(1, 8000, 16, pcm_guid_with(15, 0x72))
         .data(Bytes().ramp(30))
         .bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_zero_guid",
     RiffBuilder().fmt(0xFFFE, 1, 48000, 24, 24).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 24, 48000).size(10, 30).unsupported()},
    // The extension's size says it is not there: the GUID is not looked at.
    {"extensible_cb_size_0",
     RiffBuilder().fmt_extensible(1, 8000, 16, ks_guid(1), 0, 0).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    // Too short to hold a sub-format: opens, as it always did, and stays unsupported.
    {"extensible_fmt16", RiffBuilder().fmt(0xFFFE, 1, 8000, 16).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_fmt18", RiffBuilder().fmt(0xFFFE, 1, 8000, 16, 2).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    {"extensible_fmt39",
     RiffBuilder()
         .chunk("fmt ", Bytes()
                            .le16(0xFFFE)
                            .le16(1)
                            .le32(8000)
                            .le32(16000)
                            .le16(2)
                            .le16(16)
                            .le16(22)
                            .le16(16)
                            .le32(4)
                            .le32(1)
                            .le16(0)
                            .le16(0x0010)
                            .append({0x80, 0, 0, 0xAA, 0, 0x38, 0x9B}))
         .data(Bytes().ramp(30))
         .bytes(),
     ok().format(1, 16, 8000).size(15, 30).unsupported()},
    // A later "fmt " replaces the sub-format too: this one names none.
    {"later_fmt_drops_the_sub_format",
     RiffBuilder()
         .fmt_extensible(1, 8000, 32, ks_guid(3))
         .fmt(0xFFFE, 1, 8000, 32, 2)
         .data(Bytes().ramp(40))
         .bytes(),
     ok().format(1, 32, 8000).size(10, 40).unsupported()},
    {"float_tag3_32", RiffBuilder().fmt(3, 1, 48000, 32).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 32, 48000).size(10, 40)},
    {"float_tag3_64", RiffBuilder().fmt(3, 1, 48000, 64, 2).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 64, 48000).size(5, 40)},
    {"float_tag3_16", RiffBuilder().fmt(3, 1, 48000, 16).data(Bytes().ramp(40)).bytes(),
     ok().format(1, 16, 48000).size(20, 40).unsupported()},
    {"float_tag3_24", RiffBuilder().fmt(3, 1, 48000, 24).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 24, 48000).size(10, 30).unsupported()},
    {"alaw_tag6", RiffBuilder().fmt(6, 1, 8000, 8, 2).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 8, 8000).size(30, 30).unsupported()},
    {"mulaw_tag7", RiffBuilder().fmt(7, 1, 8000, 8, 2).data(Bytes().ramp(30)).bytes(),
     ok().format(1, 8, 8000).size(30, 30).unsupported()},
};
INSTANTIATE_TEST_SUITE_P(Headers, ExtensibleAndFloatWav, ::testing::ValuesIn(kWavCases),
                         [](const auto& p) { return std::string(p.param.name); });

class AiffC : public ::testing::TestWithParam<OpenCase> {};

TEST_P(AiffC, ReportsTheHeader) { test::check_open_case<CAiffFile>(GetParam()); }

std::vector<std::uint8_t> aifc(const char* type, std::uint16_t bits, const char* name = "") {
    return AiffBuilder("AIFC")
        .comm_aifc(1, 10, bits, kExt8000, type, name)
        .ssnd(Bytes().ramp(40))
        .bytes();
}

// The 18 bytes of an AIFF COMM for one channel, 10 frames, 16 bits at 8000 Hz.
Bytes comm18() { return Bytes().be16(1).be32(10).be16(16).append(kExt8000); }

const OpenCase kAifcCases[] = {
    {"minimal_12_bytes", AiffBuilder("AIFC").bytes(), ok().no_data()},
    {"none_comm22_without_name", aifc("NONE", 16, nullptr), ok().format(1, 16, 8000).size(10, 40)},
    {"none_empty_name_and_pad", aifc("NONE", 16), ok().format(1, 16, 8000).size(10, 40)},
    {"none_named", aifc("NONE", 16, "not compressed"), ok().format(1, 16, 8000).size(10, 40)},
    {"none_name_of_odd_length", aifc("NONE", 16, "abc"), ok().format(1, 16, 8000).size(10, 40)},
    // A count byte of 0 and no pad byte inside the chunk: 23 bytes, padded after the chunk.
    {"comm23_without_pad",
     AiffBuilder("AIFC").chunk("COMM", comm18().tag("NONE").u8(0)).ssnd(Bytes().ramp(40)).bytes(),
     ok().format(1, 16, 8000).size(10, 40)},
    {"name_past_the_chunk",
     AiffBuilder("AIFC")
         .chunk("COMM", comm18().tag("NONE").u8(5).text("abc"))
         .ssnd(Bytes().ramp(40))
         .bytes(),
     bad_format()},
    {"comm18_without_type",
     AiffBuilder("AIFC").chunk("COMM", comm18()).ssnd(Bytes().ramp(40)).bytes(), bad_format()},
    {"comm20_type_cut",
     AiffBuilder("AIFC").chunk("COMM", comm18().text("NO")).ssnd(Bytes().ramp(40)).bytes(),
     bad_format()},
    {"fver_before_comm",
     AiffBuilder("AIFC")
         .chunk("FVER", Bytes().be32(0xA2805140))
         .comm_aifc(1, 10, 16, kExt8000, "NONE")
         .ssnd(Bytes().ramp(40))
         .bytes(),
     ok().format(1, 16, 8000).size(10, 40)},
    {"sowt16", aifc("sowt", 16), ok().format(1, 16, 8000).size(10, 40)},
    {"sowt24", aifc("sowt", 24), ok().format(1, 24, 8000).size(10, 40)},
    {"sowt8", aifc("sowt", 8), ok().format(1, 8, 8000).size(10, 40)},
    {"fl32", aifc("fl32", 32, "32-bit floating point"), ok().format(1, 32, 8000).size(10, 40)},
    {"FL32", aifc("FL32", 32), ok().format(1, 32, 8000).size(10, 40)},
    {"fl64", aifc("fl64", 64), ok().format(1, 64, 8000).size(10, 40)},
    {"FL64", aifc("FL64", 64), ok().format(1, 64, 8000).size(10, 40)},
    // A float type whose sample size says otherwise: no width to trust.
    {"fl32_with_16_bits", aifc("fl32", 16), ok().format(1, 16, 8000).size(10, 40).unsupported()},
    {"fl32_with_64_bits", aifc("fl32", 64), ok().format(1, 64, 8000).size(10, 40).unsupported()},
    {"fl64_with_32_bits", aifc("fl64", 32), ok().format(1, 32, 8000).size(10, 40).unsupported()},
    {"none_with_33_bits", aifc("NONE", 33), ok().format(1, 33, 8000).size(10, 40).unsupported()},
    {"ima4", aifc("ima4", 16, "IMA 4:1"), ok().format(1, 16, 8000).size(10, 40).unsupported()},
    {"ulaw", aifc("ulaw", 8, "uLaw 2:1"), ok().format(1, 8, 8000).size(10, 40).unsupported()},
    {"alaw", aifc("alaw", 8), ok().format(1, 8, 8000).size(10, 40).unsupported()},
    {"lower_case_none", aifc("none", 16), ok().format(1, 16, 8000).size(10, 40).unsupported()},
    {"sowt_with_ssnd_offset",
     AiffBuilder("AIFC").comm_aifc(1, 10, 16, kExt8000, "sowt").ssnd(Bytes().ramp(40), 4).bytes(),
     ok().format(1, 16, 8000).size(10, 40).unsupported()},
    {"later_comm_replaces_the_type",
     AiffBuilder("AIFC")
         .comm_aifc(1, 10, 16, kExt8000, "ulaw")
         .comm_aifc(1, 10, 16, kExt8000, "sowt")
         .ssnd(Bytes().ramp(40))
         .bytes(),
     ok().format(1, 16, 8000).size(10, 40)},
    // Plain AIFF: bytes after the 18 are skipped, whatever they hold.
    {"aiff_comm_with_a_type_is_still_aiff",
     AiffBuilder().chunk("COMM", comm18().tag("ulaw").u8(0)).ssnd(Bytes().ramp(40)).bytes(),
     ok().format(1, 16, 8000).size(10, 40)},
};
INSTANTIATE_TEST_SUITE_P(Headers, AiffC, ::testing::ValuesIn(kAifcCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The sample values of integer layouts that these formats add, worked out by hand.
struct SampleCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int16_t> s16;
    std::vector<std::int32_t> s32;
    friend void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }
};

class IntegerSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(IntegerSamples, AreLeftJustifiedInTheFileByteOrder) {
    const SampleCase& c = GetParam();
    const test::TempFile file(c.bytes);
    const std::unique_ptr<CWaveFile> w = OpenWaveFile(file.c_str());
    ASSERT_TRUE(w->IsSupported());
    EXPECT_EQ(test::read_all16(*w), c.s16);
    ASSERT_EQ(w->SeekData(0), 0);
    EXPECT_EQ(test::read_all32(*w), c.s32);
}

std::vector<std::int32_t> s32(std::initializer_list<std::uint32_t> bits) {
    std::vector<std::int32_t> v;
    for (std::uint32_t b : bits) v.push_back(static_cast<std::int32_t>(b));
    return v;
}

const SampleCase kSampleCases[] = {
    {"extensible_pcm24",
     RiffBuilder()
         .fmt_extensible(1, 8000, 24, ks_guid(1))
         .data(Bytes({0x56, 0x34, 0x12, 0x00, 0x00, 0x80}))
         .bytes(),
     {0x1234, -32768},
     s32({0x12345600, 0x80000000})},
    // 20 valid bits in 24: the low bits are delivered as stored, not masked.
    {"extensible_pcm24_valid_20",
     RiffBuilder()
         .fmt_extensible(1, 8000, 24, ks_guid(1), 20)
         .data(Bytes({0x5F, 0x34, 0x12}))
         .bytes(),
     {0x1234},
     s32({0x12345F00})},
    // One-byte samples stay unsigned, as in every WAV.
    {"extensible_pcm8",
     RiffBuilder().fmt_extensible(1, 8000, 8, ks_guid(1)).data(Bytes({0x00, 0x80, 0xFF})).bytes(),
     {-32768, 0, 32512},
     s32({0x80000000, 0, 0x7F000000})},
    // Tag 1 with a float GUID after its 16 bytes: only tag 0xFFFE has a sub-format.
    {"tag1_with_a_float_guid_after_it",
     RiffBuilder()
         .chunk("fmt ", Bytes()
                            .le16(1)
                            .le16(1)
                            .le32(8000)
                            .le32(32000)
                            .le16(4)
                            .le16(32)
                            .le16(22)
                            .le16(32)
                            .le32(4)
                            .append(ks_guid(3).vec()))
         .data(Bytes({0x00, 0x00, 0x80, 0x3F}))
         .bytes(),
     {0x3F80},
     s32({0x3F800000})},
    {"aifc_sowt16",
     AiffBuilder("AIFC")
         .comm_aifc(1, 2, 16, kExt8000, "sowt")
         .ssnd(Bytes({0x34, 0x12, 0x00, 0x80}))
         .bytes(),
     {0x1234, -32768},
     s32({0x12340000, 0x80000000})},
    {"aifc_sowt24",
     AiffBuilder("AIFC")
         .comm_aifc(1, 1, 24, kExt8000, "sowt")
         .ssnd(Bytes({0x56, 0x34, 0x12}))
         .bytes(),
     {0x1234},
     s32({0x12345600})},
    {"aifc_sowt12",
     AiffBuilder("AIFC").comm_aifc(1, 1, 12, kExt8000, "sowt").ssnd(Bytes({0x30, 0x12})).bytes(),
     {0x1230},
     s32({0x12300000})},
    // One byte has no order, and AIFF's bytes are signed.
    {"aifc_sowt8",
     AiffBuilder("AIFC").comm_aifc(1, 2, 8, kExt8000, "sowt").ssnd(Bytes({0x80, 0x7F})).bytes(),
     {-32768, 0x7F00},
     s32({0x80000000, 0x7F000000})},
    {"aifc_none16",
     AiffBuilder("AIFC")
         .comm_aifc(1, 1, 16, kExt8000, "NONE", "not compressed")
         .ssnd(Bytes({0x12, 0x34}))
         .bytes(),
     {0x1234},
     s32({0x12340000})},
    {"aiff_with_sowt_after_its_comm_stays_big_endian",
     AiffBuilder().chunk("COMM", comm18().tag("sowt").u8(0)).ssnd(Bytes({0x12, 0x34})).bytes(),
     {0x1234},
     s32({0x12340000})},
};
INSTANTIATE_TEST_SUITE_P(Layouts, IntegerSamples, ::testing::ValuesIn(kSampleCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(UnsupportedEncodings, DeliverNoSamples) {
    for (const auto& bytes :
         {aifc("ulaw", 8), aifc("fl32", 16),
          RiffBuilder().fmt(7, 1, 8000, 8, 2).data(Bytes().ramp(30)).bytes(),
          RiffBuilder().fmt_extensible(1, 8000, 16, ks_guid(2)).data(Bytes().ramp(30)).bytes()}) {
        const test::TempFile file(bytes);
        const std::unique_ptr<CWaveFile> w = OpenWaveFile(file.c_str());
        EXPECT_FALSE(w->IsSupported());
        EXPECT_TRUE(test::read_all16(*w).empty());
    }
}

// What becomes of an object that read one of these formats when it writes: the writers store
// integer PCM only (WAV format tag 1, plain AIFF), so a float object converts nothing to raw
// data, and a copy opened for writing stores integers that read back as written.
struct WriteCase {
    const char* name;
    bool aiff;
    std::vector<std::uint8_t> bytes;
    std::int32_t bits;
    // SamplesToRaw16 of {0x1234, -2} on the object that read the file (empty for floats: no
    // bytes), and the sample bytes that the copy then writes.
    std::vector<std::uint8_t> read_layout, written;
    friend void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
};

class WritingAfterReading : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WritingAfterReading, StoresIntegerSamples) {
    const WriteCase& c = GetParam();
    const test::TempFile in(c.bytes);
    const std::unique_ptr<CWaveFile> read = OpenWaveFile(in.c_str());
    ASSERT_TRUE(read->IsSupported());
    const std::int16_t values[2] = {0x1234, -2};
    std::vector<std::uint8_t> raw(16, 0xAA);
    const std::uint32_t produced = read->SamplesToRaw16(values, raw.data(), 2);
    ASSERT_EQ(produced, c.read_layout.size());
    EXPECT_EQ(std::vector<std::uint8_t>(raw.begin(), raw.begin() + produced), c.read_layout);
    EXPECT_EQ(raw[produced], 0xAA) << "nothing written past what is reported";

    const std::unique_ptr<CWaveFile> copy = read->Clone();
    test::TempDir dir;
    const std::string out = dir.file(c.aiff ? "out.aiff" : "out.wav");
    if (c.aiff) {
        ASSERT_TRUE(copy->SetSampleFrames(2));
    }
    ASSERT_EQ(copy->Open(out.c_str(), CWaveFile::MODE_WRITE), 0);
    const std::uint32_t n = copy->SamplesToRaw16(values, raw.data(), 2);
    ASSERT_EQ(n, c.written.size());
    ASSERT_TRUE(copy->WriteRaw(raw.data(), static_cast<std::int32_t>(n)));
    copy->Close();

    const std::vector<std::uint8_t> file = test::read_file(out);
    ASSERT_GT(file.size(), n);
    EXPECT_EQ(std::vector<std::uint8_t>(file.end() - n, file.end()), c.written);
    if (c.aiff) {
        EXPECT_EQ(test::tag_at(file, 8), "AIFF");
        EXPECT_EQ(test::tag_at(file, 12), "COMM");
        EXPECT_EQ(test::be32_at(file, 16), 18u);
    } else {
        EXPECT_EQ(test::tag_at(file, 12), "fmt ");
        EXPECT_EQ(test::le32_at(file, 16), 16u);
        EXPECT_EQ(test::le16_at(file, 20), 1u);  // integer PCM
        EXPECT_EQ(test::le16_at(file, 34), static_cast<std::uint16_t>(c.bits));
    }
    if (c.bits <= 32) {
        const std::unique_ptr<CWaveFile> back = OpenWaveFile(out.c_str());
        ASSERT_TRUE(back->IsSupported());
        EXPECT_EQ(test::read_all16(*back), (std::vector<std::int16_t>{0x1234, -2}));
    }
}

const WriteCase kWriteCases[] = {
    {"wav_float32",
     false,
     RiffBuilder().fmt(3, 1, 8000, 32).data(Bytes().zeros(8)).bytes(),
     32,
     {},
     {0, 0, 0x34, 0x12, 0, 0, 0xFE, 0xFF}},
    // 64-bit integers, as the header says, with the value in the top bytes.
    {"wav_extensible_float64",
     false,
     RiffBuilder().fmt_extensible(1, 8000, 64, ks_guid(3)).data(Bytes().zeros(16)).bytes(),
     64,
     {},
     {0, 0, 0, 0, 0, 0, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF}},
    {"wav_extensible_pcm24",
     false,
     RiffBuilder().fmt_extensible(1, 8000, 24, ks_guid(1)).data(Bytes().zeros(6)).bytes(),
     24,
     {0, 0x34, 0x12, 0, 0xFE, 0xFF},
     {0, 0x34, 0x12, 0, 0xFE, 0xFF}},
    {"aifc_fl32",
     true,
     AiffBuilder("AIFC").comm_aifc(1, 2, 32, kExt8000, "fl32").ssnd(Bytes().zeros(8)).bytes(),
     32,
     {},
     {0x12, 0x34, 0, 0, 0xFF, 0xFE, 0, 0}},
    // Read little-endian, written as plain AIFF: big-endian.
    {"aifc_sowt16",
     true,
     AiffBuilder("AIFC").comm_aifc(1, 2, 16, kExt8000, "sowt").ssnd(Bytes().zeros(4)).bytes(),
     16,
     {0x34, 0x12, 0xFE, 0xFF},
     {0x12, 0x34, 0xFF, 0xFE}},
};
INSTANTIATE_TEST_SUITE_P(Formats, WritingAfterReading, ::testing::ValuesIn(kWriteCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
