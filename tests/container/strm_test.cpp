// The byte-order helpers over real files: every field of every file in the program goes
// through them, so a swapped byte or a sign extension here corrupts everything.
#include "wavefile/strm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Field { be16, le16, be32, le32, u8 };

std::size_t width(Field field) {
    switch (field) {
        case Field::be16:
        case Field::le16: return 2;
        case Field::be32:
        case Field::le32: return 4;
        case Field::u8: return 1;
    }
    return 0;
}

std::uint32_t read_field(strm::file& f, Field field) {
    std::uint32_t v32 = 0;
    std::uint16_t v16 = 0;
    std::uint8_t v8 = 0;
    switch (field) {
        case Field::be16: strm::read_be16(f, v16); return v16;
        case Field::le16: strm::read_le16(f, v16); return v16;
        case Field::be32: strm::read_be32(f, v32); return v32;
        case Field::le32: strm::read_le32(f, v32); return v32;
        case Field::u8: strm::read_u8(f, v8); return v8;
    }
    return 0;
}

void write_field(strm::file& f, Field field, std::uint32_t value) {
    switch (field) {
        case Field::be16: strm::write_be16(f, static_cast<std::uint16_t>(value)); break;
        case Field::le16: strm::write_le16(f, static_cast<std::uint16_t>(value)); break;
        case Field::be32: strm::write_be32(f, value); break;
        case Field::le32: strm::write_le32(f, value); break;
        case Field::u8: strm::write_u8(f, static_cast<std::uint8_t>(value)); break;
    }
}

// A file's bytes next to the number they stand for in one byte order.
struct FieldCase {
    const char* name;
    Field field;
    Bytes bytes;
    std::uint32_t value;
    friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }
};

const FieldCase kFieldCases[] = {
    {"le32_sixteen", Field::le32, {0x10, 0x00, 0x00, 0x00}, 16},
    {"be32_sixteen_bytes", Field::be32, {0x10, 0x00, 0x00, 0x00}, 0x10000000},
    {"be32_riff", Field::be32, {'R', 'I', 'F', 'F'}, 0x52494646},
    {"be32_high_bytes", Field::be32, {0x80, 0xFF, 0x00, 0x7F}, 0x80FF007F},
    {"le32_high_bytes", Field::le32, {0x80, 0xFF, 0x00, 0x7F}, 0x7F00FF80},
    {"be16_one", Field::be16, {0x00, 0x01}, 1},
    {"le16_one", Field::le16, {0x01, 0x00}, 1},
    {"be16_high_bytes", Field::be16, {0xFF, 0x80}, 0xFF80},
    {"le16_byte_order_mark", Field::le16, {0xFF, 0xFE}, 0xFEFF},
    {"u8_high", Field::u8, {0xFE}, 0xFE},
};

class StrmField : public ::testing::TestWithParam<FieldCase> {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.file("field.bin");
};

TEST_P(StrmField, ReadsTheValue) {
    const FieldCase& c = GetParam();
    test::write_file(path_, c.bytes);
    strm::file f(std::fopen(path_.c_str(), "rb"));
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(read_field(f, c.field), c.value);
}

TEST_P(StrmField, WritesTheBytes) {
    const FieldCase& c = GetParam();
    {
        strm::file f(std::fopen(path_.c_str(), "wb"));
        ASSERT_TRUE(f.is_open());
        write_field(f, c.field, c.value);
        strm::close(f);
        EXPECT_FALSE(f.failed());
    }
    EXPECT_EQ(test::read_file(path_), c.bytes);
}

