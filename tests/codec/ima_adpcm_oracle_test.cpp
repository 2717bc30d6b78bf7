// Our codes, decoded by independent IMA-ADPCM decoders, must give exactly the samples our own
// decoder gives. The codes travel in standard files, packet by packet, each packet header
// carrying the encoder's running state at that point:
// - a WAV file, format tag 0x11, decoded by sox: 256-byte blocks of a 4-byte header (predictor,
//   step index) and 504 codes; the decoder outputs the header's predictor as the block's first
//   sample, then one sample per code.
// - an AIFF-C file of QuickTime 'ima4' packets, decoded by ffmpeg: 34-byte packets of a 2-byte
//   header (the predictor's top 9 bits, the step index) and 64 codes. ffmpeg keeps its running
//   state across packets whose header agrees with it, so the exact state carries through.
// In both, two codes share a byte, the earlier one in the low nibble. (ffmpeg's decoder for the
// WAV form multiplies, (2 * magnitude + 1) * step >> 3, which rounds differently from the
// recommendation's shifts and adds; its 'ima4' decoder follows the recommendation.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "codec/ima_adpcm.h"
#include "tests/support/temp_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRate = 22050;
// 4032 is a whole number of WAV blocks (504 codes) and of 'ima4' packets (64 codes).
constexpr std::size_t kInputSamples = 16 * 4032;  // about three seconds

// Near-silence, a rising chirp, a full-scale square wave, full-scale noise, a loud low tone and
// a decaying one: the step index walks its whole range and the predictor meets both clamps.
// The full-scale stretches, where our floor clamp bites, are a tenth of the whole; they end
// at the ceiling, where a standard decoder's state meets ours again.
std::vector<std::int16_t> test_signal() {
    const double kPi = 3.14159265358979323846;
    std::vector<std::int16_t> out(kInputSamples);
    std::uint32_t lcg = 12345;
    auto next_random = [&lcg] {
        lcg = lcg * 1664525u + 1013904223u;
        return static_cast<std::int32_t>(lcg >> 16) - 32768;  // -32768 ... 32767
    };
    double phase = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i);
        double v = 0.0;
        if (i < 4000) {
            v = next_random() / 8192;  // -4 ... 3
        } else if (i < 30000) {
            const double x = (t - 4000) / 26000.0;
            phase += 2 * kPi * 30.0 * std::pow(300.0, x) / kRate;  // 30 Hz ... 9 kHz
            v = (50.0 + 29950.0 * x) * std::sin(phase);
        } else if (i < 32000) {
            v = ((i / 184) % 2) ? -32768.0 : 32767.0;  // 60 Hz
        } else if (i < 35800) {
            v = next_random();
        } else if (i < 36000) {
            v = 32767.0;  // both decoders meet at the ceiling again
        } else if (i < 50000) {
            v = 25000.0 * std::sin(2 * kPi * 200.0 * t / kRate);
        } else {
            v = 20000.0 * std::exp(-(t - 50000) / 2000.0) * std::sin(2 * kPi * 440.0 * t / kRate);
        }
        out[i] = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return out;
}

void put_le16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put_le32(Bytes& b, std::uint32_t v) {
    put_le16(b, v & 0xFFFF);
    put_le16(b, v >> 16);
}
void put_be16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void put_be32(Bytes& b, std::uint32_t v) {
    put_be16(b, v >> 16);
    put_be16(b, v & 0xFFFF);
}
void put_tag(Bytes& b, const char (&tag)[5]) { b.insert(b.end(), tag, tag + 4); }

// Writes one packet header for the state the packet starts from.
using HeaderWriter = void (*)(Bytes&, const adpcm_state&);

struct Layout {
    std::size_t codes_per_packet;
    bool header_is_a_sample;  // the decoder outputs the header's predictor first
    HeaderWriter header;
};

struct Coded {
    Bytes packets;                       // the coded data, packet after packet
    std::vector<std::int16_t> expected;  // our decoder's output, in the file decoder's order
    std::vector<bool> index_seen;        // step indices our decoder passed through
};

