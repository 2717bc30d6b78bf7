#pragma once
// Writes a decoded .klng wave as a 16-bit mono WAV or AIFF file with the wave file library, so
// that it can be auditioned in any sound editor, loop included.

#include <cstdint>
#include <string>
#include <vector>

#include "src/klnginfo/klng_file.h"

namespace klng {

enum class wave_format { wav, aiff };

// The format an output name asks for by its extension: ".wav" → WAV, ".aif" or ".aiff" →
// AIFF, in any letter case. False for any other name.
bool wave_format_for(const std::string& path, wave_format& format);

// Writes `samples` (decode_samples) at `rate` Hz; a looped wave gets its loop as a "smpl" loop
// (WAV) or a sustain loop with its two markers (AIFF). Throws CWaveFileExceptionCannotOpen
// when the file cannot be created, and klnginfo_failure ("Cannot write PATH.") when writing
// fails or the wave is too long for the format; in both cases no partial file is left.
void write_wave(const std::string& path, wave_format format, const wave_info& w,
                const std::vector<std::int16_t>& samples, double rate);

}  // namespace klng
