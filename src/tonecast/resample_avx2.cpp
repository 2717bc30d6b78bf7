// The interpolation loop with AVX2: this file alone is compiled with -mavx2, and runs only after
// the processor said it has it.
//
// One output per lane, four lanes to a group, two groups per block: each lane's sum is a chain
// of dependent additions, and the second group's chain runs while the first one waits. The
// lanes of a group are consecutive outputs, so their first taps lie within a few samples of each
// other: the group's taps are widened once into a window of 32-bit values, and each tap's four
// values come out of it by one permutation of eight neighbours.

#include <immintrin.h>

#include <cstdint>

#include "src/tonecast/resample.h"
#include "src/tonecast/sine.h"

namespace {

constexpr int kLanes = 4;
constexpr int kGroups = 2;
constexpr int kBlock = kLanes * kGroups;
// A lane's first tap may lie this far past its group's first tap: one vector of neighbours.
constexpr std::int64_t kMaxOffset = 7;
// The window holds every tap of the group: 200 from the farthest lane's first, read 8 at a time.
constexpr int kWindow = kSincTaps + 8;
static_assert(kWindow <= kSincTaps + kSincSlack, "the window must stay inside the source");
static_assert(kWindow % 8 == 0, "the window is widened in whole vectors");
// From this position on, every tap i of an output at x lies within [x / 2, 2 x], so i - x is
// exact (Sterbenz) and equals (i0 - x) + k: the distance may be stepped by 1 from tap to tap.
constexpr double kExactDistanceFrom = 2 * kSincTaps;

// The per-output values that the taps need, for one block of outputs.
struct block_setup {
    alignas(32) double x[kBlock];
    alignas(32) double first[kBlock];  // i0 = trunc(x) - 99, as a double
    alignas(32) double s0[kBlock];
    std::int64_t i0[kBlock];
    bool on_sample = false;       // some lane's position is a whole number: one tap has t == 0
    bool exact_distance = false;  // every lane lies at or past kExactDistanceFrom
};

void set_up(const resample_source& source, std::uint64_t i, std::uint32_t end, block_setup& b) {
    b.on_sample = false;
    for (int l = 0; l < kBlock; ++l) {
        // Lanes past the end repeat the last output; their results are dropped.
        const std::uint64_t lane = i + static_cast<std::uint64_t>(l);
        const std::uint64_t n = lane < end ? lane : end - 1u;
        b.x[l] = static_cast<double>(n) * source.step;
        b.i0[l] = static_cast<std::int64_t>(b.x[l]) - kSincLead;
        b.first[l] = static_cast<double>(b.i0[l]);
        b.s0[l] = sine(kSincPi * (b.first[l] - b.x[l]));
        b.on_sample = b.on_sample || b.first[l] + kSincLead == b.x[l];
    }
    // Positions grow with the lane: the first lane is the nearest to 0.
    b.exact_distance = b.x[0] >= kExactDistanceFrom;
}

// One lane group's state: where its taps are read and what its lanes carry from tap to tap.
struct group {
    const std::int32_t* window;  // the taps from the group's first lane's first tap on
    __m256i offsets;             // each lane's first tap, in samples from the window's
    __m256d x, position, distance, s0, acc;
};

// Fills the group from the block's lanes first ... first + 3, widening their taps into
// `window`; false when their first taps lie too far apart for it.
bool load_group(const resample_source& source, const block_setup& b, int first,
                std::int32_t* window, group& g) {
    const std::int64_t* i0 = b.i0 + first;
    if (i0[kLanes - 1] - i0[0] > kMaxOffset) return false;
    alignas(32) std::int32_t offsets[8] = {};
    for (int l = 0; l < kLanes; ++l) offsets[l] = static_cast<std::int32_t>(i0[l] - i0[0]);
    g.offsets = _mm256_load_si256(reinterpret_cast<const __m256i*>(offsets));
    const std::int16_t* taps = source.at_zero + i0[0];
    for (int j = 0; j < kWindow; j += 8) {
        _mm256_store_si256(
            reinterpret_cast<__m256i*>(window + j),
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(taps + j))));
    }
    g.window = window;
    g.x = _mm256_load_pd(b.x + first);
    g.position = _mm256_load_pd(b.first + first);
    g.distance = _mm256_sub_pd(g.position, g.x);
    g.s0 = _mm256_load_pd(b.s0 + first);
    g.acc = _mm256_setzero_pd();
    return true;
}

