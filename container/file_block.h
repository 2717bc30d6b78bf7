#pragma once
// Scope writers of the output container.
//
// The file is a 16-byte header followed by blocks; every block is a big-endian four-character
// tag, a little-endian 32-bit size counting the whole block (its 8-byte header and its
// padding), the contents and zero padding up to the next multiple of 4 of the file position.
// Neither size is known when its header is written, so both are written as 0 and patched when
// the scope object ends, on the normal path and while an exception unwinds alike.

#include <cstdint>

#include "wavefile/strm.h"

namespace container {
constexpr std::uint32_t kFileTag = strm::fourcc("KLNG");
constexpr std::uint32_t kDataTag = strm::fourcc("DATA");
constexpr std::uint16_t kByteOrderMark = 0xFEFF;
constexpr std::uint16_t kVersion = 0x0100;
constexpr std::uint16_t kHeaderSize = 16;
constexpr std::int32_t kFileSizeOffset = 8;
}  // namespace container

// Writes the file header on creation (it must be the first thing in the file) and patches the
// file size at offset 8 when it ends. Nothing may be written to the file after that.
class file_header {
public:
    file_header(std::uint32_t tag, std::uint16_t version, std::uint16_t block_count,
                strm::file& stream);
    ~file_header();
    file_header(const file_header&) = delete;
    file_header& operator=(const file_header&) = delete;

private:
    strm::file& stream_;
    std::int32_t size_pos_ = container::kFileSizeOffset;
};

// Writes a block header on creation and patches the block size when it ends, leaving the
// stream at the block's end so that further blocks can follow.
class file_block {
public:
    file_block(std::uint32_t tag, strm::file& stream);
    ~file_block();
    file_block(const file_block&) = delete;
    file_block& operator=(const file_block&) = delete;

private:
    strm::file& stream_;
    std::int64_t start_ = 0;
    std::int64_t size_pos_ = 0;
};
