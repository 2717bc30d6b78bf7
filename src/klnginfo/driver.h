#pragma once
// klnginfo's entry, kept out of main.cpp so that tests reach it.

// Runs the whole program; returns the exit status: 0 when every file was read and verified
// and every output written, 1 otherwise. -h ends the process from inside.
int klnginfo_main(int argc, const char* const* argv);

// The banner and the usage text, on standard output.
void klnginfo_print_usage();
