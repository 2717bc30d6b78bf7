#pragma once
// One step of the IMA-ADPCM coder, for loops that code samples as they make them (the
// resampler's, which interleaves it with its own work): adpcm_encode_block's step, through the
// same table. Not part of the codec's interface.
//
// The step has internal linkage: files compiled for other instruction sets include this header,
// and an inline function with external linkage compiled there could be picked by the linker for
// every caller and run on a processor without those instructions.

#include <cstdint>

#include "codec/ima_adpcm_tables.h"

namespace ima_adpcm {

// What one step index decides. adpcm_encode's search subtracts step, then step >> 1, then
// step >> 2 from |d| where it can; the magnitude it finds is therefore the number of the sums of
// those parts that |d| reaches, the seven thresholds below in increasing order, and each
// magnitude has one difference and one next step index.
struct encode_row {
    std::int32_t threshold[8];  // [0] is 0 and unused
    std::int32_t diff[8];
    std::int32_t next_index[8];
    std::int32_t unused[8];  // 128 bytes: a row's address is one shift of the index
};

struct encode_rows {
    encode_row row[kMaxStepIndex + 1];
};

// Built at compile time in ima_adpcm.cpp.
extern const encode_rows kEncodeRows;

// One sample: the code, and the predictor and index moved on.
static inline __attribute__((always_inline)) std::uint8_t encode_step(std::int16_t sample,
                                                                      std::int32_t& predictor,
                                                                      std::int32_t& index) {
    const encode_row& r = kEncodeRows.row[index];
    std::int32_t d = sample - predictor;
    const std::int32_t negative = d < 0;
    d = negative ? -d : d;
    // Seven independent comparisons, summed as a tree: the next sample waits for three
    // additions, not for a chain of seven.
    const std::int32_t low = (d >= r.threshold[1]) + (d >= r.threshold[2]);
    const std::int32_t middle = (d >= r.threshold[3]) + (d >= r.threshold[4]);
    const std::int32_t high = (d >= r.threshold[5]) + (d >= r.threshold[6]);
    const std::int32_t magnitude = (low + middle) + (high + (d >= r.threshold[7]));
    const std::int32_t diff = r.diff[magnitude];
    predictor = negative ? predictor - diff : predictor + diff;
    if (predictor > kPredictorMax) predictor = kPredictorMax;
    if (predictor < kPredictorMin) predictor = kPredictorMin;
    index = r.next_index[magnitude];
    return static_cast<std::uint8_t>(negative << 3 | magnitude);
}

}  // namespace ima_adpcm
