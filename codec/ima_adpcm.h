#pragma once
// IMA-ADPCM on 16-bit samples in memory, one sample at a time.
//
// The arithmetic is IMA ADPCM's with its two standard tables, except that the predictor is
// clamped to -32767 ... 32767 (not -32768): the target sound system's decoder does the same.
// A code is 4 bits: 8 is the sign (sample below the predictor), 4, 2 and 1 the magnitude.

#include <cstddef>
#include <cstdint>

struct adpcm_state {
    std::int16_t predictor = 0;   // the last reconstructed sample
    std::int32_t step_index = 0;  // index into the step table, always 0 ... 88
};

// Codes one sample and moves the state to what a decoder holds after that code.
std::uint8_t adpcm_encode(std::int16_t sample, adpcm_state& state);

// Codes samples[0 ... count - 1] in order into codes[0 ... count - 1], one code per byte, and
// leaves the state as adpcm_encode called for each sample in turn would: the same codes, found
// by table lookups that do not wait on one another instead of a step-by-step search.
void adpcm_encode_block(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                        std::uint8_t* codes);

// adpcm_encode_block on two runs of samples at once, each with its own state and codes: the
// two coders' steps interleave, so each one's wait on its previous sample is filled by the
// other's work. Each run gets exactly the codes and state of adpcm_encode_block.
void adpcm_encode_block_pair(const std::int16_t* samples_a, const std::int16_t* samples_b,
                             std::size_t count, adpcm_state& state_a, adpcm_state& state_b,
                             std::uint8_t* codes_a, std::uint8_t* codes_b);

// Decodes one code (0 ... 15); returns the new predictor.
std::int16_t adpcm_decode(std::uint8_t code, adpcm_state& state);

// The step index (0 ... 88) with which one step from `predictor` reconstructs `sample` most
// closely; the lowest index wins a tie.
std::int32_t adpcm_find_start_index(std::int16_t predictor, std::int16_t sample);
