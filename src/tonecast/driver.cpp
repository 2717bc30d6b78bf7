#include "src/tonecast/driver.h"

#include <iostream>
#include <new>

#include "src/tonecast/convert_file.h"
#include "src/tonecast/converter_options.h"
#include "src/tonecast/my_exception.h"
#include "src/tonecast/platform.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/strm.h"

void print_usage() {
    std::cout << "tonecast Ver."
              << "1.01" << std::endl
              << "Copyright (C) 2026 The tonecast developers" << std::endl
              << std::endl
              << std::endl
              << "Usage:" << std::endl
              << "  tonecast [option...] file..." << std::endl
              << std::endl
              << "Options:" << std::endl
              << "  -s, --pcm16   PCM16" << std::endl
              << "  -c, --pcm8    PCM8" << std::endl
              << "  -a, --adpcm   IMA-ADPCM[default]" << std::endl
              << "  -o filename   specify output filename" << std::endl
              << "  -v, --verbose explain what is being done" << std::endl
              << "  -u, --update  update only when input file is newer than output file"
              << std::endl
              << "  -h, --help    display this help and exit" << std::endl;
}

int compare_file_times(const std::string& input, const std::string& output) {
    platform::file_time in_time;
    platform::file_time out_time;
    if (!platform::last_write_time(input.c_str(), in_time)) return -1;
    if (!platform::last_write_time(output.c_str(), out_time)) return -1;
    if (out_time < in_time) return -1;
    return out_time > in_time ? 1 : 0;
}

std::string derive_output_name(const std::string& input) {
    // Only the last path component has an extension: a dot in a folder name ("take.1/sound")
    // must not send the output into another folder.
    const std::string::size_type slash = input.find_last_of("/\\");
    const std::string::size_type name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::string::size_type dot = input.find_last_of('.');
    if (dot == std::string::npos || dot < name_start) return input + ".klng";
    return input.substr(0, dot) + ".klng";
}

namespace {

int run(int argc, const char* const* argv) {
    converter_options options;
    options.parse(argc, argv);
    for (const std::string& input : options.input_files) {
        const std::string output =
            options.output_name.empty() ? derive_output_name(input) : options.output_name;
        if (options.update && compare_file_times(input, output) > 0) {
            if (options.verbose) std::cout << "tonecast: " << output << " is update." << std::endl;
            continue;
        }
        convert_file(input.c_str(), output.c_str(), options);
    }
    return 0;
}

}  // namespace

int tonecast_main(int argc, const char* const* argv) {
    if (argc == 1) {
        print_usage();
        return 1;
    }
    try {
        return run(argc, argv);
    } catch (const cmdline_exception& e) {
        std::cerr << "tonecast: " << e.what() << std::endl
                  << "Try 'tonecast --help' for more information." << std::endl;
    } catch (const my_exception& e) {
        std::cerr << "tonecast: " << e.what() << std::endl;
    } catch (const CWaveFileExceptionNotSupported& e) {
        std::cerr << "tonecast: Not supported file format " << e.filename << std::endl;
    } catch (const CWaveFileExceptionCannotOpen& e) {
        std::cerr << "tonecast: Cannot open " << e.filename << std::endl;
    } catch (const CWaveFileExceptionBadFormat& e) {
        std::cerr << "tonecast: Bad format " << e.filename << std::endl;
    } catch (const CWaveFileException& e) {
        std::cerr << "tonecast: Unexpected exception " << e.filename << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "tonecast: Unexpected exception" << std::endl
                  << " message:" << e.what() << std::endl;
    } catch (...) {
        // strm::failure among others: a short read outside a header parse.
        std::cerr << "tonecast: Unexpected exception" << std::endl;
    }
    return 1;
}
