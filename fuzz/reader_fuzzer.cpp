// The wave file readers on arbitrary bytes: format detection, both chunk walks, every getter,
// the sample conversions and ReadSamples16, Clone, a second open of a used object, and a copy
// written back through the writer and read again.
//
// Only the library's own failures may leave OpenWaveFile (CWaveFileException and its
// subclasses, strm::failure); an input that opens must keep every promise of the interface.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/OpenWaveFile.h"
#include "wavefile/strm.h"

namespace {

// Samples asked for at most: several of ReadSamples16's 4096-sample steps, and no more memory
// than a fuzz input deserves.
constexpr std::uint32_t kMaxSamples = 1 << 16;
// Raw bytes converted directly at most.
constexpr std::uint32_t kMaxRawBytes = 1 << 14;
constexpr std::int16_t kUntouched = 0x5A5A;

bool same_double(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// What the header says: the values that Clone, a reopen and a written copy must reproduce.
struct header {
    const char* format = "";
    double rate = 0;
    std::int32_t bits = 0, channels = 0, base_note = 0;
    bool loop = false;
    std::int32_t loop_start = 0, loop_end = 0;

    explicit header(const CWaveFile& w)
        : format(w.GetFormatName()),
          rate(w.GetSampleRate()),
          bits(w.GetBitsPerSample()),
          channels(w.GetChannels()),
          base_note(w.GetBaseNote()),
          loop(w.HasLoop()),
          loop_start(w.GetLoopStart()),
          loop_end(w.GetLoopEnd()) {}

    bool operator==(const header& o) const {
        return std::strcmp(format, o.format) == 0 && same_double(rate, o.rate) && bits == o.bits &&
               channels == o.channels && base_note == o.base_note && loop == o.loop &&
               loop_start == o.loop_start && loop_end == o.loop_end;
    }
};

// The mask that the writers apply to a 16-bit value's lowest byte taken (r = bits mod 8, 8 when
// that is 0: the top r bits survive), so the 16-bit value that a written sample reads back as.
std::int16_t written16(std::int16_t v, std::int32_t bits, std::int32_t width) {
    const std::int32_t r = bits % 8 == 0 ? 8 : bits % 8;
    const auto m = static_cast<std::uint16_t>((0xFF00u >> r) & 0xFFu);  // r top bits of a byte
    const auto mask =
        width == 1 ? static_cast<std::uint16_t>(m << 8) : static_cast<std::uint16_t>(0xFF00u | m);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v) & mask);
}

// The three raw conversions on the same bytes agree: 16 bits are the top of 32, 8 the top of 16.
// Any width, supported or not; the outputs are sized exactly, so a conversion that writes one
// value too many is an AddressSanitizer report.
void check_raw_conversions(const CWaveFile& w, const std::uint8_t* raw, std::uint32_t bytes) {
    const std::int32_t width = w.SamplesToBytes(1);
    const std::uint32_t n = width >= 1 ? bytes / static_cast<std::uint32_t>(width) : 0;
    std::vector<std::int32_t> s32(n);
    std::vector<std::int16_t> s16(n);
    std::vector<std::int8_t> s8(n);
    FUZZ_CHECK(w.RawToSamples32(raw, s32.data(), bytes) == static_cast<std::int32_t>(n));
    FUZZ_CHECK(w.RawToSamples16(raw, s16.data(), bytes) == static_cast<std::int32_t>(n));
    FUZZ_CHECK(w.RawToSamples8(raw, s8.data(), bytes) == static_cast<std::int32_t>(n));
    // Integer samples: exactly the top bits. Floating-point samples (4 or 8 bytes) are rounded
    // at each width from the value itself, so the narrower one may lie one above the top bits
    // of the wider one.
    const int slack = width == 4 || width == 8 ? 1 : 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const int d16 = s16[i] - (s32[i] >> 16);
        const int d8 = s8[i] - (s16[i] >> 8);
        FUZZ_CHECK(d16 >= 0 && d16 <= slack);
        FUZZ_CHECK(d8 >= 0 && d8 <= slack);
    }
}

// Reads up to `ask` samples in two calls (a few, then the rest) into an array of exactly `ask`
// entries; entries not stored must stay as they were.
std::vector<std::int16_t> read_in_two(CWaveFile& w, std::uint32_t ask, std::uint32_t first) {
    std::vector<std::int16_t> out(ask, kUntouched);
    const std::uint32_t a = w.ReadSamples16(out.data(), first);
    FUZZ_CHECK(a <= first);
    const std::uint32_t b = a == first ? w.ReadSamples16(out.data() + a, ask - a) : 0;
    FUZZ_CHECK(b <= ask - a);
    for (std::uint32_t i = a + b; i < ask; ++i) FUZZ_CHECK(out[i] == kUntouched);
    out.resize(a + b);
    return out;
}

