// The portability layer on the system the tests run on: last-write times at full resolution
// and failing for what cannot be opened for reading, the identity of two names, and, through
// the built program, what a Windows user types: wildcards and file names beyond ASCII.

#include "src/tonecast/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/file_time.h"
#include "tests/support/process.h"
#include "tests/support/temp_file.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A UTF-8 name as a path: on Windows, std::filesystem reads a plain narrow string in the C
// runtime's "C" locale, not as UTF-8.
fs::path u8(const std::string& name) { return fs::u8path(name); }

void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path.u8string();
}

std::vector<std::uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

// Last-write times set apart by a known offset, down to a microsecond.
struct TimeCase {
    const char* name;
    std::chrono::nanoseconds later_minus_earlier;
    friend void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.name; }
};

class WriteTime : public ::testing::TestWithParam<TimeCase> {};

TEST_P(WriteTime, OrdersFilesAtFullResolution) {
    const TimeCase& c = GetParam();
    test::TempDir dir;
    const std::string a = dir.file("a.wav");
    const std::string b = dir.file("b.klng");
    test::write_file(a, {1});
    test::write_file(b, {2});
    test::set_write_time(b, a, c.later_minus_earlier);
    platform::file_time ta;
    platform::file_time tb;
    ASSERT_TRUE(platform::last_write_time(a.c_str(), ta));
    ASSERT_TRUE(platform::last_write_time(b.c_str(), tb));
    const auto zero = std::chrono::nanoseconds(0);
    EXPECT_EQ(tb > ta, c.later_minus_earlier > zero);
    EXPECT_EQ(tb < ta, c.later_minus_earlier < zero);
    EXPECT_EQ(ta<tb, c.later_minus_earlier> zero);
}

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;
const TimeCase kTimeCases[] = {
    {"equal", seconds(0)},
    {"a_microsecond_later", microseconds(1)},
    {"a_microsecond_earlier", -microseconds(1)},
    {"a_millisecond_later", milliseconds(1)},
    {"half_a_second_earlier", -milliseconds(500)},
    {"ten_seconds_later", seconds(10)},
    {"a_day_earlier", -seconds(86400)},
};

INSTANTIATE_TEST_SUITE_P(Offsets, WriteTime, ::testing::ValuesIn(kTimeCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WriteTime, FailsForWhatCannotBeOpenedForReading) {
    test::TempDir dir;
    fs::create_directory(dir.file("folder"));
    for (const std::string& path : {dir.file("missing.wav"), dir.file("folder")}) {
        platform::file_time t;
        EXPECT_FALSE(platform::last_write_time(path.c_str(), t)) << path;
    }
}

#ifdef _WIN32
// Another program (an editor, a copy in progress) holding the file without sharing it.
TEST(WriteTime, FailsForAFileHeldWithoutSharing) {
    test::TempDir dir;
    const std::string path = dir.file("busy.wav");
    test::write_file(path, {1, 2, 3});
    const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    platform::file_time t;
    EXPECT_FALSE(platform::last_write_time(path.c_str(), t));
    CloseHandle(held);
    EXPECT_TRUE(platform::last_write_time(path.c_str(), t));
}
#endif

// Names of one file and of others, relative to a folder holding in.wav, other.wav and sub/.
struct SameCase {
    const char* name;
    const char* a;
    const char* b;
    bool same_on_posix;
    bool same_on_windows;
    friend void PrintTo(const SameCase& c, std::ostream* os) { *os << c.name; }
};

class SameFile : public ::testing::TestWithParam<SameCase> {};

TEST_P(SameFile, SeesThroughSpellingsAndLinks) {
    const SameCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), {1, 2, 3, 4});
    test::write_file(dir.file("other.wav"), {1, 2, 3, 4});
    fs::create_directory(dir.file("sub"));
    fs::create_hard_link(dir.file("in.wav"), dir.file("hard.wav"));
    const std::string a = dir.file(c.a);
    const std::string b = dir.file(c.b);
    EXPECT_EQ(platform::same_file(a.c_str(), b.c_str()),
              kWindows ? c.same_on_windows : c.same_on_posix);
}

