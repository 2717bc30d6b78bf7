#pragma once
// The program's options, filled by the command-line parser.

#include <cstdint>
#include <string>
#include <util/cmdline>
#include <vector>

// Sample encodings; the same numbers select the alignment and the encoder and are written into
// the wave information record.
enum : std::int32_t { ENCODING_PCM8 = 0, ENCODING_PCM16 = 1, ENCODING_ADPCM = 2 };

class converter_options : public cmdline {
public:
    converter_options();

    std::vector<std::string> input_files;
    std::string output_name;  // empty: derived from each input name
    std::int32_t encoding = ENCODING_ADPCM;
    bool verbose = false;
    bool update = false;

protected:
    void on_option(std::string name, std::string value) override;
    void on_operand(std::string operand) override;
    // -h: prints the usage text and ends the process with status 0, inside the parse.
    virtual void on_help();
};
