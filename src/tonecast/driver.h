#pragma once
// The program's entry, kept out of main.cpp so that tests reach it.

#include <string>

// Runs the whole program; returns the exit status (0 success, 1 failure). -h ends the process
// from inside.
int tonecast_main(int argc, const char* const* argv);

// The banner and the usage text, on standard output.
void print_usage();

// 1 when both last-write times are known and the output's is strictly later; -1 when either
// file cannot be queried; otherwise the sign of output time minus input time.
int compare_file_times(const std::string& input, const std::string& output);

// The input name without the extension of its last path component, followed by ".klng".
std::string derive_output_name(const std::string& input);
