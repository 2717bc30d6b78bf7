#include "src/tonecast/mono_wave.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>

#include "src/tonecast/my_exception.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/strm.h"

namespace {

[[noreturn]] void fail(const char* prefix, const char* name) {
    std::ostringstream message;
    message << prefix << name;
    throw my_exception(message.str());
}

// A loop can be folded into only when it starts at a sample and holds at least one.
void check_loop(std::int64_t start, std::int64_t end, const char* name) {
    if (start < 0 || start >= end) fail("Invalid loop in ", name);
}

// The record and the encoders count samples in 32 bits; alignment may not take a wave past them.
[[noreturn]] void too_long() {
    throw std::length_error("Wave longer than 4294967295 samples after loop alignment");
}

// The buffer grows by at most this many samples before the file has delivered them, so memory
// follows the data present, whatever frame count the header claims.
constexpr std::uint32_t kReadStep = 65536;

// True when the file really holds the bytes of its first `count` samples: their last byte can
// be read. A file that cannot seek is left where it was; one that can is put back at its first
// sample, where the reading starts.
bool holds_samples(CWaveFile& file, std::int64_t count) {
    if (count <= 0) return false;
    const std::int32_t bytes = file.SamplesToBytes(static_cast<std::int32_t>(count));
    if (bytes <= 0 || file.SeekData(bytes - 1) != 0) return false;
    unsigned char last = 0;
    const bool held = file.ReadRaw(&last, 1) == 1;
    if (file.SeekData(0) != 0) throw strm::failure();  // the samples can no longer be read
    return held;
}

}  // namespace

CMonoWave::CMonoWave(CWaveFile& file, const char* name) {
    const std::int64_t declared = file.GetSampleFrames() > 0 ? file.GetSampleFrames() : 0;
    loop = file.HasLoop();
    std::int64_t start = 0;
    std::int64_t end = declared;
    if (loop) {
        // A loop end past the frames is cut back to them; the loop must still hold a sample.
        start = file.GetLoopStart();
        end = file.GetLoopEnd() < declared ? file.GetLoopEnd() : declared;
        check_loop(start, end, name);
    }

    // A buffer sized once spares the copies of one that grows as it reads, but only data that
    // is there earns it: a header may claim two billion samples in a file of a few bytes.
    if (holds_samples(file, end)) samples.reserve(static_cast<std::size_t>(end) + kPadRoom);

    // A looped wave is read up to its loop end only: what follows the loop is never played.
    std::uint32_t got = 0;
    while (got < end) {
        const auto want = static_cast<std::uint32_t>(
            end - got < std::int64_t{kReadStep} ? end - got : std::int64_t{kReadStep});
        samples.resize(std::size_t{got} + want);
        const std::uint32_t n = file.ReadSamples16(samples.data() + got, want);
        got += n < want ? n : want;
        if (n < want) break;  // the file holds fewer samples than it declares
    }
    samples.resize(got);

    if (loop) {
        if (end > got) end = got;
        check_loop(start, end, name);
        loopstart = static_cast<std::uint32_t>(start);
    }
    length = got;

    // The record stores the rate's integer part and 16756991 / rate, which a rate of at least
    // 1 Hz keeps finite. Below 2^32 Hz, the rate stays below 2^35 Hz after alignment stretches
    // it (by 8 at most), an integer part that 64 bits hold.
    rate = file.GetSampleRate();
    if (!(rate >= 1.0 && rate < 4294967296.0)) fail("Invalid sample rate in ", name);
}

void align_wave(CMonoWave& wave, std::uint32_t align, adpcm_pieces* coded) {
    assert(align > 0);
    assert(wave.samples.size() >= wave.length);
    if (!wave.loop) {
        // Without a loop the wave is padded with silence to whole words.
        const std::uint32_t r = wave.length % align;
        if (r == 0) return;
        const std::uint64_t padded = std::uint64_t{wave.length} + (align - r);
        if (padded > UINT32_MAX) too_long();
        wave.samples.resize(wave.length);  // entries past length are no part of the wave
        wave.samples.resize(static_cast<std::size_t>(padded), 0);
        wave.length = static_cast<std::uint32_t>(padded);
        return;
    }

    assert(wave.loopstart < wave.length);
    const std::uint32_t looplen = wave.length - wave.loopstart;
    const std::uint32_t r = looplen % align;
    if (r != 0) {
        // The loop is stretched to the next whole number of words and the whole wave with it;
        // the rate grows by the same factor, so the pitch stays.
        const std::uint64_t newlooplen = std::uint64_t{looplen} + (align - r);
        // length * newlooplen / looplen without a 96-bit product: the length plus the part that
        // the extra align - r samples add (both factors below 2^32, the product below 2^64).
        const std::uint64_t newlength =
            wave.length + std::uint64_t{wave.length} * (align - r) / looplen;
        const std::uint64_t newloopstart = newlength - newlooplen;
        const std::uint64_t pad = (align - newloopstart % align) % align;
        if (newlength + pad > UINT32_MAX) {
            too_long();
        }
        const double factor = static_cast<double>(newlooplen) / static_cast<double>(looplen);
        resample_wave(wave, static_cast<std::uint32_t>(newlength), coded);
        wave.rate = factor * wave.rate;
        wave.length = static_cast<std::uint32_t>(newlength);
        wave.loopstart = static_cast<std::uint32_t>(newloopstart);
    }
    assert(((wave.length - wave.loopstart) % align) == 0);

    const std::uint32_t r2 = wave.loopstart % align;
    if (r2 != 0) {
        // The loop start moves forward to a whole word; the loop's first samples are repeated
        // after its end, so the loop plays the same signal, rotated.
        const std::uint32_t pad = align - r2;
        if (std::uint64_t{wave.length} + pad > UINT32_MAX) {
            too_long();
        }
        wave.samples.resize(std::size_t{wave.length} + pad);
        for (std::uint32_t j = 0; j < pad; ++j) {
            wave.samples[std::size_t{wave.length} + j] = wave.samples[wave.loopstart + j];
        }
        wave.loopstart += pad;
        wave.length += pad;
    }
}
