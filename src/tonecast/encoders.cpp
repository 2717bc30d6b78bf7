#include "src/tonecast/encoders.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

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

// Samples between the checkpoints of a piece coded from a guessed state: where mending it may
// find its coder agreeing with the true one. Even, so that a checkpoint begins a byte.
constexpr std::size_t kCheckpointSamples = 1024;

// Codes `count` samples from `state` into bytes[0 ... (count + 1) / 2 - 1]: two codes a byte,
// the earlier sample in the low four bits.
void code_packed(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                 unsigned char* bytes) {
    std::uint8_t codes[kCheckpointSamples];
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, sizeof codes);
        adpcm_encode_block(samples + done, n, state, codes);
        for (std::size_t i = 0; i < n; i += 2) {
            const std::uint8_t high = i + 1 < n ? codes[i + 1] : 0;
            bytes[(done + i) / 2] = static_cast<unsigned char>(codes[i] | high << 4);
        }
        done += n;
    }
}

// Codes `count` samples from `state` into the stream, a buffer at a time.
void write_coded(strm::file& stream, const std::int16_t* samples, std::size_t count,
                 adpcm_state& state) {
    unsigned char buffer[kBufferBytes];
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, 2 * kBufferBytes);
        code_packed(samples + done, n, state, buffer);
        strm::write_bytes(stream, buffer, (n + 1) / 2);
        done += n;
    }
}

// A stretch of the wave coded on its own, before the state it starts from is known.
struct adpcm_piece {
    std::size_t begin = 0;
    std::size_t count = 0;
    std::vector<unsigned char> bytes;      // as code_packed leaves them
    std::vector<adpcm_state> checkpoints;  // the state at every kCheckpointSamples-th sample
    adpcm_state end;                       // the state after the piece
};

bool operator==(const adpcm_state& a, const adpcm_state& b) {
    return a.predictor == b.predictor && a.step_index == b.step_index;
}

// Codes the piece from a guess (predictor 0, step index 0), keeping the checkpoints. Allocates
// nothing: it runs on a thread of its own, and its buffers were sized beforehand.
void code_guessed(const std::int16_t* samples, adpcm_piece& piece) {
    adpcm_state state;
    for (std::size_t at = 0, j = 0; at < piece.count; at += kCheckpointSamples, ++j) {
        piece.checkpoints[j] = state;
        code_packed(samples + piece.begin + at, std::min(kCheckpointSamples, piece.count - at),
                    state, piece.bytes.data() + at / 2);
    }
    piece.end = state;
}

// Recodes the piece from the true state at its start, `state`, up to the first checkpoint where
// the guessed coder held that same state: from there on the two coders made the same codes.
// Leaves in `state` the true state after the piece.
void mend(const std::int16_t* samples, adpcm_piece& piece, adpcm_state& state) {
    for (std::size_t at = 0, j = 0; at < piece.count; at += kCheckpointSamples, ++j) {
        if (state == piece.checkpoints[j]) {
            state = piece.end;
            return;
        }
        code_packed(samples + piece.begin + at, std::min(kCheckpointSamples, piece.count - at),
                    state, piece.bytes.data() + at / 2);
    }
}

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
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    write_adpcm_with(wave, stream, cores, kAdpcmPieceSamples);
}

void write_adpcm_with(const CMonoWave& wave, strm::file& stream, unsigned threads,
                      std::uint32_t piece_samples) {
    assert(wave.loopstart % 8 == 0);
    assert((wave.length - wave.loopstart) % 8 == 0);
    assert(wave.samples.size() >= wave.length);
    assert(piece_samples > 0 && piece_samples % kCheckpointSamples == 0);
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

    // The state runs through the whole wave: the loop start needs no reset, it begins a word.
    // The wave goes in rounds of `threads` pieces. The calling thread codes the first piece of a
    // round from the true state, straight into the stream; each other piece is coded at the same
    // time on its own thread from a guessed state, and then mended from its start with the state
    // the piece before it really ended in (coders that once agree on the state agree on every
    // code after it). The bytes are those of one coder running through the wave.
    const std::int16_t* samples = wave.samples.data();
    const std::size_t length = wave.length;
    // Pieces (and their buffers) only for as many threads as the wave has work for.
    const std::size_t per_round = std::min<std::size_t>(
        std::max(1u, threads), (length + piece_samples - 1) / piece_samples);
    std::vector<adpcm_piece> pieces(per_round > 1 ? per_round - 1 : 0);
    for (adpcm_piece& piece : pieces) {
        piece.bytes.resize(piece_samples / 2);
        piece.checkpoints.resize(piece_samples / kCheckpointSamples);
    }
    for (std::size_t round = 0; round < length;) {
        const std::size_t first_end = std::min(length, round + piece_samples);
        std::size_t begin = first_end;
        std::vector<std::thread> pool;
        pool.reserve(pieces.size());  // no reallocation while threads run
        std::size_t used = 0;
        for (; used < pieces.size() && begin < length; ++used) {
            adpcm_piece& piece = pieces[used];
            piece.begin = begin;
            piece.count = std::min(length - begin, std::size_t{piece_samples});
            begin += piece.count;
            try {
                pool.emplace_back(code_guessed, samples, std::ref(piece));
            } catch (const std::system_error&) {
                code_guessed(samples, piece);  // no thread to be had
            }
        }
        write_coded(stream, samples + round, first_end - round, state);
        for (std::thread& worker : pool) worker.join();
        for (std::size_t p = 0; p < used; ++p) {
            mend(samples, pieces[p], state);
            strm::write_bytes(stream, pieces[p].bytes.data(), (pieces[p].count + 1) / 2);
        }
        round = begin;
    }
}
