#pragma once
// Wave files built byte by byte in memory, for tests that need exact layouts: chunks in any
// order, sizes that lie, missing pad bytes, stray bytes. Nothing here uses the library under
// test; every number is put in its byte order by hand.

#include <cstdint>
#include <string>
#include <vector>

namespace test {

// A sequence of bytes appended field by field.
class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<std::uint8_t> bytes) : bytes_(bytes) {}

    Bytes& u8(std::uint8_t v);
    Bytes& le16(std::uint16_t v);
    Bytes& le32(std::uint32_t v);
    Bytes& be16(std::uint16_t v);
    Bytes& be32(std::uint32_t v);
    // The four characters of a tag, in reading order.
    Bytes& tag(const char* four);
    Bytes& text(const std::string& s);
    Bytes& append(const std::vector<std::uint8_t>& more);
    Bytes& zeros(std::size_t n);
    // n bytes 0, 1, 2, ... 255, 0, 1, ...: sample data whose every byte is known.
    Bytes& ramp(std::size_t n);

    const std::vector<std::uint8_t>& vec() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// A RIFF WAVE file. bytes() patches the RIFF size to the length - 8 unless riff_size() set one.
class RiffBuilder {
public:
    explicit RiffBuilder(const char* riff = "RIFF", const char* wave = "WAVE");

    // A chunk whose size field says the body's length; an odd body gets its pad byte if `pad`.
    RiffBuilder& chunk(const char* id, const Bytes& body, bool pad = true);
    // A chunk whose size field says `declared`, whatever the body holds (no pad byte added).
    RiffBuilder& chunk_declared(const char* id, std::uint32_t declared, const Bytes& body);
    // "fmt " of 16 bytes (plus `extra` zero bytes) with byte rate and block align computed.
    RiffBuilder& fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                     std::uint16_t bits, std::size_t extra = 0);
    RiffBuilder& data(const Bytes& samples, bool pad = true);
    // "fmt " of WAVE_FORMAT_EXTENSIBLE (tag 0xFFFE): the 16 bytes, cbSize, valid bits (0: the
    // container's), a speaker mask of 4 (front centre) and the 16 bytes of `guid`: 40 bytes
    // when cbSize is 22, and `cb_size` is written as given.
    RiffBuilder& fmt_extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                const Bytes& guid, std::uint16_t valid_bits = 0,
                                std::uint16_t cb_size = 22);

    struct Loop {
        std::uint32_t start, end_inclusive;
        std::uint32_t cue = 0, type = 0, fraction = 0, play_count = 0;
    };
    // "smpl" with the given unity note and loop records; loop count as given unless overridden.
    RiffBuilder& smpl(std::uint32_t unity_note, const std::vector<Loop>& loops,
                      long long loop_count_override = -1);
    RiffBuilder& raw(const Bytes& bytes);
    RiffBuilder& riff_size(std::uint32_t size);

    std::vector<std::uint8_t> bytes() const;

private:
    Bytes out_;
    bool size_fixed_ = false;
    std::uint32_t size_ = 0;
};

// An AIFF file ("FORM", size, form type). bytes() patches the FORM size to the length - 8.
class AiffBuilder {
public:
    explicit AiffBuilder(const char* form_type = "AIFF");

    AiffBuilder& chunk(const char* id, const Bytes& body, bool pad = true);
    AiffBuilder& chunk_declared(const char* id, std::uint32_t declared, const Bytes& body);
    // "COMM" of 18 bytes (plus `extra` zero bytes); `rate` is the 10-byte extended number.
    AiffBuilder& comm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits,
                      const std::vector<std::uint8_t>& rate, std::size_t extra = 0);
    // "COMM" of AIFF-C: the 18 bytes above, the compression type, then its name as a Pascal
    // string (count byte, text, a pad byte when the two are of odd length); no name at all
    // (a COMM of 22 bytes) when `name` is null.
    AiffBuilder& comm_aifc(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits,
                           const std::vector<std::uint8_t>& rate, const char* type,
                           const char* name = "");
    AiffBuilder& ssnd(const Bytes& samples, std::uint32_t offset = 0, std::uint32_t block_size = 0);

    struct Marker {
        std::uint16_t id;
        std::uint32_t position;
        std::string name;
    };
    // "MARK" with each name as a length byte, its bytes and a pad byte to an even length.
    AiffBuilder& mark(const std::vector<Marker>& markers);
    struct Inst {
        std::uint8_t base_note = 60, detune = 0, low_note = 0, high_note = 127;
        std::uint8_t low_velocity = 0, high_velocity = 127;
        std::uint16_t gain = 0;
        std::uint16_t sustain_mode = 0, sustain_begin = 0, sustain_end = 0;
        std::uint16_t release_mode = 0, release_begin = 0, release_end = 0;
    };
    AiffBuilder& inst(const Inst& inst);
    AiffBuilder& raw(const Bytes& bytes);

    std::vector<std::uint8_t> bytes() const;

private:
    Bytes out_;
};

// The sub-format GUID that WAVE_FORMAT_EXTENSIBLE gives an old format tag, as stored:
// tag-0000-0010-8000-00AA00389B71 (the first three groups little-endian).
Bytes ks_guid(std::uint32_t tag);

// Extended-precision rates as a file holds them, written out by hand.
inline const std::vector<std::uint8_t> kExt44100 = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
inline const std::vector<std::uint8_t> kExt22050 = {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
inline const std::vector<std::uint8_t> kExt8000 = {0x40, 0x0B, 0xFA, 0x00, 0, 0, 0, 0, 0, 0};

// Fields of a finished file, read by hand in either byte order.
std::uint32_t le32_at(const std::vector<std::uint8_t>& b, std::size_t offset);
std::uint16_t le16_at(const std::vector<std::uint8_t>& b, std::size_t offset);
std::uint32_t be32_at(const std::vector<std::uint8_t>& b, std::size_t offset);
std::uint16_t be16_at(const std::vector<std::uint8_t>& b, std::size_t offset);
std::string tag_at(const std::vector<std::uint8_t>& b, std::size_t offset);

}  // namespace test
