#include "codec/ima_adpcm.h"

#include <cassert>
#include <cstdlib>

#include "codec/ima_adpcm_step.h"
#include "codec/ima_adpcm_tables.h"

namespace {

using ima_adpcm::encode_row;
using ima_adpcm::encode_rows;
using ima_adpcm::encode_step;
using ima_adpcm::kEncodeRows;
using ima_adpcm::kIndexTable;
using ima_adpcm::kMaxStepIndex;
using ima_adpcm::kPredictorMax;
using ima_adpcm::kPredictorMin;
using ima_adpcm::kStepTable;

[[maybe_unused]] bool valid(const adpcm_state& state) {
    return state.step_index >= 0 && state.step_index <= kMaxStepIndex;
}

// Applies a code's reconstructed difference and index change; the encoder and the decoder share
// this so that they cannot drift apart.
void advance(adpcm_state& state, std::uint8_t code, std::int32_t diff) {
    std::int32_t predictor = (code & 8) ? state.predictor - diff : state.predictor + diff;
    if (predictor > kPredictorMax) predictor = kPredictorMax;
    if (predictor < kPredictorMin) predictor = kPredictorMin;
    state.predictor = static_cast<std::int16_t>(predictor);

    std::int32_t index = state.step_index + kIndexTable[code];
    if (index < 0) index = 0;
    if (index > kMaxStepIndex) index = kMaxStepIndex;
    state.step_index = index;
}

constexpr encode_rows make_encode_rows() {
    encode_rows rows{};
    for (std::int32_t i = 0; i <= kMaxStepIndex; ++i) {
        encode_row& r = rows.row[i];
        const std::int32_t step = kStepTable[i];
        const std::int32_t half = step >> 1;
        const std::int32_t quarter = step >> 2;
        for (std::int32_t m = 0; m < 8; ++m) {
            const std::int32_t reached =
                ((m & 4) ? step : 0) + ((m & 2) ? half : 0) + ((m & 1) ? quarter : 0);
            r.threshold[m] = reached;
            r.diff[m] = (step >> 3) + reached;
            const std::int32_t next = i + kIndexTable[m];
            r.next_index[m] = next < 0 ? 0 : next > kMaxStepIndex ? kMaxStepIndex : next;
        }
    }
    return rows;
}

}  // namespace

namespace ima_adpcm {
constexpr encode_rows kEncodeRows = make_encode_rows();
}  // namespace ima_adpcm

std::uint8_t adpcm_encode(std::int16_t sample, adpcm_state& state) {
    assert(valid(state));
    std::int32_t step = kStepTable[state.step_index];
    std::int32_t d = sample - state.predictor;  // fits: both are 16-bit
    const std::int32_t negative = d < 0;
    d = negative ? -d : d;
    // A binary search for the magnitude, building the decoder's difference as it goes, so the
    // state afterwards is exactly what a decoder of this code reaches. Each bit selects through
    // a mask (all ones or zero) rather than a branch: the bits of real sound are close to
    // random, and a mispredicted branch costs more than the whole step.
    std::int32_t diff = step >> 3;
    const std::int32_t b4 = d >= step;
    d -= step & -b4;
    diff += step & -b4;
    step >>= 1;
    const std::int32_t b2 = d >= step;
    d -= step & -b2;
    diff += step & -b2;
    step >>= 1;
    const std::int32_t b1 = d >= step;
    diff += step & -b1;
    const auto code = static_cast<std::uint8_t>(negative << 3 | b4 << 2 | b2 << 1 | b1);
    advance(state, code, diff);
    return code;
}

void adpcm_encode_block(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                        std::uint8_t* codes) {
    assert(valid(state));
    std::int32_t predictor = state.predictor;
    std::int32_t index = state.step_index;
    for (std::size_t n = 0; n < count; ++n) codes[n] = encode_step(samples[n], predictor, index);
    state.predictor = static_cast<std::int16_t>(predictor);
    state.step_index = index;
}

namespace {

// adpcm_encode_block on two runs at once: the two coders' steps interleave, so each one's wait
// on its own previous step is filled by the other's work.
void encode_block_pair(const std::int16_t* samples_a, const std::int16_t* samples_b,
                       std::size_t count, adpcm_state& state_a, adpcm_state& state_b,
                       std::uint8_t* codes_a, std::uint8_t* codes_b) {
    assert(valid(state_a) && valid(state_b));
    std::int32_t predictor_a = state_a.predictor;
    std::int32_t index_a = state_a.step_index;
    std::int32_t predictor_b = state_b.predictor;
    std::int32_t index_b = state_b.step_index;
    for (std::size_t n = 0; n < count; ++n) {
        codes_a[n] = encode_step(samples_a[n], predictor_a, index_a);
        codes_b[n] = encode_step(samples_b[n], predictor_b, index_b);
    }
    state_a.predictor = static_cast<std::int16_t>(predictor_a);
    state_a.step_index = index_a;
    state_b.predictor = static_cast<std::int16_t>(predictor_b);
    state_b.step_index = index_b;
}

void pack_codes(const std::uint8_t* codes, std::size_t count, unsigned char* bytes) {
    for (std::size_t i = 0; i < count; i += 2) {
        bytes[i / 2] = static_cast<unsigned char>(codes[i] | codes[i + 1] << 4);
    }
}

// Codes of one run between two packings.
constexpr std::size_t kPackStep = 512;

}  // namespace

