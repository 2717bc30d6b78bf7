#include "codec/ima_adpcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// A state as a pair that GoogleTest compares and prints: (predictor, step index).
std::pair<int, int> key(const adpcm_state& s) { return {s.predictor, s.step_index}; }

// One coding step worked out by hand: from `before`, `sample` codes as `code` and leaves `after`.
struct StepCase {
    const char* name;
    adpcm_state before;
    std::int16_t sample;
    std::uint8_t code;
    adpcm_state after;
    friend void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }
};

const StepCase kStepCases[] = {
    {"up_100", {0, 0}, 100, 7, {11, 8}},
    {"down_100", {0, 0}, -100, 15, {-11, 8}},
    {"zero_is_positive", {0, 0}, 0, 0, {0, 0}},
    // -32768 lies below the predictor, yet the predictor stops at -32767.
    {"floor_clamp", {-32767, 88}, -32768, 8, {-32767, 87}},
    // Code 0 still adds step >> 3 = 4095; the predictor stays at 32767.
    {"ceiling_clamp", {32767, 88}, 32767, 0, {32767, 87}},
    // step 50: 100 >= 50, 50 left >= 25, 25 left >= 12; diff = 6 + 50 + 25 + 12 = 93.
    {"down_all_bits", {1000, 20}, 900, 15, {907, 28}},
    // step 19: 30 >= 19, 11 left >= 9, 2 left < 4; diff = 2 + 19 + 9 = 30.
    {"bits_4_and_2", {0, 10}, 30, 6, {30, 16}},
    // step 32767: 8192 < 32767, < 16383, >= 8191; diff = 4095 + 8191 = 12286.
    {"bit_1_only", {0, 88}, 8192, 1, {12286, 87}},
    // step 7: 3 >= 3 sets bit 2, leaving 0 < 1; the index cannot drop below 0.
    {"index_floor", {0, 0}, 3, 2, {3, 0}},
};

class AdpcmStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(AdpcmStep, EncodeAndDecodeReachTheWorkedState) {
    const StepCase& c = GetParam();
    adpcm_state encoder = c.before;
    EXPECT_EQ(adpcm_encode(c.sample, encoder), c.code);
    EXPECT_EQ(key(encoder), key(c.after));

    adpcm_state decoder = c.before;
    EXPECT_EQ(adpcm_decode(c.code, decoder), c.after.predictor);
    EXPECT_EQ(key(decoder), key(c.after));
}

