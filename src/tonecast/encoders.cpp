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

// PCM8 bytes go out through one fixed buffer on the stack: no allocation while writing.
constexpr std::size_t kBufferBytes = 4096;

// Samples between the checkpoints of a piece coded from a guessed state: where mending it may
// find its coder agreeing with the true one. Even, so that a checkpoint begins a byte.
constexpr std::size_t kCheckpointSamples = 1024;

// Packs `count` codes into bytes[0 ... (count + 1) / 2 - 1]: two codes a byte, the earlier
// sample in the low four bits.
void pack(const std::uint8_t* codes, std::size_t count, unsigned char* bytes) {
    for (std::size_t i = 0; i < count; i += 2) {
        const std::uint8_t high = i + 1 < count ? codes[i + 1] : 0;
        bytes[i / 2] = static_cast<unsigned char>(codes[i] | high << 4);
    }
}

// Codes `count` samples from `state` into packed bytes.
void code_packed(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                 unsigned char* bytes) {
    std::uint8_t codes[kCheckpointSamples];
    for (std::size_t done = 0; done < count; done += kCheckpointSamples) {
        const std::size_t n = std::min(count - done, kCheckpointSamples);
        adpcm_encode_block(samples + done, n, state, codes);
        pack(codes, n, bytes + done / 2);
    }
}

// A stretch of the wave coded on its own, from the true state when that is known (the first
// piece of a round) and from a guess (predictor 0, step index 0) when it is not.
struct adpcm_piece {
    std::size_t begin = 0;
    std::size_t count = 0;
    adpcm_state start;
    std::vector<unsigned char> bytes;      // packed codes
    std::vector<adpcm_state> checkpoints;  // the state at every kCheckpointSamples-th sample
    adpcm_state end;                       // the state after the piece
};

bool operator==(const adpcm_state& a, const adpcm_state& b) {
    return a.predictor == b.predictor && a.step_index == b.step_index;
}

// Codes piece a, and piece b beside it when there is one (b, the later piece, is no longer than
// a), keeping their checkpoints: the two coders interleave (adpcm_encode_block_pair). Allocates
// nothing: it runs on a thread of its own, and the buffers were sized beforehand.
void code_pieces(const std::int16_t* samples, adpcm_piece& a, adpcm_piece* b) {
    assert(!b || b->count <= a.count);
    adpcm_state state_a = a.start;
    adpcm_state state_b = b ? b->start : adpcm_state{};
    const std::int16_t* samples_a = samples + a.begin;
    const std::int16_t* samples_b = b ? samples + b->begin : samples;
    const std::size_t count_b = b ? b->count : 0;
    std::uint8_t codes_a[kCheckpointSamples];
    std::uint8_t codes_b[kCheckpointSamples];
    for (std::size_t at = 0, j = 0; at < a.count; at += kCheckpointSamples, ++j) {
        const std::size_t n_a = std::min(kCheckpointSamples, a.count - at);
        const std::size_t n_b = at < count_b ? std::min(kCheckpointSamples, count_b - at) : 0;
        a.checkpoints[j] = state_a;
        if (n_b > 0) b->checkpoints[j] = state_b;
        adpcm_encode_block_pair(samples_a + at, samples_b + at, n_b, state_a, state_b, codes_a,
                                codes_b);
        adpcm_encode_block(samples_a + at + n_b, n_a - n_b, state_a, codes_a + n_b);
        pack(codes_a, n_a, a.bytes.data() + at / 2);
        if (n_b > 0) pack(codes_b, n_b, b->bytes.data() + at / 2);
    }
    a.end = state_a;
    if (b) b->end = state_b;
}

// Recodes the piece from the true state at its start, `state`, up to the first checkpoint where
// its own coder held that same state: from there on the two coders made the same codes. Leaves
// in `state` the true state after the piece.
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
    // The wave goes in rounds of two pieces per thread, each thread coding its two side by side.
    // A round's first piece starts from the true state; the others start from a guess and are
    // mended afterwards, in order, from the state the piece before them really ended in (coders
    // that once agree on the state agree on every code after it). The bytes are those of one
    // coder running through the wave.
    const std::int16_t* samples = wave.samples.data();
    const std::size_t length = wave.length;
    const std::size_t piece_length = std::min<std::size_t>(piece_samples, length);
    const std::size_t per_round =
        std::min<std::size_t>(2 * std::size_t{std::max(1u, threads)},
                              piece_length == 0 ? 0 : (length + piece_length - 1) / piece_length);
    std::vector<adpcm_piece> pieces(per_round);
    for (adpcm_piece& piece : pieces) {
        piece.bytes.resize((piece_length + 1) / 2);
        piece.checkpoints.resize((piece_length + kCheckpointSamples - 1) / kCheckpointSamples);
    }
    for (std::size_t round = 0; round < length;) {
        std::size_t used = 0;
        for (; used < per_round && round < length; ++used) {
            adpcm_piece& piece = pieces[used];
            piece.begin = round;
            piece.count = std::min(length - round, piece_length);
            piece.start = used == 0 ? state : adpcm_state{};
            round += piece.count;
        }
        std::vector<std::thread> pool;
        pool.reserve(used / 2);  // no reallocation while threads run
        for (std::size_t p = 2; p < used; p += 2) {
            adpcm_piece* second = p + 1 < used ? &pieces[p + 1] : nullptr;
            try {
                pool.emplace_back(code_pieces, samples, std::ref(pieces[p]), second);
            } catch (const std::system_error&) {
                code_pieces(samples, pieces[p], second);  // no thread to be had
            }
        }
        code_pieces(samples, pieces[0], used > 1 ? &pieces[1] : nullptr);
        for (std::thread& worker : pool) worker.join();
        for (std::size_t p = 0; p < used; ++p) {
            mend(samples, pieces[p], state);
            strm::write_bytes(stream, pieces[p].bytes.data(), (pieces[p].count + 1) / 2);
        }
    }
}
