#include "wavefile/strm.h"

#include <climits>

namespace strm {

file::~file() {
    if (stream_) std::fclose(stream_);
}

void file::attach(std::FILE* stream) {
    close(*this);
    stream_ = stream;
    failed_ = false;
}

bool file::failed() const { return failed_ || (stream_ && std::ferror(stream_)); }

namespace {

template <std::size_t N>
void read_exact(file& f, unsigned char (&bytes)[N]) {
    if (!f.is_open() || std::fread(bytes, 1, N, f.get()) != N) throw failure();
}

template <std::size_t N>
void write_exact(file& f, const unsigned char (&bytes)[N]) {
    write_bytes(f, bytes, N);
}

}  // namespace

file& read_be32(file& f, std::uint32_t& out) {
    unsigned char b[4];
    read_exact(f, b);
    out = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    return f;
}

file& read_be16(file& f, std::uint16_t& out) {
    unsigned char b[2];
    read_exact(f, b);
    out = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
    return f;
}

file& read_le32(file& f, std::uint32_t& out) {
    unsigned char b[4];
    read_exact(f, b);
    out = std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
    return f;
}

file& read_le16(file& f, std::uint16_t& out) {
    unsigned char b[2];
    read_exact(f, b);
    out = static_cast<std::uint16_t>(b[1] << 8 | b[0]);
    return f;
}

file& read_u8(file& f, std::uint8_t& out) {
    unsigned char b[1];
    read_exact(f, b);
    out = b[0];
    return f;
}

file& write_be32(file& f, std::uint32_t value) {
    const unsigned char b[4] = {static_cast<unsigned char>(value >> 24),
                                static_cast<unsigned char>(value >> 16),
                                static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value)};
    write_exact(f, b);
    return f;
}

file& write_be16(file& f, std::uint16_t value) {
    const unsigned char b[2] = {static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value)};
    write_exact(f, b);
    return f;
}

file& write_le32(file& f, std::uint32_t value) {
    const unsigned char b[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    write_exact(f, b);
    return f;
}

file& write_le16(file& f, std::uint16_t value) {
    const unsigned char b[2] = {static_cast<unsigned char>(value),
                                static_cast<unsigned char>(value >> 8)};
    write_exact(f, b);
    return f;
}

file& write_u8(file& f, std::uint8_t value) {
    const unsigned char b[1] = {value};
    write_exact(f, b);
    return f;
}

file& pad_to(file& f, std::uint32_t n) {
    const std::int64_t p = position(f);
    if (n == 0 || p < 0) return f;
    const std::uint64_t r = static_cast<std::uint64_t>(p) % n;
    if (r > 0) {
        for (std::uint64_t i = r; i < n; ++i) write_u8(f, 0);
    }
    return f;
}

file& close(file& f) {
    if (f.stream_) {
        if (std::ferror(f.stream_)) f.failed_ = true;
        if (std::fclose(f.stream_) != 0) f.failed_ = true;
        f.stream_ = nullptr;
    }
    return f;
}

std::size_t read_bytes(file& f, void* buffer, std::size_t n) {
    if (!f.is_open() || n == 0) return 0;
    return std::fread(buffer, 1, n, f.get());
}

void write_bytes(file& f, const void* buffer, std::size_t n) {
    if (!f.is_open()) {
        f.mark_failed();
        return;
    }
    if (n != 0 && std::fwrite(buffer, 1, n, f.get()) != n) f.mark_failed();
}

std::int64_t position(file& f) {
    if (!f.is_open()) return -1;
    return std::ftell(f.get());
}

int seek_to(file& f, std::int64_t pos) {
    // Offsets in the files this program handles are 32-bit; anything else is not a place to go.
    if (!f.is_open() || pos < 0 || pos > LONG_MAX) {
        f.mark_failed();
        return -1;
    }
    if (std::fseek(f.get(), static_cast<long>(pos), SEEK_SET) != 0) {
        f.mark_failed();
        return -1;
    }
    return 0;
}

int seek_to_end(file& f) {
    if (!f.is_open() || std::fseek(f.get(), 0, SEEK_END) != 0) {
        f.mark_failed();
        return -1;
    }
    return 0;
}

bool more_bytes(file& f) {
    if (!f.is_open()) return false;
    const int c = std::fgetc(f.get());
    if (c == EOF) return false;
    std::ungetc(c, f.get());
    return true;
}

}  // namespace strm
