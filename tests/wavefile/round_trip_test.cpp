// What the writers write, the readers read back: format, frames, rate, loop, base note and every
// sample, in both formats and several widths; and a write that fails is never reported as done.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>

#include "tests/support/byte_builder.h"
#include "tests/wavefile/wave_test_util.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"

namespace {

std::unique_ptr<CWaveFile> make(bool aiff) {
    if (aiff) return std::make_unique<CAiffFile>();
    return std::make_unique<CWavFile>();
}

// Sample i as a full 32-bit value: every bit varies along the file.
std::int32_t value(std::uint32_t i) {
    return static_cast<std::int32_t>(i * 2246822519u + 0x9E3779B9u);
}

struct TripCase {
    const char* name;
    bool aiff;
    std::int32_t bits, channels;
    double rate;
    std::int32_t loop_start, loop_end;  // -1: no loop
    std::int32_t note;
    std::uint32_t samples;
    friend void PrintTo(const TripCase& c, std::ostream* os) { *os << c.name; }
};

class RoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(RoundTrip, ReadsBackWhatWasWritten) {
    const TripCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file(c.aiff ? "t.aiff" : "t.wav");
    const auto writer = make(c.aiff);
    ASSERT_TRUE(writer->SetBitsPerSample(c.bits));
    ASSERT_TRUE(writer->SetChannels(c.channels));
    ASSERT_TRUE(writer->SetSampleRate(c.rate));
    ASSERT_TRUE(writer->SetBaseNote(c.note));
    if (c.loop_start >= 0) {
        ASSERT_TRUE(writer->SetLoop(c.loop_start, c.loop_end));
    }
    const std::uint32_t frames = c.samples / static_cast<std::uint32_t>(c.channels);
    if (c.aiff) {
        ASSERT_TRUE(writer->SetSampleFrames(static_cast<std::int32_t>(frames)));
    }
    ASSERT_EQ(writer->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
    std::vector<std::int32_t> values(c.samples);
    for (std::uint32_t i = 0; i < c.samples; ++i) values[i] = value(i);
    // Appended in uneven pieces, as a caller streaming samples would.
    std::uint32_t done = 0;
    for (std::uint32_t piece = 1; done < c.samples; piece = piece * 3 + 1) {
        const std::uint32_t n = std::min(piece, c.samples - done);
        std::vector<std::uint8_t> raw(
            static_cast<std::size_t>(writer->SamplesToBytes(static_cast<std::int32_t>(n))));
        ASSERT_EQ(writer->SamplesToRaw32(values.data() + done, raw.data(), n), raw.size());
        ASSERT_TRUE(writer->WriteRaw(raw.data(), static_cast<std::int32_t>(raw.size())));
        done += n;
    }
    writer->Close();

    const auto reader = make(c.aiff);
    ASSERT_EQ(reader->Open(path.c_str(), CWaveFile::MODE_READ), 0);
    EXPECT_EQ(reader->GetBitsPerSample(), c.bits);
    EXPECT_EQ(reader->GetChannels(), c.channels);
    EXPECT_EQ(reader->GetSampleRate(), c.rate);
    EXPECT_EQ(reader->GetBaseNote(), c.note);
    EXPECT_EQ(reader->GetSampleFrames(), static_cast<std::int32_t>(frames));
    EXPECT_EQ(reader->HasLoop(), c.loop_start >= 0);
    EXPECT_EQ(reader->GetLoopStart(), c.loop_start);
    EXPECT_EQ(reader->GetLoopEnd(), c.loop_end);
    EXPECT_TRUE(reader->IsSupported());
    // The file keeps the top `bits` bits of each value.
    const std::uint32_t kept = c.bits >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> c.bits);
    const std::vector<std::int32_t> back = test::read_all32(*reader);
    ASSERT_EQ(back.size(), c.samples);
    for (std::uint32_t i = 0; i < c.samples; ++i) {
        ASSERT_EQ(static_cast<std::uint32_t>(back[i]), static_cast<std::uint32_t>(values[i]) & kept)
            << "sample " << i;
    }
    ASSERT_EQ(reader->SeekData(0), 0);
    const std::vector<std::int16_t> back16 = test::read_all16(*reader);
    ASSERT_EQ(back16.size(), c.samples);
    for (std::uint32_t i = 0; i < c.samples; ++i) {
        ASSERT_EQ(static_cast<std::uint16_t>(back16[i]),
                  static_cast<std::uint16_t>((static_cast<std::uint32_t>(values[i]) & kept) >> 16));
    }
}

const TripCase kTrips[] = {
    {"wav8", false, 8, 1, 8000, -1, -1, 60, 1001},
    {"wav12_looped", false, 12, 1, 11025, 10, 500, 64, 1000},
    {"wav16_stereo_looped", false, 16, 2, 44100, 0, 1, 0, 5000},
    {"wav20", false, 20, 1, 96000, -1, -1, 127, 777},
    {"wav24_looped", false, 24, 1, 48000, 100, 9000, 60, 9001},
    {"wav32", false, 32, 1, 22050, -1, -1, 61, 999},
    {"aiff8_looped", true, 8, 1, 8000, 0, 1001, 60, 1001},
    {"aiff12", true, 12, 1, 11025.5, -1, -1, 64, 1000},
    {"aiff16_stereo", true, 16, 2, 44100, -1, -1, 0, 5000},
    {"aiff20_looped", true, 20, 1, 1.0 / 3, 5, 6, 255, 777},
    {"aiff24_looped", true, 24, 1, 48000, 100, 9000, 60, 9001},
    {"aiff32", true, 32, 1, 192000, -1, -1, 61, 999},
};
INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kTrips),
                         [](const auto& p) { return std::string(p.param.name); });