void check_samples(CWaveFile& w, std::uint64_t file_size) {
    const std::int32_t width = w.SamplesToBytes(1);
    const std::int32_t data_size = w.GetDataSize();
    const std::uint32_t ask =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(file_size + 7, kMaxSamples));

    if (!w.IsSupported()) {
        std::vector<std::int16_t> out(ask, kUntouched);
        FUZZ_CHECK(w.ReadSamples16(out.data(), ask) == 0);
        for (std::int16_t v : out) FUZZ_CHECK(v == kUntouched);
        return;
    }
    FUZZ_CHECK(width >= 1 && width <= 8);  // up to 64-bit floating point

    // One read from the first sample: never more than asked, than the data chunk claims, or than
    // the file holds.
    std::vector<std::int16_t> all(ask, kUntouched);
    const std::uint32_t got = w.ReadSamples16(all.data(), ask);
    FUZZ_CHECK(got <= ask);
    FUZZ_CHECK(std::uint64_t{got} * static_cast<std::uint32_t>(width) <=
               static_cast<std::uint64_t>(data_size > 0 ? data_size : 0));
    FUZZ_CHECK(std::uint64_t{got} * static_cast<std::uint32_t>(width) <= file_size);
    for (std::uint32_t i = got; i < ask; ++i) FUZZ_CHECK(all[i] == kUntouched);
    all.resize(got);

    if (w.SeekData(0) != 0) return;  // no data located: nothing more to read
    // The same samples again, in two reads that split anywhere.
    const std::uint32_t first = 1 + static_cast<std::uint32_t>(file_size % 4099);
    FUZZ_CHECK(read_in_two(w, ask, std::min(first, ask)) == all);

    // ReadSamples16 is RawToSamples16 over ReadRaw.
    FUZZ_CHECK(w.SeekData(0) == 0);
    const std::uint32_t want =
        std::min<std::uint32_t>(kMaxRawBytes, ask * static_cast<std::uint32_t>(width));
    std::vector<std::uint8_t> raw(want);
    const std::int32_t delivered = w.ReadRaw(raw.data(), static_cast<std::int32_t>(want));
    FUZZ_CHECK(delivered >= 0 && static_cast<std::uint32_t>(delivered) <= want);
    FUZZ_CHECK(delivered <= (data_size > 0 ? data_size : 0));
    const auto raw_bytes = static_cast<std::uint32_t>(delivered);
    check_raw_conversions(w, raw.data(), raw_bytes);
    const std::uint32_t n = raw_bytes / static_cast<std::uint32_t>(width);
    std::vector<std::int16_t> s16(n);
    w.RawToSamples16(raw.data(), s16.data(), raw_bytes);
    FUZZ_CHECK(n <= got);
    FUZZ_CHECK(std::equal(s16.begin(), s16.end(), all.begin()));

    // Written back through the writer, the header and the samples read the same, the samples
    // reduced to what the file's resolution keeps.
    std::unique_ptr<CWaveFile> copy = w.Clone();
    static const fuzz::scratch_file copy_file("reader-copy");
    copy->Open(copy_file.path(), CWaveFile::MODE_WRITE);
    std::vector<std::uint8_t> out(std::size_t{got} * static_cast<std::uint32_t>(width));
    FUZZ_CHECK(copy->SamplesToRaw16(all.data(), out.data(), got) == out.size());
    FUZZ_CHECK(copy->WriteRaw(out.data(), static_cast<std::int32_t>(out.size())));
    copy->Close();
    FUZZ_CHECK(copy->Open(copy_file.path(), CWaveFile::MODE_READ) == 0);
    FUZZ_CHECK(header(*copy) == header(w));
    FUZZ_CHECK(copy->GetDataSize() == static_cast<std::int32_t>(out.size()));
    // The writers store integer samples only: 64-bit floating-point samples come back as 64-bit
    // integers, which no reader delivers.
    if (!copy->IsSupported()) {
        FUZZ_CHECK(w.GetBitsPerSample() == 64);
        return;
    }
    std::vector<std::int16_t> back(std::size_t{got} + 1, kUntouched);
    FUZZ_CHECK(copy->ReadSamples16(back.data(), got + 1) == got);
    for (std::uint32_t i = 0; i < got; ++i) {
        FUZZ_CHECK(back[i] == written16(all[i], w.GetBitsPerSample(), width));
    }
}

