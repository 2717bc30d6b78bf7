#pragma once
// What the fuzz targets share: files of this process for the library's path-based reader, a
// check that aborts (so that libFuzzer, or the replay program under ctest, reports the input),
// and a reader of little fields from the fuzzer's bytes.
//
// Every target is built twice: against libFuzzer (clang, TONECAST_FUZZ) and against
// replay_main.cpp, which feeds the committed corpus to the same LLVMFuzzerTestOneInput in the
// ordinary test suite.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

// A file path owned by this process: the library opens inputs by name, so every fuzz input
// goes through a file. Two processes (parallel ctest, libFuzzer's -jobs) never share one. The
// file is removed when the process ends normally.
class scratch_file {
public:
    explicit scratch_file(const char* tag);
    ~scratch_file();
    scratch_file(const scratch_file&) = delete;
    scratch_file& operator=(const scratch_file&) = delete;

    const char* path() const { return path_.c_str(); }
    // Replaces the file's contents; aborts when the file cannot be written (no test then).
    void write(const std::uint8_t* data, std::size_t size) const;
    // The file's bytes; empty when it does not exist.
    std::vector<std::uint8_t> read() const;
    bool exists() const;
    void remove() const;

private:
    std::string path_;
};

// A broken property: prints what broke and aborts, which both drivers report with the input.
[[noreturn]] void fail(const char* what, const char* file, int line);

// Reads fields from the front of the fuzzer's bytes; past the end every field reads 0.
class byte_reader {
public:
    byte_reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t u8();
    std::uint16_t u16();  // little-endian
    std::uint32_t u32();  // little-endian
    std::uint64_t u64();  // little-endian
    double f64();         // the bits of a double, every pattern (NaN, infinity, denormals) included

    const std::uint8_t* rest() const { return data_ + pos_; }
    std::size_t left() const { return size_ - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::fail(#condition, __FILE__, __LINE__))
