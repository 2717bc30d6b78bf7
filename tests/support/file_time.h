#pragma once
// Last-write times for tests, at the file system's full resolution on both systems.

#include <chrono>
#include <string>

namespace test {

// Sets the last-write time of `path` to that of `reference` plus `offset`. std::filesystem of
// the MinGW toolchain sets whole seconds only, which would turn "a millisecond later" into
// "earlier"; Windows keeps 100 ns ticks, so there the offset must be a multiple of 100 ns.
// Throws when either file cannot be queried or changed.
void set_write_time(const std::string& path, const std::string& reference,
                    std::chrono::nanoseconds offset);

}  // namespace test
