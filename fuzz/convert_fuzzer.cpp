// The whole conversion job on arbitrary input files: the first byte picks the encoding (its
// value modulo 3: 0 PCM8, 1 PCM16, 2 IMA-ADPCM), the rest is the input file.
//
// A conversion either fails with one of the job's exceptions and leaves no output behind, or
// writes an output whose size fields, block and wave information record agree with each other
// and with the file's length.

#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <new>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/tonecast/convert_file.h"
#include "src/tonecast/converter_options.h"
#include "src/tonecast/my_exception.h"
#include "wavefile/CWaveFile.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/OpenWaveFile.h"
#include "wavefile/strm.h"

namespace {

// Swallows the progress line.
class null_buffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
}

// The low 16 bits of the integer part of a value in [0, 2^53): the record's rate and timer.
std::uint32_t low16(double v) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFF);
}

void check_output(const std::vector<std::uint8_t>& out, std::int32_t encoding, const char* input) {
    // File header, one "DATA" block, the 12-byte record.
    FUZZ_CHECK(out.size() >= 36);
    FUZZ_CHECK(std::string(out.begin(), out.begin() + 4) == "KLNG");
    FUZZ_CHECK(out[4] == 0xFF && out[5] == 0xFE);
    FUZZ_CHECK(le(out, 6, 2) == 0x0100);
    FUZZ_CHECK(le(out, 8, 4) == out.size());
    FUZZ_CHECK(le(out, 12, 2) == 16 && le(out, 14, 2) == 1);
    FUZZ_CHECK(std::string(out.begin() + 16, out.begin() + 20) == "DATA");
    FUZZ_CHECK(le(out, 20, 4) == out.size() - 16);

    FUZZ_CHECK(out[24] == encoding);
    FUZZ_CHECK(out[25] == 0 || out[25] == 1);
    const bool loop = out[25] == 1;
    const std::uint32_t loop_start = le(out, 30, 2);
    const std::uint32_t loop_length = le(out, 32, 4);
    const std::uint32_t header_words = encoding == ENCODING_ADPCM ? 1 : 0;
    // The loop always runs to the end of the data, so the data is exactly the words before the
    // loop and the loop's words; without a loop only IMA-ADPCM's header word precedes it.
    const std::size_t data_bytes = out.size() - 36;
    FUZZ_CHECK(data_bytes == 4 * (std::uint64_t{loop_start} + loop_length));
    FUZZ_CHECK(loop_start >= header_words);
    if (loop) {
        FUZZ_CHECK(loop_length >= 1);
    } else {
        FUZZ_CHECK(loop_start == header_words);
    }
    if (encoding == ENCODING_ADPCM) {
        FUZZ_CHECK(out[36] == 0 && out[37] == 0);  // initial predictor
        FUZZ_CHECK(out[38] <= 88);                 // initial step index
        FUZZ_CHECK(out[39] == 0);
    }

    // The record agrees with the input it came from: the loop flag, and without a loop (nothing
    // resampled) the rate and timer of the input's own rate.
    const std::unique_ptr<CWaveFile> in = OpenWaveFile(input);
    FUZZ_CHECK(in->HasLoop() == loop);
    if (!loop) {
        const double rate = in->GetSampleRate();
        FUZZ_CHECK(le(out, 26, 2) == low16(rate));
        FUZZ_CHECK(le(out, 28, 2) == low16(16756991.0 / rate));
    }
}

bool mentions(const std::string& message, const char* name) {
    return message.find(name) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Never destroyed: std::cout flushes into it at exit, after every static of this file ends.
    static std::streambuf* const previous = std::cout.rdbuf(new null_buffer);
    (void)previous;
    static const fuzz::scratch_file input("convert-in.wav");
    static const fuzz::scratch_file output("convert-out.klng");
    if (size == 0) return 0;

    converter_options options;
    options.encoding = data[0] % 3;
    input.write(data + 1, size - 1);
    output.remove();
    try {
        convert_file(input.path(), output.path(), options);
    } catch (const my_exception& e) {
        FUZZ_CHECK(mentions(e.what(), input.path()) || mentions(e.what(), output.path()));
        FUZZ_CHECK(!output.exists());
        return 0;
    } catch (const CWaveFileException& e) {
        FUZZ_CHECK(e.filename == input.path());
        FUZZ_CHECK(!output.exists());
        return 0;
    } catch (const strm::failure&) {
        FUZZ_CHECK(!output.exists());
        return 0;
    } catch (const std::length_error&) {
        FUZZ_CHECK(!output.exists());
        return 0;
    } catch (const std::bad_alloc&) {
        FUZZ_CHECK(!output.exists());
        return 0;
    }
    check_output(output.read(), options.encoding, input.path());
    return 0;
}
