#pragma once
// Helpers of the program tests: small WAV inputs built in memory, an independent reading of
// the .klng files the program writes, and the third-party tools used as oracles.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace program {

inline void put_le(std::vector<std::uint8_t>& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

struct WavSpec {
    std::vector<std::int16_t> samples;  // interleaved when channels > 1
    std::uint32_t rate = 22050;
    std::uint16_t channels = 1;
    std::uint16_t tag = 1;
    bool loop = false;
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;  // exclusive; stored inclusive in "smpl"
};

// A 16-bit WAV: "fmt ", an optional "smpl" chunk with one loop, "data".
inline std::vector<std::uint8_t> make_wav(const WavSpec& s) {
    std::vector<std::uint8_t> body{'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    put_le(body, 16, 4);
    put_le(body, s.tag, 2);
    put_le(body, s.channels, 2);
    put_le(body, s.rate, 4);
    put_le(body, s.rate * 2u * s.channels, 4);
    put_le(body, 2u * s.channels, 2);
    put_le(body, 16, 2);
    if (s.loop) {
        body.insert(body.end(), {'s', 'm', 'p', 'l'});
        put_le(body, 60, 4);
        for (std::uint32_t v : {0u, 0u, 0u, 60u, 0u, 0u, 0u, 1u, 0u}) put_le(body, v, 4);
        for (std::uint32_t v : {0u, 0u, s.loop_start, s.loop_end - 1, 0u, 0u}) put_le(body, v, 4);
    }
    body.insert(body.end(), {'d', 'a', 't', 'a'});
    put_le(body, static_cast<std::uint32_t>(s.samples.size() * 2), 4);
    for (std::int16_t v : s.samples) put_le(body, static_cast<std::uint16_t>(v), 2);
    std::vector<std::uint8_t> file{'R', 'I', 'F', 'F'};
    put_le(file, static_cast<std::uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// `frames` frames of a simple ramp pattern.
inline std::vector<std::uint8_t> wav16(std::size_t frames, std::uint16_t channels = 1,
                                       std::uint16_t tag = 1) {
    WavSpec s;
    s.channels = channels;
    s.tag = tag;
    for (std::size_t i = 0; i < frames * channels; ++i) {
        s.samples.push_back(static_cast<std::int16_t>((i * 397) % 2000));
    }
    return make_wav(s);
}

inline std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

// The fields of a .klng file, read independently of the program's own code.
struct Klng {
    std::string file_tag, block_tag;
    std::uint32_t bom = 0, version = 0, file_size = 0, header_size = 0, block_count = 0;
    std::uint32_t block_size = 0;
    std::uint32_t encoding = 0, loop_flag = 0, rate = 0, timer = 0, loop_start = 0;
    std::uint32_t loop_length = 0;
    std::vector<std::uint8_t> data;  // the sample data after the record
};

inline Klng parse_klng(const std::vector<std::uint8_t>& b) {
    Klng k;
    k.file_tag.assign(b.begin(), b.begin() + 4);
    k.bom = le(b, 4, 2);
    k.version = le(b, 6, 2);
    k.file_size = le(b, 8, 4);
    k.header_size = le(b, 12, 2);
    k.block_count = le(b, 14, 2);
    k.block_tag.assign(b.begin() + 16, b.begin() + 20);
    k.block_size = le(b, 20, 4);
    k.encoding = b.at(24);
    k.loop_flag = b.at(25);
    k.rate = le(b, 26, 2);
    k.timer = le(b, 28, 2);
    k.loop_start = le(b, 30, 2);
    k.loop_length = le(b, 32, 4);
    k.data.assign(b.begin() + 36, b.end());
    return k;
}

using test::find_tool;

// Signed 16-bit little-endian bytes to samples.
inline std::vector<std::int16_t> s16_samples(const std::string& raw) {
    std::vector<std::int16_t> out(raw.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto lo = static_cast<std::uint8_t>(raw[2 * i]);
        const auto hi = static_cast<std::uint8_t>(raw[2 * i + 1]);
        out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
    }
    return out;
}

}  // namespace program
