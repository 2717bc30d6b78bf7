// adpcm_encode_lanes with AVX-512: this file alone is compiled with -mavx512f, and runs only
// after the processor said it has it.
//
// Each coder's steps form one chain (a step needs the predictor and step index the step before
// left), so one coder cannot go faster than its chain; sixteen independent coders can share it,
// one per 32-bit lane. Every lane does adpcm_encode's own search, with masks for its three
// decisions, and its step size comes out of three permutations of the 89-entry table. A gather
// fetches two samples of every run at once; every eight steps one scatter stores each run's
// four bytes of codes.

// GCC 12 reports its own AVX-512 intrinsics, which start from a deliberately undefined register,
// as reading an uninitialised value (fixed in GCC 13); the report is about the header, not this
// file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "codec/ima_adpcm.h"
#include "codec/ima_adpcm_tables.h"

void adpcm_encode_lanes_avx512(const std::int16_t* samples, std::size_t stride, std::size_t count,
                               std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                               std::size_t byte_stride);

namespace {

using ima_adpcm::kIndexTable;
using ima_adpcm::kMaxStepIndex;
using ima_adpcm::kStepTable;

static_assert(kAdpcmLanes == 16, "one lane of a 512-bit vector per run");

// Samples of one cache line, and how far ahead of its coder each run is fetched.
constexpr std::size_t kPrefetchEvery = 32;
constexpr std::size_t kPrefetchAhead = 512;

// The step table in six vectors of sixteen, padded past its 89 entries.
struct step_table {
    __m512i part[6];
};

step_table load_step_table() {
    alignas(64) std::int32_t padded[96];
    for (int i = 0; i < 96; ++i) padded[i] = kStepTable[i <= kMaxStepIndex ? i : kMaxStepIndex];
    step_table t;
    for (int p = 0; p < 6; ++p) t.part[p] = _mm512_load_si512(padded + 16 * p);
    return t;
}

// The coders' state and the constants of a step.
struct lanes_state {
    __m512i predictor;
    __m512i index;
};

// One step of every lane: adpcm_encode's search and state update; returns the codes.
inline __m512i code_step(__m512i sample, lanes_state& s, const step_table& table,
                         __m512i adjust) {
    // kStepTable[index]: each permutation looks up 32 entries by the index's low five bits, and
    // the index's range picks one of the three.
    const __m512i low = _mm512_permutex2var_epi32(table.part[0], s.index, table.part[1]);
    const __m512i middle = _mm512_permutex2var_epi32(table.part[2], s.index, table.part[3]);
    const __m512i high = _mm512_permutex2var_epi32(table.part[4], s.index, table.part[5]);
    const __mmask16 past32 = _mm512_cmpge_epi32_mask(s.index, _mm512_set1_epi32(32));
    const __mmask16 past64 = _mm512_cmpge_epi32_mask(s.index, _mm512_set1_epi32(64));
    const __m512i step =
        _mm512_mask_mov_epi32(_mm512_mask_mov_epi32(low, past32, middle), past64, high);

    __m512i d = _mm512_sub_epi32(sample, s.predictor);
    const __mmask16 negative = _mm512_cmplt_epi32_mask(d, _mm512_setzero_si512());
    d = _mm512_abs_epi32(d);
    __m512i diff = _mm512_srai_epi32(step, 3);
    const __mmask16 b4 = _mm512_cmpge_epi32_mask(d, step);
    d = _mm512_mask_sub_epi32(d, b4, d, step);
    diff = _mm512_mask_add_epi32(diff, b4, diff, step);
    const __m512i half = _mm512_srai_epi32(step, 1);
    const __mmask16 b2 = _mm512_cmpge_epi32_mask(d, half);
    d = _mm512_mask_sub_epi32(d, b2, d, half);
    diff = _mm512_mask_add_epi32(diff, b2, diff, half);
    const __m512i quarter = _mm512_srai_epi32(step, 2);
    const __mmask16 b1 = _mm512_cmpge_epi32_mask(d, quarter);
    diff = _mm512_mask_add_epi32(diff, b1, diff, quarter);

    const __m512i up = _mm512_add_epi32(s.predictor, diff);
    const __m512i predictor = _mm512_mask_sub_epi32(up, negative, s.predictor, diff);
    s.predictor = _mm512_min_epi32(_mm512_max_epi32(predictor, _mm512_set1_epi32(ima_adpcm::kPredictorMin)),
                                   _mm512_set1_epi32(ima_adpcm::kPredictorMax));

    __m512i magnitude = _mm512_maskz_mov_epi32(b4, _mm512_set1_epi32(4));
    magnitude = _mm512_mask_or_epi32(magnitude, b2, magnitude, _mm512_set1_epi32(2));
    magnitude = _mm512_mask_or_epi32(magnitude, b1, magnitude, _mm512_set1_epi32(1));
    const __m512i index =
        _mm512_add_epi32(s.index, _mm512_permutexvar_epi32(magnitude, adjust));
    s.index = _mm512_min_epi32(_mm512_max_epi32(index, _mm512_setzero_si512()),
                               _mm512_set1_epi32(kMaxStepIndex));
    return _mm512_mask_or_epi32(magnitude, negative, magnitude, _mm512_set1_epi32(8));
}

// Shifts the word of codes down by one code and puts `code` on top: after eight steps the
// first code is in the lowest four bits, as the packed bytes want it.
inline __m512i push_code(__m512i word, __m512i code) {
    return _mm512_or_si512(_mm512_srli_epi32(word, 4), _mm512_slli_epi32(code, 28));
}

}  // namespace

