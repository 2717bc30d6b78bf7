// The built klnginfo as a user meets it: usage and command-line errors in tonecast's manner,
// the report of real tonecast outputs, several files in one run, failed outputs, and the SVG
// picture with its loop where the record puts it.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/klnginfo/klnginfo_support.h"

namespace {

const char kTry[] = "Try 'klnginfo --help' for more information.\n";

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    const char* err;  // the whole of standard error
    friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

class CommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLine, ErrorsAndStatusFollowTonecast) {
    const CommandCase& c = GetParam();
    test::TempDir dir;
    test::write_file(dir.file("a.klng"), klt::converted(klt::tone_wav(), "-s"));
    const test::ProcessResult r = klt::run_klnginfo(dir, c.args);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exit_code, c.exit_code);
}

std::string usage_error(const std::string& line) { return "klnginfo: " + line + "\n" + kTry; }

const CommandCase kCommandCases[] = {
    {"unknown_short", {"-x", "a.klng"}, 1, ""},
    {"unknown_long", {"--wave", "x.wav", "a.klng"}, 1, ""},
    {"w_without_value", {"a.klng", "-w"}, 1, ""},
    {"svg_without_value", {"a.klng", "--svg"}, 1, ""},
    {"w_with_two_inputs", {"-w", "o.wav", "a.klng", "a.klng"}, 1, ""},
    {"svg_without_input", {"--svg", "o.svg"}, 1, ""},
    {"w_unknown_extension", {"-w", "o.mp3", "a.klng"}, 1, ""},
    {"missing_input", {"missing.klng"}, 1, "klnginfo: Cannot open missing.klng\n"},
    {"output_folder_missing",
     {"-w", "no/o.wav", "a.klng"},
     1,
     "klnginfo: Cannot open no/o.wav for writing.\n"},
    {"svg_folder_missing",
     {"--svg", "no/o.svg", "a.klng"},
     1,
     "klnginfo: Cannot open no/o.svg for writing.\n"},
    {"good_file", {"a.klng"}, 0, ""},
};

