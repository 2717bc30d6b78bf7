#include "container/file_block.h"

file_header::file_header(std::uint32_t tag, std::uint16_t version, std::uint16_t block_count,
                         strm::file& stream)
    : stream_(stream) {
    strm::write_be32(stream_, tag);
    strm::write_le16(stream_, container::kByteOrderMark);
    strm::write_le16(stream_, version);
    strm::write_le32(stream_, 0);  // file size, patched when the header ends
    strm::write_le16(stream_, container::kHeaderSize);
    strm::write_le16(stream_, block_count);
    strm::pad_to(stream_, 4);
}

file_header::~file_header() {
    strm::pad_to(stream_, 4);
    const std::int64_t size = strm::position(stream_);
    if (size < 0 || size > UINT32_MAX) {
        stream_.mark_failed();
        return;
    }
    if (strm::seek_to(stream_, size_pos_) == 0) {
        strm::write_le32(stream_, static_cast<std::uint32_t>(size));
    }
}

file_block::file_block(std::uint32_t tag, strm::file& stream) : stream_(stream) {
    start_ = strm::position(stream_);
    strm::write_be32(stream_, tag);
    size_pos_ = strm::position(stream_);
    strm::write_le32(stream_, 0);  // block size, patched when the block ends
    if (start_ < 0 || size_pos_ < 0) stream_.mark_failed();
}

file_block::~file_block() {
    strm::pad_to(stream_, 4);
    const std::int64_t end = strm::position(stream_);
    if (start_ < 0 || size_pos_ < 0 || end < start_ || end - start_ > UINT32_MAX) {
        stream_.mark_failed();
        return;
    }
    if (strm::seek_to(stream_, size_pos_) == 0) {
        strm::write_le32(stream_, static_cast<std::uint32_t>(end - start_));
        strm::seek_to(stream_, end);
    }
}
