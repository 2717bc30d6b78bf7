#include "src/klnginfo/decode.h"

#include <cstddef>

#include "codec/ima_adpcm.h"
#include "src/klnginfo/le_bytes.h"

namespace klng {

std::vector<std::int16_t> decode_samples(const wave_info& w, const std::uint8_t* file) {
    // parse() checked that the sample data lies inside the file, so its length bounds this.
    std::vector<std::int16_t> out(static_cast<std::size_t>(w.samples));
    const std::uint8_t* data = file + w.data_offset;
    switch (w.encoding) {
        case kPcm8:
            for (std::size_t i = 0; i < out.size(); ++i) {
                out[i] = static_cast<std::int16_t>(static_cast<std::int8_t>(data[i]) * 256);
            }
            break;
        case kPcm16:
            for (std::size_t i = 0; i < out.size(); ++i) {
                out[i] = static_cast<std::int16_t>(load_le16(data + 2 * i));
            }
            break;
        case kAdpcm: {
            adpcm_state state;
            state.predictor = w.adpcm_predictor;
            state.step_index = w.adpcm_step_index;
            const std::uint8_t* codes = data + 4;
            for (std::size_t i = 0; i < out.size(); ++i) {
                const std::uint8_t byte = codes[i / 2];
                const auto code = static_cast<std::uint8_t>(i % 2 == 0 ? byte & 15 : byte >> 4);
                out[i] = adpcm_decode(code, state);
            }
            break;
        }
        default: break;
    }
    return out;
}

}  // namespace klng
