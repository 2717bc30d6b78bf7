#include "src/klnginfo/klng_file.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "container/file_block.h"
#include "src/klnginfo/failure.h"
#include "src/klnginfo/le_bytes.h"
#include "wavefile/strm.h"

namespace klng {

namespace {

// Field offsets in the file header and in the record (from the record's first byte).
constexpr std::uint64_t kBomOffset = 4;
constexpr std::uint64_t kVersionOffset = 6;
constexpr std::uint64_t kFileSizeOffset = 8;
constexpr std::uint64_t kHeaderSizeOffset = 12;
constexpr std::uint64_t kBlockCountOffset = 14;
constexpr std::uint64_t kEncodingField = 0;
constexpr std::uint64_t kLoopFlagField = 1;
constexpr std::uint64_t kRateField = 2;
constexpr std::uint64_t kTimerField = 4;
constexpr std::uint64_t kLoopStartField = 6;
constexpr std::uint64_t kLoopLengthField = 8;

// A tag as its four characters in quotes; bytes that are not printable ASCII as \xNN, so that a
// damaged tag can be read off the one-line error.
std::string quoted_tag(const std::uint8_t* p) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s = "\"";
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t c = p[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            s += static_cast<char>(c);
        } else {
            s += "\\x";
            s += kHex[c >> 4];
            s += kHex[c & 15];
        }
    }
    return s + "\"";
}

template <typename... Parts>
[[noreturn]] void fail(std::uint64_t offset, const Parts&... parts) {
    std::ostringstream message;
    (message << ... << parts);
    throw error(message.str(), offset);
}

const char* blocks_word(std::uint64_t n) { return n == 1 ? " block" : " blocks"; }

// The blocks from the end of the file header to the end of the file. Each block header is
// checked before its size is used; the first "DATA" block is remembered.
void walk_blocks(const std::uint8_t* bytes, std::uint64_t size, wave_info& w) {
    std::uint64_t found = 0;
    bool have_data = false;
    for (std::uint64_t p = container::kHeaderSize; p < size;) {
        const std::uint64_t remain = size - p;
        if (remain < kBlockHeaderSize) {
            fail(p, "block header needs ", kBlockHeaderSize, " bytes, only ", remain, " remain");
        }
        const std::uint32_t tag = load_be32(bytes + p);
        const std::uint32_t block_size = load_le32(bytes + p + 4);
        if (block_size < kBlockHeaderSize) {
            fail(p + 4, "block size ", block_size, " is smaller than the ", kBlockHeaderSize,
                 "-byte block header");
        }
        if (block_size > remain) {
            fail(p + 4, "block size ", block_size, " runs past the end of the file: only ", remain,
                 " bytes remain");
        }
        const bool is_data = tag == container::kDataTag && !have_data;
        // Every block ends on a multiple of 4. The "DATA" block's size is looked at again with
        // the sample data, where a stray byte count is better named.
        if (block_size % 4 != 0 && !is_data) {
            fail(p + 4, "block size ", block_size, " is not a multiple of 4");
        }
        if (is_data) {
            have_data = true;
            w.data_block = p;
            w.data_block_size = block_size;
        }
        ++found;
        p += block_size;
    }
    if (found != w.block_count) {
        fail(kBlockCountOffset, "block count is ", w.block_count, ", but the file holds ", found,
             blocks_word(found));
    }
    if (!have_data) fail(container::kHeaderSize, "no \"DATA\" block");
}

void read_record(const std::uint8_t* bytes, wave_info& w) {
    const std::uint64_t r = w.data_block + kBlockHeaderSize;
    const std::uint32_t contents = w.data_block_size - kBlockHeaderSize;
    if (contents < kRecordSize) {
        fail(r, "\"DATA\" block holds ", contents, " bytes, too few for the ", kRecordSize,
             "-byte wave information record");
    }
    w.encoding = bytes[r + kEncodingField];
    if (samples_per_word(w.encoding) == 0) {
        fail(r + kEncodingField, "unknown encoding ", unsigned{w.encoding},
             "; known are 0 PCM8, 1 PCM16, 2 IMA-ADPCM");
    }
    const std::uint8_t loop_flag = bytes[r + kLoopFlagField];
    if (loop_flag > 1)
        fail(r + kLoopFlagField, "loop flag is ", unsigned{loop_flag}, ", not 0 or 1");
    w.looped = loop_flag == 1;
    w.rate_field = load_le16(bytes + r + kRateField);
    w.timer = load_le16(bytes + r + kTimerField);
    // The target divides its clock by the timer; without one the wave has no rate at all.
    if (w.timer == 0) fail(r + kTimerField, "timer is 0, so the wave has no playback rate");
    w.loop_start_words = load_le16(bytes + r + kLoopStartField);
    w.loop_length_words = load_le32(bytes + r + kLoopLengthField);
    w.data_offset = r + kRecordSize;
    w.data_bytes = contents - kRecordSize;
}

