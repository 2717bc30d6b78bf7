#include "wavefile/CAiffFile.h"

#include <cstdio>

#include "wavefile/CWaveFileException.h"
#include "wavefile/chunk_io.h"

using strm::fourcc;

CAiffFile::CAiffFile() { common_.sampleRate = ToExtended(44100); }

std::unique_ptr<CWaveFile> CAiffFile::Clone() const {
    auto copy = std::make_unique<CAiffFile>();
    copy->common_ = common_;
    copy->instrument_ = instrument_;
    copy->markers_ = markers_;
    copy->ssndOffset_ = ssndOffset_;
    copy->ssndBlockSize_ = ssndBlockSize_;
    return copy;
}

std::int32_t CAiffFile::Open(const char* path, std::int32_t mode) {
    if (mode == MODE_WRITE) {
        Close();
        dataStart_ = dataEnd_ = -1;
        file_.attach(std::fopen(path, "w+b"));
        if (!file_.is_open()) throw CWaveFileExceptionCannotOpen(path);
        writing_ = true;
        // Plain AIFF is the one form written: a compression type carried over from an AIFF-C
        // file read would describe samples that SamplesToRaw does not produce.
        common_.compressionType = fourcc("NONE");
        WriteHeader();
        const std::int32_t sought = SeekData(0);
        return file_.failed() ? -1 : sought;
    }
    if (mode != MODE_READ) return mode;
    ResetForRead();
    file_.attach(wavefile::open_for_reading(path, read_buffer_));
    if (!file_.is_open()) throw CWaveFileExceptionCannotOpen(path);
    try {
        ReadHeader();
    } catch (const strm::failure&) {
        // The file stays attached: the caller may still look at what was read before the fault.
        throw CWaveFileExceptionBadFormat(path);
    }
    return SeekData(0);
}

void CAiffFile::ResetForRead() {
    Close();
    common_ = AiffCommon();
    common_.sampleRate = ToExtended(44100);
    instrument_ = AiffInstrument();
    markers_.clear();
    ssndOffset_ = ssndBlockSize_ = 0;
    dataStart_ = dataEnd_ = -1;
}

void CAiffFile::ReadHeader() {
    std::uint32_t id = 0, size = 0;
    strm::read_be32(file_, id);
    if (id != fourcc("FORM")) throw strm::failure();
    // The FORM size is not trusted: the walk runs to the physical end of the file.
    strm::read_be32(file_, size);
    strm::read_be32(file_, id);
    if (id != fourcc("AIFF") && id != fourcc("AIFC")) throw strm::failure();
    const bool aifc = id == fourcc("AIFC");

    while (strm::more_bytes(file_)) {
        strm::read_be32(file_, id);
        strm::read_be32(file_, size);
        const std::int64_t body = wavefile::position_or_fail(file_);
        const std::int64_t end = wavefile::checked_chunk_end(body, wavefile::as_int32(size));
        switch (id) {
            case fourcc("COMM"): ReadCommon(aifc, end - body); break;
            case fourcc("INST"): ReadInstrument(); break;
            case fourcc("MARK"): ReadMarkers(end); break;
            case fourcc("SSND"):
                strm::read_be32(file_, ssndOffset_);
                strm::read_be32(file_, ssndBlockSize_);
                // The offset is not applied: a file that uses it fails IsSupported instead.
                if (end - body < 8) throw strm::failure();
                dataStart_ = static_cast<std::int32_t>(body + 8);  // both checked against 2^31
                dataEnd_ = static_cast<std::int32_t>(end);
                break;
            default: break;  // skipped, wherever it stands
        }
        wavefile::leave_chunk(file_, end);
    }
}

void CAiffFile::ReadCommon(bool aifc, std::int64_t size) {
    std::uint16_t channels = 0, bits = 0;
    strm::read_be16(file_, channels);
    strm::read_be32(file_, common_.numSampleFrames);
    strm::read_be16(file_, bits);
    common_.numChannels = wavefile::as_int16(channels);
    common_.sampleSize = wavefile::as_int16(bits);
    strm::read_be16(file_, common_.sampleRate.exponent);
    strm::read_be32(file_, common_.sampleRate.mantissaHigh);
    strm::read_be32(file_, common_.sampleRate.mantissaLow);
    // In plain AIFF, bytes past these 18 are skipped unread, as they always were.
    if (!aifc) return;
    // AIFF-C requires the compression type: a COMM without it runs past its end (bad file).
    strm::read_be32(file_, common_.compressionType);
    // Then the type's name, a Pascal string; some writers leave it out (COMM of 22 bytes).
    // Only its size matters: the name's text must lie inside the chunk. Its pad byte, when
    // written, is inside the chunk too, and the walk skips it with the rest.
    constexpr std::int64_t kTypeEnd = 22;
    if (size <= kTypeEnd) return;
    std::uint8_t name_length = 0;
    strm::read_u8(file_, name_length);
    if (name_length > size - kTypeEnd - 1) throw strm::failure();
}

void CAiffFile::ReadInstrument() {
    AiffInstrument& in = instrument_;
    for (std::uint8_t* byte :
         {&in.baseNote, &in.detune, &in.lowNote, &in.highNote, &in.lowVelocity, &in.highVelocity}) {
        strm::read_u8(file_, *byte);
    }
    strm::read_be16(file_, in.gain);
    for (AiffLoop* loop : {&in.sustainLoop, &in.releaseLoop}) {
        std::uint16_t begin = 0, end = 0;
        strm::read_be16(file_, loop->playMode);
        strm::read_be16(file_, begin);
        strm::read_be16(file_, end);
        loop->beginLoop = wavefile::as_int16(begin);
        loop->endLoop = wavefile::as_int16(end);
    }
}

