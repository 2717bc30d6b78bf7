#include "src/tonecast/encoders.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <utility>
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

constexpr std::size_t kCheckpointSamples = kAdpcmCheckpointSamples;

// Pieces shorter than this are seldom worth their guess: on loud noise a coder from a wrong state
// takes some 30,000 samples to meet the true one. A wave too short for two pieces is coded by one
// coder from its start.
constexpr std::size_t kMinPieceSamples = 65536;

bool operator==(const adpcm_state& a, const adpcm_state& b) {
    return a.predictor == b.predictor && a.step_index == b.step_index;
}

// One round of the wave: `count` pieces of `length` samples each (a multiple of 8), one after
// another from `samples` on, coded kAdpcmLanes side by side in the lanes of one group per
// thread. The first piece starts from the true state, the others from a guess (predictor 0,
// step index 0).
struct adpcm_round {
    const std::int16_t* samples = nullptr;  // the round's first sample
    std::size_t length = 0;
    std::size_t count = 0;
    std::size_t checkpoints_per_piece = 0;
    std::vector<unsigned char> bytes;       // piece after piece, length / 2 bytes each
    std::vector<adpcm_state> checkpoints;   // per piece, its coder's state at every checkpoint
    std::vector<adpcm_state> end;           // per piece, the state its own coder ended in
    std::vector<adpcm_state> start;         // per piece, the state its last coding began from
    std::vector<std::size_t> mended;        // per piece, how many samples mending coded again
    std::vector<adpcm_state> mended_end;    // per piece, its end if `start` was the true one
    std::vector<adpcm_state> pass_starts;   // per piece, where a pass of mending starts it
    std::vector<std::uint32_t> pass_lanes;  // per group, the pieces a pass mends

    adpcm_state& checkpoint(std::size_t piece, std::size_t c) {
        return checkpoints[piece * checkpoints_per_piece + c];
    }
    // Codes the runs of pieces first ... first + kAdpcmLanes - 1 (those that exist) whose bit
    // is set in `lanes`, from checkpoint `c` on, for the samples up to the next one.
    void code_chunk(std::size_t first, std::size_t c, std::uint32_t lanes, adpcm_state* states) {
        const std::size_t at = c * kCheckpointSamples;
        adpcm_encode_lanes(samples + first * length + at, length,
                           std::min(kCheckpointSamples, length - at), lanes, states,
                           bytes.data() + first * (length / 2) + at / 2, length / 2);
    }
    // The lane bits of the pieces that exist in the group starting at piece `first`.
    std::uint32_t lanes_from(std::size_t first) const {
        const std::size_t n = std::min(kAdpcmLanes, count - first);
        return (std::uint32_t{1} << n) - 1;
    }
};

// Codes the group of pieces from `first` on, each from its own start (the true state for the
// round's first piece, the guess for the others), keeping every checkpoint and end. Allocates
// nothing: it runs on a thread of its own, and the buffers were sized beforehand.
void code_group(adpcm_round& round, std::size_t first, adpcm_state true_start) {
    adpcm_state states[kAdpcmLanes] = {};
    if (first == 0) states[0] = true_start;
    const std::uint32_t lanes = round.lanes_from(first);
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        if (lanes >> k & 1) round.start[first + k] = states[k];
    }
    for (std::size_t c = 0; c < round.checkpoints_per_piece; ++c) {
        for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
            if (lanes >> k & 1) round.checkpoint(first + k, c) = states[k];
        }
        round.code_chunk(first, c, lanes, states);
    }
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        if (!(lanes >> k & 1)) continue;
        round.end[first + k] = states[k];
        round.mended[first + k] = 0;
        round.mended_end[first + k] = states[k];
    }
}

// The pieces whose last coding began from another state than the end the piece before now
// has, one bit each (bit k for piece first + k) in the group from `first` on. Once there are
// none, every piece began from the true state: the round's first did, and so, piece by piece,
// did each after it.
std::uint32_t unsettled(const adpcm_round& round, std::size_t first) {
    std::uint32_t lanes = 0;
    for (std::size_t k = 0; k < kAdpcmLanes && first + k < round.count; ++k) {
        const std::size_t p = first + k;
        if (p > 0 && !(round.start[p] == round.mended_end[p - 1])) lanes |= std::uint32_t{1} << k;
    }
    return lanes;
}