const SameCase kSameCases[] = {
    {"one_name", "in.wav", "in.wav", true, true},
    {"dot_folder", "./in.wav", "in.wav", true, true},
    {"through_a_subfolder", "sub/../in.wav", "in.wav", true, true},
    {"hard_link", "hard.wav", "in.wav", true, true},
    {"other_case", "IN.WAV", "in.wav", false, true},  // Windows names ignore case
    {"equal_contents", "other.wav", "in.wav", false, false},
    {"missing", "gone.wav", "in.wav", false, false},
    {"both_missing", "gone.wav", "gone.wav", false, false},
    {"folder_and_file", "sub", "in.wav", false, false},
};

INSTANTIATE_TEST_SUITE_P(Names, SameFile, ::testing::ValuesIn(kSameCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A short mono 16-bit WAV without a loop.
std::vector<std::uint8_t> small_wav() {
    std::vector<std::uint8_t> b{'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                                'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                1,   0,   0x22, 0x56, 0,   0,   0x44, 0xAC, 0,   0,   2,
                                0,   16,  0,    'd',  'a', 't', 'a',  32,   0,   0,   0};
    for (int i = 0; i < 16; ++i) {
        const auto v = static_cast<std::uint16_t>(i * 1500 - 12000);
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    b[4] = static_cast<std::uint8_t>(b.size() - 8);
    return b;
}

test::ProcessResult run_in(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), test::tonecast_exe());
    test::ProcessOptions options;
    options.cwd = dir.path().u8string();
    return test::run_program(args, options);
}

// Names typed in any script reach fopen unchanged (a manifest gives the Windows program the
// UTF-8 code page); the output is the one an ASCII name gives.
TEST(Program, ConvertsFileNamesBeyondAscii) {
    test::TempDir dir;
    const std::string name = "kl\xC3\xA4nge-\xE9\x9F\xB3";  // "klänge-音" in UTF-8
    write_bytes(dir.path() / u8(name + ".wav"), small_wav());
    write_bytes(dir.path() / "plain.wav", small_wav());

    const test::ProcessResult r = run_in(dir, {"-s", name + ".wav", "plain.wav"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "convert " + name + ".wav to " + name + ".klng\nconvert plain.wav to plain.klng\n");
    const std::vector<std::uint8_t> plain = read_bytes(dir.path() / "plain.klng");
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(read_bytes(dir.path() / u8(name + ".klng")), plain);
}

// cmd.exe passes "*.wav" on as typed; the Windows program expands it itself, as a POSIX shell
// would have done.
TEST(Program, ExpandsWildcardsTypedInCmd) {
    if (!kWindows) GTEST_SKIP() << "POSIX shells expand wildcards before the program starts";
    test::TempDir dir;
    for (const char* name : {"a.wav", "b.wav", "c.aif"})
        test::write_file(dir.file(name), small_wav());

    const test::ProcessResult r = run_in(dir, {"-s", "*.wav"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // The order is the folder's listing order, which the file system decides.
    const std::string ab = "convert a.wav to a.klng\nconvert b.wav to b.klng\n";
    const std::string ba = "convert b.wav to b.klng\nconvert a.wav to a.klng\n";
    EXPECT_TRUE(r.out == ab || r.out == ba) << r.out;
    EXPECT_TRUE(fs::exists(dir.file("a.klng")));
    EXPECT_TRUE(fs::exists(dir.file("b.klng")));
    EXPECT_FALSE(fs::exists(dir.file("c.klng")));

    // A pattern that matches nothing reaches the program as typed.
    const test::ProcessResult none = run_in(dir, {"x*.wav"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.err, "tonecast: Cannot open x*.wav\n");
}

}  // namespace