// The messages with the "Try" line, filled in here to keep the table readable.
std::vector<CommandCase> command_cases() {
    std::vector<CommandCase> cases(std::begin(kCommandCases), std::end(kCommandCases));
    static const std::string errors[] = {
        usage_error("invalid option -- x"),
        usage_error("unrecognized option '--wave'"),
        usage_error("option requires an argument -- w"),
        usage_error("option '--svg' requires an argument"),
        usage_error("-w and --svg take exactly one input file"),
        usage_error("-w and --svg take exactly one input file"),
        usage_error("cannot tell the format of 'o.mp3': -w writes .wav, .aif or .aiff files"),
    };
    for (std::size_t i = 0; i < std::size(errors); ++i) cases[i].err = errors[i].c_str();
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLine, ::testing::ValuesIn(command_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Usage, WithoutArgumentsStatus1WithHelpStatus0) {
    test::TempDir dir;
    const test::ProcessResult bare = klt::run_klnginfo(dir, {});
    EXPECT_EQ(bare.exit_code, 1);
    EXPECT_EQ(bare.err, "");
    EXPECT_EQ(bare.out.rfind("klnginfo Ver.", 0), 0u) << bare.out;
    EXPECT_NE(bare.out.find("\nUsage:\n  klnginfo [option...] file.klng...\n"), std::string::npos);
    for (const char* help : {"-h", "--help"}) {
        // Help ends the run inside the parse: the missing file after it is never looked at.
        const test::ProcessResult r = klt::run_klnginfo(dir, {help, "missing.klng"});
        EXPECT_EQ(r.exit_code, 0) << help;
        EXPECT_EQ(r.out, bare.out) << help;
        EXPECT_EQ(r.err, "") << help;
    }
}

// The whole report of two real outputs. Values by hand: the example as IMA-ADPCM holds 4416
// samples at 22080 Hz, loop from sample 2208 (word 2208 / 8 + 1 = 277, after the header word)
// for 2208 samples (276 words): 0.1 s each; 36 + 4 + 4416 / 2 = 2248 bytes; timer 16756991 /
// 22080 = 758.9, and 16756991 / 758 = 22106.848. The tone as PCM16: 5512 samples at 22050 Hz =
// 0.249977 s, 2756 words, 36 + 11024 = 11060 bytes; timer 759, 16756991 / 759 = 22077.722. The
// seam and the header word are read from the bytes here.
TEST(Report, FieldsOfRealOutputs) {
    test::TempDir dir;
    const std::vector<std::uint8_t> chime = klt::converted(klt::example_wav(), "-a");
    test::write_file(dir.file("chime.klng"), chime);
    test::write_file(dir.file("tone.klng"), klt::converted(klt::tone_wav(), "-s"));
    const std::vector<std::int16_t> s = klt::reference_samples(chime);
    ASSERT_EQ(s.size(), 4416u);
    std::int32_t largest = 0;
    for (std::size_t i = 2208; i + 1 < 4416; ++i) {
        largest = std::max(largest, std::abs(s[i + 1] - s[i]));
    }
    const std::int32_t jump = s[2208] - s[4415];
    const std::string seam = "sample 4415 = " + std::to_string(s[4415]) +
                             " -> sample 2208 = " + std::to_string(s[2208]) + ", jump " +
                             (jump > 0 ? "+" : "") + std::to_string(jump) +
                             " (largest step inside the loop " + std::to_string(largest) +
                             (std::abs(jump) > largest ? ": the seam clicks" : "") + ")";
    const test::ProcessResult r = klt::run_klnginfo(dir, {"chime.klng", "tone.klng"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "chime.klng: OK\n"
              "  file size:    2248 bytes, 1 block (\"DATA\" at offset 16, 2232 bytes)\n"
              "  version:      1.0\n"
              "  encoding:     2 IMA-ADPCM, 8 samples per word\n"
              "  sample rate:  22080 Hz (rate field)\n"
              "  timer:        758, playback rate 22106.848 Hz\n"
              "  loop:         yes\n"
              "  loop start:   word 277 = sample 2208 = 0.100000 s\n"
              "  loop length:  276 words = 2208 samples = 0.100000 s\n"
              "  samples:      4416 = 0.200000 s\n"
              "  loop seam:    " +
                  seam +
                  "\n"
                  "  adpcm header: predictor " +
                  std::to_string(static_cast<std::int16_t>(klt::le(chime, 36, 2))) +
                  ", step index " + std::to_string(chime[38]) +
                  "\n"
                  "tone.klng: OK\n"
                  "  file size:    11060 bytes, 1 block (\"DATA\" at offset 16, 11044 bytes)\n"
                  "  version:      1.0\n"
                  "  encoding:     1 PCM16, 2 samples per word\n"
                  "  sample rate:  22050 Hz (rate field)\n"
                  "  timer:        759, playback rate 22077.722 Hz\n"
                  "  loop:         no\n"
                  "  loop start:   word 0 = sample 0 = 0.000000 s\n"
                  "  loop length:  2756 words = 5512 samples = 0.249977 s\n"
                  "  samples:      5512 = 0.249977 s\n");
}

// A rate of 96000 Hz keeps only 30464 in its 16-bit field; the timer (174) tells the wrap.
TEST(Report, WrappedRateFieldAndExtraBlock) {
    test::TempDir dir;
    std::vector<std::uint8_t> b = klt::converted(klt::tone_wav(), "-s");
    klt::put_le(b, 26, 30464, 2);
    klt::put_le(b, 28, 174, 2);
    // A second block of another kind is skipped.
    b.insert(b.end(), {'N', 'O', 'T', 'E', 8, 0, 0, 0});
    klt::put_le(b, 8, static_cast<std::uint32_t>(b.size()), 4);
    klt::put_le(b, 14, 2, 2);
    test::write_file(dir.file("fast.klng"), b);
    const test::ProcessResult r = klt::run_klnginfo(dir, {"-w", "fast.aif", "fast.klng"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("  file size:    11068 bytes, 2 blocks (\"DATA\" at offset 16, 11044 "
                         "bytes; 1 other skipped)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  sample rate:  96000 Hz (rate field 30464 + 65536, as the timer "
                         "tells)\n"),
              std::string::npos)
        << r.out;
    // 5512 samples at 96000 Hz = 0.057417 s.
    EXPECT_NE(r.out.find("  samples:      5512 = 0.057417 s\n"), std::string::npos) << r.out;
    const std::string soxi = klt::find_tool("soxi");
    if (!soxi.empty()) {
        EXPECT_EQ(test::run_program({soxi, "-r", dir.file("fast.aif")}).out, "96000\n");
    }
}

TEST(ManyFiles, EachIsReportedAndAnyFailureGivesStatus1) {
    test::TempDir dir;
    test::write_file(dir.file("a.klng"), klt::converted(klt::tone_wav(), "-c"));
    test::write_file(dir.file("bad.klng"), {'K', 'L', 'N', 'G'});
    const test::ProcessResult r =
        klt::run_klnginfo(dir, {"a.klng", "bad.klng", "missing.klng", "a.klng"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err,
              "klnginfo: bad.klng: file is 4 bytes long, too short for the 16-byte file header "
              "(at offset 0)\n"
              "klnginfo: Cannot open missing.klng\n");
    // Both good files reported, the second after the failures.
    const std::string head = "a.klng: OK\n";
    const std::size_t first = r.out.find(head);
    ASSERT_EQ(first, 0u) << r.out;
    EXPECT_NE(r.out.find(head, first + 1), std::string::npos) << r.out;
}

#ifndef _WIN32
// A file-size limit makes every write past 4000 bytes fail (the report on standard output stays
// below it); no partial output is left behind.
TEST(WriteFailure, ReportedAndNoPartialFile) {
    for (const std::string option : {"-w", "--svg"}) {
        const std::string out = option == "-w" ? "o.wav" : "o.svg";
        test::TempDir dir;
        test::write_file(dir.file("a.klng"), klt::converted(klt::example_wav(), "-s"));
        test::ProcessOptions limit;
        limit.file_size_limit = 4000;
        const test::ProcessResult r = klt::run_klnginfo(dir, {option, out, "a.klng"}, limit);
        EXPECT_EQ(r.err, "klnginfo: Cannot write " + out + ".\n") << option;
        EXPECT_EQ(r.exit_code, 1) << option;
        EXPECT_FALSE(std::filesystem::exists(dir.file(out))) << option;
    }
}
#endif

// The value of attribute `name` in the first element with id="`id`"; "" when absent.
std::string attribute(const std::string& svg, const std::string& id, const std::string& name) {
    const std::size_t at = svg.find("id=\"" + id + "\"");
    if (at == std::string::npos) return "";
    const std::size_t end = svg.find('>', at);
    const std::string element = svg.substr(at, end - at);
    const std::string key = " " + name + "=\"";
    const std::size_t value = element.find(key);
    if (value == std::string::npos) return "";
    const std::size_t first = value + key.size();
    return element.substr(first, element.find('"', first) - first);
}

// xmllint's verdict on a file, or skips when it is not installed.
#define EXPECT_WELL_FORMED(path)                                                        \
    do {                                                                                \
        const std::string xmllint = klt::find_tool("xmllint");                          \
        if (xmllint.empty()) GTEST_SKIP() << "xmllint is not installed";                \
        const test::ProcessResult lint = test::run_program({xmllint, "--noout", path}); \
        EXPECT_EQ(lint.exit_code, 0) << lint.err;                                       \
        EXPECT_EQ(lint.err, "");                                                        \
    } while (0)

struct PictureCase {
    const char* name;
    bool example;
    const char* option;
    double loop_start, loop_end, samples;  // loop_start < 0: no loop
    friend void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }
};

class Picture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(Picture, LoopMarkedWhereTheRecordSays) {
    const PictureCase& c = GetParam();
    test::TempDir dir;
    // A name that needs escaping in XML.
    test::write_file(dir.file("a&b.klng"),
                     klt::converted(c.example ? klt::example_wav() : klt::tone_wav(), c.option));
    const test::ProcessResult r = klt::run_klnginfo(dir, {"--svg", "a.svg", "a&b.klng"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<std::uint8_t> bytes = test::read_file(dir.file("a.svg"));
    const std::string svg(bytes.begin(), bytes.end());
    EXPECT_LT(svg.size(), 32u * 1024);
    EXPECT_NE(svg.find("<title>a&amp;b.klng</title>"), std::string::npos);
    EXPECT_NE(attribute(svg, "wave", "stroke"), "");
    if (c.loop_start < 0) {
        EXPECT_EQ(svg.find("id=\"loop\""), std::string::npos);
        EXPECT_EQ(svg.find("id=\"seam\""), std::string::npos);
    } else {
        // The plot maps sample i to plot.x + plot.width * i / samples; coordinates carry one
        // decimal.
        const double plot_x = std::stod(attribute(svg, "plot", "x"));
        const double plot_w = std::stod(attribute(svg, "plot", "width"));
        EXPECT_EQ(attribute(svg, "loop", "data-start"), std::to_string(int(c.loop_start)));
        EXPECT_EQ(attribute(svg, "loop", "data-end"), std::to_string(int(c.loop_end)));
        EXPECT_NEAR(std::stod(attribute(svg, "loop", "x")),
                    plot_x + plot_w * c.loop_start / c.samples, 0.051);
        EXPECT_NEAR(std::stod(attribute(svg, "loop", "width")),
                    plot_w * (c.loop_end - c.loop_start) / c.samples, 0.051);
        // The seam line stands in the middle of the seam view.
        const double seam_x = std::stod(attribute(svg, "seam-plot", "x"));
        const double seam_w = std::stod(attribute(svg, "seam-plot", "width"));
        EXPECT_NEAR(std::stod(attribute(svg, "seam", "x1")), seam_x + seam_w / 2, 0.051);
    }
    EXPECT_WELL_FORMED(dir.file("a.svg"));
}

const PictureCase kPictureCases[] = {
    {"chime_adpcm", true, "-a", 2208, 4416, 4416},
    {"chime_pcm16", true, "-s", 2206, 4412, 4412},
    {"tone_pcm8", false, "-c", -1, -1, 5512},
};

INSTANTIATE_TEST_SUITE_P(Outputs, Picture, ::testing::ValuesIn(kPictureCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Ten seconds at 48000 Hz: the wave is drawn as at most one stroke per pixel column, so the
// picture stays small.
TEST(Picture, LongWaveStaysSmall) {
    const std::string sox = klt::find_tool("sox");
    if (sox.empty()) GTEST_SKIP() << "sox is not installed";
    test::TempDir dir;
    ASSERT_EQ(test::run_program({sox, "-n", "-r", "48000", "-b", "16", "-c", "1",
                                 dir.file("long.wav"), "synth", "10", "sine", "300"})
                  .exit_code,
              0);
    ASSERT_EQ(test::run_program({test::tonecast_exe(), "-s", dir.file("long.wav")}).exit_code, 0);
    const test::ProcessResult r = klt::run_klnginfo(dir, {"--svg", "long.svg", "long.klng"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("  samples:      480000 = 10.000000 s\n"), std::string::npos) << r.out;
    EXPECT_LT(std::filesystem::file_size(dir.file("long.svg")), 32u * 1024);
    EXPECT_WELL_FORMED(dir.file("long.svg"));
}

}  // namespace
