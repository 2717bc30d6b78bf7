#pragma once
// klnginfo's options, filled by the same command-line parser as tonecast's.

#include <string>
#include <util/cmdline>
#include <vector>

class klnginfo_options : public cmdline {
public:
    klnginfo_options();

    std::vector<std::string> input_files;
    std::string wave_name;  // -w: decode to this WAV or AIFF file; empty: none
    std::string svg_name;   // --svg: draw to this SVG file; empty: none

protected:
    void on_option(std::string name, std::string value) override;
    void on_operand(std::string operand) override;
    // -h: prints the usage text and ends the process with status 0, inside the parse.
    virtual void on_help();
};