void CAiffFile::ReadMarkers(std::int64_t end) {
    std::uint16_t count = 0;
    strm::read_be16(file_, count);
    // The position is counted here rather than asked of the stream for every marker.
    std::int64_t p = wavefile::position_or_fail(file_);
    // Markers are stored one by one as their bytes arrive; the count alone sizes nothing.
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t id = 0;
        std::uint8_t length = 0;
        AiffMarker marker;
        strm::read_be16(file_, id);
        strm::read_be32(file_, marker.position);
        strm::read_u8(file_, length);
        // A name cut off by the end of the file keeps zero bytes where its bytes are missing.
        marker.name.assign(length, '\0');
        p += 7 + static_cast<std::int64_t>(strm::read_bytes(file_, &marker.name[0], length));
        markers_[wavefile::as_int16(id)] = std::move(marker);
        // Each marker ends on an even offset: an odd one is followed by a pad byte. Reading it
        // (when the file still has it) moves on as a seek would, without a call per marker.
        if (p & 1) {
            char pad = 0;
            p += static_cast<std::int64_t>(strm::read_bytes(file_, &pad, 1));
        }
        // Markers that run past the chunk make it bad; no need to read on to the count.
        if (p > end) throw strm::failure();
    }
}

void CAiffFile::Close() {
    strm::close(file_);
    writing_ = false;
}

bool CAiffFile::IsOpen() const { return file_.is_open(); }

std::int32_t CAiffFile::SeekData(std::int32_t offset) {
    return wavefile::seek_data(file_, dataStart_, offset);
}

bool CAiffFile::IsSupported() const {
    if (ssndOffset_ != 0 || ssndBlockSize_ != 0) return false;
    const std::int16_t bits = common_.sampleSize;
    switch (common_.compressionType) {
        case fourcc("NONE"):
        case fourcc("sowt"): return bits >= 1 && bits <= 32;
        case fourcc("fl32"):
        case fourcc("FL32"): return bits == 32;
        case fourcc("fl64"):
        case fourcc("FL64"): return bits == 64;
        default: return false;
    }
}

bool CAiffFile::IsSupportedFormat() const { return IsSupported(); }

std::int32_t CAiffFile::ReadRaw(void* buffer, std::int32_t bytes) {
    return wavefile::read_raw_clipped(file_, dataEnd_, buffer, bytes);
}

std::int32_t CAiffFile::Width() const { return (std::int32_t{common_.sampleSize} + 7) / 8; }

wavefile::SampleLayout CAiffFile::Layout() const {
    wavefile::SampleLayout layout;
    layout.width = Width();
    layout.big_endian = common_.compressionType != fourcc("sowt");
    layout.offset_binary = false;
    layout.low_mask = wavefile::resolution_mask(common_.sampleSize);
    // Only the float types that IsSupported accepts are decoded as floats; any other type
    // keeps the integer reading that unsupported files always had.
    const std::uint32_t type = common_.compressionType;
    layout.ieee_float = (type == fourcc("fl32") || type == fourcc("FL32") ||
                         type == fourcc("fl64") || type == fourcc("FL64")) &&
                        IsSupported();
    return layout;
}

std::int32_t CAiffFile::SamplesToBytes(std::int32_t samples) const {
    return wavefile::samples_to_bytes(Width(), samples);
}

std::int32_t CAiffFile::GetDataSize() const { return dataEnd_ - dataStart_; }

std::int32_t CAiffFile::RawToSamples32(const void* raw, std::int32_t* samples,
                                       std::uint32_t bytes) const {
    return wavefile::raw_to_samples32(Layout(), raw, samples, bytes);
}

std::int32_t CAiffFile::RawToSamples16(const void* raw, std::int16_t* samples,
                                       std::uint32_t bytes) const {
    return wavefile::raw_to_samples16(Layout(), raw, samples, bytes);
}

std::int32_t CAiffFile::RawToSamples8(const void* raw, std::int8_t* samples,
                                      std::uint32_t bytes) const {
    return wavefile::raw_to_samples8(Layout(), raw, samples, bytes);
}

const char* CAiffFile::GetFormatName() const { return "AIFF"; }

double CAiffFile::GetSampleRate() const { return FromExtended(common_.sampleRate); }

std::int32_t CAiffFile::GetBitsPerSample() const { return common_.sampleSize; }

std::int32_t CAiffFile::GetChannels() const { return common_.numChannels; }

std::int32_t CAiffFile::GetSampleFrames() const {
    return wavefile::as_int32(common_.numSampleFrames);
}

std::int32_t CAiffFile::GetBaseNote() const { return instrument_.baseNote; }

bool CAiffFile::HasLoop() const { return instrument_.sustainLoop.playMode != 0; }

std::int32_t CAiffFile::MarkerPosition(std::int16_t id) const {
    const auto it = markers_.find(id);
    return it == markers_.end() ? -1 : wavefile::as_int32(it->second.position);
}

std::int32_t CAiffFile::GetLoopStart() const {
    return HasLoop() ? MarkerPosition(instrument_.sustainLoop.beginLoop) : -1;
}

// Markers lie between frames: the end marker's position is already one past the loop.
std::int32_t CAiffFile::GetLoopEnd() const {
    return HasLoop() ? MarkerPosition(instrument_.sustainLoop.endLoop) : -1;
}
