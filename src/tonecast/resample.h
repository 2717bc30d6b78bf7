#pragma once
// The machinery behind resample_wave: the instruction-set variants of the sinc interpolation
// loop, and a way for tests and benchmarks to choose the variant and the number of threads.
//
// Every variant computes each output sample by the same arithmetic as sinc_interpolate, in the
// same order, with separate IEEE-754 operations (no fused multiply-add), so all of them give the
// same bits. They gain speed only by computing several independent output samples at once, one
// per vector lane, and by splitting the outputs between threads.
//
// This header is also included by the files compiled for AVX2 and AVX-512, so it holds no inline
// functions: an inline function compiled there could be picked by the linker for every caller
// and run on a processor without those instructions.

#include <cstdint>

#include "codec/ima_adpcm.h"

class CMonoWave;
struct adpcm_pieces;

// pi as the interpolation uses it.
constexpr double kSincPi = 3.141592653589793;
// Taps per output sample, and how far the first tap lies before the output's position.
constexpr int kSincTaps = 200;
constexpr int kSincLead = 99;

// Past the last tap of the last output, at_zero holds this many more entries, so that a vector
// variant may read a whole window of taps from any output's first tap, in whole vectors.
constexpr int kSincSlack = 24;

// What the interpolation loop reads: the source wave laid out so that every tap is a plain
// memory read. at_zero[i] is the value of the wave at sample index i for -kSincLead <= i <= the
// last tap any output reads + kSincSlack: silence before the start, the wave, then its loop
// repeated.
struct resample_source;

// The source of one thread of a resampling done in place (resample_wave_with with AVX-512): the
// wave's own buffer, which the thread's outputs overwrite behind its reading, and copies, made
// before any thread starts, of what the neighbouring threads overwrite and of the loop's start,
// which the taps past the end read again.
struct resample_in_place {
    const std::int16_t* live = nullptr;  // the wave's buffer, read in [live_begin, live_end)
    std::int64_t live_begin = 0, live_end = 0;
    const std::int16_t* below = nullptr;  // samples [below_begin, live_begin), copied
    std::int64_t below_begin = 0;
    const std::int16_t* above = nullptr;  // samples [live_end, above_end), copied
    std::int64_t above_end = 0;
    const std::int16_t* loop = nullptr;  // the loop's first samples, copied
    std::int64_t length = 0, loopstart = 0, looplen = 0;

    // The source value at sample index i, for an index the thread may read.
    std::int16_t at(std::int64_t i) const;
};

struct resample_source {
    const std::int16_t* at_zero = nullptr;
    double step = 0;  // the distance between two outputs, in source samples
    // Set: the samples are read through it instead of at_zero (AVX-512 only).
    const resample_in_place* in_place = nullptr;
};

// IMA-ADPCM coding of the outputs as the AVX-512 variant makes them in place, on the integer
// units that its loop leaves idle (see adpcm_pieces): piece p is outputs p * piece_length ... (p +
// 1) * piece_length - 1, coded by the thread whose range starts there, from the true state for
// piece 0 (predictor 0, the start index its first sample asks for) and from predictor 0, step index
// 0 for the others. Plain pointers: the variants' files see no library containers.
struct resample_coding {
    std::uint32_t piece_length = 0;  // a multiple of checkpoint_samples, itself of 8
    std::uint32_t checkpoint_samples = 0;
    unsigned char* bytes = nullptr;      // piece p's codes from bytes + p * piece_length / 2
    adpcm_state* checkpoints = nullptr;  // piece p's state before each checkpoint's samples,
                                         // from checkpoints + p * piece_length / checkpoint_samples
    adpcm_state* start = nullptr;        // per piece, the state its coding began from
    adpcm_state* end = nullptr;          // per piece, the state its coding ended in
};

// Where a variant puts its results: the rounded output samples, or, for the tests that compare
// each variant's arithmetic bit for bit with the literal formula, the sums before rounding.
struct resample_output {
    std::int16_t* samples = nullptr;
    double* sums = nullptr;  // used instead of samples when set
    // Set with samples: the variant codes the pieces that start at its range's first output.
    const resample_coding* coding = nullptr;
};

// Output samples begin ... end - 1 of a resampling, into index begin ... end - 1 of out.
using resample_kernel = void (*)(const resample_source& source, std::uint32_t begin,
                                 std::uint32_t end, const resample_output& out);

void resample_portable(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                       const resample_output& out);
// Defined only in x86 builds; called only after resample_isa_supported says yes.
void resample_avx2(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                   const resample_output& out);
void resample_avx512(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                     const resample_output& out);

// The AVX-512 variant's sine of eight arguments, for the test that it gives sine()'s bits.
void resample_sine8_avx512(const double* args, double* out);

// The final rounding of an interpolated value (round_to_int16), out of line for the variants.
std::int16_t resample_round(double value);

enum class resample_isa { portable, avx2, avx512 };

// True when this build has the variant and this processor can run it.
bool resample_isa_supported(resample_isa isa);
// The widest supported variant; resample_wave uses it.
resample_isa resample_best_isa();
const char* resample_isa_name(resample_isa isa);

// resample_wave with a chosen variant and number of threads (at least 1). The result does not
// depend on either; whether `coded` gets the codes does (only a resampling in place codes).
void resample_wave_with(CMonoWave& wave, std::uint32_t newlength, resample_isa isa,
                        unsigned threads, adpcm_pieces* coded = nullptr);

// The sums before rounding of the `newlength` outputs that resample_wave_with would give, into
// sums[0 ... newlength - 1]; the wave is left as it is.
void resample_sums_with(const CMonoWave& wave, std::uint32_t newlength, resample_isa isa,
                        double* sums);