void read_sample_data(const std::uint8_t* bytes, wave_info& w) {
    if (w.data_bytes % 4 != 0) {
        fail(w.data_offset, "sample data is ", w.data_bytes,
             " bytes, not a whole number of 32-bit words");
    }
    switch (w.encoding) {
        case kPcm8: w.samples = w.data_bytes; break;
        case kPcm16: w.samples = w.data_bytes / 2; break;
        default:
            if (w.data_bytes < 4) {
                fail(w.data_offset, "IMA-ADPCM sample data is ", w.data_bytes,
                     " bytes, too few for its 4-byte header word");
            }
            w.adpcm_predictor = static_cast<std::int16_t>(load_le16(bytes + w.data_offset));
            w.adpcm_step_index = bytes[w.data_offset + 2];
            // An index past the step table would make the decoder read outside it.
            if (w.adpcm_step_index > kAdpcmMaxStepIndex) {
                fail(w.data_offset + 2, "IMA-ADPCM step index ", unsigned{w.adpcm_step_index},
                     " is outside 0 ... ", kAdpcmMaxStepIndex);
            }
            w.samples = (w.data_bytes - 4) * 2;
            break;
    }
}

// The loop fields count words from the first byte of the sample data; for IMA-ADPCM the
// header word is word 0, so the first sample stands in word 1.
void check_loop(wave_info& w) {
    const std::uint64_t r = w.data_block + kBlockHeaderSize;
    const std::uint64_t total = w.data_bytes / 4;
    const std::uint64_t first = w.encoding == kAdpcm ? 1 : 0;
    const std::uint64_t start = w.loop_start_words;
    const std::uint64_t length = w.loop_length_words;
    if (w.looped) {
        if (start < first) {
            fail(r + kLoopStartField,
                 "loop start is word 0, the IMA-ADPCM header word, not a "
                 "sample");
        }
        if (start >= total) {
            fail(r + kLoopStartField, "loop start is word ", start, ", past the ", total,
                 " words of sample data");
        }
        if (length == 0) fail(r + kLoopLengthField, "loop length is 0 words");
        if (start + length > total) {
            fail(r + kLoopLengthField, "loop ends at word ", start + length, ", past the ", total,
                 " words of sample data");
        }
    } else {
        // Without a loop the fields describe the whole wave, which the target plays once.
        if (start != first) {
            fail(r + kLoopStartField, "no loop, but loop start is word ", start, ", not ", first);
        }
        if (length != total - first) {
            fail(r + kLoopLengthField, "no loop, but loop length is ", length, " words, not the ",
                 total - first, " words of the sample data");
        }
    }
    const std::uint64_t per_word = samples_per_word(w.encoding);
    w.loop_start = (start - first) * per_word;
    w.loop_length = length * per_word;
}

}  // namespace

std::uint32_t samples_per_word(std::uint8_t encoding) {
    switch (encoding) {
        case kPcm8: return 4;
        case kPcm16: return 2;
        case kAdpcm: return 8;
        default: return 0;
    }
}

const char* encoding_name(std::uint8_t encoding) {
    switch (encoding) {
        case kPcm8: return "PCM8";
        case kPcm16: return "PCM16";
        case kAdpcm: return "IMA-ADPCM";
        default: return "unknown";
    }
}

wave_info parse(const std::uint8_t* bytes, std::size_t size) {
    wave_info w;
    const std::uint64_t length = size;
    if (length < container::kHeaderSize) {
        fail(0, "file is ", length, " bytes long, too short for the ", container::kHeaderSize,
             "-byte file header");
    }
    if (load_be32(bytes) != container::kFileTag) {
        fail(0, "file tag is ", quoted_tag(bytes), ", not \"KLNG\"");
    }
    if (load_le16(bytes + kBomOffset) != container::kByteOrderMark) {
        char found[8];
        std::snprintf(found, sizeof found, "%02X %02X", unsigned{bytes[kBomOffset]},
                      unsigned{bytes[kBomOffset + 1]});
        fail(kBomOffset, "byte-order mark is ", found, ", not FF FE");
    }
    w.version = load_le16(bytes + kVersionOffset);
    const std::uint32_t file_size = load_le32(bytes + kFileSizeOffset);
    if (file_size != length) {
        fail(kFileSizeOffset, "file size field says ", file_size, " bytes, but the file is ",
             length, " bytes long");
    }
    w.file_size = length;
    const std::uint16_t header_size = load_le16(bytes + kHeaderSizeOffset);
    if (header_size != container::kHeaderSize) {
        fail(kHeaderSizeOffset, "header size is ", header_size, ", not ", container::kHeaderSize);
    }
    w.block_count = load_le16(bytes + kBlockCountOffset);
    walk_blocks(bytes, length, w);
    read_record(bytes, w);
    read_sample_data(bytes, w);
    check_loop(w);
    return w;
}

std::vector<std::uint8_t> read_file(const char* path) {
    strm::file f(std::fopen(path, "rb"));
    if (!f.is_open()) throw klnginfo_failure(std::string("Cannot open ") + path);
    const std::string cannot_read = std::string("Cannot read ") + path;
    // The length from the file system, not from ftell, whose long is 32 bits on Windows. A
    // folder or a device has none.
    std::error_code ec;
    const std::uintmax_t length = std::filesystem::file_size(std::filesystem::path(path), ec);
    if (ec) throw klnginfo_failure(cannot_read);
    // The file size field is 32 bits: a longer file cannot be a .klng file, and is refused
    // before anything of its length is allocated.
    if (length > 0xFFFFFFFFu) {
        fail(kFileSizeOffset, "file is ", length, " bytes long, more than the 32-bit file size ",
             "field can count");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    // All of it, and nothing more: a file that changes while it is read is not checked.
    if (strm::read_bytes(f, bytes.data(), bytes.size()) != bytes.size() || strm::more_bytes(f)) {
        throw klnginfo_failure(cannot_read);
    }
    return bytes;
}

}  // namespace klng
