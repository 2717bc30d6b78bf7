// The writing half of CWavFile: a header of "fmt ", "smpl" and an empty "data" chunk, then
// appends that keep the RIFF and data sizes right after every call.

#include <cmath>
#include <cstdio>

#include "wavefile/CWavFile.h"
#include "wavefile/chunk_io.h"

using strm::fourcc;

void CWavFile::WriteHeader() {
    // Recomputed from the settings: whatever a read file declared is not carried into a new one.
    format_.block_align = static_cast<std::uint16_t>(Width() * format_.channels);
    format_.byte_rate = std::uint32_t{format_.block_align} * format_.sample_rate;
    sampler_.loop_count = static_cast<std::uint32_t>(sampler_.loops.size());

    const std::int64_t riff = wavefile::begin_chunk(file_, fourcc("RIFF"), false);
    strm::write_be32(file_, fourcc("WAVE"));

    const std::int64_t fmt = wavefile::begin_chunk(file_, fourcc("fmt "), false);
    strm::write_le16(file_, format_.format_tag);
    strm::write_le16(file_, format_.channels);
    strm::write_le32(file_, format_.sample_rate);
    strm::write_le32(file_, format_.byte_rate);
    strm::write_le16(file_, format_.block_align);
    strm::write_le16(file_, format_.bits_per_sample);
    wavefile::end_chunk(file_, fmt, false);

    const std::int64_t smpl = wavefile::begin_chunk(file_, fourcc("smpl"), false);
    const Sampler& s = sampler_;
    for (std::uint32_t field :
         {s.manufacturer, s.product, s.sample_period, s.unity_note, s.pitch_fraction,
          s.smpte_format, s.smpte_offset, s.loop_count, s.sampler_data_size}) {
        strm::write_le32(file_, field);
    }
    for (const LoopRecord& loop : s.loops) {
        for (std::uint32_t field :
             {loop.cue_point, loop.type, loop.start, loop.end, loop.fraction, loop.play_count}) {
            strm::write_le32(file_, field);
        }
    }
    wavefile::end_chunk(file_, smpl, false);

    const std::int64_t data = wavefile::begin_chunk(file_, fourcc("data"), false);
    if (data < 0 || data > 0x7FFFFFFF) {
        file_.mark_failed();  // a header past 32-bit offsets: no data position to keep
    } else {
        data_start_ = data_end_ = static_cast<std::int32_t>(data);
    }
    wavefile::end_chunk(file_, data, false);
    wavefile::end_chunk(file_, riff, false);
}

bool CWavFile::WriteRaw(const void* buffer, std::int32_t bytes) {
    if (!writing_ || !IsOpen() || file_.failed() || bytes < 0 || data_start_ < 0) return false;
    // Offsets stay 32-bit: data that would end beyond them cannot be described by the header.
    if (std::int64_t{data_end_} + bytes > 0x7FFFFFFF) return false;
    std::uint32_t riff_size = 0;
    if (strm::seek_to(file_, 4) != 0) return false;
    strm::read_le32(file_, riff_size);

    // The samples go first: should they fail, the size fields still describe the file before.
    if (strm::seek_to_end(file_) != 0) return false;
    strm::write_bytes(file_, buffer, static_cast<std::size_t>(bytes));
    // Seeking flushes the stream, so a failed write of the samples shows here at the latest.
    if (strm::seek_to(file_, 4) != 0 || file_.failed()) return false;
    const std::int32_t new_end = data_end_ + bytes;
    strm::write_le32(file_, riff_size + static_cast<std::uint32_t>(bytes));
    strm::seek_to(file_, std::int64_t{data_start_} - 4);
    strm::write_le32(file_, static_cast<std::uint32_t>(new_end - data_start_));
    strm::seek_to_end(file_);
    if (file_.failed()) return false;
    data_end_ = new_end;
    return true;
}

std::uint32_t CWavFile::SamplesToRaw32(const std::int32_t* samples, void* raw,
                                       std::uint32_t count) const {
    return wavefile::samples_to_raw32(Layout(), samples, raw, count);
}

std::uint32_t CWavFile::SamplesToRaw16(const std::int16_t* samples, void* raw,
                                       std::uint32_t count) const {
    return wavefile::samples_to_raw16(Layout(), samples, raw, count);
}

std::uint32_t CWavFile::SamplesToRaw8(const std::int8_t* samples, void* raw,
                                      std::uint32_t count) const {
    return wavefile::samples_to_raw8(Layout(), samples, raw, count);
}

bool CWavFile::SetSampleRate(double rate) {
    if (IsOpen()) return false;
    // The field holds whole hertz in 32 bits; a rate it cannot hold (negative, NaN, 2^32 and
    // above) is refused rather than converted, which would be undefined.
    const double whole = std::trunc(rate);
    if (!(whole >= 0.0 && whole < 4294967296.0)) return false;
    format_.sample_rate = static_cast<std::uint32_t>(whole);
    return true;
}

bool CWavFile::SetBitsPerSample(std::int32_t bits) {
    if (IsOpen()) return false;
    format_.bits_per_sample = static_cast<std::uint16_t>(bits);
    return true;
}

bool CWavFile::SetChannels(std::int32_t channels) {
    if (IsOpen()) return false;
    format_.channels = static_cast<std::uint16_t>(channels);
    return true;
}

// The frame count of a WAV file follows from its data size; there is nothing to set.
bool CWavFile::SetSampleFrames(std::int32_t) { return false; }

bool CWavFile::SetLoop(std::int32_t start, std::int32_t end) {
    if (IsOpen()) return false;
    if (sampler_.loops.empty()) sampler_.loops.emplace_back();
    LoopRecord& loop = sampler_.loops.front();
    loop.start = static_cast<std::uint32_t>(start);
    // Our end is exclusive; the record keeps the loop's last sample.
    loop.end = static_cast<std::uint32_t>(end) - 1u;
    return true;
}

bool CWavFile::SetBaseNote(std::int32_t note) {
    if (IsOpen()) return false;
    sampler_.unity_note = static_cast<std::uint32_t>(note);
    return true;
}
