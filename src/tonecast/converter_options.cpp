#include "src/tonecast/converter_options.h"

#include <cstdlib>
#include <utility>

#include "src/tonecast/driver.h"

converter_options::converter_options() {
    for (const char* name :
         {"s", "pcm16", "c", "pcm8", "a", "adpcm", "h", "help", "v", "verbose", "u", "update"}) {
        add_option(name, false);
    }
    add_option("o", true);
}

void converter_options::on_option(std::string name, std::string value) {
    if (name == "s" || name == "pcm16") {
        encoding = ENCODING_PCM16;
    } else if (name == "c" || name == "pcm8") {
        encoding = ENCODING_PCM8;
    } else if (name == "a" || name == "adpcm") {
        encoding = ENCODING_ADPCM;
    } else if (name == "help" || name == "h") {
        on_help();
    } else if (name == "verbose" || name == "v") {
        verbose = true;
    } else if (name == "update" || name == "u") {
        update = true;
    } else if (name == "o") {
        output_name = std::move(value);
    }
}

void converter_options::on_operand(std::string operand) {
    input_files.push_back(std::move(operand));
}

void converter_options::on_help() {
    print_usage();
    std::exit(0);
}
