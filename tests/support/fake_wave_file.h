#pragma once
// A CWaveFile held in memory: 16-bit mono samples, and whatever frame count, rate and loop a test
// wants the "header" to claim, however inconsistent with the samples.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "wavefile/CWaveFile.h"

namespace test {

class FakeWaveFile : public CWaveFile {
public:
    // The file delivers `data`; the header claims `frames` frames at `rate` Hz.
    FakeWaveFile(std::vector<std::int16_t> data, std::int32_t frames, double rate = 22050)
        : data_(std::move(data)), frames_(frames), rate_(rate) {}

    // A loop as the header gives it; -1 stands for a missing start or end.
    FakeWaveFile& loop(std::int32_t start, std::int32_t end) {
        has_loop_ = true;
        loop_start_ = start;
        loop_end_ = end;
        return *this;
    }

    // Samples handed out so far through ReadRaw.
    std::size_t samples_read() const { return pos_; }

    std::unique_ptr<CWaveFile> Clone() const override {
        return std::make_unique<FakeWaveFile>(*this);
    }
    std::int32_t Open(const char*, std::int32_t mode) override { return mode; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    std::int32_t SeekData(std::int32_t) override { return -1; }
    bool IsSupported() const override { return true; }
    bool IsSupportedFormat() const override { return true; }
    std::int32_t ReadRaw(void* buffer, std::int32_t bytes) override {
        if (bytes <= 0) return 0;
        const std::size_t n = std::min(static_cast<std::size_t>(bytes) / 2, data_.size() - pos_);
        std::memcpy(buffer, data_.data() + pos_, n * 2);
        pos_ += n;
        return static_cast<std::int32_t>(n * 2);
    }
    bool WriteRaw(const void*, std::int32_t) override { return false; }
    // Clamped to 32 bits as the real files do; a reader may ask for any count.
    std::int32_t SamplesToBytes(std::int32_t samples) const override {
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(std::int64_t{samples} * 2, INT32_MIN, INT32_MAX));
    }
    std::int32_t GetDataSize() const override {
        return static_cast<std::int32_t>(data_.size() * 2);
    }
    std::int32_t RawToSamples32(const void*, std::int32_t*, std::uint32_t) const override {
        return 0;
    }
    std::int32_t RawToSamples16(const void* raw, std::int16_t* samples,
                                std::uint32_t bytes) const override {
        std::memcpy(samples, raw, bytes / 2 * 2);  // the host's order: ReadRaw copied it so
        return static_cast<std::int32_t>(bytes / 2);
    }
    std::int32_t RawToSamples8(const void*, std::int8_t*, std::uint32_t) const override {
        return 0;
    }
    std::uint32_t SamplesToRaw32(const std::int32_t*, void*, std::uint32_t) const override {
        return 0;
    }
    std::uint32_t SamplesToRaw16(const std::int16_t*, void*, std::uint32_t) const override {
        return 0;
    }
    std::uint32_t SamplesToRaw8(const std::int8_t*, void*, std::uint32_t) const override {
        return 0;
    }
    const char* GetFormatName() const override { return "FAKE"; }
    double GetSampleRate() const override { return rate_; }
    std::int32_t GetBitsPerSample() const override { return 16; }
    std::int32_t GetChannels() const override { return 1; }
    std::int32_t GetSampleFrames() const override { return frames_; }
    std::int32_t GetBaseNote() const override { return 60; }
    bool HasLoop() const override { return has_loop_; }
    std::int32_t GetLoopStart() const override { return has_loop_ ? loop_start_ : -1; }
    std::int32_t GetLoopEnd() const override { return has_loop_ ? loop_end_ : -1; }
    bool SetSampleRate(double) override { return false; }
    bool SetBitsPerSample(std::int32_t) override { return false; }
    bool SetChannels(std::int32_t) override { return false; }
    bool SetSampleFrames(std::int32_t) override { return false; }
    bool SetLoop(std::int32_t, std::int32_t) override { return false; }
    bool SetBaseNote(std::int32_t) override { return false; }

private:
    std::vector<std::int16_t> data_;
    std::int32_t frames_;
    double rate_;
    bool has_loop_ = false;
    std::int32_t loop_start_ = -1;
    std::int32_t loop_end_ = -1;
    std::size_t pos_ = 0;
};

}  // namespace test
