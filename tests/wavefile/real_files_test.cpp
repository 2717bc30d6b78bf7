// Files written by other tools (SoX, FFmpeg, libsndfile, libaudiofile; see
// tests/data/wavefile/make_fixtures.sh and tests/data/formats/make.sh), opened the way the
// converter opens its inputs. Every
// expected value below is what those tools report (soxi, sndfile-info, `sox -V3`, and SoX's own
// decoding with `sox FILE -t s32 -`), never what this library computed.

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/OpenWaveFile.h"

namespace {

struct RealCase {
    const char* file;  // in tests/data/wavefile, or a path from tests/data when it has a '/'
    const char* format;
    double rate;
    std::int32_t bits;
    std::int32_t frames;
    std::int32_t s32[4];  // samples 0, 1, 57 and the last, left-justified in 32 bits
    long long sum16;      // sum of the samples' top 16 bits
    long long wsum16;     // the same sum weighted by index + 1: catches reordering
    std::int32_t loop_start, loop_end, base_note;
    friend void PrintTo(const RealCase& c, std::ostream* os) { *os << c.file; }
};

class RealFile : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealFile, ReadsWhatTheToolsReport) {
    const RealCase& c = GetParam();
    const std::string file = c.file;
    const std::string path =
        test::data_file(file.find('/') == std::string::npos ? "wavefile/" + file : file);
    const std::unique_ptr<CWaveFile> w = OpenWaveFile(path.c_str());
    EXPECT_STREQ(w->GetFormatName(), c.format);
    ASSERT_TRUE(w->IsSupported());
    EXPECT_EQ(w->GetChannels(), 1);
    EXPECT_EQ(w->GetSampleRate(), c.rate);
    EXPECT_EQ(w->GetBitsPerSample(), c.bits);
    EXPECT_EQ(w->GetSampleFrames(), c.frames);
    EXPECT_EQ(w->HasLoop(), c.loop_start >= 0);
    EXPECT_EQ(w->GetLoopStart(), c.loop_start);
    EXPECT_EQ(w->GetLoopEnd(), c.loop_end);
    EXPECT_EQ(w->GetBaseNote(), c.base_note);

    const std::vector<std::int32_t> s32 = test::read_all32(*w);
    ASSERT_EQ(s32.size(), static_cast<std::size_t>(c.frames));
    EXPECT_EQ(s32[0], c.s32[0]);
    EXPECT_EQ(s32[1], c.s32[1]);
    EXPECT_EQ(s32[57], c.s32[2]);
    EXPECT_EQ(s32.back(), c.s32[3]);

    ASSERT_EQ(w->SeekData(0), 0);
    const std::vector<std::int16_t> s16 = test::read_all16(*w);
    ASSERT_EQ(s16.size(), static_cast<std::size_t>(c.frames));
    long long sum = 0, weighted = 0;
    for (std::size_t i = 0; i < s16.size(); ++i) {
        sum += s16[i];
        weighted += static_cast<long long>(i + 1) * s16[i];
    }
    EXPECT_EQ(sum, c.sum16);
    EXPECT_EQ(weighted, c.wsum16);
}

const RealCase kRealFiles[] = {
    // 8-bit WAV is unsigned: SoX's 32-bit values are (byte - 128) * 2^24.
    {"sox_u8.wav",
     "WAVE",
     8000,
     8,
     400,
     {50331648, 503316480, 1124073472, -503316480},
     768,
     -25999616,
     -1,
     -1,
     60},
    // A LIST chunk stands between "fmt " and "data".
    {"ffmpeg_s16.wav",
     "WAVE",
     8000,
     16,
     400,
     {0, 90898432, 201261056, -90963968},
     1,
     -4692599,
     -1,
     -1,
     60},
    // Plain PCM (tag 1) at 24 bits, and an odd-sized data chunk followed by its pad byte.
    {"sox_s24.wav",
     "WAVE",
     11025,
     24,
     441,
     {90956288, 801758208, 1326951424, -802007296},
     1160,
     -17369754,
     -1,
     -1,
     60},
    {"sox_s32.wav",
     "WAVE",
     11025,
     32,
     441,
     {90956401, 801758180, 1326951569, -802007415},
     1160,
     -17369754,
     -1,
     -1,
     60},
    // "smpl" written by libsndfile: sndfile-info shows Start 100, End 299 (inclusive), note 69.
    {"sndfile_loop16.wav",
     "WAVE",
     11025,
     16,
     400,
     {0, 266403840, 1060700160, -494665728},
     3331,
     -24681499,
     100,
     300,
     69},
    {"ffmpeg_s8.aiff",
     "AIFF",
     8000,
     8,
     400,
     {0, 83886080, 184549376, -100663296},
     -49920,
     -14720256,
     -1,
     -1,
     60},
    // A COMT chunk stands before COMM.
    {"sox_s16.aiff",
     "AIFF",
     8000,
     16,
     400,
     {54984704, 503971840, 1135607808, -504102912},
     838,
     -26434764,
     -1,
     -1,
     60},
    {"sndfile_s24.aiff",
     "AIFF",
     11025,
     24,
     400,
     {0, 266435840, 1060700928, -494611200},
     3331,
     -24681499,
     -1,
     -1,
     60},
    {"sox_s32.aiff",
     "AIFF",
     8000,
     32,
     400,
     {54981961, 503996066, 1135615768, -504087769},
     639,
     -26475896,
     -1,
     -1,
     60},
    // WAVE_FORMAT_EXTENSIBLE with the PCM GUID, by FFmpeg: 24 and 32 bits, and 16 bits at
    // 96 kHz. The same 16-bit signal as ffmpeg_s16.wav, so the same samples.
    {"ffmpeg_s24_extensible.wav",
     "WAVE",
     8000,
     24,
     400,
     {0, 90898432, 201261056, -90963968},
     1,
     -4692599,
     -1,
     -1,
     60},
    {"formats/ffmpeg_s32.wav",
     "WAVE",
     8000,
     32,
     400,
     {0, 90898432, 201261056, -90963968},
     1,
     -4692599,
     -1,
     -1,
     60},
    {"formats/ffmpeg_s16_96k.wav",
     "WAVE",
     96000,
     16,
     960,
     {0, 7733248, 267714560, 163905536},
     256013,
     112428962,
     -1,
     -1,
     60},
    // AIFF-C: 'sowt' (little-endian samples) by FFmpeg, 'NONE' with a name by SoX.
    {"formats/ffmpeg_sowt.aifc",
     "AIFF",
     8000,
     16,
     400,
     {0, 90898432, 201261056, -90963968},
     1,
     -4692599,
     -1,
     -1,
     60},
    {"formats/sox_s16.aifc",
     "AIFF",
     8000,
     16,
     400,
     {54984704, 503971840, 1135607808, -504102912},
     838,
     -26434764,
     -1,
     -1,
     60},
    // INST + MARK by libaudiofile: `sox -V3` shows loop start 100, end 300, unity note 69.
    {"audiofile_loop16.aiff",
     "AIFF",
     22050,
     16,
     400,
     {0, 131137536, 796983296, -248578048},
     1736,
     -50398540,
     100,
     300,
     69},
};

std::string case_name(const ::testing::TestParamInfo<RealCase>& p) {
    std::string n = p.param.file;
    for (char& ch : n) {
        if (ch == '.' || ch == '/') ch = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Tools, RealFile, ::testing::ValuesIn(kRealFiles), case_name);

}  // namespace