// Failing writes are made with POSIX means: /dev/full and the file-size limit.
#ifndef _WIN32
class FailedWrites : public ::testing::TestWithParam<bool> {};

TEST_P(FailedWrites, AreNeverReportedAsSuccess) {
    // /dev/full accepts the open and refuses every byte when the stream flushes.
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const auto wave = make(GetParam());
    EXPECT_NE(wave->Open("/dev/full", CWaveFile::MODE_WRITE), 0);
    EXPECT_TRUE(wave->IsOpen());
    EXPECT_FALSE(wave->WriteRaw("abcd", 4));
    EXPECT_FALSE(wave->WriteRaw("abcd", 4));
}

// Lowers this process's file-size limit for one test (writes beyond it fail with EFBIG instead
// of raising SIGXFSZ), and restores it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lower{bytes, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

TEST_P(FailedWrites, SamplesThatDoNotFitLeaveTheSizesAsTheyWere) {
    test::TempDir dir;
    const std::string path = dir.file("limited");
    const auto wave = make(GetParam());
    const std::vector<std::uint8_t> samples(8000, 0x55);
    {
        const FileSizeLimit limit(4096);
        ASSERT_EQ(wave->Open(path.c_str(), CWaveFile::MODE_WRITE), 0);
        ASSERT_TRUE(wave->WriteRaw(samples.data(), 1000));
        EXPECT_FALSE(wave->WriteRaw(samples.data(), 8000));  // beyond the limit
        EXPECT_FALSE(wave->WriteRaw(samples.data(), 2));     // a file that failed stays failed
        wave->Close();
    }
    EXPECT_EQ(wave->GetDataSize(), 1000);
    const auto bytes = test::read_file(path);
    if (GetParam()) {
        EXPECT_EQ(test::be32_at(bytes, 70), 1008u);  // SSND size
        EXPECT_EQ(test::be32_at(bytes, 4), 74u + 1000u);
    } else {
        EXPECT_EQ(test::le32_at(bytes, 84), 1000u);  // data size
        EXPECT_EQ(test::le32_at(bytes, 4), 80u + 1000u);
    }
}

INSTANTIATE_TEST_SUITE_P(Wav, FailedWrites, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Aiff, FailedWrites, ::testing::Values(true));
#endif

}  // namespace