// Every read with fewer bytes left than its width throws, from a full width short to one byte.
TEST_P(StrmField, ShortReadThrows) {
    const FieldCase& c = GetParam();
    for (std::size_t have = 0; have < width(c.field); ++have) {
        // Two readable bytes in front show that what counts is what is left, not the file size.
        Bytes bytes{0xAB, 0xCD};
        for (std::size_t i = 0; i < have; ++i) bytes.push_back(c.bytes[i]);
        test::write_file(path_, bytes);
        strm::file f(std::fopen(path_.c_str(), "rb"));
        ASSERT_TRUE(f.is_open());
        std::uint16_t skip = 0;
        strm::read_be16(f, skip);
        EXPECT_THROW(read_field(f, c.field), strm::failure) << have << " bytes left";
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, StrmField, ::testing::ValuesIn(kFieldCases),
                         [](const auto& p) { return std::string(p.param.name); });

class StrmFile : public ::testing::Test {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.file("f.bin");
};

TEST_F(StrmFile, ReadsChainInFileOrder) {
    test::write_file(path_, {0x12, 0x34, 0x78, 0x56, 'D', 'A', 'T', 'A', 0x2C, 0x01, 0x00, 0x00});
    strm::file f(std::fopen(path_.c_str(), "rb"));
    std::uint16_t be = 0, le = 0;
    std::uint32_t tag = 0, size = 0;
    strm::read_le32(strm::read_be32(strm::read_le16(strm::read_be16(f, be), le), tag), size);
    EXPECT_EQ(be, 0x1234);
    EXPECT_EQ(le, 0x5678);
    EXPECT_EQ(tag, 0x44415441u);
    EXPECT_EQ(size, 300u);
    EXPECT_FALSE(strm::more_bytes(f));
}

TEST_F(StrmFile, ReadingAnEmptyHandleThrows) {
    strm::file f;
    std::uint32_t v = 0;
    EXPECT_THROW(strm::read_le32(f, v), strm::failure);
}

// pad_to counts from the start of the file and writes only what reaches the next multiple.
struct PadCase {
    const char* name;
    std::size_t position;
    std::uint32_t n;
    std::size_t zeros;
    friend void PrintTo(const PadCase& c, std::ostream* os) { *os << c.name; }
};

const PadCase kPadCases[] = {
    {"at_13_to_4", 13, 4, 3}, {"at_14_to_4", 14, 4, 2}, {"at_16_to_4", 16, 4, 0},
    {"at_0_to_4", 0, 4, 0},   {"odd_to_2", 7, 2, 1},    {"even_to_2", 8, 2, 0},
};

class StrmPad : public ::testing::TestWithParam<PadCase> {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.file("pad.bin");
};

TEST_P(StrmPad, WritesZerosUpToTheMultiple) {
    const PadCase& c = GetParam();
    const Bytes before(c.position, 0xA5);
    {
        strm::file f(std::fopen(path_.c_str(), "wb"));
        ASSERT_TRUE(f.is_open());
        strm::write_bytes(f, before.data(), before.size());
        strm::pad_to(f, c.n);
        EXPECT_EQ(strm::position(f), static_cast<std::int64_t>(c.position + c.zeros));
    }
    Bytes expected = before;
    expected.resize(c.position + c.zeros, 0);
    EXPECT_EQ(test::read_file(path_), expected);
}

INSTANTIATE_TEST_SUITE_P(Positions, StrmPad, ::testing::ValuesIn(kPadCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(StrmFile, CloseOnAnEmptyHandleDoesNothing) {
    strm::file f;
    strm::close(f);
    strm::close(f);
    EXPECT_FALSE(f.is_open());
    EXPECT_FALSE(f.failed());
}

TEST_F(StrmFile, CloseEmptiesTheHandleAndFlushes) {
    strm::file f(std::fopen(path_.c_str(), "wb"));
    strm::write_be32(f, 0x4B4C4E47);
    strm::close(f);
    EXPECT_FALSE(f.is_open());
    EXPECT_FALSE(f.failed());
    EXPECT_EQ(test::read_file(path_), (Bytes{'K', 'L', 'N', 'G'}));
    strm::close(f);  // a second close finds nothing to do
    EXPECT_FALSE(f.failed());
}

TEST_F(StrmFile, DestructionClosesTheStream) {
    {
        strm::file f(std::fopen(path_.c_str(), "wb"));
        strm::write_le16(f, 0xFEFF);
    }  // the buffered bytes reach the file only through fclose
    EXPECT_EQ(test::read_file(path_), (Bytes{0xFF, 0xFE}));
}

// failed() is how the owner learns that an output is not complete although every call returned.
TEST_F(StrmFile, WriteToAReadOnlyStreamFails) {
    test::write_file(path_, {1, 2, 3, 4});
    strm::file f(std::fopen(path_.c_str(), "rb"));
    ASSERT_TRUE(f.is_open());
    EXPECT_FALSE(f.failed());
    strm::write_le32(f, 7);
    EXPECT_TRUE(f.failed());
    strm::close(f);
    EXPECT_TRUE(f.failed()) << "closing must not forget the failure";
    EXPECT_EQ(test::read_file(path_), (Bytes{1, 2, 3, 4}));
}

TEST_F(StrmFile, WriteToAnEmptyHandleFails) {
    strm::file f;
    strm::write_be16(f, 1);
    EXPECT_TRUE(f.failed());
}

TEST_F(StrmFile, BadSeekFails) {
    strm::file f(std::fopen(path_.c_str(), "wb"));
    EXPECT_EQ(strm::seek_to(f, 0), 0);
    EXPECT_FALSE(f.failed());
    EXPECT_NE(strm::seek_to(f, -1), 0);
    EXPECT_TRUE(f.failed());
}

TEST_F(StrmFile, AttachForgetsTheOldFailure) {
    strm::file f;
    strm::write_u8(f, 0);
    ASSERT_TRUE(f.failed());
    f.attach(std::fopen(path_.c_str(), "wb"));
    EXPECT_FALSE(f.failed());
}

// A full disk: the write lands in the stream's buffer and fails only when it is flushed on close.
TEST_F(StrmFile, FullDeviceFailsAtClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    strm::file f(std::fopen("/dev/full", "wb"));
    ASSERT_TRUE(f.is_open());
    strm::write_be32(f, 0x44415441);
    strm::close(f);
    EXPECT_TRUE(f.failed());
}

}  // namespace
