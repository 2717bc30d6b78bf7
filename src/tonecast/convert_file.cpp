#include "src/tonecast/convert_file.h"

#include <cassert>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "container/file_block.h"
#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "src/tonecast/my_exception.h"
#include "src/tonecast/platform.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/OpenWaveFile.h"
#include "wavefile/strm.h"

namespace {

[[noreturn]] void fail(const char* prefix, const char* name, const char* suffix = "") {
    std::ostringstream message;
    message << prefix << name << suffix;
    throw my_exception(message.str());
}

// One row per encoding: the word size in samples, the encoder, and the largest loop start the
// record's 16-bit word field can hold. The tests read the loop start in whole words, and for
// IMA-ADPCM count the header word that precedes the samples.
struct encoding_row {
    std::uint32_t align;
    void (*encode)(const CMonoWave&, strm::file&);
};

encoding_row row_for(std::int32_t encoding) {
    switch (encoding) {
        case ENCODING_PCM8: return {4, write_pcm8};
        case ENCODING_PCM16: return {2, write_pcm16};
        default: return {8, write_adpcm};
    }
}

bool loop_start_fits(std::int32_t encoding, std::uint32_t loopstart) {
    switch (encoding) {
        case ENCODING_PCM8: return (loopstart & ~3u) <= 0x3FFFCu;
        case ENCODING_PCM16: return (loopstart & ~1u) <= 0x1FFFEu;
        default: return (loopstart >> 3) + 1 <= 0xFFFFu;
    }
}

void write_container(CMonoWave& wave, std::int32_t encoding, strm::file& out, const char* output) {
    const file_header header(container::kFileTag, container::kVersion, 1, out);
    const file_block block(container::kDataTag, out);
    const encoding_row row = row_for(encoding);
    // A resampling for IMA-ADPCM codes the samples as it makes them, where it can.
    adpcm_pieces coded;
    align_wave(wave, row.align, encoding == ENCODING_ADPCM ? &coded : nullptr);
    if (!loop_start_fits(encoding, wave.loopstart)) {
        fail("Loop start position is too large. ", output);
    }
    if (coded.count > 0) {
        write_adpcm_coded(wave, out, coded);
    } else {
        row.encode(wave, out);
    }
}

}  // namespace

void convert_file(const char* input, const char* output, const converter_options& options) {
    const std::unique_ptr<CWaveFile> in = OpenWaveFile(input);
    if (!in->IsSupported()) fail("Not supported file format ", input);
    if (in->GetChannels() != 1) fail("Not mono file ", input);
    // Truncating the output below would destroy the input before a single sample is read.
    if (platform::same_file(input, output)) fail("Input and output are the same file ", input);

    CMonoWave wave(*in, input);

    platform::interrupt_cleanup cleanup(output);
    strm::file out(std::fopen(output, "wb"));
    if (!out.is_open()) fail("Cannot open ", output, " for writing.");
    cleanup.arm(out.get());
    try {
        std::cout << "convert " << input << " to " << output << std::endl;
        write_container(wave, options.encoding, out, output);
        strm::close(out);
        // Disk full or a file-size limit: the size fields may look right, the file is not.
        if (out.failed()) fail("Cannot write ", output, ".");
    } catch (...) {
        strm::close(out);  // Windows refuses to remove an open file
        std::remove(output);
        throw;
    }
}
