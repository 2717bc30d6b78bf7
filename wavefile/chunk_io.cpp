#include "wavefile/chunk_io.h"

#include <cstddef>

namespace wavefile {

namespace {
constexpr std::int64_t kMaxOffset = 0x7FFFFFFF;

void write_size(strm::file& f, std::uint32_t size, bool big_endian) {
    if (big_endian) {
        strm::write_be32(f, size);
    } else {
        strm::write_le32(f, size);
    }
}
}  // namespace

std::FILE* open_for_reading(const char* path, std::unique_ptr<char[]>& buffer) {
    constexpr std::size_t kBufferBytes = std::size_t{1} << 16;
    std::FILE* stream = std::fopen(path, "rb");
    if (!stream) return nullptr;
    if (!buffer) buffer = std::make_unique<char[]>(kBufferBytes);
    // Should this fail, the stream keeps its default buffer; only speed depends on it.
    std::setvbuf(stream, buffer.get(), _IOFBF, kBufferBytes);
    return stream;
}

std::int64_t position_or_fail(strm::file& f) {
    const std::int64_t p = strm::position(f);
    if (p < 0) throw strm::failure();
    return p;
}

std::int64_t checked_chunk_end(std::int64_t body, std::int64_t size) {
    const std::int64_t end = body + size;
    if (end < body || end > kMaxOffset) throw strm::failure();
    return end;
}

void leave_chunk(strm::file& f, std::int64_t end) {
    if (end < position_or_fail(f)) throw strm::failure();  // a field ran past the chunk
    if (strm::seek_to(f, end + (end & 1)) != 0) throw strm::failure();
}

std::int32_t read_raw_clipped(strm::file& f, std::int32_t data_end, void* buffer,
                              std::int32_t bytes) {
    if (!f.is_open() || bytes <= 0) return 0;
    const std::int64_t p = strm::position(f);
    if (p < 0 || p >= data_end) return 0;
    const std::int64_t left = data_end - p;
    const std::int64_t n = bytes < left ? bytes : left;
    // The count the stream delivered, which is less than asked near a cut-off end of file.
    return static_cast<std::int32_t>(strm::read_bytes(f, buffer, static_cast<std::size_t>(n)));
}

std::int32_t seek_data(strm::file& f, std::int32_t data_start, std::int32_t offset) {
    if (!f.is_open() || data_start < 0) return -1;
    const std::int64_t target = std::int64_t{data_start} + offset;
    if (target < 0 || target > kMaxOffset) return -1;
    return strm::seek_to(f, target) == 0 ? 0 : -1;
}

std::int64_t begin_chunk(strm::file& f, std::uint32_t id, bool big_endian) {
    strm::write_be32(f, id);
    write_size(f, 0, big_endian);
    return strm::position(f);
}

void end_chunk(strm::file& f, std::int64_t body, bool big_endian) {
    const std::int64_t end = strm::position(f);
    if (body < 4 || end < body || end - body > 0xFFFFFFFF) {
        f.mark_failed();
        return;
    }
    strm::seek_to(f, body - 4);
    write_size(f, static_cast<std::uint32_t>(end - body), big_endian);
    strm::seek_to(f, end);
    strm::pad_to(f, 2);
}

}  // namespace wavefile
