#pragma once
// Fixed-width binary I/O over C standard streams, in both byte orders.
//
// Every file in tonecast is a C stream in binary mode held by a strm::file. Reads throw
// strm::failure when the file delivers fewer bytes than the field needs; writes never throw,
// but a failed write, seek or close is remembered so that the owner can refuse to call the
// file complete (see file::failed).

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace strm {

// A read came up short, or (inside the wave file readers) a header lacks its expected form.
struct failure {};

// Owns one C stream; closes it when destroyed. Never copied: an object holding one and being
// copied starts with an empty handle.
class file {
public:
    file() = default;
    explicit file(std::FILE* stream) : stream_(stream) {}
    ~file();
    file(const file&) = delete;
    file& operator=(const file&) = delete;

    // Attaches a stream, closing any previous one; also forgets earlier write failures.
    void attach(std::FILE* stream);
    std::FILE* get() const { return stream_; }
    bool is_open() const { return stream_ != nullptr; }

    // True once a write, a seek or the closing of this file failed. A file that failed is not
    // complete, whatever its size fields say.
    bool failed() const;
    void mark_failed() { failed_ = true; }

private:
    friend file& close(file& f);
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};

// A four-character tag as the 32-bit big-endian value of its characters: fourcc("RIFF").
constexpr std::uint32_t fourcc(const char (&tag)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(tag[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(tag[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(tag[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(tag[3]));
}

file& read_be32(file& f, std::uint32_t& out);
file& read_be16(file& f, std::uint16_t& out);
file& read_le32(file& f, std::uint32_t& out);
file& read_le16(file& f, std::uint16_t& out);
file& read_u8(file& f, std::uint8_t& out);

file& write_be32(file& f, std::uint32_t value);
file& write_be16(file& f, std::uint16_t value);
file& write_le32(file& f, std::uint32_t value);
file& write_le16(file& f, std::uint16_t value);
file& write_u8(file& f, std::uint8_t value);

// Writes zero bytes until the position, counted from the start of the file, is a multiple of n.
// Writes nothing when the position cannot be read.
file& pad_to(file& f, std::uint32_t n);

// Closes the attached stream, if any, and empties the handle. A failed close marks the file.
file& close(file& f);

// Byte-level helpers shared by the readers and writers.
// Reads up to n bytes; returns the count actually delivered.
std::size_t read_bytes(file& f, void* buffer, std::size_t n);
// Writes n bytes; a short write marks the file as failed.
void write_bytes(file& f, const void* buffer, std::size_t n);
// The current position in bytes from the start, or -1 when it cannot be read.
std::int64_t position(file& f);
// Seeks to an absolute position; returns 0 on success. A failure marks the file.
int seek_to(file& f, std::int64_t pos);
// Seeks to the end of the file; returns 0 on success. A failure marks the file.
int seek_to_end(file& f);
// True when at least one more byte can be read (the byte is put back).
bool more_bytes(file& f);

}  // namespace strm
