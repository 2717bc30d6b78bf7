#pragma once
// RIFF WAVE files: reads the "fmt ", "data" and "smpl" chunks (every other chunk is skipped) and
// writes a file of exactly those three chunks whose sizes stay right after every append.
//
// Samples are stored in (bits + 7) / 8 bytes each, least significant byte first; one-byte
// samples are unsigned with 128 as zero, wider ones two's complement, left-justified. The loop
// is the first record of the "smpl" chunk, which stores the loop's last sample: the interface's
// end is one past it.
//
// Read: integer PCM (format tag 1) of 1 to 32 bits, IEEE float (tag 3) of 32 or 64 bits, and
// WAVE_FORMAT_EXTENSIBLE (tag 0xFFFE) whose sub-format GUID names one of those two; its valid
// bits change nothing, since samples are left-justified anyway. Any other format opens and is
// not supported, an extensible "fmt " of fewer than 40 bytes (or with cbSize below 22)
// included: it names no sub-format, and such files opened as unsupported before extensible
// ones were read at all. Written: integer PCM, format tag 1, whatever format was read.

#include <cstdint>
#include <memory>
#include <vector>

#include "wavefile/CWaveFile.h"
#include "wavefile/sample_layout.h"
#include "wavefile/strm.h"

class CWavFile : public CWaveFile {
public:
    CWavFile() = default;
    ~CWavFile() override = default;

    std::unique_ptr<CWaveFile> Clone() const override;

    std::int32_t Open(const char* path, std::int32_t mode) override;
    void Close() override;
    bool IsOpen() const override;
    std::int32_t SeekData(std::int32_t offset) override;
    bool IsSupported() const override;
    bool IsSupportedFormat() const override;

    std::int32_t ReadRaw(void* buffer, std::int32_t bytes) override;
    bool WriteRaw(const void* buffer, std::int32_t bytes) override;
    std::int32_t SamplesToBytes(std::int32_t samples) const override;
    std::int32_t GetDataSize() const override;

    std::int32_t RawToSamples32(const void* raw, std::int32_t* samples,
                                std::uint32_t bytes) const override;
    std::int32_t RawToSamples16(const void* raw, std::int16_t* samples,
                                std::uint32_t bytes) const override;
    std::int32_t RawToSamples8(const void* raw, std::int8_t* samples,
                               std::uint32_t bytes) const override;
    std::uint32_t SamplesToRaw32(const std::int32_t* samples, void* raw,
                                 std::uint32_t count) const override;
    std::uint32_t SamplesToRaw16(const std::int16_t* samples, void* raw,
                                 std::uint32_t count) const override;
    std::uint32_t SamplesToRaw8(const std::int8_t* samples, void* raw,
                                std::uint32_t count) const override;

    const char* GetFormatName() const override;
    double GetSampleRate() const override;
    std::int32_t GetBitsPerSample() const override;
    std::int32_t GetChannels() const override;
    std::int32_t GetSampleFrames() const override;
    std::int32_t GetBaseNote() const override;
    bool HasLoop() const override;
    std::int32_t GetLoopStart() const override;
    std::int32_t GetLoopEnd() const override;

    bool SetSampleRate(double rate) override;
    bool SetBitsPerSample(std::int32_t bits) override;
    bool SetChannels(std::int32_t channels) override;
    bool SetSampleFrames(std::int32_t frames) override;
    bool SetLoop(std::int32_t start, std::int32_t end) override;
    bool SetBaseNote(std::int32_t note) override;

private:
    // The 16 bytes of the "fmt " chunk, in file order.
    struct Format {
        std::uint16_t format_tag = 1;  // 1: integer PCM
        std::uint16_t channels = 1;
        std::uint32_t sample_rate = 44100;
        std::uint32_t byte_rate = 88200;  // recomputed whenever a header is written
        std::uint16_t block_align = 2;    // recomputed whenever a header is written
        std::uint16_t bits_per_sample = 16;
        // Not in the 16 bytes: for format tag 0xFFFE, the tag that the sub-format GUID names
        // (1 or 3 when it is one of ours), 0 when the chunk names none.
        std::uint32_t sub_format = 0;
    };
    // One loop record of the "smpl" chunk; `end` is the loop's last sample, inclusive.
    struct LoopRecord {
        std::uint32_t cue_point = 0, type = 0, start = 0, end = 0, fraction = 0, play_count = 0;
    };
    // The 36 bytes of the "smpl" chunk before its loop records, then the records.
    struct Sampler {
        std::uint32_t manufacturer = 0, product = 0, sample_period = 0;
        std::uint32_t unity_note = 60;  // the base note
        std::uint32_t pitch_fraction = 0, smpte_format = 0, smpte_offset = 0;
        std::uint32_t loop_count = 0;         // set from `loops` when written
        std::uint32_t sampler_data_size = 0;  // vendor data after the loops: skipped, never written
        std::vector<LoopRecord> loops;
    };

    void ResetForRead();
    void ReadHeader();
    void ReadFormat(std::int64_t size);
    // The format tag that describes the samples: the sub-format's for WAVE_FORMAT_EXTENSIBLE.
    std::uint32_t SampleFormat() const;
    void ReadSampler(std::int64_t size);
    void WriteHeader();
    wavefile::SampleLayout Layout() const;
    std::int32_t Width() const;

    // Declared before file_, so that it outlives the stream that reads through it.
    std::unique_ptr<char[]> read_buffer_;
    strm::file file_;
    bool writing_ = false;  // opened with MODE_WRITE: WriteRaw may append
    Format format_;
    Sampler sampler_;
    std::int32_t data_start_ = -1;  // first byte of sample data
    std::int32_t data_end_ = -1;    // one past the last byte of sample data
};
