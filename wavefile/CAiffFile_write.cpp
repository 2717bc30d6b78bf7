// The writing half of CAiffFile: a header of "COMM", "MARK" (when there are markers), "INST"
// and an "SSND" chunk that stays last, so that appends only grow the file and rewrite two sizes.

#include <cstdio>

#include "wavefile/CAiffFile.h"
#include "wavefile/chunk_io.h"

using strm::fourcc;

void CAiffFile::WriteHeader() {
    const std::int64_t form = wavefile::begin_chunk(file_, fourcc("FORM"), true);
    strm::write_be32(file_, fourcc("AIFF"));

    const std::int64_t comm = wavefile::begin_chunk(file_, fourcc("COMM"), true);
    strm::write_be16(file_, static_cast<std::uint16_t>(common_.numChannels));
    strm::write_be32(file_, common_.numSampleFrames);
    strm::write_be16(file_, static_cast<std::uint16_t>(common_.sampleSize));
    strm::write_be16(file_, common_.sampleRate.exponent);
    strm::write_be32(file_, common_.sampleRate.mantissaHigh);
    strm::write_be32(file_, common_.sampleRate.mantissaLow);
    wavefile::end_chunk(file_, comm, true);

    if (!markers_.empty()) {
        const std::int64_t mark = wavefile::begin_chunk(file_, fourcc("MARK"), true);
        // The count field holds at most 65535 markers; with every one of the 65536 ids in use,
        // the highest id is left out rather than the count wrapped to 0.
        const std::size_t count = markers_.size() < 0xFFFF ? markers_.size() : 0xFFFF;
        strm::write_be16(file_, static_cast<std::uint16_t>(count));
        std::size_t written = 0;
        for (const auto& [id, marker] : markers_) {
            if (written++ == count) break;
            const std::size_t length = marker.name.size() & 0xFF;
            strm::write_be16(file_, static_cast<std::uint16_t>(id));
            strm::write_be32(file_, marker.position);
            strm::write_u8(file_, static_cast<std::uint8_t>(length));
            strm::write_bytes(file_, marker.name.data(), length);
            strm::pad_to(file_, 2);  // inside the chunk: counted in its size
        }
        wavefile::end_chunk(file_, mark, true);
    }

    const std::int64_t inst = wavefile::begin_chunk(file_, fourcc("INST"), true);
    const AiffInstrument& in = instrument_;
    for (std::uint8_t byte :
         {in.baseNote, in.detune, in.lowNote, in.highNote, in.lowVelocity, in.highVelocity}) {
        strm::write_u8(file_, byte);
    }
    strm::write_be16(file_, in.gain);
    for (const AiffLoop* loop : {&in.sustainLoop, &in.releaseLoop}) {
        strm::write_be16(file_, loop->playMode);
        strm::write_be16(file_, static_cast<std::uint16_t>(loop->beginLoop));
        strm::write_be16(file_, static_cast<std::uint16_t>(loop->endLoop));
    }
    wavefile::end_chunk(file_, inst, true);

    const std::int64_t ssnd = wavefile::begin_chunk(file_, fourcc("SSND"), true);
    strm::write_be32(file_, ssndOffset_);
    strm::write_be32(file_, ssndBlockSize_);
    const std::int64_t data = strm::position(file_);
    if (data < 0 || data > 0x7FFFFFFF) {
        file_.mark_failed();  // a header past 32-bit offsets: no data position to keep
    } else {
        dataStart_ = dataEnd_ = static_cast<std::int32_t>(data);
    }
    wavefile::end_chunk(file_, ssnd, true);
    wavefile::end_chunk(file_, form, true);
}

