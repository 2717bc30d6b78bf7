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

// adpcm_encode_block with the codes packed: two to a byte, the earlier sample in the low four
// bits, into bytes[0 ... count / 2 - 1]; `count` must be even.
void adpcm_encode_packed(const std::int16_t* samples, std::size_t count, adpcm_state& state,
                         unsigned char* bytes);

// The number of runs that adpcm_encode_lanes codes side by side.
constexpr std::size_t kAdpcmLanes = 16;

// adpcm_encode_block on each of the kAdpcmLanes runs whose bit is set in `lanes` (bit k for
// run k), with the codes packed: run k is samples[k * stride ... k * stride + count - 1], coded
// from states[k], which it leaves as adpcm_encode_block would; its codes go two to a byte, the
// earlier sample in the low four bits, to bytes[k * byte_stride ... k * byte_stride + count / 2
// - 1]. Runs whose bit is clear are neither read nor written, nor is their state. `count` must
// be a multiple of 8 and `byte_stride` of 4, and every run must lie within 2^31 samples (and
// bytes) of the first. Where the processor has AVX-512 the runs are coded in the lanes of
// vectors, unless they are only one or two; elsewhere two by two (adpcm_encode_lanes_plain).
void adpcm_encode_lanes(const std::int16_t* samples, std::size_t stride, std::size_t count,
                        std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                        std::size_t byte_stride);

// adpcm_encode_lanes without vectors, on any processor: the runs go two by two, their coders'
// steps interleaved (each fills the other's waits on its own chain). The plain form that the
// vector form is held to.
void adpcm_encode_lanes_plain(const std::int16_t* samples, std::size_t stride, std::size_t count,
                              std::uint32_t lanes, adpcm_state* states, unsigned char* bytes,
                              std::size_t byte_stride);

// True when adpcm_encode_lanes codes in vectors on this processor.
bool adpcm_lanes_vectorised();

// Decodes one code (0 ... 15); returns the new predictor.
std::int16_t adpcm_decode(std::uint8_t code, adpcm_state& state);

// The step index (0 ... 88) with which one step from `predictor` reconstructs `sample` most
// closely; the lowest index wins a tie.
std::int32_t adpcm_find_start_index(std::int16_t predictor, std::int16_t sample);
