#pragma once
// The samples of a verified .klng wave as signed 16-bit values.

#include <cstdint>
#include <vector>

#include "src/klnginfo/klng_file.h"

namespace klng {

// PCM8: each signed byte times 256 (the converter kept the top 8 bits). PCM16: as stored.
// IMA-ADPCM: the codes decoded from the state in the header word, the earlier sample of each
// byte in its low 4 bits. `file` is the whole file that parse() accepted as `w`; the result
// holds w.samples values.
std::vector<std::int16_t> decode_samples(const wave_info& w, const std::uint8_t* file);

}  // namespace klng
