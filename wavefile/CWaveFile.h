#pragma once
// One view of a sound file, whatever its container format.
//
// Units: a *sample* is one value of one channel; a *frame* is one sample of every channel.
// Every sample and byte count in this interface counts single values, never frames; only
// GetSampleFrames counts frames. The *sample width* is (bits per sample + 7) / 8 bytes. *Raw*
// data are sample bytes exactly as the file stores them. A loop is the half-open range of
// sample indices [start, end); -1 means there is no loop.

#include <cstdint>
#include <memory>

class CWaveFile {
public:
    enum { MODE_READ = 0, MODE_WRITE = 1 };

    virtual ~CWaveFile() = default;

    // A closed object of the same class with the same format, base note, loop and header
    // fields; its data positions are -1.
    virtual std::unique_ptr<CWaveFile> Clone() const = 0;

    // MODE_READ: parses an existing file; MODE_WRITE: creates one and writes its header.
    // Returns the result of the final seek to the first sample (0 on success); any other mode
    // is returned unchanged. Throws CWaveFileExceptionCannotOpen or CWaveFileExceptionBadFormat.
    virtual std::int32_t Open(const char* path, std::int32_t mode) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Seeks to data start + offset bytes; 0 on success.
    virtual std::int32_t SeekData(std::int32_t offset) = 0;
    virtual bool IsSupported() const = 0;
    virtual bool IsSupportedFormat() const = 0;

    // Reads up to `bytes` raw bytes from the current position, never past data end. Returns the
    // number of bytes actually delivered (0 when closed or at data end).
    virtual std::int32_t ReadRaw(void* buffer, std::int32_t bytes) = 0;
    // Appends raw bytes and rewrites the size fields. False when closed or when the bytes or the
    // size fields could not be written.
    virtual bool WriteRaw(const void* buffer, std::int32_t bytes) = 0;
    virtual std::int32_t SamplesToBytes(std::int32_t samples) const = 0;
    virtual std::int32_t GetDataSize() const = 0;

    // Raw data to signed values whose top bit is the sample's sign bit; each converts
    // bytes / width whole samples and returns how many. Floating-point samples (read only)
    // are rounded to each width instead (wavefile/sample_layout.h).
    virtual std::int32_t RawToSamples32(const void* raw, std::int32_t* samples,
                                        std::uint32_t bytes) const = 0;
    virtual std::int32_t RawToSamples16(const void* raw, std::int16_t* samples,
                                        std::uint32_t bytes) const = 0;
    virtual std::int32_t RawToSamples8(const void* raw, std::int8_t* samples,
                                       std::uint32_t bytes) const = 0;
    // Signed values to raw data of the file's layout; each returns count * width bytes, or 0
    // for a floating-point layout, which nothing writes. Opening for writing sets the
    // integer layout that the writer stores.
    virtual std::uint32_t SamplesToRaw32(const std::int32_t* samples, void* raw,
                                         std::uint32_t count) const = 0;
    virtual std::uint32_t SamplesToRaw16(const std::int16_t* samples, void* raw,
                                         std::uint32_t count) const = 0;
    virtual std::uint32_t SamplesToRaw8(const std::int8_t* samples, void* raw,
                                        std::uint32_t count) const = 0;

    virtual const char* GetFormatName() const = 0;
    virtual double GetSampleRate() const = 0;
    virtual std::int32_t GetBitsPerSample() const = 0;
    virtual std::int32_t GetChannels() const = 0;
    virtual std::int32_t GetSampleFrames() const = 0;
    virtual std::int32_t GetBaseNote() const = 0;
    virtual bool HasLoop() const = 0;
    virtual std::int32_t GetLoopStart() const = 0;
    virtual std::int32_t GetLoopEnd() const = 0;

    // Setters are refused (false, nothing changed) while a file is open.
    virtual bool SetSampleRate(double rate) = 0;
    virtual bool SetBitsPerSample(std::int32_t bits) = 0;
    virtual bool SetChannels(std::int32_t channels) = 0;
    virtual bool SetSampleFrames(std::int32_t frames) = 0;
    virtual bool SetLoop(std::int32_t start, std::int32_t end) = 0;
    virtual bool SetBaseNote(std::int32_t note) = 0;

    // Reads up to `count` samples from the current position as signed 16-bit values into out
    // (room for `count` values) and returns how many were stored.
    std::uint32_t ReadSamples16(std::int16_t* out, std::uint32_t count);
};
