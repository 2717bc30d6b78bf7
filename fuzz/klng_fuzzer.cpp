// klnginfo's reader on arbitrary bytes: parse either refuses with klng::error or accepts a file
// whose fields all lie inside it, and everything klnginfo then does with an accepted file
// (decoding, the report, the picture) stays within the bytes it was given.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/klnginfo/decode.h"
#include "src/klnginfo/klng_file.h"
#include "src/klnginfo/report.h"
#include "src/klnginfo/sample_rate.h"
#include "src/klnginfo/svg_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    klng::wave_info w;
    try {
        w = klng::parse(data, size);
    } catch (const klng::error&) {
        return 0;
    }
    FUZZ_CHECK(w.file_size == size);
    FUZZ_CHECK(w.data_offset <= size && w.data_bytes <= size - w.data_offset);
    FUZZ_CHECK(w.loop_start <= w.samples && w.loop_length <= w.samples - w.loop_start);
    // Decoding is sized by the sample data that is there, never by a field alone.
    const std::vector<std::int16_t> samples = klng::decode_samples(w, data);
    FUZZ_CHECK(samples.size() == w.samples);
    const std::string report = klng::format_report("fuzz.klng", w, samples);
    FUZZ_CHECK(report.rfind("fuzz.klng: OK\n", 0) == 0);
    const klng::rate_choice rate = klng::choose_rate(w.rate_field, w.timer);
    const std::string svg = klng::draw_svg("fuzz.klng", w, samples, rate.rate);
    FUZZ_CHECK(svg.find("</svg>") != std::string::npos);
    return 0;
}
