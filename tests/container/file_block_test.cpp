// The container's scope writers: whole files compared byte for byte with layouts written out
// by hand, so a size that is off by the header or the padding shows at once.
#include "container/file_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"
#include "wavefile/strm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& b, std::initializer_list<std::uint8_t> bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
}
void append_le32(Bytes& b, std::uint32_t v) {
    append(b, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

// "KLNG", byte-order mark FF FE, version 0x0100, the file size, header size 16, block count.
Bytes header_bytes(std::uint32_t file_size, std::uint8_t block_count) {
    Bytes b{'K', 'L', 'N', 'G', 0xFF, 0xFE, 0x00, 0x01};
    append_le32(b, file_size);
    append(b, {16, 0, block_count, 0});
    return b;
}

// A block's header, its contents (bytes 1, 2, 3 ...) and its zero padding.
Bytes block_bytes(std::uint32_t block_size, std::size_t contents, std::size_t padding) {
    Bytes b{'D', 'A', 'T', 'A'};
    append_le32(b, block_size);
    for (std::size_t i = 0; i < contents; ++i) b.push_back(static_cast<std::uint8_t>(i + 1));
    b.resize(b.size() + padding, 0);
    return b;
}

void write_contents(strm::file& f, std::size_t contents) {
    for (std::size_t i = 0; i < contents; ++i) strm::write_u8(f, static_cast<std::uint8_t>(i + 1));
}

class ContainerFile : public ::testing::Test {
protected:
    strm::file create() { return strm::file(std::fopen(path_.c_str(), "wb")); }
    Bytes written() const { return test::read_file(path_); }

    test::TempDir dir_;
    std::string path_ = dir_.file("out.klng");
};

// One "DATA" block with `contents` bytes; sizes worked out by hand.
struct BlockCase {
    const char* name;
    std::size_t contents;
    std::size_t padding;
    std::uint32_t block_size;
    std::uint32_t file_size;
    friend void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }
};

const BlockCase kBlockCases[] = {
    {"empty", 0, 0, 8, 24},
    {"thirteen_bytes", 13, 3, 24, 40},
    {"fourteen_bytes", 14, 2, 24, 40},
    // A 4-sample PCM16 wave: the 12-byte wave record and 8 sample bytes.
    {"pcm16_four_samples", 20, 0, 28, 44},
};

class ContainerBlock : public ContainerFile, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(ContainerBlock, SizesArePatched) {
    const BlockCase& c = GetParam();
    {
        strm::file f = create();
        ASSERT_TRUE(f.is_open());
        {
            file_header header(container::kFileTag, container::kVersion, 1, f);
            file_block block(container::kDataTag, f);
            write_contents(f, c.contents);
        }
        strm::close(f);
        EXPECT_FALSE(f.failed());
    }
    Bytes expected = header_bytes(c.file_size, 1);
    const Bytes block = block_bytes(c.block_size, c.contents, c.padding);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(written(), expected);
}

INSTANTIATE_TEST_SUITE_P(Contents, ContainerBlock, ::testing::ValuesIn(kBlockCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The block leaves the stream at its end, so a second block follows the first; the block count
// is the caller's, not counted.
TEST_F(ContainerFile, BlocksFollowOneAnother) {
    {
        strm::file f = create();
        file_header header(container::kFileTag, container::kVersion, 7, f);
        {
            file_block first(container::kDataTag, f);
            write_contents(f, 5);
        }
        {
            file_block second(container::kDataTag, f);
            write_contents(f, 3);
        }
    }
    Bytes expected = header_bytes(16 + 16 + 12, 7);
    for (const Bytes& block : {block_bytes(16, 5, 3), block_bytes(12, 3, 1)}) {
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(written(), expected);
}

// A failure inside the block still leaves consistent size fields behind.
TEST_F(ContainerFile, SizesArePatchedWhileAnExceptionUnwinds) {
    strm::file f = create();
    EXPECT_THROW(
        {
            file_header header(container::kFileTag, container::kVersion, 1, f);
            file_block block(container::kDataTag, f);
            write_contents(f, 13);
            throw std::runtime_error("encoder failed");
        },
        std::runtime_error);
    strm::close(f);
    EXPECT_FALSE(f.failed());
    Bytes expected = header_bytes(40, 1);
    const Bytes block = block_bytes(24, 13, 3);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(written(), expected);
}

// The writers report nothing themselves; the stream remembers that the file is not complete.
TEST_F(ContainerFile, ReadOnlyStreamIsMarkedFailed) {
    test::write_file(path_, Bytes(24, 0x5A));
    strm::file f(std::fopen(path_.c_str(), "rb"));
    ASSERT_TRUE(f.is_open());
    {
        file_header header(container::kFileTag, container::kVersion, 1, f);
        file_block block(container::kDataTag, f);
    }
    EXPECT_TRUE(f.failed());
    strm::close(f);
    EXPECT_EQ(written(), Bytes(24, 0x5A));
}

TEST_F(ContainerFile, FullDeviceIsMarkedFailed) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    strm::file f(std::fopen("/dev/full", "wb"));
    ASSERT_TRUE(f.is_open());
    {
        file_header header(container::kFileTag, container::kVersion, 1, f);
        file_block block(container::kDataTag, f);
        write_contents(f, 20);
    }
    strm::close(f);
    EXPECT_TRUE(f.failed());
}

}  // namespace