bool CAiffFile::WriteRaw(const void* buffer, std::int32_t bytes) {
    if (!writing_ || !IsOpen() || file_.failed() || bytes < 0 || dataStart_ < 12) return false;
    // Offsets stay 32-bit: data that would end beyond them cannot be described by the header.
    if (std::int64_t{dataEnd_} + bytes > 0x7FFFFFFF) return false;
    std::uint32_t form_size = 0;
    if (strm::seek_to(file_, 4) != 0) return false;
    strm::read_be32(file_, form_size);

    // The samples go first: should they fail, the size fields still describe the file before.
    if (strm::seek_to_end(file_) != 0) return false;
    strm::write_bytes(file_, buffer, static_cast<std::size_t>(bytes));
    // Seeking flushes the stream, so a failed write of the samples shows here at the latest.
    if (strm::seek_to(file_, 4) != 0 || file_.failed()) return false;
    const std::int32_t new_end = dataEnd_ + bytes;
    strm::write_be32(file_, form_size + static_cast<std::uint32_t>(bytes));
    // The SSND size field stands 12 bytes before the samples, ahead of offset and block size;
    // the size counts those 8 bytes too. No pad byte follows odd-sized data.
    strm::seek_to(file_, std::int64_t{dataStart_} - 12);
    strm::write_be32(file_, static_cast<std::uint32_t>(new_end - dataStart_) + 8u);
    strm::seek_to_end(file_);
    if (file_.failed()) return false;
    dataEnd_ = new_end;
    return true;
}

std::uint32_t CAiffFile::SamplesToRaw32(const std::int32_t* samples, void* raw,
                                        std::uint32_t count) const {
    return wavefile::samples_to_raw32(Layout(), samples, raw, count);
}

std::uint32_t CAiffFile::SamplesToRaw16(const std::int16_t* samples, void* raw,
                                        std::uint32_t count) const {
    return wavefile::samples_to_raw16(Layout(), samples, raw, count);
}

std::uint32_t CAiffFile::SamplesToRaw8(const std::int8_t* samples, void* raw,
                                       std::uint32_t count) const {
    return wavefile::samples_to_raw8(Layout(), samples, raw, count);
}

bool CAiffFile::SetSampleRate(double rate) {
    if (IsOpen()) return false;
    common_.sampleRate = ToExtended(rate);
    return true;
}

bool CAiffFile::SetBitsPerSample(std::int32_t bits) {
    if (IsOpen()) return false;
    common_.sampleSize = wavefile::as_int16(static_cast<std::uint16_t>(bits));
    return true;
}

bool CAiffFile::SetChannels(std::int32_t channels) {
    if (IsOpen()) return false;
    common_.numChannels = wavefile::as_int16(static_cast<std::uint16_t>(channels));
    return true;
}

bool CAiffFile::SetSampleFrames(std::int32_t frames) {
    if (IsOpen()) return false;
    common_.numSampleFrames = static_cast<std::uint32_t>(frames);
    return true;
}

bool CAiffFile::SetLoop(std::int32_t start, std::int32_t end) {
    if (IsOpen()) return false;
    AiffLoop loop = instrument_.sustainLoop;
    if (!HasLoop()) {
        // The lowest two free ids, counting 1, 2, ... 32767 and then through the negative ids
        // to 0: one pass over all 65536 ids at most.
        std::int16_t free_ids[2] = {0, 0};
        int found = 0;
        for (std::uint32_t k = 0; k < 0x10000 && found < 2; ++k) {
            const std::int16_t id = wavefile::as_int16(static_cast<std::uint16_t>(k + 1));
            if (markers_.count(id) == 0) free_ids[found++] = id;
        }
        if (found < 2) return false;
        loop.playMode = 1;  // forward
        loop.beginLoop = free_ids[0];
        loop.endLoop = free_ids[1];
    }
    markers_[loop.beginLoop] = AiffMarker{static_cast<std::uint32_t>(start), "Loop"};
    // Stored as given: the exclusive end is where the marker between frames stands.
    markers_[loop.endLoop] = AiffMarker{static_cast<std::uint32_t>(end), "Loop"};
    instrument_.sustainLoop = loop;
    return true;
}

bool CAiffFile::SetBaseNote(std::int32_t note) {
    if (IsOpen()) return false;
    instrument_.baseNote = static_cast<std::uint8_t>(note);
    return true;
}
