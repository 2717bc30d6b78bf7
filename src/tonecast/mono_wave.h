#pragma once
// The in-memory mono wave that a conversion works on, and its loop alignment.
//
// Units: `length`, `loopstart` and every index count samples (one value each; the wave is
// mono). `align` is the number of samples in one 32-bit word of the chosen encoding: 4 for
// PCM8, 2 for PCM16, 8 for IMA-ADPCM.

#include <cstddef>
#include <cstdint>
#include <vector>

class CWaveFile;
struct adpcm_pieces;

// Room that a wave's buffer keeps past its samples for align_wave's padding (less than one word
// of at most 8 samples), so that padding does not move the whole buffer.
constexpr std::size_t kPadRoom = 8;

class CMonoWave {
public:
    CMonoWave() = default;
    // Reads the wave from `file`, open for reading, supported and mono. `name` is the input's
    // name for the messages of my_exception ("Invalid loop in ", "Invalid sample rate in ").
    CMonoWave(CWaveFile& file, const char* name);
    CMonoWave(const CMonoWave&) = delete;
    CMonoWave& operator=(const CMonoWave&) = delete;

    // Number of samples in the wave; for a looped wave also the loop end (exclusive).
    std::uint32_t length = 0;
    // The first `length` entries are the wave.
    std::vector<std::int16_t> samples;
    // Hz; after alignment in general not a whole number.
    double rate = 0;
    bool loop = false;
    // First sample of the loop; 0 without a loop.
    std::uint32_t loopstart = 0;
};

// Makes the loop start and length (or, without a loop, the length) whole words of `align`
// samples, resampling the whole wave when the loop length is not. With `coded`, a resampling
// may code the wave's samples into IMA-ADPCM as it makes them, for write_adpcm.
void align_wave(CMonoWave& wave, std::uint32_t align, adpcm_pieces* coded = nullptr);

// Replaces the samples by `newlength` samples interpolated over the old ones; changes only
// `samples` (the caller sets `length`, `rate` and `loopstart`). With `coded`, the new samples'
// IMA-ADPCM codes go there where the resampling can make them on the way: with AVX-512, in the
// wave's own buffer (a wave grown by a few samples); otherwise it is left with none.
void resample_wave(CMonoWave& wave, std::uint32_t newlength, adpcm_pieces* coded = nullptr);

// The value of the wave at the fractional position x >= 0: 200-tap sinc interpolation over
// `source` (the wave's `length` samples), silence before the start and the loop after the end.
std::int16_t sinc_interpolate(const std::int16_t* source, double x, const CMonoWave& wave);
