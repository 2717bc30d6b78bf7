#pragma once
// The human-readable report of one verified .klng file.

#include <cstdint>
#include <string>
#include <vector>

#include "src/klnginfo/klng_file.h"

namespace klng {

// The report, one "  name: value" line per item under a "NAME: OK" line, every line ended by
// a newline. `samples` are the wave's decoded samples (decode_samples). The lines and their
// order are fixed; "loop seam" appears only for a looped wave and "adpcm header" only for
// IMA-ADPCM. Times are in seconds at the rate choose_rate gives.
std::string format_report(const std::string& name, const wave_info& w,
                          const std::vector<std::int16_t>& samples);

// Seconds as "S.UUUUUU" (microseconds, rounded), without the locale's help.
std::string format_seconds(std::uint64_t samples, double rate);

// What the loop seam looks like: the last sample of the loop, then the first, and the largest
// step between neighbours inside the loop, for comparison. Meaningful only for a looped wave.
struct seam_info {
    std::int32_t last = 0;
    std::int32_t first = 0;
    std::int32_t jump = 0;          // first - last
    std::int32_t largest_step = 0;  // the largest |s[i+1] - s[i]| inside the loop
};
seam_info measure_seam(const wave_info& w, const std::vector<std::int16_t>& samples);
// A jump at the seam larger than every step inside the loop is heard as a click.
bool seam_clicks(const seam_info& seam);

}  // namespace klng
