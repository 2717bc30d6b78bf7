#pragma once

#include "src/tonecast/converter_options.h"

// Converts one input sound file into one output file in the encoding the options select, and
// prints the progress line. Throws on failure; once the output exists, a failure removes it.
void convert_file(const char* input, const char* output, const converter_options& options);
