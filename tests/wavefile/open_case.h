#pragma once
// One row of a reader's table: file bytes and what the reader must report for them.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "tests/support/temp_file.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/CWaveFileException.h"

namespace test {

struct Expect {
    bool bad = false;      // Open throws CWaveFileExceptionBadFormat
    bool has_data = true;  // Open found sample data (and returned 0)
    std::int32_t channels = 1, bits = 16;
    double rate = 44100;
    std::int32_t frames = 0, data_size = 0;
    std::int32_t loop_start = -1, loop_end = -1;
    bool has_loop = false;
    bool supported = true;
    std::int32_t base_note = 60;

    Expect& format(std::int32_t c, std::int32_t b, double r) {
        channels = c;
        bits = b;
        rate = r;
        return *this;
    }
    Expect& size(std::int32_t frame_count, std::int32_t bytes) {
        frames = frame_count;
        data_size = bytes;
        return *this;
    }
    Expect& loop(std::int32_t s, std::int32_t e) {
        has_loop = true;
        loop_start = s;
        loop_end = e;
        return *this;
    }
    Expect& note(std::int32_t n) {
        base_note = n;
        return *this;
    }
    Expect& unsupported() {
        supported = false;
        return *this;
    }
    Expect& no_data() {
        has_data = false;
        return *this;
    }
};

inline Expect ok() { return Expect(); }
inline Expect bad_format() {
    Expect e;
    e.bad = true;
    return e;
}

struct OpenCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    Expect expect;
    friend void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }
};

// Opens the bytes with a new T and checks every getter against the row.
template <typename T>
void check_open_case(const OpenCase& c) {
    const TempFile file(c.bytes);
    T wave;
    const Expect& want = c.expect;
    if (want.bad) {
        EXPECT_THROW(wave.Open(file.c_str(), CWaveFile::MODE_READ), CWaveFileExceptionBadFormat);
        return;
    }
    const std::int32_t result = wave.Open(file.c_str(), CWaveFile::MODE_READ);
    EXPECT_TRUE(wave.IsOpen());
    EXPECT_EQ(result == 0, want.has_data) << "Open returned " << result;
    EXPECT_EQ(wave.GetChannels(), want.channels);
    EXPECT_EQ(wave.GetBitsPerSample(), want.bits);
    EXPECT_EQ(wave.GetSampleRate(), want.rate);
    EXPECT_EQ(wave.GetSampleFrames(), want.frames);
    EXPECT_EQ(wave.GetDataSize(), want.data_size);
    EXPECT_EQ(wave.HasLoop(), want.has_loop);
    EXPECT_EQ(wave.GetLoopStart(), want.loop_start);
    EXPECT_EQ(wave.GetLoopEnd(), want.loop_end);
    EXPECT_EQ(wave.IsSupported(), want.supported);
    EXPECT_EQ(wave.IsSupportedFormat(), want.supported);
    EXPECT_EQ(wave.GetBaseNote(), want.base_note);
}

}  // namespace test
