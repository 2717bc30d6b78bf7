#pragma once
// Helpers of the klnginfo tests: .klng files written by the built tonecast, the fields of such
// a file read here byte by byte (not through klnginfo's reader), the built klnginfo run as a
// process, and the third-party tools used as oracles.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codec/ima_adpcm.h"
#include "tests/support/process.h"
#include "tests/support/temp_file.h"

namespace klt {

inline std::string klnginfo_exe() { return KLNGINFO_EXE; }

// The bundled looped example, and the sox-made tone of the job tests (tests/data/job/make.sh).
inline std::string example_wav() {
    return std::string(TONECAST_TEST_DATA) + "/../../examples/chime.wav";
}
inline std::string tone_wav() { return test::data_file("job/tone16.wav"); }

// Runs klnginfo with `args` inside `dir`.
inline test::ProcessResult run_klnginfo(const test::TempDir& dir, std::vector<std::string> args,
                                        test::ProcessOptions options = {}) {
    args.insert(args.begin(), klnginfo_exe());
    options.cwd = dir.path().string();
    return test::run_program(args, options);
}

// The bytes tonecast writes for `input` with the encoding option -a, -s or -c; each
// conversion runs once per test program.
inline const std::vector<std::uint8_t>& converted(const std::string& input,
                                                  const std::string& option) {
    static std::map<std::string, std::vector<std::uint8_t>> cache;
    const std::string key = input + " " + option;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    test::TempDir dir;
    const std::string out = dir.file("out.klng");
    const test::ProcessResult r =
        test::run_program({test::tonecast_exe(), option, "-o", out, input});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return cache[key] = test::read_file(out);
}

inline std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}
inline void put_le(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

// The samples of a tonecast output, decoded here from its bytes: the record starts at 24, the
// sample data at 36 (one "DATA" block right after the 16-byte header). IMA-ADPCM goes through
// the project's codec from the header word's state, low nibble first.
inline std::vector<std::int16_t> reference_samples(const std::vector<std::uint8_t>& k) {
    std::vector<std::int16_t> out;
    const std::uint8_t encoding = k.at(24);
    if (encoding == 0) {
        for (std::size_t i = 36; i < k.size(); ++i) {
            out.push_back(static_cast<std::int16_t>(static_cast<std::int8_t>(k[i]) * 256));
        }
    } else if (encoding == 1) {
        for (std::size_t i = 36; i + 1 < k.size(); i += 2) {
            out.push_back(static_cast<std::int16_t>(le(k, i, 2)));
        }
    } else {
        adpcm_state state;
        state.predictor = static_cast<std::int16_t>(le(k, 36, 2));
        state.step_index = k.at(38);
        for (std::size_t i = 40; i < k.size(); ++i) {
            out.push_back(adpcm_decode(static_cast<std::uint8_t>(k[i] & 15), state));
            out.push_back(adpcm_decode(static_cast<std::uint8_t>(k[i] >> 4), state));
        }
    }
    return out;
}

using test::find_tool;

// The samples of a sound file as sox reads them, signed 16-bit; empty without sox.
inline std::vector<std::int16_t> sox_samples(const std::string& path) {
    const std::string sox = find_tool("sox");
    if (sox.empty()) return {};
    const test::ProcessResult r = test::run_program({sox, path, "-t", "s16", "-L", "-"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::int16_t> out(r.out.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto lo = static_cast<std::uint8_t>(r.out[2 * i]);
        const auto hi = static_cast<std::uint8_t>(r.out[2 * i + 1]);
        out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
    }
    return out;
}

}  // namespace klt
