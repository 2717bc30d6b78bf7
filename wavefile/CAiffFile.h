#pragma once
// AIFF and uncompressed AIFF-C files: reads the "COMM", "SSND", "MARK" and "INST" chunks of a
// "FORM" whose form type is "AIFF" or "AIFC" and writes an AIFF file of those chunks whose
// sizes stay right after every append.
//
// Every number is big-endian. Samples are two's complement, (bits + 7) / 8 bytes each, most
// significant byte first and left-justified. The sample rate is the 80-bit extended number the
// file holds. The loop is the instrument's sustain loop: two marker ids whose markers lie
// between frames, so the end marker's position is already one past the last looped frame.
//
// AIFF-C adds a compression type to COMM, followed by its name as a Pascal string (a count
// byte, the text, a pad byte to an even length). Read: 'NONE' (as AIFF), 'sowt' (the same
// samples least significant byte first) and 'fl32'/'FL32', 'fl64'/'FL64' (big-endian IEEE
// floats, with 32 or 64 bits in COMM as they must be). Every other type ('ima4', 'ulaw',
// 'alaw', ...) opens and is not supported. The FVER chunk is skipped like any other. Written:
// plain AIFF, whatever was read.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "wavefile/CWaveFile.h"
#include "wavefile/Extended80.h"
#include "wavefile/sample_layout.h"
#include "wavefile/strm.h"

class CAiffFile : public CWaveFile {
public:
    CAiffFile();
    ~CAiffFile() override = default;

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
    // Creates the sustain loop's two markers when there is no loop yet (the lowest free ids from
    // 1 upwards, play mode forward); returns false and changes nothing when fewer than two of
    // the 65536 marker ids are free.
    bool SetLoop(std::int32_t start, std::int32_t end) override;
    bool SetBaseNote(std::int32_t note) override;

private:
    struct AiffCommon {
        std::int16_t numChannels = 1;
        std::uint32_t numSampleFrames = 0;
        std::int16_t sampleSize = 16;  // bits per sample
        Extended80 sampleRate;
        // AIFF-C only; a plain AIFF file's samples are as 'NONE' says.
        std::uint32_t compressionType = strm::fourcc("NONE");
    };
    struct AiffLoop {
        std::uint16_t playMode = 0;  // 0: no loop, 1: forward, 2: forward-backward
        std::int16_t beginLoop = 0;  // marker ids
        std::int16_t endLoop = 0;
    };
    // Only baseNote and sustainLoop are interpreted; the rest is carried so that a copy writes
    // it back.
    struct AiffInstrument {
        std::uint8_t baseNote = 60, detune = 0, lowNote = 0, highNote = 127;
        std::uint8_t lowVelocity = 0, highVelocity = 127;
        std::uint16_t gain = 0;
        AiffLoop sustainLoop, releaseLoop;
    };
    struct AiffMarker {
        std::uint32_t position = 0;  // frames before the marker
        std::string name;            // at most 255 bytes; may hold zero bytes
    };

    void ResetForRead();
    void ReadHeader();
    void ReadCommon(bool aifc, std::int64_t size);
    void ReadInstrument();
    void ReadMarkers(std::int64_t end);
    void WriteHeader();
    wavefile::SampleLayout Layout() const;
    std::int32_t Width() const;
    std::int32_t MarkerPosition(std::int16_t id) const;

    // Declared before file_, so that it outlives the stream that reads through it.
    std::unique_ptr<char[]> read_buffer_;
    strm::file file_;
    bool writing_ = false;  // opened with MODE_WRITE: WriteRaw may append
    AiffCommon common_;
    AiffInstrument instrument_;
    std::map<std::int16_t, AiffMarker> markers_;  // ascending by id
    std::uint32_t ssndOffset_ = 0;
    std::uint32_t ssndBlockSize_ = 0;
    std::int32_t dataStart_ = -1;  // first byte of sample data
    std::int32_t dataEnd_ = -1;    // one past the last byte of sample data
};
