#include "tests/support/byte_builder.h"

#include <stdexcept>

namespace test {

Bytes& Bytes::u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

Bytes& Bytes::le16(std::uint16_t v) {
    return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8));
}

Bytes& Bytes::le32(std::uint32_t v) {
    return le16(static_cast<std::uint16_t>(v)).le16(static_cast<std::uint16_t>(v >> 16));
}

Bytes& Bytes::be16(std::uint16_t v) {
    return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v));
}

Bytes& Bytes::be32(std::uint32_t v) {
    return be16(static_cast<std::uint16_t>(v >> 16)).be16(static_cast<std::uint16_t>(v));
}

Bytes& Bytes::tag(const char* four) {
    const std::string t(four);
    if (t.size() != 4) throw std::invalid_argument("a tag has four characters");
    return text(t);
}

Bytes& Bytes::text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}

Bytes& Bytes::append(const std::vector<std::uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
}

Bytes& Bytes::zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

Bytes& Bytes::ramp(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) u8(static_cast<std::uint8_t>(i));
    return *this;
}

namespace {

void put_chunk(Bytes& out, const char* id, std::uint32_t declared, const Bytes& body, bool pad,
               bool big_endian) {
    out.tag(id);
    if (big_endian) {
        out.be32(declared);
    } else {
        out.le32(declared);
    }
    out.append(body.vec());
    if (pad && body.size() % 2 == 1) out.u8(0);
}

void patch(std::vector<std::uint8_t>& b, std::size_t offset, std::uint32_t v, bool big_endian) {
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t shift = big_endian ? 24 - 8 * i : 8 * i;
        b[offset + i] = static_cast<std::uint8_t>(v >> shift);
    }
}

}  // namespace

RiffBuilder::RiffBuilder(const char* riff, const char* wave) { out_.tag(riff).le32(0).tag(wave); }

RiffBuilder& RiffBuilder::chunk(const char* id, const Bytes& body, bool pad) {
    put_chunk(out_, id, static_cast<std::uint32_t>(body.size()), body, pad, false);
    return *this;
}

RiffBuilder& RiffBuilder::chunk_declared(const char* id, std::uint32_t declared,
                                         const Bytes& body) {
    put_chunk(out_, id, declared, body, false, false);
    return *this;
}

RiffBuilder& RiffBuilder::fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                              std::uint16_t bits, std::size_t extra) {
    const std::uint32_t align = static_cast<std::uint32_t>((bits + 7) / 8) * channels;
    Bytes body;
    body.le16(tag).le16(channels).le32(rate).le32(rate * align);
    body.le16(static_cast<std::uint16_t>(align)).le16(bits).zeros(extra);
    return chunk("fmt ", body);
}

RiffBuilder& RiffBuilder::fmt_extensible(std::uint16_t channels, std::uint32_t rate,
                                         std::uint16_t bits, const Bytes& guid,
                                         std::uint16_t valid_bits, std::uint16_t cb_size) {
    if (guid.size() != 16) throw std::invalid_argument("a GUID has sixteen bytes");
    const std::uint32_t align = static_cast<std::uint32_t>((bits + 7) / 8) * channels;
    Bytes body;
    body.le16(0xFFFE).le16(channels).le32(rate).le32(rate * align);
    body.le16(static_cast<std::uint16_t>(align)).le16(bits);
    body.le16(cb_size).le16(valid_bits != 0 ? valid_bits : bits).le32(4).append(guid.vec());
    return chunk("fmt ", body);
}

RiffBuilder& RiffBuilder::data(const Bytes& samples, bool pad) {
    return chunk("data", samples, pad);
}

RiffBuilder& RiffBuilder::smpl(std::uint32_t unity_note, const std::vector<Loop>& loops,
                               long long loop_count_override) {
    const std::uint32_t count = loop_count_override >= 0
                                    ? static_cast<std::uint32_t>(loop_count_override)
                                    : static_cast<std::uint32_t>(loops.size());
    Bytes body;
    body.le32(0).le32(0).le32(0).le32(unity_note).le32(0).le32(0).le32(0).le32(count).le32(0);
    for (const Loop& l : loops) {
        body.le32(l.cue).le32(l.type).le32(l.start).le32(l.end_inclusive);
        body.le32(l.fraction).le32(l.play_count);
    }
    return chunk("smpl", body);
}

RiffBuilder& RiffBuilder::raw(const Bytes& bytes) {
    out_.append(bytes.vec());
    return *this;
}

RiffBuilder& RiffBuilder::riff_size(std::uint32_t size) {
    size_fixed_ = true;
    size_ = size;
    return *this;
}

std::vector<std::uint8_t> RiffBuilder::bytes() const {
    std::vector<std::uint8_t> b = out_.vec();
    patch(b, 4, size_fixed_ ? size_ : static_cast<std::uint32_t>(b.size() - 8), false);
    return b;
}

