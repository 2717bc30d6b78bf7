// The built klnginfo on damaged .klng files: each field of a real tonecast output broken in
// turn, and cut files, give exactly one error line that names the file, what is wrong and the
// offset where it stands, and exit status 1.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/klnginfo/klnginfo_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Sets the file size and the first block's size to match the file's new length.
void fit_sizes(Bytes& b) {
    klt::put_le(b, 8, static_cast<std::uint32_t>(b.size()), 4);
    klt::put_le(b, 20, static_cast<std::uint32_t>(b.size() - 16), 4);
}

struct BrokenCase {
    const char* name;
    bool looped_adpcm;  // the example as IMA-ADPCM, else the tone (no loop) as PCM16
    std::function<void(Bytes&)> damage;
    const char* message;  // after "klnginfo: bad.klng: "
    friend void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }
};

class Broken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(Broken, OneLineNamesTheFault) {
    const BrokenCase& c = GetParam();
    Bytes bytes = c.looped_adpcm ? klt::converted(klt::example_wav(), "-a")
                                 : klt::converted(klt::tone_wav(), "-s");
    // The layouts the offsets below assume (the program tests check them field by field).
    ASSERT_EQ(bytes.size(), c.looped_adpcm ? 2248u : 11060u);
    c.damage(bytes);
    test::TempDir dir;
    test::write_file(dir.file("bad.klng"), bytes);
    const test::ProcessResult r = klt::run_klnginfo(dir, {"bad.klng"});
    EXPECT_EQ(r.err, std::string("klnginfo: bad.klng: ") + c.message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.exit_code, 1);
}

