#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define TONECAST_GETPID _getpid
#else
#include <unistd.h>
#define TONECAST_GETPID getpid
#endif

namespace fuzz {

scratch_file::scratch_file(const char* tag) {
    const auto dir = std::filesystem::temp_directory_path();
    path_ = (dir / ("tonecast-fuzz-" + std::to_string(TONECAST_GETPID()) + "-" + tag)).string();
}

scratch_file::~scratch_file() { remove(); }

void scratch_file::write(const std::uint8_t* data, std::size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) fail("cannot create the scratch file", __FILE__, __LINE__);
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) fail("cannot write the scratch file", __FILE__, __LINE__);
}

std::vector<std::uint8_t> scratch_file::read() const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return {};
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

bool scratch_file::exists() const {
    std::error_code ec;
    return std::filesystem::exists(path_, ec);
}

void scratch_file::remove() const {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

std::uint8_t byte_reader::u8() { return pos_ < size_ ? data_[pos_++] : 0; }

std::uint16_t byte_reader::u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t byte_reader::u32() {
    const std::uint32_t low = u16();
    return low | std::uint32_t{u16()} << 16;
}

std::uint64_t byte_reader::u64() {
    const std::uint64_t low = u32();
    return low | std::uint64_t{u32()} << 32;
}

double byte_reader::f64() {
    const std::uint64_t bits = u64();
    double v = 0;
    static_assert(sizeof v == sizeof bits, "IEEE-754 binary64 expected");
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

}  // namespace fuzz
