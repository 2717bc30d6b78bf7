// The IMA-ADPCM codec on arbitrary states and samples.
//
// Input: a start index (byte, modulo 89), a predictor (16 bits, any value), then 16-bit samples.
// Every sample is encoded from the running state; decoding the code from the state the encoder
// started from must land on the encoder's new state, and so must this file's own decoder, written
// from the IMA ADPCM tables with the codec's one difference (the predictor clamped to -32767).
// The start-index search must find the lowest index with the smallest error.

#include <cstdint>
#include <cstdlib>

#include "codec/ima_adpcm.h"
#include "fuzz/fuzz_support.h"

namespace {

// IMA ADPCM step sizes and index adjustments, as published with the standard.
constexpr std::int32_t kSteps[] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
static_assert(sizeof kSteps / sizeof kSteps[0] == 89, "89 step sizes");
constexpr std::int32_t kIndexAdjust[] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct reference_state {
    std::int32_t predictor;
    std::int32_t index;
};

reference_state reference_decode(std::uint8_t code, reference_state s) {
    const std::int32_t step = kSteps[s.index];
    std::int32_t diff = step / 8;
    if (code & 4) diff += step;
    if (code & 2) diff += step / 2;
    if (code & 1) diff += step / 4;
    s.predictor += (code & 8) ? -diff : diff;
    if (s.predictor > 32767) s.predictor = 32767;
    if (s.predictor < -32767) s.predictor = -32767;
    s.index += kIndexAdjust[code & 7];
    if (s.index < 0) s.index = 0;
    if (s.index > 88) s.index = 88;
    return s;
}

void check_step(std::int16_t sample, adpcm_state& state) {
    const adpcm_state before = state;
    const std::uint8_t code = adpcm_encode(sample, state);
    FUZZ_CHECK(code <= 15);
    FUZZ_CHECK(state.step_index >= 0 && state.step_index <= 88);
    FUZZ_CHECK(state.predictor >= -32767);

    adpcm_state decoder = before;
    FUZZ_CHECK(adpcm_decode(code, decoder) == state.predictor);
    FUZZ_CHECK(decoder.predictor == state.predictor && decoder.step_index == state.step_index);

    const reference_state ref = reference_decode(code, {before.predictor, before.step_index});
    FUZZ_CHECK(ref.predictor == state.predictor && ref.index == state.step_index);
}

// The reconstruction error of one step from {predictor, index} towards sample.
std::int32_t error_at(std::int16_t predictor, std::int32_t index, std::int16_t sample) {
    adpcm_state s;
    s.predictor = predictor;
    s.step_index = index;
    const std::uint8_t code = adpcm_encode(sample, s);
    const reference_state r = reference_decode(code, {predictor, index});
    return std::abs(r.predictor - sample);
}

void check_start_index(std::int16_t predictor, std::int16_t sample) {
    const std::int32_t found = adpcm_find_start_index(predictor, sample);
    FUZZ_CHECK(found >= 0 && found <= 88);
    const std::int32_t best = error_at(predictor, found, sample);
    for (std::int32_t i = 0; i <= 88; ++i) {
        const std::int32_t e = error_at(predictor, i, sample);
        FUZZ_CHECK(i < found ? e > best : e >= best);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::byte_reader in(data, size);
    adpcm_state state;
    state.step_index = in.u8() % 89;
    state.predictor = static_cast<std::int16_t>(in.u16());
    if (state.predictor == -32768) state.predictor = -32767;  // outside what a state can hold
    const std::int16_t first = static_cast<std::int16_t>(in.u16());
    check_start_index(state.predictor, first);
    check_step(first, state);
    while (in.left() >= 2) {
        const std::uint16_t word = in.u16();
        check_step(static_cast<std::int16_t>(word), state);
        // The same bits as a code and a state for the decoder alone.
        adpcm_state any;
        const auto rotated = static_cast<std::uint16_t>(word >> 4 | word << 12);
        any.predictor =
            rotated == 0x8000 ? std::int16_t{-32767} : static_cast<std::int16_t>(rotated);
        any.step_index = (word >> 4) % 89;
        const reference_state ref = reference_decode(word & 15, {any.predictor, any.step_index});
        FUZZ_CHECK(adpcm_decode(static_cast<std::uint8_t>(word & 15), any) == ref.predictor);
        FUZZ_CHECK(any.step_index == ref.index);
    }
    return 0;
}
