// Sample rates: the AIFF 80-bit rate in both directions on every bit pattern, and the rate and
// timer fields of the wave information record for every rate the conversion can reach (and
// for arbitrary doubles, which must not trap).
//
// Input: 10 bytes of an 80-bit number, 8 bytes of a double, then a rate as a 32-bit integer
// part (at least 1), a 16-bit fraction and a loop stretch: the job's rates lie in [1, 2^32) and
// alignment multiplies them by at most 8 (a 1-sample loop grown to 8 samples).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "wavefile/Extended80.h"
#include "wavefile/strm.h"

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_from_extended(const Extended80& x) {
    const double v = FromExtended(x);
    FUZZ_CHECK(!std::isnan(v));
    FUZZ_CHECK(std::signbit(v) == ((x.exponent & 0x8000) != 0));
    const int e = x.exponent & 0x7FFF;
    if (e == 0x7FFF) FUZZ_CHECK(std::isinf(v));
    if (e == 0 && x.mantissaHigh == 0 && x.mantissaLow == 0) FUZZ_CHECK(v == 0);
    // A normalised number whose mantissa fits a double's 53 bits, within a double's normal
    // range, is a double exactly and comes back bit for bit.
    const bool normal = (x.mantissaHigh & 0x80000000u) != 0 && (x.mantissaLow & 0x7FF) == 0 &&
                        e >= 16383 - 1022 && e <= 16383 + 1023;
    if (normal) {
        const Extended80 back = ToExtended(v);
        FUZZ_CHECK(back.exponent == x.exponent && back.mantissaHigh == x.mantissaHigh &&
                   back.mantissaLow == x.mantissaLow);
    }
}

void check_to_extended(double v) {
    const Extended80 x = ToExtended(v);
    if (std::isnan(v) || std::isinf(v)) {
        const std::uint16_t sign = std::isinf(v) && v < 0 ? 0x8000 : 0;
        FUZZ_CHECK(x.exponent == (sign | 0x7FFF) && x.mantissaHigh == 0 && x.mantissaLow == 0);
        return;
    }
    const double back = FromExtended(x);
    if (v == 0) {
        FUZZ_CHECK(x.exponent == 0 && x.mantissaHigh == 0 && x.mantissaLow == 0);
        FUZZ_CHECK(same_bits(back, 0.0));  // -0.0 loses its sign
        return;
    }
    FUZZ_CHECK(same_bits(back, v));
    // Normalised: the integer bit set, the exponent the double's own, nothing below 64 bits.
    FUZZ_CHECK((x.mantissaHigh & 0x80000000u) != 0);
    FUZZ_CHECK((x.exponent & 0x7FFF) == std::ilogb(v) + 16383);
    FUZZ_CHECK(((x.exponent & 0x8000) != 0) == (v < 0));
}

// Writes a two-sample PCM16 wave with the given rate and returns the record and the samples.
std::vector<std::uint8_t> record_for(double rate) {
    static const fuzz::scratch_file file("rate.bin");
    CMonoWave wave;
    wave.length = 2;
    wave.samples = {0x1234, -2};
    wave.rate = rate;
    {
        strm::file out(std::fopen(file.path(), "wb"));
        FUZZ_CHECK(out.is_open());
        write_pcm16(wave, out);
    }
    const std::vector<std::uint8_t> bytes = file.read();
    FUZZ_CHECK(bytes.size() == 16);
    // The fields that do not depend on the rate.
    const std::uint8_t fixed[] = {1, 0, 0, 0, 1, 0, 0, 0, 0x34, 0x12, 0xFE, 0xFF};
    FUZZ_CHECK(bytes[0] == fixed[0] && bytes[1] == fixed[1]);
    FUZZ_CHECK(std::memcmp(bytes.data() + 6, fixed + 2, 10) == 0);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::byte_reader in(data, size);
    Extended80 x;
    x.exponent = in.u16();
    x.mantissaHigh = in.u32();
    x.mantissaLow = in.u32();
    check_from_extended(x);
    const double v = in.f64();
    check_to_extended(v);

    // Any double reaches the record without trapping.
    record_for(v);

    // Rates of the conversion: integer part and timer computed here by exact integer means.
    const std::uint32_t whole = in.u32();
    const double fraction = in.u16() / 65536.0;
    const std::uint32_t looplen = 1 + in.u8() % 64;
    const std::uint32_t stretched = (looplen + 7) / 8 * 8;
    const double base = (whole == 0 ? 1.0 : static_cast<double>(whole)) + fraction;
    if (base >= 4294967296.0) return 0;
    const double rate = static_cast<double>(stretched) / static_cast<double>(looplen) * base;
    const std::vector<std::uint8_t> record = record_for(rate);
    const auto rate_field = static_cast<std::uint64_t>(rate) & 0xFFFF;
    const auto timer_field = static_cast<std::uint64_t>(16756991.0 / rate) & 0xFFFF;
    FUZZ_CHECK((record[2] | record[3] << 8) == static_cast<int>(rate_field));
    FUZZ_CHECK((record[4] | record[5] << 8) == static_cast<int>(timer_field));
    return 0;
}
