#pragma once
// Reading and verifying a .klng file: the container and the wave information record.
//
// A .klng file is untrusted input. The whole file is read into memory first, and every size,
// count and offset in it is checked against the real length before it is used; the first
// thing found wrong is thrown as a klng::error naming the byte offset where it stands.
//
// Units: a *sample* is one value of the mono wave; a *word* is 32 bits of sample data (4 PCM8
// samples, 2 PCM16 samples, 8 IMA-ADPCM samples); offsets and sizes are in bytes.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace klng {

// Encoding codes as the record stores them.
enum : std::uint8_t { kPcm8 = 0, kPcm16 = 1, kAdpcm = 2 };

constexpr std::uint32_t kRecordSize = 12;  // the wave information record
constexpr std::uint32_t kBlockHeaderSize = 8;
constexpr std::int32_t kAdpcmMaxStepIndex = 88;

// What is wrong with a .klng file, and the offset of the byte where it stands.
class error : public std::exception {
public:
    error(std::string message, std::uint64_t offset)
        : message_(std::move(message)), offset_(offset) {}
    const char* what() const noexcept override { return message_.c_str(); }
    std::uint64_t offset() const noexcept { return offset_; }

private:
    std::string message_;
    std::uint64_t offset_;
};

struct wave_info {
    // The container.
    std::uint64_t file_size = 0;  // the real length, which the header's field matches
    std::uint16_t version = 0;
    std::uint16_t block_count = 0;
    std::uint64_t data_block = 0;       // offset of the first "DATA" block's tag
    std::uint32_t data_block_size = 0;  // bytes, its 8-byte header included

    // The wave information record, field by field as stored.
    std::uint8_t encoding = 0;
    bool looped = false;
    std::uint16_t rate_field = 0;
    std::uint16_t timer = 0;
    std::uint16_t loop_start_words = 0;  // from the first byte of the sample data
    std::uint32_t loop_length_words = 0;

    // The sample data, after the record (for IMA-ADPCM its header word first).
    std::uint64_t data_offset = 0;
    std::uint64_t data_bytes = 0;
    std::int16_t adpcm_predictor = 0;
    std::uint8_t adpcm_step_index = 0;

    // The same wave in samples.
    std::uint64_t samples = 0;
    std::uint64_t loop_start = 0;   // first sample of the loop (0 without a loop)
    std::uint64_t loop_length = 0;  // samples in the loop (the whole wave without a loop)
};

// 4 for PCM8, 2 for PCM16, 8 for IMA-ADPCM; 0 for an unknown code.
std::uint32_t samples_per_word(std::uint8_t encoding);
// "PCM8", "PCM16", "IMA-ADPCM"; "unknown" for any other code.
const char* encoding_name(std::uint8_t encoding);

// Reads and verifies a whole .klng file held in memory. Throws klng::error for the first fault
// found, and nothing else but std::bad_alloc when memory runs out. The checks, in this order: file
// header (tag, byte-order mark, file size against `size`, header size), every block header, the
// block count, a "DATA" block, the record (encoding, loop flag, timer), the sample data (whole
// words, the IMA-ADPCM header word and step index), the loop against the sample data.
wave_info parse(const std::uint8_t* bytes, std::size_t size);

// Reads a whole file. Throws klnginfo_failure ("Cannot open PATH", "Cannot read PATH") and,
// for a file longer than the 32-bit file size field can count, klng::error.
std::vector<std::uint8_t> read_file(const char* path);

}  // namespace klng