// Tap k of every lane: acc += v * (sigma / t) * s0, or acc += v where t == 0 when `check`.
// t = pi * (i - x): from the position i when `stepped` is false, else from the distance i - x
// carried from the previous tap, which is the same number there.
template <bool check, bool stepped>
inline __attribute__((always_inline)) void tap(group& g, int k, __m256d sigma) {
    const __m256i near = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(g.window + k));
    const __m256d v =
        _mm256_cvtepi32_pd(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(near, g.offsets)));
    const __m256d d = stepped ? g.distance : _mm256_sub_pd(g.position, g.x);
    const __m256d t = _mm256_mul_pd(_mm256_set1_pd(kSincPi), d);
    const __m256d term = _mm256_mul_pd(_mm256_mul_pd(v, _mm256_div_pd(sigma, t)), g.s0);
    if (check) {
        // Where t is 0 the quotient is infinite; the term is v instead.
        const __m256d zero = _mm256_cmp_pd(t, _mm256_setzero_pd(), _CMP_EQ_OQ);
        g.acc = _mm256_add_pd(g.acc, _mm256_blendv_pd(term, v, zero));
    } else {
        g.acc = _mm256_add_pd(g.acc, term);
    }
    if (stepped) {
        g.distance = _mm256_add_pd(g.distance, _mm256_set1_pd(1.0));
    } else {
        g.position = _mm256_add_pd(g.position, _mm256_set1_pd(1.0));
    }
}

// Taps [from, to) of both groups, two at a time: sigma is +1 for even k, -1 for odd k.
template <bool check, bool stepped>
inline __attribute__((always_inline)) void taps(group& a, group& b, int from, int to) {
    const __m256d plus = _mm256_set1_pd(1.0);
    const __m256d minus = _mm256_set1_pd(-1.0);
    for (int k = from; k < to; k += 2) {
        tap<check, stepped>(a, k, plus);
        tap<check, stepped>(b, k, plus);
        tap<check, stepped>(a, k + 1, minus);
        tap<check, stepped>(b, k + 1, minus);
    }
}

// All taps of both groups, into sums. The groups are copied into locals so that their state
// stays in registers across the loop.
template <bool stepped>
void all_taps(const group (&g)[kGroups], bool on_sample, double* sums) {
    group a = g[0];
    group b = g[1];
    // t == 0 only where a lane's position is a whole number x, at its tap i = x: k = 99.
    taps<false, stepped>(a, b, 0, kSincLead - 1);
    if (on_sample) {
        taps<true, stepped>(a, b, kSincLead - 1, kSincLead + 1);
    } else {
        taps<false, stepped>(a, b, kSincLead - 1, kSincLead + 1);
    }
    taps<false, stepped>(a, b, kSincLead + 1, kSincTaps);
    _mm256_storeu_pd(sums, a.acc);
    _mm256_storeu_pd(sums + kLanes, b.acc);
}

}  // namespace

void resample_avx2(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                   const resample_output& out) {
    block_setup b;
    alignas(32) std::int32_t windows[kGroups][kWindow];
    group g[kGroups];
    for (std::uint64_t i = begin; i < end; i += kBlock) {
        const auto block_end = static_cast<std::uint32_t>(i + kBlock < end ? i + kBlock : end);
        set_up(source, i, end, b);
        if (!load_group(source, b, 0, windows[0], g[0]) ||
            !load_group(source, b, kLanes, windows[1], g[1])) {
            // Outputs more than two source samples apart: only a strong shrinking does that.
            resample_portable(source, static_cast<std::uint32_t>(i), block_end, out);
            continue;
        }
        double sums[kBlock];
        if (b.exact_distance) {
            all_taps<true>(g, b.on_sample, sums);
        } else {
            all_taps<false>(g, b.on_sample, sums);
        }
        for (std::uint32_t l = 0; i + l < block_end; ++l) {
            if (out.sums) {
                out.sums[i + l] = sums[l];
            } else {
                out.samples[i + l] = resample_round(sums[l]);
            }
        }
    }
}