void adpcm_encode_packed(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                         unsigned char* bytes) {
    assert(count % 2 == 0);
    std::uint8_t codes[kPackStep];
    for (std::size_t done = 0; done < count; done += kPackStep) {
        const std::size_t n = count - done < kPackStep ? count - done : kPackStep;
        adpcm_encode_block(samples + done, n, state, codes);
        pack_codes(codes, n, bytes + done / 2);
    }
}

void adpcm_encode_lanes_plain(const std::int16_t* samples, std::size_t stride, std::size_t count,
                              std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                              std::size_t byte_stride) {
    assert(count % 8 == 0 && byte_stride % 4 == 0);
    std::uint8_t codes_a[kPackStep];
    std::uint8_t codes_b[kPackStep];
    // The runs two by two, and one alone when their number is odd.
    for (std::size_t k = 0;;) {
        while (k < kAdpcmLanes && !(lanes >> k & 1)) ++k;
        if (k == kAdpcmLanes) break;
        const std::size_t a = k++;
        while (k < kAdpcmLanes && !(lanes >> k & 1)) ++k;
        if (k == kAdpcmLanes) {
            adpcm_encode_packed(samples + a * stride, count, states[a], bytes + a * byte_stride);
            break;
        }
        const std::size_t b = k++;
        for (std::size_t done = 0; done < count; done += kPackStep) {
            const std::size_t n = count - done < kPackStep ? count - done : kPackStep;
            encode_block_pair(samples + a * stride + done, samples + b * stride + done, n,
                              states[a], states[b], codes_a, codes_b);
            pack_codes(codes_a, n, bytes + a * byte_stride + done / 2);
            pack_codes(codes_b, n, bytes + b * byte_stride + done / 2);
        }
    }
}

#if defined(TONECAST_ADPCM_X86)
// ima_adpcm_avx512.cpp, compiled for AVX-512 alone.
void adpcm_encode_lanes_avx512(const std::int16_t* samples, std::size_t stride, std::size_t count,
                               std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                               std::size_t byte_stride);
#endif

namespace {

int popcount(std::uint32_t bits) {
    int n = 0;
    for (; bits != 0; bits &= bits - 1) ++n;
    return n;
}

// At most this many runs are coded without vectors even where the processor has them.
constexpr int kFewRuns = 2;

}  // namespace

bool adpcm_lanes_vectorised() {
#if defined(TONECAST_ADPCM_X86)
    static const bool supported = __builtin_cpu_supports("avx512f");
    return supported;
#else
    return false;
#endif
}

void adpcm_encode_lanes(const std::int16_t* samples, std::size_t stride, std::size_t count,
                        std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                        std::size_t byte_stride) {
#if defined(TONECAST_ADPCM_X86)
    // A vector step costs the same for one run as for sixteen (~15 ns here), a plain pair of
    // runs ~12 ns, one run alone ~9 ns: the last runs of a mending go faster without vectors.
    if (adpcm_lanes_vectorised() && popcount(lanes) > kFewRuns) {
        adpcm_encode_lanes_avx512(samples, stride, count, lanes, states, bytes, byte_stride);
        return;
    }
#endif
    adpcm_encode_lanes_plain(samples, stride, count, lanes, states, bytes, byte_stride);
}

std::int16_t adpcm_decode(std::uint8_t code, adpcm_state& state) {
    assert(valid(state));
    assert(code <= 15);
    const std::int32_t step = kStepTable[state.step_index];
    std::int32_t diff = step >> 3;
    if (code & 4) diff += step;
    if (code & 2) diff += step >> 1;
    if (code & 1) diff += step >> 2;
    advance(state, code, diff);
    return state.predictor;
}

std::int32_t adpcm_find_start_index(std::int16_t predictor, std::int16_t sample) {
    std::int32_t best = 65536;  // above any possible error
    std::int32_t result = 0;
    for (std::int32_t i = 0; i <= kMaxStepIndex; ++i) {
        adpcm_state encoder{predictor, i};
        const std::uint8_t code = adpcm_encode(sample, encoder);
        adpcm_state decoder{predictor, i};
        const std::int32_t error = std::abs(adpcm_decode(code, decoder) - sample);
        if (error < best) {  // strict: on a tie the lowest index stays
            best = error;
            result = i;
        }
    }
    return result;
}