// Mends the pieces of the group from `first` on whose bit is set in `lanes`, from the states in
// `starts` (the ends their pieces before had when the pass began): each is coded again up to the
// first checkpoint where its own coder held the same state, from where on both make the same
// codes, and at least over what an earlier mending coded (from a state now known to be wrong).
void mend_group(adpcm_round& round, std::size_t first, std::uint32_t lanes,
                const adpcm_state* starts) {
    adpcm_state states[kAdpcmLanes] = {};
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        if (!(lanes >> k & 1)) continue;
        states[k] = starts[k];
        round.start[first + k] = starts[k];
    }
    for (std::size_t c = 0; c < round.checkpoints_per_piece && lanes != 0; ++c) {
        const std::size_t at = c * kCheckpointSamples;
        for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
            const std::size_t p = first + k;
            if ((lanes >> k & 1) && at >= round.mended[p] && states[k] == round.checkpoint(p, c)) {
                round.mended[p] = at;
                round.mended_end[p] = round.end[p];
                lanes &= ~(std::uint32_t{1} << k);
            }
        }
        round.code_chunk(first, c, lanes, states);
    }
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        if (!(lanes >> k & 1)) continue;  // met its own coder
        round.mended[first + k] = round.length;
        round.mended_end[first + k] = states[k];
    }
}

// Runs `work(first)` for every group of the round, one thread each; the calling thread takes
// the first group, and any group whose thread cannot start.
template <typename Work>
void on_threads(const adpcm_round& round, Work work) {
    std::vector<std::thread> pool;
    pool.reserve(round.count / kAdpcmLanes);  // no reallocation while threads run
    for (std::size_t first = kAdpcmLanes; first < round.count; first += kAdpcmLanes) {
        try {
            pool.emplace_back(work, first);
        } catch (const std::exception&) {
            // No thread to be had (system_error), or no memory for its start (bad_alloc):
            // leaving now would destroy the threads still running, which ends the program.
            work(first);
        }
    }
    work(std::size_t{0});
    for (std::thread& worker : pool) worker.join();
}

// Parallel passes of mending before the rest is settled in order: the first pass mends every
// piece; the second, those after a piece that met its own coder nowhere (its end was another
// than the one the first pass began from), which on loud noise can be a third of them. A pass
// takes as long as its longest mending, so a few pieces are mended sooner one after another,
// as are the rarer ones still waiting on the piece before after two passes.
constexpr int kParallelPasses = 2;
constexpr std::size_t kPiecesWorthAPass = kAdpcmLanes / 2;

// Settles the round's pieces: in the end each was coded from the true state, the bytes are
// those of one coder through the round, and the true state after it is returned.
adpcm_state settle_round(adpcm_round& round) {
    for (int pass = 0; pass < kParallelPasses; ++pass) {
        // Every piece starts from the end its piece before has when the pass begins; read
        // beforehand, as the pass changes the ends it mends.
        std::size_t pieces = 0;
        for (std::size_t first = 0; first < round.count; first += kAdpcmLanes) {
            const std::uint32_t lanes = unsettled(round, first);
            round.pass_lanes[first / kAdpcmLanes] = lanes;
            for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
                if (!(lanes >> k & 1)) continue;
                round.pass_starts[first + k] = round.mended_end[first + k - 1];
                ++pieces;
            }
        }
        if (pieces < (pass == 0 ? 1 : kPiecesWorthAPass)) break;
        on_threads(round, [&round](std::size_t first) {
            const std::uint32_t lanes = round.pass_lanes[first / kAdpcmLanes];
            if (lanes != 0) mend_group(round, first, lanes, round.pass_starts.data() + first);
        });
    }
    // The rest one piece after another, on the calling thread (one run alone goes without
    // vectors, at one coder's speed).
    adpcm_state truth = round.mended_end[0];
    for (std::size_t p = 1; p < round.count; ++p) {
        if (!(round.start[p] == truth)) {
            const std::size_t first = p / kAdpcmLanes * kAdpcmLanes;
            adpcm_state starts[kAdpcmLanes];
            starts[p - first] = truth;
            mend_group(round, first, std::uint32_t{1} << (p - first), starts);
        }
        truth = round.mended_end[p];
    }
    return truth;
}

// Sizes the round's records of each piece for its count (its bytes and checkpoints apart).
void size_per_piece(adpcm_round& round) {
    for (auto* v : {&round.end, &round.start, &round.mended_end, &round.pass_starts}) {
        v->resize(round.count);
    }
    round.mended.assign(round.count, 0);
    round.pass_lanes.resize((round.count + kAdpcmLanes - 1) / kAdpcmLanes);
}

