#include "src/klnginfo/klnginfo_options.h"

#include <cstdlib>
#include <utility>

#include "src/klnginfo/driver.h"

klnginfo_options::klnginfo_options() {
    add_option("h", false);
    add_option("help", false);
    add_option("w", true);
    add_option("svg", true);
}

void klnginfo_options::on_option(std::string name, std::string value) {
    if (name == "help" || name == "h") {
        on_help();
    } else if (name == "w") {
        wave_name = std::move(value);
    } else if (name == "svg") {
        svg_name = std::move(value);
    }
}

void klnginfo_options::on_operand(std::string operand) {
    input_files.push_back(std::move(operand));
}

void klnginfo_options::on_help() {
    klnginfo_print_usage();
    std::exit(0);
}
