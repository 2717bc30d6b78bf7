#include "src/klnginfo/driver.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "src/klnginfo/decode.h"
#include "src/klnginfo/failure.h"
#include "src/klnginfo/klng_file.h"
#include "src/klnginfo/klnginfo_options.h"
#include "src/klnginfo/report.h"
#include "src/klnginfo/sample_rate.h"
#include "src/klnginfo/svg_picture.h"
#include "src/klnginfo/wave_writer.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/strm.h"

void klnginfo_print_usage() {
    std::cout << "klnginfo Ver." << KLNGINFO_VERSION << std::endl
              << "Copyright (C) 2026 The tonecast developers" << std::endl
              << std::endl
              << std::endl
              << "Usage:" << std::endl
              << "  klnginfo [option...] file.klng..." << std::endl
              << std::endl
              << "Prints a report of each .klng file and checks it." << std::endl
              << std::endl
              << "Options:" << std::endl
              << "  -w filename     decode the samples to a WAV (.wav) or AIFF (.aif, .aiff) file"
              << std::endl
              << "  --svg filename  draw the wave and its loop seam as an SVG picture" << std::endl
              << "  -h, --help      display this help and exit" << std::endl
              << std::endl
              << "-w and --svg take exactly one input file." << std::endl;
}

namespace {

void write_text_file(const std::string& path, const std::string& text) {
    strm::file out(std::fopen(path.c_str(), "wb"));
    if (!out.is_open()) throw klnginfo_failure("Cannot open " + path + " for writing.");
    strm::write_bytes(out, text.data(), text.size());
    strm::close(out);
    if (out.failed()) {
        std::remove(path.c_str());
        throw klnginfo_failure("Cannot write " + path + ".");
    }
}

// Reports, verifies and writes the outputs of one file. False after printing its error line.
bool inspect(const std::string& input, const klnginfo_options& options, klng::wave_format format) {
    try {
        const std::vector<std::uint8_t> bytes = klng::read_file(input.c_str());
        const klng::wave_info w = klng::parse(bytes.data(), bytes.size());
        const std::vector<std::int16_t> samples = klng::decode_samples(w, bytes.data());
        std::cout << klng::format_report(input, w, samples) << std::flush;
        const double rate = klng::choose_rate(w.rate_field, w.timer).rate;
        if (!options.wave_name.empty()) {
            std::cout << "decode " << input << " to " << options.wave_name << std::endl;
            klng::write_wave(options.wave_name, format, w, samples, rate);
        }
        if (!options.svg_name.empty()) {
            std::cout << "draw " << input << " to " << options.svg_name << std::endl;
            write_text_file(options.svg_name, klng::draw_svg(input, w, samples, rate));
        }
        return true;
    } catch (const klng::error& e) {
        std::cerr << "klnginfo: " << input << ": " << e.what() << " (at offset " << e.offset()
                  << ")" << std::endl;
    } catch (const klnginfo_failure& e) {
        std::cerr << "klnginfo: " << e.what() << std::endl;
    } catch (const CWaveFileExceptionCannotOpen& e) {
        std::cerr << "klnginfo: Cannot open " << e.filename << " for writing." << std::endl;
    } catch (const CWaveFileException& e) {
        std::cerr << "klnginfo: Unexpected exception " << e.filename << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "klnginfo: Unexpected exception" << std::endl
                  << " message:" << e.what() << std::endl;
    } catch (...) {
        std::cerr << "klnginfo: Unexpected exception" << std::endl;
    }
    return false;
}

}  // namespace

int klnginfo_main(int argc, const char* const* argv) {
    if (argc == 1) {
        klnginfo_print_usage();
        return 1;
    }
    klnginfo_options options;
    klng::wave_format format = klng::wave_format::wav;
    try {
        options.parse(argc, argv);
        // One output file holds one wave.
        if ((!options.wave_name.empty() || !options.svg_name.empty()) &&
            options.input_files.size() != 1) {
            throw cmdline_exception("-w and --svg take exactly one input file");
        }
        if (!options.wave_name.empty() && !klng::wave_format_for(options.wave_name, format)) {
            throw cmdline_exception("cannot tell the format of '" + options.wave_name +
                                    "': -w writes .wav, .aif or .aiff files");
        }
    } catch (const cmdline_exception& e) {
        std::cerr << "klnginfo: " << e.what() << std::endl
                  << "Try 'klnginfo --help' for more information." << std::endl;
        return 1;
    }
    // Every file is looked at, so that one run checks a whole folder; any failure makes the
    // exit status 1.
    int status = 0;
    for (const std::string& input : options.input_files) {
        if (!inspect(input, options, format)) status = 1;
    }
    return status;
}
