#include "wavefile/CWavFile.h"

#include <cstdio>

#include "wavefile/CWaveFileException.h"
#include "wavefile/chunk_io.h"

using strm::fourcc;

namespace {
// Format tags, and the GUID that WAVE_FORMAT_EXTENSIBLE gives every sub-format with an old
// tag: the tag, then 0000-0010-8000-00AA00389B71 (Data2 and Data3 little-endian, Data4 as
// stored). From Microsoft's mmreg.h and ksmedia.h (KSDATAFORMAT_SUBTYPE_PCM, _IEEE_FLOAT).
constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint16_t kGuidData2 = 0x0000, kGuidData3 = 0x0010;
constexpr std::uint32_t kGuidData4High = 0x800000AA, kGuidData4Low = 0x00389B71;
// cbSize of the extension, and the chunk size that holds it: 16 + 2 + 22.
constexpr std::uint16_t kExtensibleCbSize = 22;
constexpr std::int64_t kExtensibleFmtSize = 40;
}  // namespace

std::unique_ptr<CWaveFile> CWavFile::Clone() const {
    auto copy = std::make_unique<CWavFile>();
    copy->format_ = format_;
    copy->sampler_ = sampler_;
    return copy;
}

std::int32_t CWavFile::Open(const char* path, std::int32_t mode) {
    if (mode == MODE_WRITE) {
        Close();
        data_start_ = data_end_ = -1;
        file_.attach(std::fopen(path, "w+b"));
        if (!file_.is_open()) throw CWaveFileExceptionCannotOpen(path);
        writing_ = true;
        // Integer PCM is the one encoding written: a float or extensible tag carried over from
        // a file read would describe samples that SamplesToRaw does not produce.
        format_.format_tag = kTagPcm;
        format_.sub_format = 0;
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

void CWavFile::ResetForRead() {
    Close();
    // Byte rate and block align are carried, not reset: a header write recomputes them anyway.
    Format defaults;
    defaults.byte_rate = format_.byte_rate;
    defaults.block_align = format_.block_align;
    format_ = defaults;
    sampler_ = Sampler();
    data_start_ = data_end_ = -1;
}

void CWavFile::ReadHeader() {
    std::uint32_t tag = 0, riff_size = 0;
    strm::read_be32(file_, tag);
    if (tag != fourcc("RIFF")) throw strm::failure();
    // The RIFF size is not trusted: the walk runs to the physical end of the file.
    strm::read_le32(file_, riff_size);
    strm::read_be32(file_, tag);
    if (tag != fourcc("WAVE")) throw strm::failure();

    while (strm::more_bytes(file_)) {
        std::uint32_t id = 0, size = 0;
        strm::read_be32(file_, id);
        strm::read_le32(file_, size);
        // RIFF sizes are taken as signed: a negative one ends before its body and is refused.
        const std::int64_t body = wavefile::position_or_fail(file_);
        const std::int64_t end = wavefile::checked_chunk_end(body, wavefile::as_int32(size));
        switch (id) {
            case fourcc("fmt "): ReadFormat(end - body); break;
            case fourcc("smpl"): ReadSampler(end - body); break;
            case fourcc("data"):
                // Both fit: checked_chunk_end bounds the end by the largest 32-bit offset.
                data_start_ = static_cast<std::int32_t>(body);
                data_end_ = static_cast<std::int32_t>(end);
                break;
            default: break;  // skipped, wherever it stands
        }
        wavefile::leave_chunk(file_, end);
    }
}

void CWavFile::ReadFormat(std::int64_t size) {
    strm::read_le16(file_, format_.format_tag);
    strm::read_le16(file_, format_.channels);
    strm::read_le32(file_, format_.sample_rate);
    strm::read_le32(file_, format_.byte_rate);
    strm::read_le16(file_, format_.block_align);
    strm::read_le16(file_, format_.bits_per_sample);
    format_.sub_format = 0;
    // Other extra bytes (cbSize and a codec's fields) are skipped past by the walk.
    if (format_.format_tag != kTagExtensible || size < kExtensibleFmtSize) return;
    std::uint16_t cb_size = 0, valid_bits = 0, data2 = 0, data3 = 0;
    std::uint32_t channel_mask = 0, data1 = 0, data4_high = 0, data4_low = 0;
    strm::read_le16(file_, cb_size);
    if (cb_size < kExtensibleCbSize) return;  // the extension is not there after all
    // Valid bits below the container's change nothing: samples are left-justified. Nor does
    // the speaker mask, for the mono files the converter takes.
    strm::read_le16(file_, valid_bits);
    strm::read_le32(file_, channel_mask);
    strm::read_le32(file_, data1);
    strm::read_le16(file_, data2);
    strm::read_le16(file_, data3);
    strm::read_be32(file_, data4_high);
    strm::read_be32(file_, data4_low);
    if (data2 == kGuidData2 && data3 == kGuidData3 && data4_high == kGuidData4High &&
        data4_low == kGuidData4Low) {
        format_.sub_format = data1;
    }
}

std::uint32_t CWavFile::SampleFormat() const {
    return format_.format_tag == kTagExtensible ? format_.sub_format : format_.format_tag;
}

void CWavFile::ReadSampler(std::int64_t size) {
    Sampler s;
    std::uint32_t* const fields[] = {&s.manufacturer, &s.product,        &s.sample_period,
                                     &s.unity_note,   &s.pitch_fraction, &s.smpte_format,
                                     &s.smpte_offset, &s.loop_count,     &s.sampler_data_size};
    for (std::uint32_t* field : fields) strm::read_le32(file_, *field);
    // Every loop record takes 24 bytes of the chunk: a count that the chunk cannot hold is a bad
    // file before anything is sized by it.
    if (size < 36 || s.loop_count > (size - 36) / 24) throw strm::failure();
    // The chunk's size is a claim too (up to 2 GB in a file of a few bytes): records are added
    // as they are read, so the list never outgrows the bytes the file really holds.
    for (std::uint32_t i = 0; i < s.loop_count; ++i) {
        LoopRecord loop;
        strm::read_le32(file_, loop.cue_point);
        strm::read_le32(file_, loop.type);
        strm::read_le32(file_, loop.start);
        strm::read_le32(file_, loop.end);
        strm::read_le32(file_, loop.fraction);
        strm::read_le32(file_, loop.play_count);
        s.loops.push_back(loop);
    }
    sampler_ = std::move(s);
}

void CWavFile::Close() {
    strm::close(file_);
    writing_ = false;
}

bool CWavFile::IsOpen() const { return file_.is_open(); }

std::int32_t CWavFile::SeekData(std::int32_t offset) {
    return wavefile::seek_data(file_, data_start_, offset);
}

bool CWavFile::IsSupported() const {
    const std::uint16_t bits = format_.bits_per_sample;
    switch (SampleFormat()) {
        case kTagPcm: return bits >= 1 && bits <= 32;
        case kTagFloat: return bits == 32 || bits == 64;
        default: return false;
    }
}

bool CWavFile::IsSupportedFormat() const { return IsSupported(); }

std::int32_t CWavFile::ReadRaw(void* buffer, std::int32_t bytes) {
    return wavefile::read_raw_clipped(file_, data_end_, buffer, bytes);
}

std::int32_t CWavFile::Width() const { return (std::int32_t{format_.bits_per_sample} + 7) / 8; }

wavefile::SampleLayout CWavFile::Layout() const {
    wavefile::SampleLayout layout;
    layout.width = Width();
    layout.big_endian = false;
    layout.offset_binary = layout.width == 1;
    layout.low_mask = wavefile::resolution_mask(format_.bits_per_sample);
    // Only a float format that IsSupported accepts is decoded as floats; any other format keeps
    // the integer reading that unsupported formats always had.
    layout.ieee_float = SampleFormat() == kTagFloat && IsSupported();
    return layout;
}

std::int32_t CWavFile::SamplesToBytes(std::int32_t samples) const {
    return wavefile::samples_to_bytes(Width(), samples);
}

std::int32_t CWavFile::GetDataSize() const { return data_end_ - data_start_; }

std::int32_t CWavFile::RawToSamples32(const void* raw, std::int32_t* samples,
                                      std::uint32_t bytes) const {
    return wavefile::raw_to_samples32(Layout(), raw, samples, bytes);
}

std::int32_t CWavFile::RawToSamples16(const void* raw, std::int16_t* samples,
                                      std::uint32_t bytes) const {
    return wavefile::raw_to_samples16(Layout(), raw, samples, bytes);
}

std::int32_t CWavFile::RawToSamples8(const void* raw, std::int8_t* samples,
                                     std::uint32_t bytes) const {
    return wavefile::raw_to_samples8(Layout(), raw, samples, bytes);
}

const char* CWavFile::GetFormatName() const { return "WAVE"; }

double CWavFile::GetSampleRate() const { return format_.sample_rate; }

std::int32_t CWavFile::GetBitsPerSample() const { return format_.bits_per_sample; }

std::int32_t CWavFile::GetChannels() const { return format_.channels; }

std::int32_t CWavFile::GetSampleFrames() const {
    // Without channels or with zero-width samples there is no frame to count.
    if (format_.channels == 0 || Width() == 0) return 0;
    return GetDataSize() / format_.channels / Width();
}

std::int32_t CWavFile::GetBaseNote() const { return wavefile::as_int32(sampler_.unity_note); }

bool CWavFile::HasLoop() const { return !sampler_.loops.empty(); }

std::int32_t CWavFile::GetLoopStart() const {
    return HasLoop() ? wavefile::as_int32(sampler_.loops.front().start) : -1;
}

std::int32_t CWavFile::GetLoopEnd() const {
    // The sampler chunk stores the loop's last sample; our loop end is one past it.
    return HasLoop() ? wavefile::as_int32(sampler_.loops.front().end + 1u) : -1;
}
