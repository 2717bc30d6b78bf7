// The program as a process: usage, option errors, the error line of each failure, exit
// statuses, output naming and update mode.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/program/program_support.h"
#include "tests/support/file_time.h"
#include "tests/support/process.h"
#include "tests/support/temp_file.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "tonecast Ver.1.01\n"
    "Copyright (C) 2026 The tonecast developers\n"
    "\n"
    "\n"
    "Usage:\n"
    "  tonecast [option...] file...\n"
    "\n"
    "Options:\n"
    "  -s, --pcm16   PCM16\n"
    "  -c, --pcm8    PCM8\n"
    "  -a, --adpcm   IMA-ADPCM[default]\n"
    "  -o filename   specify output filename\n"
    "  -v, --verbose explain what is being done\n"
    "  -u, --update  update only when input file is newer than output file\n"
    "  -h, --help    display this help and exit\n";

const char kTryHelp[] = "Try 'tonecast --help' for more information.\n";

using program::wav16;

test::ProcessResult run_in(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), test::tonecast_exe());
    test::ProcessOptions options;
    options.cwd = dir.path().string();
    return test::run_program(args, options);
}

TEST(Driver, WithoutArgumentsPrintsUsageAndFails) {
    const test::ProcessResult r = test::run_program({test::tonecast_exe()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
}

struct HelpCase {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    const char* out;
    std::string err;
    friend void PrintTo(const HelpCase& c, std::ostream* os) { *os << c.name; }
};

class Help : public ::testing::TestWithParam<HelpCase> {};

TEST_P(Help, EndsTheRunInsideTheParse) {
    const HelpCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir.file("a.wav"), wav16(16));
    const test::ProcessResult r = run_in(dir, c.args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(fs::exists(dir.file("a.klng"))) << "no file is converted";
}

const HelpCase kHelpCases[] = {
    {"short", {"-h"}, 0, kUsage, ""},
    {"long_after_a_file", {"a.wav", "--help"}, 0, kUsage, ""},
    {"in_a_cluster", {"-vh", "-x"}, 0, kUsage, ""},
    {"options_after_help_are_not_parsed", {"-h", "--nonsense"}, 0, kUsage, ""},
    {"earlier_option_error_wins", {"a.wav", "-x", "-h"}, 1, "",
     std::string("tonecast: invalid option -- x\n") + kTryHelp},
};

INSTANTIATE_TEST_SUITE_P(Cases, Help, ::testing::ValuesIn(kHelpCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Driver, OptionsWithoutFilesDoNothing) {
    test::TempDir dir;
    const test::ProcessResult r = run_in(dir, {"-s", "-v", "-u", "-o", "x.klng", "--pcm8"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

struct ErrorCase {
    const char* name;
    std::vector<std::uint8_t> input;  // written as "in.wav" when not empty
    std::vector<std::string> args;
    std::string err;
    friend void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }
};

class Errors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Errors, PrintOneLineAndExitOne) {
    const ErrorCase& c = GetParam();
    test::TempDir dir;
    if (!c.input.empty()) test::write_file(dir.file("in.wav"), c.input);
    const test::ProcessResult r = run_in(dir, c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir.file("in.klng")));
}

// The bytes of a literal, embedded zeros included, without its terminating zero.
template <std::size_t N>
std::vector<std::uint8_t> bytes(const char (&text)[N]) {
    return std::vector<std::uint8_t>(text, text + N - 1);
}

const ErrorCase kErrorCases[] = {
    {"invalid_short", {}, {"-x"}, std::string("tonecast: invalid option -- x\n") + kTryHelp},
    {"unrecognized_long", {}, {"--pcm4"},
     std::string("tonecast: unrecognized option '--pcm4'\n") + kTryHelp},
    {"lone_dash", {}, {"-"}, std::string("tonecast: unrecognized option '-'\n") + kTryHelp},
    {"double_dash", {}, {"--"}, std::string("tonecast: unrecognized option '--'\n") + kTryHelp},
    {"attached_value", {}, {"--o=x"},
     std::string("tonecast: unrecognized option '--o=x'\n") + kTryHelp},
    {"missing_value", {}, {"in.wav", "-o"},
     std::string("tonecast: option requires an argument -- o\n") + kTryHelp},
    {"empty_argument", {}, {"in.wav", ""}, std::string("tonecast: empty argument\n") + kTryHelp},
    {"missing_input", {}, {"missing.wav"}, "tonecast: Cannot open missing.wav\n"},
    {"shorter_than_a_header", bytes("RIFF\4\0\0\0WAV"), {"in.wav"},
     "tonecast: Unexpected exception\n"},
    {"unknown_form_type", bytes("RIFF\4\0\0\0RMID"), {"in.wav"},
     "tonecast: Not supported file format in.wav\n"},
    {"wave_without_riff", bytes("RIFX\4\0\0\0WAVE"), {"in.wav"}, "tonecast: Bad format in.wav\n"},
    {"stereo", wav16(8, 2), {"in.wav"}, "tonecast: Not mono file in.wav\n"},
    {"float_samples", wav16(8, 1, 3), {"in.wav"}, "tonecast: Not supported file format in.wav\n"},
    {"output_in_missing_folder", wav16(8), {"-o", "no/such/dir/x.klng", "in.wav"},
     "tonecast: Cannot open no/such/dir/x.klng for writing.\n"},
    {"output_is_a_folder", wav16(8), {"-o", ".", "in.wav"},
     "tonecast: Cannot open . for writing.\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Errors, ::testing::ValuesIn(kErrorCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Driver, OutputNameReplacesOnlyTheLastComponentsExtension) {
    const struct {
        const char* input;
        const char* output;
    } cases[] = {{"sound.wav", "sound.klng"},
                 {"a.b.wav", "a.b.klng"},
                 {"plain", "plain.klng"},
                 {"take.1/sound", "take.1/sound.klng"},
                 {"./dotted", "./dotted.klng"},
                 {"take.1/x.y.aif", "take.1/x.y.klng"}};
    test::TempDir dir;
    fs::create_directory(dir.path() / "take.1");
    std::vector<std::string> args;
    std::string expected_out;
    for (const auto& c : cases) {
        test::write_file(dir.file(c.input), wav16(8));
        args.push_back(c.input);
        expected_out += std::string("convert ") + c.input + " to " + c.output + "\n";
    }
    const test::ProcessResult r = run_in(dir, args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, expected_out);
    for (const auto& c : cases) EXPECT_TRUE(fs::exists(dir.file(c.output))) << c.output;
    EXPECT_FALSE(fs::exists(dir.file("take.klng")));
}

TEST(Driver, OneOutputForSeveralInputsHoldsTheLast) {
    test::TempDir dir;
    test::write_file(dir.file("a.wav"), wav16(8));
    test::write_file(dir.file("b.wav"), wav16(40));
    ASSERT_EQ(run_in(dir, {"-s", "b.wav"}).exit_code, 0);
    const test::ProcessResult r = run_in(dir, {"-s", "-o", "out.klng", "a.wav", "b.wav"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "convert a.wav to out.klng\nconvert b.wav to out.klng\n");
    EXPECT_EQ(test::read_file(dir.file("out.klng")), test::read_file(dir.file("b.klng")));
}

TEST(Driver, LastEncodingOptionWins) {
    const struct {
        std::vector<std::string> options;
        std::uint8_t encoding;  // first byte of the wave information record
    } cases[] = {{{}, 2}, {{"-c", "-s"}, 1}, {{"-s", "--pcm8"}, 0}, {{"-c", "--adpcm"}, 2}};
    for (const auto& c : cases) {
        test::TempDir dir;
        test::write_file(dir.file("a.wav"), wav16(16));
        std::vector<std::string> args = c.options;
        args.push_back("a.wav");
        ASSERT_EQ(run_in(dir, args).exit_code, 0);
        const std::vector<std::uint8_t> out = test::read_file(dir.file("a.klng"));
        ASSERT_GT(out.size(), 24u);
        EXPECT_EQ(out[24], c.encoding);
    }
}

TEST(Driver, StopsAtTheFirstFailure) {
    test::TempDir dir;
    test::write_file(dir.file("one.wav"), wav16(8));
    test::write_file(dir.file("two.wav"), wav16(8, 2));
    test::write_file(dir.file("three.wav"), wav16(8));
    const test::ProcessResult r = run_in(dir, {"one.wav", "two.wav", "three.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "convert one.wav to one.klng\n");
    EXPECT_EQ(r.err, "tonecast: Not mono file two.wav\n");
    EXPECT_TRUE(fs::exists(dir.file("one.klng")));
    EXPECT_FALSE(fs::exists(dir.file("two.klng")));
    EXPECT_FALSE(fs::exists(dir.file("three.klng")));
}

// Update mode, with the output's last-write time set relative to the input's.
struct UpdateCase {
    const char* name;
    bool output_exists;
    std::chrono::nanoseconds output_minus_input;
    bool verbose;
    bool converts;
    friend void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }
};

class Update : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(Update, SkipsOnlyAStrictlyNewerOutput) {
    const UpdateCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir.file("in.wav"), wav16(8));
    const std::vector<std::uint8_t> stale{'o', 'l', 'd'};
    if (c.output_exists) {
        test::write_file(dir.file("in.klng"), stale);
        test::set_write_time(dir.file("in.klng"), dir.file("in.wav"), c.output_minus_input);
    }
    std::vector<std::string> args{"-u", "in.wav"};
    if (c.verbose) args.insert(args.begin(), "-v");
    const test::ProcessResult r = run_in(dir, args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (c.converts) {
        EXPECT_EQ(r.out, "convert in.wav to in.klng\n");
        EXPECT_NE(test::read_file(dir.file("in.klng")), stale);
    } else {
        EXPECT_EQ(r.out, c.verbose ? "tonecast: in.klng is update.\n" : "");
        EXPECT_EQ(test::read_file(dir.file("in.klng")), stale);
    }
}

using std::chrono::milliseconds;
using std::chrono::seconds;
const UpdateCase kUpdateCases[] = {
    {"missing_output", false, {}, true, true},
    {"equal_times", true, seconds(0), true, true},
    {"older_output", true, -seconds(10), false, true},
    {"older_by_a_millisecond", true, -milliseconds(1), false, true},
    {"newer_output_silent", true, seconds(10), false, false},
    {"newer_output_verbose", true, seconds(10), true, false},
    {"newer_by_a_millisecond", true, milliseconds(1), true, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, Update, ::testing::ValuesIn(kUpdateCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Driver, UpdateModeStillReportsAMissingInput) {
    test::TempDir dir;
    test::write_file(dir.file("gone.klng"), {1, 2, 3});
    const test::ProcessResult r = run_in(dir, {"-u", "-v", "gone.wav"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tonecast: Cannot open gone.wav\n");
    EXPECT_EQ(test::read_file(dir.file("gone.klng")), (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