void adpcm_encode_lanes_avx512(const std::int16_t* samples, std::size_t stride, std::size_t count,
                               std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                               std::size_t byte_stride) {
    assert(count % 8 == 0 && byte_stride % 4 == 0);
    assert(stride * (kAdpcmLanes - 1) + count <= 0x7FFFFFFFu);
    assert(byte_stride * (kAdpcmLanes - 1) + count / 2 <= 0x7FFFFFFFu);
    const auto active = static_cast<__mmask16>(lanes & 0xFFFFu);
    if (active == 0 || count == 0) return;

    alignas(64) std::int32_t predictor[kAdpcmLanes];
    alignas(64) std::int32_t index[kAdpcmLanes];
    alignas(64) std::int32_t sample_at[kAdpcmLanes];  // in samples: the gather scales by 2
    alignas(64) std::int32_t word_at[kAdpcmLanes];    // in 4-byte words of codes
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        const bool on = (active >> k & 1) != 0;
        predictor[k] = on ? states[k].predictor : 0;
        index[k] = on ? states[k].step_index : 0;
        sample_at[k] = static_cast<std::int32_t>(k * stride);
        word_at[k] = static_cast<std::int32_t>(k * (byte_stride / 4));
    }
    lanes_state s{_mm512_load_si512(predictor), _mm512_load_si512(index)};
    const step_table table = load_step_table();
    alignas(64) std::int32_t adjust_values[16] = {};
    for (int m = 0; m < 8; ++m) adjust_values[m] = kIndexTable[m];
    const __m512i adjust = _mm512_load_si512(adjust_values);
    const __m512i first_sample = _mm512_load_si512(sample_at);
    const __m512i first_word = _mm512_load_si512(word_at);

    const __m512i zero = _mm512_setzero_si512();
    for (std::size_t j = 0; j < count; j += 8) {
        // Each run's samples some way ahead, a cache line a run every 32 steps: the gathers
        // below wait on memory otherwise, sixteen streams being more than the processor's own
        // prefetching follows.
        if (j % kPrefetchEvery == 0 && j + kPrefetchAhead < count) {
            for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
                if (active >> k & 1) {
                    _mm_prefetch(reinterpret_cast<const char*>(samples + k * stride + j +
                                                               kPrefetchAhead),
                                 _MM_HINT_T0);
                }
            }
        }
        const __m512i at = _mm512_add_epi32(first_sample, _mm512_set1_epi32(static_cast<int>(j)));
        __m512i word = zero;
        for (int pair = 0; pair < 4; ++pair) {
            // Samples j + 2 pair and the one after it, as one 32-bit value per lane.
            const __m512i two = _mm512_mask_i32gather_epi32(
                zero, active, _mm512_add_epi32(at, _mm512_set1_epi32(2 * pair)), samples, 2);
            const __m512i first = _mm512_srai_epi32(_mm512_slli_epi32(two, 16), 16);
            const __m512i second = _mm512_srai_epi32(two, 16);
            word = push_code(word, code_step(first, s, table, adjust));
            word = push_code(word, code_step(second, s, table, adjust));
        }
        const __m512i where =
            _mm512_add_epi32(first_word, _mm512_set1_epi32(static_cast<int>(j / 8)));
        _mm512_mask_i32scatter_epi32(bytes, active, where, word, 4);
    }

    _mm512_store_si512(predictor, s.predictor);
    _mm512_store_si512(index, s.index);
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        if (!(active >> k & 1)) continue;
        states[k].predictor = static_cast<std::int16_t>(predictor[k]);
        states[k].step_index = index[k];
    }
}
