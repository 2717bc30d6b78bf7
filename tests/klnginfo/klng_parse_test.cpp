// klnginfo's reader in process: the sample rate it takes from the record, and its behaviour on
// every prefix and on damaged copies of real tonecast outputs (under the sanitizer build a
// small deterministic fuzzer: any out-of-range read fails there at once).

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "src/klnginfo/decode.h"
#include "src/klnginfo/klng_file.h"
#include "src/klnginfo/report.h"
#include "src/klnginfo/sample_rate.h"
#include "src/klnginfo/svg_picture.h"
#include "tests/klnginfo/klnginfo_support.h"

namespace {

struct RateCase {
    const char* name;
    std::uint16_t rate_field, timer;
    double rate;
    klng::rate_choice::kind source;
    friend void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }
};

class RateChoice : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateChoice, TakesTheFieldTheTimerAgreesWith) {
    const RateCase& c = GetParam();
    const klng::rate_choice got = klng::choose_rate(c.rate_field, c.timer);
    EXPECT_EQ(got.source, c.source);
    EXPECT_NEAR(got.rate, c.rate, 1e-3);
}

// Timers by hand: 16756991 / 22080 = 758.9; / 96000 = 174.6; / 255 = 65713.7, whose low 16 bits
// are 177; / 65536 = 255.7; / 48000 = 349.1. 16756991 / 758 = 22106.848, / 349 = 48014.301.
const RateCase kRateCases[] = {
    {"agrees", 22080, 758, 22080, klng::rate_choice::field},
    {"wrapped_96000", 30464, 174, 96000, klng::rate_choice::wrapped_field},
    {"wrapped_65536", 0, 255, 65536, klng::rate_choice::wrapped_field},
    {"slow_timer_wrapped", 255, 177, 255, klng::rate_choice::field},
    {"field_disagrees", 1234, 758, 22106.848, klng::rate_choice::timer},
    {"field_lost", 0, 349, 48014.301, klng::rate_choice::timer},
};

INSTANTIATE_TEST_SUITE_P(Record, RateChoice, ::testing::ValuesIn(kRateCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct Output {
    const char* name;
    bool example;  // examples/chime.wav (looped) or the job tests' tone16.wav
    const char* option;
    friend void PrintTo(const Output& c, std::ostream* os) { *os << c.name; }
};

const Output kOutputs[] = {
    {"chime_adpcm", true, "-a"}, {"chime_pcm16", true, "-s"}, {"chime_pcm8", true, "-c"},
    {"tone_adpcm", false, "-a"}, {"tone_pcm16", false, "-s"}, {"tone_pcm8", false, "-c"},
};

const std::vector<std::uint8_t>& output_bytes(const Output& o) {
    return klt::converted(o.example ? klt::example_wav() : klt::tone_wav(), o.option);
}

// Everything klnginfo does with a file it accepted, checked for what must hold of any such
// file; the sanitizers watch every read on the way.
void use_accepted(const std::vector<std::uint8_t>& bytes) {
    const klng::wave_info w = klng::parse(bytes.data(), bytes.size());
    EXPECT_LE(w.data_offset + w.data_bytes, bytes.size());
    EXPECT_LE(w.loop_start + w.loop_length, w.samples);
    const std::vector<std::int16_t> samples = klng::decode_samples(w, bytes.data());
    EXPECT_EQ(samples.size(), w.samples);
    const double rate = klng::choose_rate(w.rate_field, w.timer).rate;
    EXPECT_GT(rate, 0);
    EXPECT_FALSE(klng::format_report("x.klng", w, samples).empty());
    EXPECT_FALSE(klng::draw_svg("x.klng", w, samples, rate).empty());
}

// Parses the bytes; a refusal must be klng::error and nothing else.
bool accepted(const std::vector<std::uint8_t>& bytes) {
    try {
        use_accepted(bytes);
        return true;
    } catch (const klng::error&) {
        return false;
    }
}

class Damaged : public ::testing::TestWithParam<Output> {};

TEST_P(Damaged, EveryPrefixIsRefused) {
    const std::vector<std::uint8_t>& full = output_bytes(GetParam());
    ASSERT_GE(full.size(), 36u);
    EXPECT_TRUE(accepted(full));
    for (std::size_t n = 0; n < full.size(); ++n) {
        const std::vector<std::uint8_t> prefix(full.begin(),
                                               full.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(klng::parse(prefix.data(), prefix.size()), klng::error) << n << " bytes";
    }
}

TEST_P(Damaged, ChangedBytesAreRefusedOrReadSafely) {
    const std::vector<std::uint8_t>& full = output_bytes(GetParam());
    ASSERT_GE(full.size(), 48u);
    // Every byte of the header, the block header, the record and the IMA-ADPCM header word,
    // set to the values most likely to slip through a size check.
    for (std::size_t at = 0; at < 48; ++at) {
        for (int v : {0x00, 0xFF, full[at] ^ 0x01, full[at] ^ 0x80, full[at] + 4}) {
            std::vector<std::uint8_t> bytes = full;
            bytes[at] = static_cast<std::uint8_t>(v);
            accepted(bytes);
        }
    }
    // Random damage anywhere, cut or lengthened files with their size fields patched to match.
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes = full;
        const std::size_t cut = rng() % 3 == 0 ? rng() % bytes.size() : bytes.size();
        bytes.resize(cut + rng() % 9);
        if (bytes.empty()) continue;
        if (bytes.size() >= 24) {
            klt::put_le(bytes, 8, static_cast<std::uint32_t>(bytes.size()), 4);
            klt::put_le(bytes, 20, static_cast<std::uint32_t>(bytes.size() - 16), 4);
        }
        for (auto k = rng() % 4; k > 0; --k) {
            bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        }
        accepted(bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, Damaged, ::testing::ValuesIn(kOutputs),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