// True when the resampling's pieces fit the wave and begin from its true start state.
[[maybe_unused]] bool holds_start_of(const adpcm_pieces& coded, const CMonoWave& wave,
                                     const adpcm_state& truth) {
    const std::size_t checkpoints = coded.length / kCheckpointSamples;
    return coded.length % kCheckpointSamples == 0 &&
           std::uint64_t{coded.count} * coded.length <= wave.length &&
           coded.bytes.size() == std::size_t{coded.count} * (coded.length / 2) &&
           coded.checkpoints.size() == coded.count * checkpoints &&
           coded.start.size() == coded.count && coded.end.size() == coded.count &&
           coded.start[0] == truth;
}

// The round that the resampling's pieces are, as code_group would have left it; their records
// move into it.
adpcm_round round_of(adpcm_pieces& coded, const std::int16_t* samples) {
    adpcm_round round;
    round.samples = samples;
    round.length = coded.length;
    round.count = coded.count;
    round.checkpoints_per_piece = coded.length / kCheckpointSamples;
    round.bytes = std::move(coded.bytes);
    round.checkpoints = std::move(coded.checkpoints);
    size_per_piece(round);
    round.start = std::move(coded.start);
    round.end = std::move(coded.end);
    round.mended_end = round.end;
    coded.count = 0;
    return round;
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

void write_adpcm_coded(const CMonoWave& wave, strm::file& stream, adpcm_pieces& coded) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    write_adpcm_with(wave, stream, cores, kAdpcmPieceSamples, &coded);
}

void write_adpcm_with(const CMonoWave& wave, strm::file& stream, unsigned threads,
                      std::uint32_t piece_samples, adpcm_pieces* coded) {
    assert(wave.loopstart % 8 == 0);
    assert((wave.length - wave.loopstart) % 8 == 0);
    assert(wave.samples.size() >= wave.length);
    assert(piece_samples >= 8 && piece_samples % 8 == 0 && piece_samples <= (1u << 24));
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
    // The wave goes in rounds of equal pieces, kAdpcmLanes to a thread, each coded from a guess
    // but the round's first; then every piece is mended, in parallel, from the state the piece
    // before it ended in, and last the pieces are checked in order (coders that once agree on the
    // state agree on every code after it). The bytes are those of one coder running through the
    // wave; a rest too short for two pieces is coded by that one coder. Pieces the resampling
    // coded make the first round, mended the same way.
    const std::int16_t* samples = wave.samples.data();
    const std::size_t length = wave.length;
    std::size_t done = 0;
    if (coded != nullptr && coded->count > 0) {
        assert(holds_start_of(*coded, wave, state));
        adpcm_round round = round_of(*coded, samples);
        state = settle_round(round);
        strm::write_bytes(stream, round.bytes.data(), round.bytes.size());
        done = round.count * round.length;
    }

    const std::size_t rest = length - done;
    const std::size_t groups = std::max(1u, threads);
    const std::size_t shortest = std::min<std::size_t>(kMinPieceSamples, piece_samples);
    adpcm_round round;
    // Rounds of equal pieces of at most piece_samples each; what they leave, less than a word
    // per piece and round, or a rest too short for two pieces, one coder codes after them.
    round.count = std::min(groups * kAdpcmLanes, rest / shortest);
    std::size_t rounds = 0;
    if (round.count >= 2) {
        rounds = (rest + round.count * piece_samples - 1) / (round.count * piece_samples);
        round.length = rest / rounds / round.count / 8 * 8;
        round.checkpoints_per_piece = (round.length + kCheckpointSamples - 1) / kCheckpointSamples;
        round.bytes.resize(round.count * (round.length / 2));
        round.checkpoints.resize(round.count * round.checkpoints_per_piece);
        size_per_piece(round);
    }
    for (std::size_t r = 0; r < rounds; ++r) {
        round.samples = samples + done;
        const adpcm_state start = state;
        on_threads(round, [&round, start](std::size_t group) { code_group(round, group, start); });
        state = settle_round(round);
        strm::write_bytes(stream, round.bytes.data(), round.bytes.size());
        done += round.count * round.length;
    }
    unsigned char bytes[kCheckpointSamples / 2];
    for (; done < length; done += kCheckpointSamples) {
        const std::size_t n = std::min(kCheckpointSamples, length - done);
        adpcm_encode_packed(samples + done, n, state, bytes);
        strm::write_bytes(stream, bytes, n / 2);
    }
}
