#pragma once
// Fixed-width fields of a .klng file that is already in memory.
//
// The strm helpers read fields from a stream; klnginfo reads the whole file into memory first,
// so that every size it meets can be checked against the file's real length before anything
// is read or allocated, and so that the parser can be fuzzed on a plain byte array. These are
// the same little-endian and big-endian readings, on a pointer the caller has range-checked.

#include <cstdint>

namespace klng {

inline std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A four-character tag: the 32-bit big-endian value of its characters, as strm::fourcc gives.
inline std::uint32_t load_be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

}  // namespace klng
