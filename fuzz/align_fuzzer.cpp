// Loop alignment on short waves with arbitrary samples, loops and rates, for each word size.
//
// Input: byte 0 picks `align` (2, 4 or 8), byte 1 the loop flag (bit 0) and how many stale
// entries lie in the buffer past `length` (bits 1 to 4), then `length` (16 bits, at most 4096,
// so that the resampler stays fast), the loop start (16 bits, reduced below `length`), the rate
// (any double), and the samples (repeated when the input runs short).
//
// After alignment the loop start and the loop length (or, without a loop, the length) are whole
// words; the wave's length, loop start and rate are those the alignment rules give; samples
// that no resampling touched are kept or repeated as the rules say, resampled ones equal the
// scalar sinc_interpolate at their positions; and a second alignment changes nothing.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/tonecast/mono_wave.h"

namespace {

constexpr std::uint32_t kMaxLength = 4096;
constexpr std::int16_t kStale = 0x7777;

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same_prefix(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                 std::size_t n) {
    return a.size() >= n && b.size() >= n &&
           std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

// The resampled outputs against the scalar interpolation they are defined by: all of a short
// wave, an even spread of a longer one, always the first and the last.
void check_resampled(const CMonoWave& wave, const std::vector<std::int16_t>& old,
                     std::uint32_t old_length, std::uint32_t old_loopstart,
                     std::uint64_t newlength) {
    CMonoWave before;
    before.length = old_length;
    before.loopstart = old_loopstart;
    before.loop = true;
    const double step = 1.0 / (static_cast<double>(newlength) / static_cast<double>(old_length));
    const std::uint64_t stride = newlength <= 256 ? 1 : newlength / 128;
    for (std::uint64_t i = 0; i < newlength; i += stride) {
        const double x = static_cast<double>(i) * step;
        FUZZ_CHECK(wave.samples[i] == sinc_interpolate(old.data(), x, before));
    }
    const double x = static_cast<double>(newlength - 1) * step;
    FUZZ_CHECK(wave.samples[newlength - 1] == sinc_interpolate(old.data(), x, before));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::byte_reader in(data, size);
    static const std::uint32_t kAligns[] = {2, 4, 8};
    const std::uint32_t align = kAligns[in.u8() % 3];
    const std::uint8_t flags = in.u8();
    CMonoWave wave;
    wave.loop = (flags & 1) != 0;
    wave.length = in.u16() % (kMaxLength + 1);
    const std::uint16_t start = in.u16();
    wave.rate = in.f64();
    if (wave.loop) {
        if (wave.length == 0) wave.length = 1;  // a loop holds at least one sample
        wave.loopstart = start % wave.length;
    }
    const std::size_t stale = (flags >> 1) & 15;
    wave.samples.resize(wave.length + stale, kStale);
    const std::uint8_t* bytes = in.rest();
    const std::size_t left = in.left() / 2;
    for (std::uint32_t i = 0; i < wave.length && left > 0; ++i) {
        const std::size_t k = (i % left) * 2;
        wave.samples[i] =
            static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[k] | bytes[k + 1] << 8));
    }

    const std::vector<std::int16_t> old(wave.samples.begin(),
                                        wave.samples.begin() + std::ptrdiff_t{wave.length});
    const std::uint32_t L = wave.length, S = wave.loopstart;
    const double rate = wave.rate;
    align_wave(wave, align);

    FUZZ_CHECK(wave.samples.size() >= wave.length);
    FUZZ_CHECK(wave.loop == ((flags & 1) != 0));
    if (!wave.loop) {
        // Padded with silence to whole words; stale entries past the old length are no part
        // of the wave and must not show through.
        FUZZ_CHECK(wave.loopstart == 0);
        FUZZ_CHECK(wave.length == (L + align - 1) / align * align);
        FUZZ_CHECK(same_prefix(wave.samples, old, L));
        for (std::uint32_t i = L; i < wave.length; ++i) FUZZ_CHECK(wave.samples[i] == 0);
        FUZZ_CHECK(same_double(wave.rate, rate));
    } else {
        const std::uint32_t looplen = wave.length - wave.loopstart;
        FUZZ_CHECK(wave.loopstart < wave.length);
        FUZZ_CHECK(wave.loopstart % align == 0 && looplen % align == 0);

        const std::uint64_t old_looplen = L - S;
        const std::uint64_t new_looplen = (old_looplen + align - 1) / align * align;
        // floor(L * new_looplen / old_looplen), exactly: both factors are below 2^13.
        const std::uint64_t newlength = std::uint64_t{L} * new_looplen / old_looplen;
        const std::uint64_t newloopstart = newlength - new_looplen;
        const std::uint64_t pad = (align - newloopstart % align) % align;
        FUZZ_CHECK(wave.length == newlength + pad);
        FUZZ_CHECK(wave.loopstart == newloopstart + pad);
        if (new_looplen == old_looplen) {
            FUZZ_CHECK(same_double(wave.rate, rate));
            FUZZ_CHECK(same_prefix(wave.samples, old, L));
        } else {
            const double factor =
                static_cast<double>(new_looplen) / static_cast<double>(old_looplen);
            const double expected = factor * rate;
            FUZZ_CHECK(same_double(wave.rate, expected) ||
                       (std::isnan(wave.rate) && std::isnan(expected)));
            check_resampled(wave, old, L, S, newlength);
        }
        // The loop's first samples repeated after its old end.
        for (std::uint64_t j = 0; j < pad; ++j) {
            FUZZ_CHECK(wave.samples[newlength + j] == wave.samples[newloopstart + j]);
        }
    }

    // Aligned once, aligned for good.
    const std::vector<std::int16_t> aligned(wave.samples.begin(),
                                            wave.samples.begin() + std::ptrdiff_t{wave.length});
    const std::uint32_t length = wave.length, loopstart = wave.loopstart;
    const double aligned_rate = wave.rate;
    align_wave(wave, align);
    FUZZ_CHECK(wave.length == length && wave.loopstart == loopstart);
    FUZZ_CHECK(same_double(wave.rate, aligned_rate));
    FUZZ_CHECK(same_prefix(wave.samples, aligned, length));
    return 0;
}