Coded encode_packets(const std::vector<std::int16_t>& input, const Layout& layout) {
    Coded c;
    c.index_seen.assign(89, false);
    adpcm_state encoder{0, adpcm_find_start_index(0, input[0])};
    for (std::size_t first = 0; first < input.size(); first += layout.codes_per_packet) {
        adpcm_state decoder = encoder;  // the header carries the encoder's state here
        layout.header(c.packets, encoder);
        if (layout.header_is_a_sample) c.expected.push_back(decoder.predictor);
        std::uint8_t pending = 0;
        for (std::size_t k = 0; k < layout.codes_per_packet; ++k) {
            const std::uint8_t code = adpcm_encode(input[first + k], encoder);
            c.index_seen[static_cast<std::size_t>(decoder.step_index)] = true;
            c.expected.push_back(adpcm_decode(code, decoder));
            if (k % 2 == 0) {
                pending = code;
            } else {
                c.packets.push_back(static_cast<std::uint8_t>(pending | code << 4));
            }
        }
    }
    return c;
}

// WAV, format tag 0x11: little-endian predictor, step index, a reserved zero byte.
constexpr std::size_t kWavBlockAlign = 256;
constexpr std::size_t kWavCodes = (kWavBlockAlign - 4) * 2;  // 504

void wav_header(Bytes& b, const adpcm_state& s) {
    put_le16(b, static_cast<std::uint16_t>(s.predictor));
    b.push_back(static_cast<std::uint8_t>(s.step_index));
    b.push_back(0);
}

Coded wav_file(const std::vector<std::int16_t>& input) {
    Coded c = encode_packets(input, {kWavCodes, true, wav_header});
    const auto data_size = static_cast<std::uint32_t>(c.packets.size());
    const auto samples_per_block = static_cast<std::uint32_t>(kWavCodes + 1);
    Bytes b;
    put_tag(b, "RIFF");
    put_le32(b, 4 + (8 + 20) + (8 + 4) + 8 + data_size);
    put_tag(b, "WAVE");
    put_tag(b, "fmt ");
    put_le32(b, 20);
    put_le16(b, 0x11);  // IMA ADPCM
    put_le16(b, 1);     // mono
    put_le32(b, kRate);
    put_le32(b, static_cast<std::uint32_t>(kRate * kWavBlockAlign / samples_per_block));
    put_le16(b, static_cast<std::uint32_t>(kWavBlockAlign));
    put_le16(b, 4);  // bits per code
    put_le16(b, 2);  // extension size
    put_le16(b, samples_per_block);
    put_tag(b, "fact");
    put_le32(b, 4);
    put_le32(b, static_cast<std::uint32_t>(c.expected.size()));
    put_tag(b, "data");
    put_le32(b, data_size);
    b.insert(b.end(), c.packets.begin(), c.packets.end());
    c.packets = b;
    return c;
}

// 'ima4': big-endian, the predictor's top 9 bits over a 7-bit step index.
constexpr std::size_t kIma4Codes = 64;
constexpr std::size_t kIma4PacketSize = 2 + kIma4Codes / 2;

void ima4_header(Bytes& b, const adpcm_state& s) {
    const auto top = static_cast<std::uint32_t>(static_cast<std::uint16_t>(s.predictor)) & 0xFF80;
    put_be16(b, top | static_cast<std::uint32_t>(s.step_index));
}