// The example as IMA-ADPCM: 2248 bytes; "DATA" block at 16, 2232 bytes; record at 24 (loop
// start field at 30, loop length at 32); sample data at 36, 2212 bytes = 553 words: the header
// word, then 4416 samples; loop start word 277, length 276 words.
// The tone as PCM16: 11060 bytes; sample data 11024 bytes = 2756 words; no loop.
const BrokenCase kBrokenCases[] = {
    {"empty", true, [](Bytes& b) { b.clear(); },
     "file is 0 bytes long, too short for the 16-byte file header (at offset 0)"},
    {"cut_in_file_header", true, [](Bytes& b) { b.resize(10); },
     "file is 10 bytes long, too short for the 16-byte file header (at offset 0)"},
    {"file_tag", true, [](Bytes& b) { b[0] = 'R', b[1] = 'I', b[2] = 'F', b[3] = 'F'; },
     "file tag is \"RIFF\", not \"KLNG\" (at offset 0)"},
    {"file_tag_binary", true, [](Bytes& b) { b[0] = 0, b[1] = 1, b[3] = 0x7F; },
     "file tag is \"\\x00\\x01N\\x7F\", not \"KLNG\" (at offset 0)"},
    {"byte_order_mark", true, [](Bytes& b) { b[4] = 0xFE, b[5] = 0xFF; },
     "byte-order mark is FE FF, not FF FE (at offset 4)"},
    {"cut_in_sample_data", true, [](Bytes& b) { b.resize(2000); },
     "file size field says 2248 bytes, but the file is 2000 bytes long (at offset 8)"},
    {"file_size_field", true, [](Bytes& b) { klt::put_le(b, 8, 2252, 4); },
     "file size field says 2252 bytes, but the file is 2248 bytes long (at offset 8)"},
    {"header_size", true, [](Bytes& b) { klt::put_le(b, 12, 20, 2); },
     "header size is 20, not 16 (at offset 12)"},
    {"block_count_0", true, [](Bytes& b) { klt::put_le(b, 14, 0, 2); },
     "block count is 0, but the file holds 1 block (at offset 14)"},
    {"block_count_2", true, [](Bytes& b) { klt::put_le(b, 14, 2, 2); },
     "block count is 2, but the file holds 1 block (at offset 14)"},
    {"cut_in_block_header", true,
     [](Bytes& b) {
         b.resize(20);
         klt::put_le(b, 8, 20, 4);
     },
     "block header needs 8 bytes, only 4 remain (at offset 16)"},
    {"block_size_below_header", true, [](Bytes& b) { klt::put_le(b, 20, 4, 4); },
     "block size 4 is smaller than the 8-byte block header (at offset 20)"},
    {"block_size_past_end", true, [](Bytes& b) { klt::put_le(b, 20, 2236, 4); },
     "block size 2236 runs past the end of the file: only 2232 bytes remain (at offset 20)"},
    {"block_size_short", true, [](Bytes& b) { klt::put_le(b, 20, 2228, 4); },
     "block header needs 8 bytes, only 4 remain (at offset 2244)"},
    {"no_data_block", true, [](Bytes& b) { b[19] = 'B'; }, "no \"DATA\" block (at offset 16)"},
    {"second_block_unaligned", true,
     [](Bytes& b) {
         b.insert(b.end(), {'J', 'U', 'N', 'K', 10, 0, 0, 0, 0, 0});
         klt::put_le(b, 8, static_cast<std::uint32_t>(b.size()), 4);
         klt::put_le(b, 14, 2, 2);
     },
     "block size 10 is not a multiple of 4 (at offset 2252)"},
    {"record_cut", true,
     [](Bytes& b) {
         b.resize(32);
         fit_sizes(b);
     },
     "\"DATA\" block holds 8 bytes, too few for the 12-byte wave information record (at offset "
     "24)"},
    {"encoding", true, [](Bytes& b) { b[24] = 3; },
     "unknown encoding 3; known are 0 PCM8, 1 PCM16, 2 IMA-ADPCM (at offset 24)"},
    {"loop_flag", true, [](Bytes& b) { b[25] = 2; }, "loop flag is 2, not 0 or 1 (at offset 25)"},
    {"timer_0", true, [](Bytes& b) { klt::put_le(b, 28, 0, 2); },
     "timer is 0, so the wave has no playback rate (at offset 28)"},
    {"sample_data_not_words", true,
     [](Bytes& b) {
         b.resize(b.size() - 2);
         fit_sizes(b);
     },
     "sample data is 2210 bytes, not a whole number of 32-bit words (at offset 36)"},
    {"no_adpcm_header_word", true,
     [](Bytes& b) {
         b.resize(36);
         fit_sizes(b);
     },
     "IMA-ADPCM sample data is 0 bytes, too few for its 4-byte header word (at offset 36)"},
    {"adpcm_step_index", true, [](Bytes& b) { b[38] = 89; },
     "IMA-ADPCM step index 89 is outside 0 ... 88 (at offset 38)"},
    {"loop_start_on_header_word", true, [](Bytes& b) { klt::put_le(b, 30, 0, 2); },
     "loop start is word 0, the IMA-ADPCM header word, not a sample (at offset 30)"},
    {"loop_start_past_end", true, [](Bytes& b) { klt::put_le(b, 30, 553, 2); },
     "loop start is word 553, past the 553 words of sample data (at offset 30)"},
    {"loop_length_0", true, [](Bytes& b) { klt::put_le(b, 32, 0, 4); },
     "loop length is 0 words (at offset 32)"},
    {"loop_past_end", true, [](Bytes& b) { klt::put_le(b, 32, 277, 4); },
     "loop ends at word 554, past the 553 words of sample data (at offset 32)"},
    {"loop_length_huge", true, [](Bytes& b) { klt::put_le(b, 32, 0xFFFFFFFF, 4); },
     "loop ends at word 4294967572, past the 553 words of sample data (at offset 32)"},
    {"unlooped_start", false, [](Bytes& b) { klt::put_le(b, 30, 1, 2); },
     "no loop, but loop start is word 1, not 0 (at offset 30)"},
    {"unlooped_length", false, [](Bytes& b) { klt::put_le(b, 32, 2755, 4); },
     "no loop, but loop length is 2755 words, not the 2756 words of the sample data (at offset "
     "32)"},
};

INSTANTIATE_TEST_SUITE_P(Fields, Broken, ::testing::ValuesIn(kBrokenCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A file longer than the 32-bit file size field can count is refused before its length is
// allocated (a sparse file: nothing of it is written to disk).
TEST(Oversized, RefusedBeforeReading) {
    test::TempDir dir;
    const std::string path = dir.file("big.klng");
    test::write_file(path, klt::converted(klt::example_wav(), "-a"));
    std::error_code ec;
    std::filesystem::resize_file(path, 0x100000004ull, ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse 4 GiB file here: " << ec.message();
    const test::ProcessResult r = klt::run_klnginfo(dir, {"big.klng"});
    EXPECT_EQ(r.err,
              "klnginfo: big.klng: file is 4294967300 bytes long, more than the 32-bit file size "
              "field can count (at offset 8)\n");
    EXPECT_EQ(r.exit_code, 1);
}

}  // namespace