INSTANTIATE_TEST_SUITE_P(Worked, AdpcmStep, ::testing::ValuesIn(kStepCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct StartCase {
    const char* name;
    std::int16_t predictor;
    std::int16_t sample;
    std::int32_t index;
    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
};

const StartCase kStartCases[] = {
    {"zero", 0, 0, 0},
    // Index 0 reconstructs 1 exactly (7 >> 3 = 0, plus 7 >> 2 = 1); nothing beats it.
    {"one", 0, 1, 0},
    {"plus_1000", 0, 1000, 48},  // step 724 reconstructs 995
    {"minus_1000", 0, -1000, 48},
    {"plus_10000", 0, 10000, 69},
};

class AdpcmStartIndex : public ::testing::TestWithParam<StartCase> {};

TEST_P(AdpcmStartIndex, PicksTheClosestLowestIndex) {
    const StartCase& c = GetParam();
    EXPECT_EQ(adpcm_find_start_index(c.predictor, c.sample), c.index);
}

INSTANTIATE_TEST_SUITE_P(Worked, AdpcmStartIndex, ::testing::ValuesIn(kStartCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The decoder must land exactly where the encoder went, for every code from states all over the
// range, near both clamps included; otherwise the target's decoder drifts away from the data.
TEST(AdpcmCodec, DecodeRetracesEveryEncodeStep) {
    const std::int16_t predictors[] = {-32767, -32000, -1234, -1, 0, 1, 777, 31000, 32767};
    std::vector<bool> seen(16, false);
    for (const std::int16_t predictor : predictors) {
        for (std::int32_t index = 0; index <= 88; ++index) {
            for (std::int32_t s = -32768; s <= 32767; s += 61) {
                const adpcm_state start{predictor, index};
                adpcm_state encoder = start;
                const std::uint8_t code = adpcm_encode(static_cast<std::int16_t>(s), encoder);
                ASSERT_LE(code, 15);
                seen[code] = true;
                adpcm_state decoder = start;
                const std::int16_t out = adpcm_decode(code, decoder);
                ASSERT_EQ(key(decoder), key(encoder))
                    << "from " << ::testing::PrintToString(key(start)) << " sample " << s;
                ASSERT_EQ(out, encoder.predictor);
            }
        }
    }
    for (std::size_t code = 0; code < 16; ++code) EXPECT_TRUE(seen[code]) << "code " << code;
}

// Long runs of the most extreme input must keep the index in the table and the predictor in
// the symmetric range; the limits each run reaches are worked out by hand.
struct ExtremeRun {
    const char* name;
    std::int16_t (*sample)(int i);
    int lowest;                // lowest predictor
    int highest;               // highest predictor
    std::int32_t settled_low;  // lowest step index once the run has settled
    friend void PrintTo(const ExtremeRun& r, std::ostream* os) { *os << r.name; }
};

const ExtremeRun kExtremeRuns[] = {
    // Each sample jumps further than any step reaches, so every code has magnitude 7: the index
    // rises to 88 and stays, and the predictor cycles between the floor and
    // -32767 + (4095 + 32767 + 16383 + 8191) = 28669 (down from there: 61437 >= 57341).
    {"alternate_full_scale", [](int i) -> std::int16_t { return (i & 1) ? -32768 : 32767; }, -32767,
     28669, 88},
    // 500 equal samples: the predictor reaches each clamp and sits there, every difference is
    // then 0 or 1, every code's magnitude below 4, and the index falls to 0.
    {"slow_square", [](int i) -> std::int16_t { return (i / 500) % 2 ? -32768 : 32767; }, -32767,
     32767, 0},
};

class AdpcmExtremes : public ::testing::TestWithParam<ExtremeRun> {};

TEST_P(AdpcmExtremes, StateStaysInRange) {
    const ExtremeRun& run = GetParam();
    adpcm_state state{0, 0};
    std::int32_t settled_low = 88;
    int lowest = 0, highest = 0;
    for (int i = 0; i < 60000; ++i) {
        adpcm_encode(run.sample(i), state);
        ASSERT_GE(state.step_index, 0) << "at " << i;
        ASSERT_LE(state.step_index, 88) << "at " << i;
        ASSERT_GE(state.predictor, -32767) << "at " << i;
        if (i >= 100) settled_low = std::min(settled_low, state.step_index);
        lowest = std::min<int>(lowest, state.predictor);
        highest = std::max<int>(highest, state.predictor);
    }
    EXPECT_EQ(lowest, run.lowest);
    EXPECT_EQ(highest, run.highest);
    EXPECT_EQ(settled_low, run.settled_low);
}

INSTANTIATE_TEST_SUITE_P(Runs, AdpcmExtremes, ::testing::ValuesIn(kExtremeRuns),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AdpcmCodec, DecodeRunsOfOneCodeStayInRange) {
    for (std::uint8_t code = 0; code < 16; ++code) {
        // Growing codes start at index 1: steps of +2, +4 and +8 then land exactly on 89, where
        // a clamp that is off by one would let the index out of the table.
        adpcm_state state{0, (code & 7) < 4 ? 88 : 1};
        for (int i = 0; i < 500; ++i) {
            adpcm_decode(code, state);
            ASSERT_GE(state.step_index, 0);
            ASSERT_LE(state.step_index, 88);
            ASSERT_GE(state.predictor, -32767);
        }
        // 500 steps move the index far more than 88: it sits at the limit it was pushed to.
        EXPECT_EQ(state.step_index, (code & 7) < 4 ? 0 : 88) << "code " << int{code};
        if (code >= 4 && code <= 7) {
            EXPECT_EQ(state.predictor, 32767);
        }
        if (code >= 12) {
            EXPECT_EQ(state.predictor, -32767);
        }
    }
}

// The coded signal follows a tone closely: a fault in a magnitude bit or in the index table
// shows as noise long before it breaks a single worked step.
TEST(AdpcmCodec, RoundTripOfAToneKeepsItsShape) {
    const double kPi = 3.14159265358979323846;
    adpcm_state encoder{0, 0};
    adpcm_state decoder{0, 0};
    double signal = 0.0, noise = 0.0;
    for (int i = 0; i < 22050; ++i) {
        const auto s =
            static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * kPi * i / 50.0)));
        const std::int16_t r = adpcm_decode(adpcm_encode(s, encoder), decoder);
        if (i < 200) continue;  // the step size settles first
        const double error = static_cast<double>(s) - r;
        signal += static_cast<double>(s) * s;
        noise += error * error;
    }
    EXPECT_GT(10.0 * std::log10(signal / noise), 25.0);
}

// adpcm_encode_block is held to adpcm_encode, its plain reference. One sample from every step
// index and a spread of predictors (both clamps among them) over every sample value: every
// difference the search can meet, each threshold on both sides, and the index floor and ceiling.
TEST(AdpcmBlock, OneSampleCodesAsTheSearch) {
    const std::int16_t kPredictors[] = {-32767, -20000, -1, 0, 1, 12345, 32767};
    for (std::int32_t index = 0; index <= 88; ++index) {
        for (const std::int16_t predictor : kPredictors) {
            for (std::int32_t value = -32768; value <= 32767; ++value) {
                const auto sample = static_cast<std::int16_t>(value);
                adpcm_state reference{predictor, index};
                const std::uint8_t want = adpcm_encode(sample, reference);
                adpcm_state block{predictor, index};
                std::uint8_t got = 0xFF;
                adpcm_encode_block(&sample, 1, block, &got);
                if (got != want || key(block) != key(reference)) {
                    FAIL() << "index " << index << ", predictor " << predictor << ", sample "
                           << value << ": code " << int{got} << " for " << int{want};
                }
            }
        }
    }
}

// Long runs, where the state carries from sample to sample, from several starting states.
struct BlockRun {
    const char* name;
    std::int16_t (*sample)(std::uint32_t i);
    adpcm_state start;
    friend void PrintTo(const BlockRun& r, std::ostream* os) { *os << r.name; }
};

std::int16_t noise_at(std::uint32_t i) {
    const std::uint32_t x = (i + 1) * 2654435761u;  // Knuth's multiplicative hash: white enough
    return static_cast<std::int16_t>(static_cast<std::int32_t>(x >> 16) - 32768);
}

const BlockRun kBlockRuns[] = {
    {"tone",
     [](std::uint32_t i) -> std::int16_t {
         return static_cast<std::int16_t>(std::lround(20000.0 * std::sin(i * 0.0627)));
     },
     {0, 0}},
    {"noise", noise_at, {0, 0}},
    {"noise_from_the_ceiling", noise_at, {32767, 88}},
    // Full-scale jumps push the index to 88 and the predictor to both clamps; the silence after
    // them lets the index fall back to 0.
    {"squares_then_silence",
     [](std::uint32_t i) -> std::int16_t {
         if (i >= 30000) return 0;
         return (i / 7) % 2 ? std::int16_t{-32768} : std::int16_t{32767};
     },
     {-32767, 40}},
};

class AdpcmBlockRun : public ::testing::TestWithParam<BlockRun> {};

TEST_P(AdpcmBlockRun, CodesAndEndsAsTheSearch) {
    const BlockRun& run = GetParam();
    constexpr std::uint32_t kLength = 60000;
    std::vector<std::int16_t> samples(kLength);
    for (std::uint32_t i = 0; i < kLength; ++i) samples[i] = run.sample(i);

    adpcm_state reference = run.start;
    std::vector<std::uint8_t> want(kLength);
    for (std::uint32_t i = 0; i < kLength; ++i) want[i] = adpcm_encode(samples[i], reference);

    // In uneven pieces: the state handed from one call to the next is the whole of it.
    adpcm_state block = run.start;
    std::vector<std::uint8_t> got(kLength, 0xFF);
    for (std::uint32_t done = 0, piece = 1; done < kLength; done += piece, piece = piece * 3 + 1) {
        piece = std::min(piece, kLength - done);
        adpcm_encode_block(samples.data() + done, piece, block, got.data() + done);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(key(block), key(reference));
}

// The lane coder, in its vector form where this processor has one and in its plain form: every
// run it is given codes exactly as the search, packed, whatever the other lanes do; runs left
// out keep their bytes and state. The runs overlap (their stride is shorter than a run), start
// from different states, and go in calls of uneven multiples of 8 samples.
TEST_P(AdpcmBlockRun, LanesCodeEachRunAsTheSearch) {
    const BlockRun& run = GetParam();
    constexpr std::size_t kStride = 3000;
    constexpr std::size_t kCount = 4000;
    constexpr std::size_t kByteStride = kCount / 2 + 12;  // a gap after each run's bytes
    std::vector<std::int16_t> samples(kStride * (kAdpcmLanes - 1) + kCount);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = run.sample(static_cast<std::uint32_t>(i));
    }
    adpcm_state starts[kAdpcmLanes];
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        // Predictors from both clamps inwards, step indices over the whole range.
        const auto n = static_cast<std::int32_t>(k);
        starts[k] = k == 0 ? run.start
                           : adpcm_state{static_cast<std::int16_t>(n % 2 ? 32767 - 4000 * n
                                                                         : -32767 + 3000 * n),
                                         n * 88 / static_cast<std::int32_t>(kAdpcmLanes - 1)};
    }
    std::vector<unsigned char> want(kByteStride * kAdpcmLanes, 0xAA);
    adpcm_state want_end[kAdpcmLanes];
    for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
        adpcm_state state = starts[k];
        for (std::size_t i = 0; i < kCount; i += 2) {
            const std::uint8_t low = adpcm_encode(samples[k * kStride + i], state);
            const std::uint8_t high = adpcm_encode(samples[k * kStride + i + 1], state);
            want[k * kByteStride + i / 2] = static_cast<unsigned char>(low | high << 4);
        }
        want_end[k] = state;
    }

    using lanes_coder = void (*)(const std::int16_t*, std::size_t, std::size_t, std::uint32_t,
                                 adpcm_state*, unsigned char*, std::size_t);
    const std::pair<const char*, lanes_coder> coders[] = {
        {"adpcm_encode_lanes", adpcm_encode_lanes},
        {"adpcm_encode_lanes_plain", adpcm_encode_lanes_plain}};
    const adpcm_state untouched{-5, 3};
    for (const auto& [coder_name, coder] : coders) {
        for (const std::uint32_t lanes : {0xFFFFu, 0x0001u, 0x8000u, 0x8101u, 0xA5A5u, 0x0000u}) {
            SCOPED_TRACE(std::string(coder_name) + " lanes " + std::to_string(lanes));
            adpcm_state states[kAdpcmLanes];
            for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
                states[k] = lanes >> k & 1 ? starts[k] : untouched;
            }
            std::vector<unsigned char> got(want.size(), 0xAA);
            for (std::size_t done = 0, piece = 8; done < kCount; done += piece, piece += 1016) {
                piece = std::min(piece, kCount - done);
                coder(samples.data() + done, kStride, piece, lanes, states, got.data() + done / 2,
                      kByteStride);
            }
            for (std::size_t k = 0; k < kAdpcmLanes; ++k) {
                const bool on = (lanes >> k & 1) != 0;
                const auto begin = static_cast<std::ptrdiff_t>(k * kByteStride);
                const auto end = begin + static_cast<std::ptrdiff_t>(kByteStride);
                const std::vector<unsigned char> lane(got.begin() + begin, got.begin() + end);
                const std::vector<unsigned char> expected =
                    on ? std::vector<unsigned char>(want.begin() + begin, want.begin() + end)
                       : std::vector<unsigned char>(kByteStride, 0xAA);
                EXPECT_EQ(lane, expected) << "run " << k;
                EXPECT_EQ(key(states[k]), key(on ? want_end[k] : untouched)) << "run " << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, AdpcmBlockRun, ::testing::ValuesIn(kBlockRuns),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