void check_getters(const CWaveFile& w, const std::uint8_t* data) {
    // Detection looked at bytes 8 to 11 only ("AIFC" is read as AIFF).
    const char* format = w.GetFormatName();
    const bool wav = std::memcmp(data + 8, "WAVE", 4) == 0;
    FUZZ_CHECK(std::strcmp(format, wav ? "WAVE" : "AIFF") == 0);
    FUZZ_CHECK(w.IsSupported() == w.IsSupportedFormat());
    FUZZ_CHECK(w.GetDataSize() >= 0);
    FUZZ_CHECK(!std::isnan(w.GetSampleRate()));
    if (!w.HasLoop()) FUZZ_CHECK(w.GetLoopStart() == -1 && w.GetLoopEnd() == -1);
    const std::int32_t width = w.SamplesToBytes(1);
    FUZZ_CHECK(width == (w.GetBitsPerSample() + 7) / 8 || (width == 0 && w.GetBitsPerSample() < 1));
    FUZZ_CHECK(w.SamplesToBytes(3) == 3 * width);
    if (std::strcmp(format, "WAVE") == 0) {
        // WAV counts its frames from the data size; the rate is a 32-bit integer.
        FUZZ_CHECK(w.GetSampleFrames() >= 0);
        if (w.GetChannels() > 0 && width > 0) {
            FUZZ_CHECK(w.GetSampleFrames() == w.GetDataSize() / w.GetChannels() / width);
        }
        const double rate = w.GetSampleRate();
        FUZZ_CHECK(rate >= 0 && rate <= 4294967295.0 && rate == std::floor(rate));
    } else {
        FUZZ_CHECK(w.GetBaseNote() >= 0 && w.GetBaseNote() <= 255);
    }
}

void check_clone(const CWaveFile& w) {
    const std::unique_ptr<CWaveFile> c = w.Clone();
    FUZZ_CHECK(c != nullptr && !c->IsOpen());
    FUZZ_CHECK(header(*c) == header(w));
    FUZZ_CHECK(c->GetDataSize() == 0);  // both data positions -1
    std::int16_t sample = kUntouched;
    std::uint8_t byte = 0;
    FUZZ_CHECK(c->ReadSamples16(&sample, 1) == 0 && sample == kUntouched);
    FUZZ_CHECK(c->ReadRaw(&byte, 1) == 0);
    FUZZ_CHECK(c->SeekData(0) != 0);
    FUZZ_CHECK(c->Open("unused", 2) == 2 && !c->IsOpen());
}

// An object that held another file's settings reads this file exactly as a new one does.
void check_reopen(const CWaveFile& w, const fuzz::scratch_file& file) {
    const std::unique_ptr<CWaveFile> used = w.Clone();
    used->SetLoop(3, 77);
    used->SetBaseNote(w.GetBaseNote() == 1 ? 2 : 1);
    used->SetBitsPerSample(w.GetBitsPerSample() == 8 ? 24 : 8);
    used->SetChannels(w.GetChannels() == 1 ? 2 : 1);
    used->SetSampleRate(12345);
    used->Open(file.path(), CWaveFile::MODE_READ);
    FUZZ_CHECK(used->IsOpen());
    FUZZ_CHECK(header(*used) == header(w));
    FUZZ_CHECK(used->GetDataSize() == w.GetDataSize());
    FUZZ_CHECK(used->GetSampleFrames() == w.GetSampleFrames());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::scratch_file file("reader");
    file.write(data, size);
    std::unique_ptr<CWaveFile> w;
    try {
        w = OpenWaveFile(file.path());
    } catch (const CWaveFileException& e) {
        FUZZ_CHECK(e.filename == file.path());
        return 0;
    } catch (const strm::failure&) {
        FUZZ_CHECK(size < 12);  // only a file too short to hold a form type
        return 0;
    }
    FUZZ_CHECK(w != nullptr && w->IsOpen() && size >= 12);
    check_getters(*w, data);
    check_clone(*w);
    // The conversions alone, at every width the header can declare, on the input's own bytes.
    check_raw_conversions(*w, data, static_cast<std::uint32_t>(std::min<std::size_t>(size, 4096)));
    check_samples(*w, size);
    check_reopen(*w, file);
    return 0;
}