AiffBuilder::AiffBuilder(const char* form_type) { out_.tag("FORM").be32(0).tag(form_type); }

AiffBuilder& AiffBuilder::chunk(const char* id, const Bytes& body, bool pad) {
    put_chunk(out_, id, static_cast<std::uint32_t>(body.size()), body, pad, true);
    return *this;
}

AiffBuilder& AiffBuilder::chunk_declared(const char* id, std::uint32_t declared,
                                         const Bytes& body) {
    put_chunk(out_, id, declared, body, false, true);
    return *this;
}

AiffBuilder& AiffBuilder::comm(std::uint16_t channels, std::uint32_t frames, std::uint16_t bits,
                               const std::vector<std::uint8_t>& rate, std::size_t extra) {
    if (rate.size() != 10) throw std::invalid_argument("an extended rate has ten bytes");
    Bytes body;
    body.be16(channels).be32(frames).be16(bits).append(rate).zeros(extra);
    return chunk("COMM", body);
}

AiffBuilder& AiffBuilder::comm_aifc(std::uint16_t channels, std::uint32_t frames,
                                    std::uint16_t bits, const std::vector<std::uint8_t>& rate,
                                    const char* type, const char* name) {
    if (rate.size() != 10) throw std::invalid_argument("an extended rate has ten bytes");
    Bytes body;
    body.be16(channels).be32(frames).be16(bits).append(rate).tag(type);
    if (name != nullptr) {
        const std::string text(name);
        body.u8(static_cast<std::uint8_t>(text.size())).text(text);
        if (text.size() % 2 == 0) body.u8(0);  // count byte + text: odd, so padded
    }
    return chunk("COMM", body);
}

AiffBuilder& AiffBuilder::ssnd(const Bytes& samples, std::uint32_t offset,
                               std::uint32_t block_size) {
    Bytes body;
    body.be32(offset).be32(block_size).append(samples.vec());
    return chunk("SSND", body);
}

AiffBuilder& AiffBuilder::mark(const std::vector<Marker>& markers) {
    Bytes body;
    body.be16(static_cast<std::uint16_t>(markers.size()));
    for (const Marker& m : markers) {
        body.be16(m.id).be32(m.position).u8(static_cast<std::uint8_t>(m.name.size()));
        body.text(m.name);
        if ((1 + m.name.size()) % 2 == 1) body.u8(0);
    }
    return chunk("MARK", body);
}

AiffBuilder& AiffBuilder::inst(const Inst& in) {
    Bytes body;
    body.u8(in.base_note).u8(in.detune).u8(in.low_note).u8(in.high_note);
    body.u8(in.low_velocity).u8(in.high_velocity).be16(in.gain);
    body.be16(in.sustain_mode).be16(in.sustain_begin).be16(in.sustain_end);
    body.be16(in.release_mode).be16(in.release_begin).be16(in.release_end);
    return chunk("INST", body);
}

AiffBuilder& AiffBuilder::raw(const Bytes& bytes) {
    out_.append(bytes.vec());
    return *this;
}

std::vector<std::uint8_t> AiffBuilder::bytes() const {
    std::vector<std::uint8_t> b = out_.vec();
    patch(b, 4, static_cast<std::uint32_t>(b.size() - 8), true);
    return b;
}

Bytes ks_guid(std::uint32_t tag) {
    return Bytes().le32(tag).le16(0x0000).le16(0x0010).append(
        {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
}

std::uint32_t le32_at(const std::vector<std::uint8_t>& b, std::size_t o) {
    return std::uint32_t{b.at(o)} | std::uint32_t{b.at(o + 1)} << 8 |
           std::uint32_t{b.at(o + 2)} << 16 | std::uint32_t{b.at(o + 3)} << 24;
}

std::uint16_t le16_at(const std::vector<std::uint8_t>& b, std::size_t o) {
    return static_cast<std::uint16_t>(b.at(o) | b.at(o + 1) << 8);
}

std::uint32_t be32_at(const std::vector<std::uint8_t>& b, std::size_t o) {
    return std::uint32_t{b.at(o)} << 24 | std::uint32_t{b.at(o + 1)} << 16 |
           std::uint32_t{b.at(o + 2)} << 8 | std::uint32_t{b.at(o + 3)};
}

std::uint16_t be16_at(const std::vector<std::uint8_t>& b, std::size_t o) {
    return static_cast<std::uint16_t>(b.at(o) << 8 | b.at(o + 1));
}

std::string tag_at(const std::vector<std::uint8_t>& b, std::size_t o) {
    if (o + 4 > b.size()) throw std::out_of_range("no tag there");
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(o),
                       b.begin() + static_cast<std::ptrdiff_t>(o + 4));
}

}  // namespace test
