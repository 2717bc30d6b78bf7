#include "src/tonecast/encoders.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "codec/ima_adpcm.h"
#include "src/tonecast/mono_wave.h"

namespace {

// Encoding codes, as the record stores them.
constexpr std::uint8_t kCodePcm8 = 0;
constexpr std::uint8_t kCodePcm16 = 1;
constexpr std::uint8_t kCodeAdpcm = 2;

// The sound system's timer runs at 16756991 Hz; the record holds its ticks per sample.
constexpr double kTimerClock = 16756991.0;

// The low 16 bits of the integer part (truncated toward zero) of v. Exact for every finite
// double: fmod of a whole number by 65536 is computed without rounding, and no double is ever
// converted to an integer type it does not fit. Non-finite values give 0.
std::uint16_t low16_of_integer_part(double v) {
    if (!std::isfinite(v)) return 0;
    const double whole_mod = std::fmod(std::trunc(v), 65536.0);  // in (-65536, 65536)
    const auto k = static_cast<std::int32_t>(whole_mod);
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(k) & 0xffffu);
}

// The 12-byte wave information record. `words_before` counts the 32-bit words of sample data
// that precede the first sample (IMA-ADPCM's header word).
void write_record(strm::file& stream, const CMonoWave& wave, std::uint8_t code, std::uint32_t align,
                  std::uint32_t words_before) {
    const std::uint32_t looplen = wave.length - wave.loopstart;
    const std::uint32_t loop_start_words = wave.loopstart / align + words_before;
    // The job refuses a loop start whose word count does not fit the record's 16-bit field.
    assert(loop_start_words <= 0xffffu);
    strm::write_u8(stream, code);
    strm::write_u8(stream, wave.loop ? 1 : 0);
    strm::write_le16(stream, low16_of_integer_part(wave.rate));
    strm::write_le16(stream, low16_of_integer_part(kTimerClock / wave.rate));
    strm::write_le16(stream, static_cast<std::uint16_t>(loop_start_words));
    strm::write_le32(stream, looplen / align);
}

// s / 256 rounded to the nearest integer, halves away from zero, within -128 ... 127.
std::int8_t to_pcm8(std::int16_t s) {
    if (s >= 0) {
        const int r = (s + 128) >> 8;
        return static_cast<std::int8_t>(r > 127 ? 127 : r);
    }
    return static_cast<std::int8_t>(-((128 - s) >> 8));
}

// Data bytes go out through one fixed buffer on the stack: no allocation while writing.
constexpr std::size_t kBufferBytes = 4096;

}  // namespace

void write_pcm8(const CMonoWave& wave, strm::file& stream) {
    assert(wave.loopstart % 4 == 0);
    assert((wave.length - wave.loopstart) % 4 == 0);
    assert(wave.samples.size() >= wave.length);
    write_record(stream, wave, kCodePcm8, 4, 0);
    unsigned char buffer[kBufferBytes];
    std::size_t filled = 0;
    for (std::uint32_t i = 0; i < wave.length; ++i) {
        buffer[filled++] = static_cast<unsigned char>(to_pcm8(wave.samples[i]));
        if (filled == kBufferBytes) {
            strm::write_bytes(stream, buffer, filled);
            filled = 0;
        }
    }
    if (filled > 0) strm::write_bytes(stream, buffer, filled);
}

void write_pcm16(const CMonoWave& wave, strm::file& stream) {
    assert(wave.loopstart % 2 == 0);
    assert((wave.length - wave.loopstart) % 2 == 0);
    assert(wave.samples.size() >= wave.length);
    write_record(stream, wave, kCodePcm16, 2, 0);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (std::uint32_t i = 0; i < wave.length; ++i) {
        strm::write_le16(stream, static_cast<std::uint16_t>(wave.samples[i]));
    }
#else
    // The buffer already holds little-endian 16-bit values: one write, straight from it.
    strm::write_bytes(stream, wave.samples.data(), std::size_t{wave.length} * sizeof(std::int16_t));
#endif
}

void write_adpcm(const CMonoWave& wave, strm::file& stream) {
    assert(wave.loopstart % 8 == 0);
    assert((wave.length - wave.loopstart) % 8 == 0);
    assert(wave.samples.size() >= wave.length);
    write_record(stream, wave, kCodeAdpcm, 8, 1);

    // The first sample is both the target of the start-index search and the first one coded;
    // an empty wave searches from 0.
    const std::int16_t first = wave.length > 0 ? wave.samples[0] : std::int16_t{0};
    adpcm_state state;
    state.predictor = 0;
    state.step_index = adpcm_find_start_index(0, first);
    strm::write_le16(stream, 0);  // the initial predictor
    strm::write_u8(stream, static_cast<std::uint8_t>(state.step_index));
    strm::write_u8(stream, 0);

    // Two codes per byte, the earlier sample in the low four bits, one buffer of bytes (8192
    // samples) at a time. The state runs through the whole wave: the loop start needs no reset,
    // it begins a word.
    unsigned char buffer[kBufferBytes];
    std::uint8_t codes[2 * kBufferBytes];
    for (std::size_t done = 0; done < wave.length;) {
        const std::size_t n = std::min(std::size_t{wave.length} - done, sizeof codes);
        adpcm_encode_block(wave.samples.data() + done, n, state, codes);
        for (std::size_t i = 0; i < n; i += 2) {
            const std::uint8_t high = i + 1 < n ? codes[i + 1] : 0;
            buffer[i / 2] = static_cast<unsigned char>(codes[i] | high << 4);
        }
        strm::write_bytes(stream, buffer, (n + 1) / 2);
        done += n;
    }
}
