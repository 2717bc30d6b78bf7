#include "wavefile/sample_layout.h"

#include <cstddef>
#include <cstring>
#include <limits>

#include "wavefile/round16.h"

namespace wavefile {

namespace {

// Floating-point samples are decoded by copying their bits into a float or a double.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "float samples are IEEE 754 binary32 and binary64");

// The sample's top min(width, 4) bytes as a left-justified 32-bit pattern. Byte k counts from
// the most significant one; W is the width when it is 1 to 4 and 0 for wider samples, whose
// width comes at run time. The templates let the common layouts compile to straight loops.
template <int W, bool Big>
inline std::uint32_t top_bytes(const std::uint8_t* p, std::size_t width) {
    const std::size_t w = W > 0 ? static_cast<std::size_t>(W) : width;
    // The most significant byte is the first (big-endian) or the last (little-endian).
    const std::uint8_t* const top = Big ? p : p + (w - 1);
    constexpr std::ptrdiff_t step = Big ? 1 : -1;
    std::uint32_t u = std::uint32_t{top[0]} << 24;
    if (W == 0 || W >= 2) u |= std::uint32_t{top[step]} << 16;
    if (W == 0 || W >= 3) u |= std::uint32_t{top[2 * step]} << 8;
    if (W == 0 || W >= 4) u |= std::uint32_t{top[3 * step]};
    return u;
}

template <int W, bool Big, typename Out, typename Narrow>
void decode_loop(const std::uint8_t* p, Out* out, std::uint32_t n, std::size_t width,
                 std::uint32_t flip, Narrow narrow) {
    for (std::uint32_t i = 0; i < n; ++i, p += width) {
        out[i] = narrow(top_bytes<W, Big>(p, width) ^ flip);
    }
}

// True on a little-endian machine; compilers fold it to a constant.
inline bool host_little_endian() {
    const std::uint16_t one = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Two-byte samples, the common case, read as 16-bit words and turned to the file's byte order
// when the machine's differs. Whole blocks pass through a local array of fixed size: the
// compiler then knows that the output cannot overlap the bytes it reads and how many there are,
// and turns the loop into vector code even at -O2.
template <bool Swap, typename Out, typename Narrow>
void decode_loop16(const std::uint8_t* p, Out* out, std::uint32_t n, Narrow narrow) {
    auto one = [narrow](std::uint16_t v) {
        if (Swap) v = static_cast<std::uint16_t>(v << 8 | v >> 8);
        return narrow(std::uint32_t{v} << 16);
    };
    constexpr std::uint32_t kBlock = 512;
    std::uint16_t block[kBlock];
    std::uint32_t done = 0;
    for (; n - done >= kBlock; done += kBlock) {
        std::memcpy(block, p + 2 * std::size_t{done}, sizeof block);
        Out* const o = out + done;
        for (std::uint32_t i = 0; i < kBlock; ++i) o[i] = one(block[i]);
    }
    for (; done < n; ++done) {
        std::uint16_t v = 0;
        std::memcpy(&v, p + 2 * std::size_t{done}, 2);
        out[done] = one(v);
    }
}

template <bool Big, typename Out, typename Narrow>
void decode_width(const std::uint8_t* p, Out* out, std::uint32_t n, std::size_t width,
                  std::uint32_t flip, Narrow narrow) {
    switch (width) {
        case 1: decode_loop<1, Big>(p, out, n, width, flip, narrow); break;
        case 2:
            // The file's order is the machine's when both are big or both little.
            if (Big != host_little_endian()) {
                decode_loop16<false>(p, out, n, narrow);
            } else {
                decode_loop16<true>(p, out, n, narrow);
            }
            break;
        case 3: decode_loop<3, Big>(p, out, n, width, flip, narrow); break;
        case 4: decode_loop<4, Big>(p, out, n, width, flip, narrow); break;
        default: decode_loop<0, Big>(p, out, n, width, flip, narrow); break;
    }
}

// The W bytes of one floating-point sample as the bits of a float (W = 4) or a double (W = 8),
// widened to a double, which holds every float exactly.
template <int W, bool Big>
inline double float_sample(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int k = 0; k < W; ++k) bits = bits << 8 | p[Big ? k : W - 1 - k];
    if (W == 4) {
        const auto bits32 = static_cast<std::uint32_t>(bits);
        float f = 0;
        std::memcpy(&f, &bits32, sizeof f);
        return f;
    }
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

template <int W, bool Big, typename Out, typename Round>
void decode_float_loop(const std::uint8_t* p, Out* out, std::uint32_t n, Round round) {
    for (std::uint32_t i = 0; i < n; ++i, p += W) {
        double v = float_sample<W, Big>(p);
        // Full scale is +-1.0; beyond it (infinities included) the sample is at full scale.
        // NaN compares false both ways and passes through to the rounding, which gives 0.
        if (v > 1.0) v = 1.0;
        if (v < -1.0) v = -1.0;
        out[i] = round(v);
    }
}

template <bool Big, typename Out, typename Round>
std::int32_t decode_float(const std::uint8_t* p, Out* out, std::uint32_t n, std::size_t width,
                          Round round) {
    switch (width) {
        case 4: decode_float_loop<4, Big>(p, out, n, round); break;
        case 8: decode_float_loop<8, Big>(p, out, n, round); break;
        default: return 0;  // no such float: nothing converted
    }
    return static_cast<std::int32_t>(n);
}

// A value in [-1, 1] scaled to `full` = 2^(N-1) and rounded as round_to_int16 rounds: halves
// away from zero, clipped to [-full, full - 1]. NaN gives 0, and no conversion of an
// out-of-range double to an integer ever happens.
inline std::int64_t round_scaled(double v, double full) {
    const double scaled = v * full;
    if (scaled >= 0) {
        const double r = scaled + 0.5;
        return static_cast<std::int64_t>(r > full - 1 ? full - 1 : r);
    }
    if (scaled < 0) {
        const double r = -scaled + 0.5;
        return -static_cast<std::int64_t>(r > full ? full : r);
    }
    return 0;
}

template <typename Out, typename Narrow, typename Round>
std::int32_t decode(const SampleLayout& layout, const void* raw, Out* out, std::uint32_t bytes,
                    Narrow narrow, Round round) {
    if (layout.width < 1) return 0;
    const std::size_t width = static_cast<std::size_t>(layout.width);
    std::uint32_t n = bytes / static_cast<std::uint32_t>(layout.width);
    // The count is returned as a signed 32-bit number; never convert more than it can say.
    if (n > 0x7FFFFFFFu) n = 0x7FFFFFFFu;
    if (layout.ieee_float) {
        const auto* p = static_cast<const std::uint8_t*>(raw);
        return layout.big_endian ? decode_float<true>(p, out, n, width, round)
                                 : decode_float<false>(p, out, n, width, round);
    }
    // Offset binary is two's complement with the sign bit inverted.
    const std::uint32_t flip = layout.offset_binary && width == 1 ? 0x80000000u : 0u;
    const auto* p = static_cast<const std::uint8_t*>(raw);
    if (layout.big_endian) {
        decode_width<true>(p, out, n, width, flip, narrow);
    } else {
        decode_width<false>(p, out, n, width, flip, narrow);
    }
    return static_cast<std::int32_t>(n);
}

// `value` is the source left-justified in 32 bits; `source_bytes` how many of its top bytes
// carry it (1, 2 or 4).
std::uint32_t encode(const SampleLayout& layout, std::uint32_t count, void* raw,
                     std::uint32_t source_bytes,
                     std::uint32_t (*value_at)(const void*, std::uint32_t), const void* samples) {
    if (layout.width < 1 || layout.ieee_float) return 0;
    const std::uint32_t width = static_cast<std::uint32_t>(layout.width);
    const std::uint32_t taken = width < source_bytes ? width : source_bytes;
    auto* out = static_cast<std::uint8_t*>(raw);
    for (std::uint32_t i = 0; i < count; ++i, out += width) {
        std::uint32_t u = value_at(samples, i);
        if (layout.offset_binary && width == 1) u ^= 0x80000000u;
        for (std::uint32_t k = 0; k < width; ++k) {
            std::uint8_t b = 0;  // below the value's bytes: zero
            if (k < taken) b = static_cast<std::uint8_t>(u >> (24 - 8 * k));
            if (k + 1 == taken) b = static_cast<std::uint8_t>(b & layout.low_mask);
            out[layout.big_endian ? k : width - 1 - k] = b;
        }
    }
    return count * width;
}

}  // namespace

std::uint8_t resolution_mask(std::int32_t bits) {
    std::int32_t r = bits % 8;
    if (r <= 0) r = 8;
    return static_cast<std::uint8_t>(0xFF00u >> r);
}

std::int32_t raw_to_samples32(const SampleLayout& layout, const void* raw, std::int32_t* samples,
                              std::uint32_t bytes) {
    return decode(
        layout, raw, samples, bytes, [](std::uint32_t u) { return as_int32(u); },
        [](double v) { return static_cast<std::int32_t>(round_scaled(v, 2147483648.0)); });
}

std::int32_t raw_to_samples16(const SampleLayout& layout, const void* raw, std::int16_t* samples,
                              std::uint32_t bytes) {
    return decode(
        layout, raw, samples, bytes,
        [](std::uint32_t u) { return as_int16(static_cast<std::uint16_t>(u >> 16)); },
        [](double v) { return round_to_int16(v * 32768.0); });
}

std::int32_t raw_to_samples8(const SampleLayout& layout, const void* raw, std::int8_t* samples,
                             std::uint32_t bytes) {
    return decode(
        layout, raw, samples, bytes,
        [](std::uint32_t u) { return as_int8(static_cast<std::uint8_t>(u >> 24)); },
        [](double v) { return static_cast<std::int8_t>(round_scaled(v, 128.0)); });
}

std::uint32_t samples_to_raw32(const SampleLayout& layout, const std::int32_t* samples, void* raw,
                               std::uint32_t count) {
    return encode(
        layout, count, raw, 4,
        [](const void* s, std::uint32_t i) {
            return static_cast<std::uint32_t>(static_cast<const std::int32_t*>(s)[i]);
        },
        samples);
}

std::uint32_t samples_to_raw16(const SampleLayout& layout, const std::int16_t* samples, void* raw,
                               std::uint32_t count) {
    return encode(
        layout, count, raw, 2,
        [](const void* s, std::uint32_t i) {
            return std::uint32_t{static_cast<std::uint16_t>(static_cast<const std::int16_t*>(s)[i])}
                   << 16;
        },
        samples);
}

std::uint32_t samples_to_raw8(const SampleLayout& layout, const std::int8_t* samples, void* raw,
                              std::uint32_t count) {
    return encode(
        layout, count, raw, 1,
        [](const void* s, std::uint32_t i) {
            return std::uint32_t{static_cast<std::uint8_t>(static_cast<const std::int8_t*>(s)[i])}
                   << 24;
        },
        samples);
}

std::int32_t samples_to_bytes(std::int32_t width, std::int32_t samples) {
    const std::int64_t bytes = std::int64_t{samples} * width;
    if (bytes > 0x7FFFFFFF) return 0x7FFFFFFF;
    if (bytes < -0x7FFFFFFF - 1) return -0x7FFFFFFF - 1;
    return static_cast<std::int32_t>(bytes);
}

}  // namespace wavefile