Coded aifc_file(const std::vector<std::int16_t>& input) {
    Coded c = encode_packets(input, {kIma4Codes, false, ima4_header});
    const auto data_size = static_cast<std::uint32_t>(c.packets.size());
    Bytes b;
    put_tag(b, "FORM");
    put_be32(b, 4 + (8 + 4) + (8 + 24) + (8 + 8) + data_size);
    put_tag(b, "AIFC");
    put_tag(b, "FVER");
    put_be32(b, 4);
    put_be32(b, 0xA2805140);  // AIFF-C version 1
    put_tag(b, "COMM");
    put_be32(b, 24);
    put_be16(b, 1);                                                        // mono
    put_be32(b, static_cast<std::uint32_t>(data_size / kIma4PacketSize));  // frames: packets
    put_be16(b, 4);                                                        // bits per code
    // 22050 as an 80-bit extended float: exponent 16383 + 14, mantissa 0x5622 << 49.
    b.insert(b.end(), {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
    put_tag(b, "ima4");
    b.insert(b.end(), {0, 0});  // empty compression name, padded to even length
    put_tag(b, "SSND");
    put_be32(b, 8 + data_size);
    put_be32(b, 0);  // offset
    put_be32(b, 0);  // block size
    b.insert(b.end(), c.packets.begin(), c.packets.end());
    c.packets = b;
    return c;
}

struct Oracle {
    const char* name;
    const char* program;
    Coded (*file)(const std::vector<std::int16_t>&);
    const char* file_name;
    // Decodes the file in $1 to raw signed 16-bit little-endian samples in $2.
    const char* command;
    friend void PrintTo(const Oracle& o, std::ostream* os) { *os << o.name; }
};

const Oracle kOracles[] = {
    {"sox_wav", "sox", wav_file, "coded.wav",
     "sox -D -V1 '$1' -t raw -e signed-integer -b 16 -L '$2'"},
    {"ffmpeg_aifc_ima4", "ffmpeg", aifc_file, "coded.aifc",
     "ffmpeg -nostdin -v error -y -i '$1' -f s16le -c:a pcm_s16le '$2'"},
};

std::string fill(std::string command, const std::string& in, const std::string& out) {
    command.replace(command.find("$1"), 2, in);
    command.replace(command.find("$2"), 2, out);
    return command;
}

bool on_path(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

class AdpcmOracle : public ::testing::TestWithParam<Oracle> {};

TEST_P(AdpcmOracle, DecodesOurCodesToOurSamples) {
    const Oracle& oracle = GetParam();
    if (!on_path(oracle.program)) {
        GTEST_SKIP() << oracle.program << " not found on the PATH; this cross-check needs it";
    }
    const Coded coded = oracle.file(test_signal());
    const test::TempFile file(coded.packets, oracle.file_name);
    const std::string raw_path = file.path() + ".raw";
    ASSERT_EQ(std::system(fill(oracle.command, file.path(), raw_path).c_str()), 0);
    const Bytes raw = test::read_file(raw_path);
    std::remove(raw_path.c_str());
    ASSERT_EQ(raw.size(), coded.expected.size() * 2);

    // Our predictor stops at -32767 where a standard decoder goes on to -32768. From there the
    // other decoder runs exactly one below ours (the step index is the same in both: it depends
    // on the codes alone) until a clamp or a packet header brings the two together again.
    // Everything else must match exactly.
    std::size_t exact = 0, one_below = 0, at_ceiling = 0, mismatches = 0;
    bool apart = false;
    for (std::size_t i = 0; i < coded.expected.size(); ++i) {
        const auto theirs = static_cast<std::int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
        const std::int16_t ours = coded.expected[i];
        if (theirs == ours) {
            apart = false;
            ++exact;
            if (ours == 32767) ++at_ceiling;
        } else if (theirs == ours - 1 && (apart || ours == -32767)) {
            apart = true;
            ++one_below;
        } else if (++mismatches <= 5) {
            ADD_FAILURE() << "sample " << i << ": " << oracle.program << " " << theirs << ", ours "
                          << ours;
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GE(exact, coded.expected.size() * 85 / 100) << one_below << " samples one below";
    EXPECT_GT(at_ceiling, 0u) << "the signal never reached the upper clamp";
    for (std::size_t index = 0; index < 89; ++index) {
        EXPECT_TRUE(coded.index_seen[index]) << "step index " << index << " never used";
    }
    RecordProperty("exact", static_cast<int>(exact));
    RecordProperty("one_below", static_cast<int>(one_below));
}

INSTANTIATE_TEST_SUITE_P(Tools, AdpcmOracle, ::testing::ValuesIn(kOracles),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
