#pragma once
// The chunk arithmetic and raw-data access that the WAV and AIFF classes share. Both formats
// are a walk over (identifier, size, body) chunks whose sizes are claims to be checked, and both
// keep their sample bytes as one range [data start, data end) of the file.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "wavefile/strm.h"

namespace wavefile {

// Opens a file for reading through `buffer`, a block of 64 KB created on first use, so that
// reading sample data in steps of a few kilobytes costs one system call per 64 KB rather than
// one per step. The caller keeps the buffer alive while the stream is open and has closed any
// earlier stream that read through it.
std::FILE* open_for_reading(const char* path, std::unique_ptr<char[]>& buffer);

// The current position, for a header parse: a position that cannot be read is a failure.
std::int64_t position_or_fail(strm::file& f);

// The end of a chunk whose body starts at `body` and which declares `size` bytes, in 64 bits.
// An end that lies before the body (a negative size) or beyond signed 32-bit offsets makes the
// file bad (strm::failure) before anything stores it.
std::int64_t checked_chunk_end(std::int64_t body, std::int64_t size);

// Leaves a chunk once its handler has read its fields: the fields must not have run past `end`;
// then the walk goes on at `end`, or one byte later when `end` is odd (the pad byte).
void leave_chunk(strm::file& f, std::int64_t end);

// Reads up to `bytes` bytes from the current position without passing `data_end` and returns
// the count the file actually delivered: 0 when closed, at or beyond data end, or for a
// request of 0 or fewer bytes.
std::int32_t read_raw_clipped(strm::file& f, std::int32_t data_end, void* buffer,
                              std::int32_t bytes);

// Seeks to data start + offset; 0 on success, non-zero when closed, when no data was located
// (data start -1) or when the target is not a valid offset.
std::int32_t seek_data(strm::file& f, std::int32_t data_start, std::int32_t offset);

// Writing: begin_chunk writes the identifier and a zero size and returns where the body starts;
// end_chunk writes the body's size (current position - body) into that field, returns to the
// end of the body and pads the file to an even length.
std::int64_t begin_chunk(strm::file& f, std::uint32_t id, bool big_endian);
void end_chunk(strm::file& f, std::int64_t body, bool big_endian);

}  // namespace wavefile
