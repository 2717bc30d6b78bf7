// The interpolation loop with AVX-512: this file alone is compiled with -mavx512f, and runs only
// after the processor said it has it.
//
// One output per lane, eight lanes to a group, two groups per block: each lane's sum is a chain
// of dependent additions, and the second group's chain runs while the first one waits. The
// lanes of a group are consecutive outputs, so their first taps lie within a few samples of each
// other: the group reads its taps from a window of samples converted to doubles, and each tap's
// eight values come out of it by one permutation of sixteen neighbours. Every source sample is
// converted once per call (converted_source): the groups that follow one another read windows
// that overlap by all but a few samples, and converting them anew took the floating-point pipes
// that the divisions and multiplications need. The per-output sine and the
// final rounding are done eight lanes at a time too, by the same operations as their scalar
// forms.

// GCC 12 reports its own AVX-512 intrinsics, which start from a deliberately undefined register,
// as reading an uninitialised value (fixed in GCC 13);
// the report is about the header, not this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "codec/ima_adpcm_step.h"
#include "src/tonecast/resample.h"
#include "src/tonecast/sine.h"
#include "src/tonecast/sine_constants.h"

namespace {

constexpr int kLanes = 8;
constexpr int kGroups = 2;
constexpr int kBlock = kLanes * kGroups;
// A lane's first tap may lie this far past its group's first tap: two vectors of neighbours.
constexpr std::int64_t kMaxOffset = 2 * kLanes - 1;
// The window holds every tap of the group: 200 from the farthest lane's first, read in vectors.
constexpr int kWindow = kSincTaps + 2 * kLanes;
// Samples are converted eight at a time, up to seven past the window's end.
static_assert(kWindow + kLanes - 1 <= kSincTaps + kSincSlack,
              "the conversion must stay inside the source");
// From this position on, every tap i of an output at x lies within [x / 2, 2 x], so i - x is
// exact (Sterbenz) and equals (i0 - x) + k: the distance may be stepped by 1 from tap to tap.
constexpr double kExactDistanceFrom = 2 * kSincTaps;

inline __attribute__((always_inline)) __m512d set1(double v) { return _mm512_set1_pd(v); }

inline __attribute__((always_inline)) __m512d to_double(__m256i v) { return _mm512_cvtepi32_pd(v); }

// The biased exponent of each lane, as the scalar sine reads it from the upper word.
inline __attribute__((always_inline)) __m512i exponent(__m512d v) {
    return _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(v), 52),
                            _mm512_set1_epi64(0x7ff));
}

// sine() for eight arguments in its medium range, pi/4 < |x| <= 2^20 pi/2, where the resampler's
// arguments (-100 pi ... -99 pi) lie. Each lane runs the scalar function's operations in the
// same order: its optional reduction passes and its branches are all computed and the lane's
// own results selected, so every lane gets the scalar bits.
__m512d sine8_medium(__m512d x) {
    using namespace sine_constants;
    const __m512d ax = _mm512_abs_pd(x);
    const __m256i n =
        _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(ax, set1(invpio2)), set1(0.5)));
    const __m512d fn = to_double(n);

    // Reduction: the first pass, then the second and third where cancellation asks for them
    // (seldom: only for arguments next to a multiple of pi/2, so they are skipped when no lane
    // needs them).
    const __m512i j = exponent(ax);
    __m512d r = _mm512_sub_pd(ax, _mm512_mul_pd(fn, set1(pio2_1)));
    __m512d w = _mm512_mul_pd(fn, set1(pio2_1t));
    __m512d y0 = _mm512_sub_pd(r, w);
    const __mmask8 pass2 =
        _mm512_cmpgt_epi64_mask(_mm512_sub_epi64(j, exponent(y0)), _mm512_set1_epi64(16));
    if (pass2 != 0) {
        const __m512d r1 = r;
        const __m512d r2 = _mm512_sub_pd(r1, _mm512_mul_pd(fn, set1(pio2_2)));
        const __m512d w2 =
            _mm512_sub_pd(_mm512_mul_pd(fn, set1(pio2_2t)),
                          _mm512_sub_pd(_mm512_sub_pd(r1, r2), _mm512_mul_pd(fn, set1(pio2_2))));
        const __m512d y02 = _mm512_sub_pd(r2, w2);
        const __mmask8 pass3 = pass2 & _mm512_cmpgt_epi64_mask(_mm512_sub_epi64(j, exponent(y02)),
                                                               _mm512_set1_epi64(49));
        const __m512d r3 = _mm512_sub_pd(r2, _mm512_mul_pd(fn, set1(pio2_3)));
        const __m512d w3 =
            _mm512_sub_pd(_mm512_mul_pd(fn, set1(pio2_3t)),
                          _mm512_sub_pd(_mm512_sub_pd(r2, r3), _mm512_mul_pd(fn, set1(pio2_3))));
        const __m512d y03 = _mm512_sub_pd(r3, w3);
        r = _mm512_mask_blend_pd(pass3, _mm512_mask_blend_pd(pass2, r1, r2), r3);
        w = _mm512_mask_blend_pd(pass3, _mm512_mask_blend_pd(pass2, w, w2), w3);
        y0 = _mm512_mask_blend_pd(pass3, _mm512_mask_blend_pd(pass2, y0, y02), y03);
    }
    const __m512d y1 = _mm512_sub_pd(_mm512_sub_pd(r, y0), w);

    const __m512i high = _mm512_srli_epi64(_mm512_castpd_si512(_mm512_abs_pd(y0)), 32);
    const __mmask8 tiny = _mm512_cmplt_epi64_mask(high, _mm512_set1_epi64(kHighTiny));
    const __m512d z = _mm512_mul_pd(y0, y0);

    // The quadrant n & 3 picks sin, cos, -sin or -cos; then the sign of x. The kernel no lane
    // picks is not computed (the lanes of a block mostly share their quadrant).
    const __m256i quadrant = _mm256_and_si256(n, _mm256_set1_epi32(3));
    const __mmask8 odd = _mm512_cmpeq_epi64_mask(
        _mm512_and_si512(_mm512_cvtepi32_epi64(quadrant), _mm512_set1_epi64(1)),
        _mm512_set1_epi64(1));
    const __mmask8 upper = _mm512_cmpeq_epi64_mask(
        _mm512_and_si512(_mm512_cvtepi32_epi64(quadrant), _mm512_set1_epi64(2)),
        _mm512_set1_epi64(2));
    // kernel_sin with its tail.
    const auto kernel_sin = [&] {
        const __m512d v = _mm512_mul_pd(z, y0);
        const __m512d rs = _mm512_add_pd(
            set1(S2),
            _mm512_mul_pd(
                z, _mm512_add_pd(
                       set1(S3),
                       _mm512_mul_pd(
                           z, _mm512_add_pd(
                                  set1(S4),
                                  _mm512_mul_pd(
                                      z, _mm512_add_pd(set1(S5), _mm512_mul_pd(z, set1(S6)))))))));
        const __m512d inner = _mm512_sub_pd(_mm512_mul_pd(set1(0.5), y1), _mm512_mul_pd(v, rs));
        return _mm512_mask_blend_pd(
            tiny,
            _mm512_sub_pd(y0, _mm512_sub_pd(_mm512_sub_pd(_mm512_mul_pd(z, inner), y1),
                                            _mm512_mul_pd(v, set1(S1)))),
            y0);
    };
    const auto kernel_cos = [&] {
        const __m512d poly = _mm512_add_pd(set1(C5), _mm512_mul_pd(z, set1(C6)));
        const __m512d poly4 = _mm512_add_pd(set1(C4), _mm512_mul_pd(z, poly));
        const __m512d poly3 = _mm512_add_pd(set1(C3), _mm512_mul_pd(z, poly4));
        const __m512d poly2 = _mm512_add_pd(set1(C2), _mm512_mul_pd(z, poly3));
        const __m512d poly1 = _mm512_add_pd(set1(C1), _mm512_mul_pd(z, poly2));
        const __m512d rc = _mm512_mul_pd(z, poly1);
        const __m512d tail = _mm512_sub_pd(_mm512_mul_pd(z, rc), _mm512_mul_pd(y0, y1));
        const __m512d half_z = _mm512_mul_pd(set1(0.5), z);
        const __m512d cos_small = _mm512_sub_pd(set1(1.0), _mm512_sub_pd(half_z, tail));
        const __mmask8 large = _mm512_cmpgt_epi64_mask(high, _mm512_set1_epi64(kHighCosLarge));
        const __m512d quarter = _mm512_castsi512_pd(
            _mm512_slli_epi64(_mm512_sub_epi64(high, _mm512_set1_epi64(0x00200000)), 32));
        const __m512d qx = _mm512_mask_blend_pd(large, quarter, set1(0.28125));
        const __m512d cos_large = _mm512_sub_pd(_mm512_sub_pd(set1(1.0), qx),
                                                _mm512_sub_pd(_mm512_sub_pd(half_z, qx), tail));
        const __mmask8 small = _mm512_cmplt_epi64_mask(high, _mm512_set1_epi64(kHighCosSmall));
        return _mm512_mask_blend_pd(tiny, _mm512_mask_blend_pd(small, cos_large, cos_small),
                                    set1(1.0));
    };
    const __m512d value = odd == 0      ? kernel_sin()
                          : odd == 0xff ? kernel_cos()
                                        : _mm512_mask_blend_pd(odd, kernel_sin(), kernel_cos());
    const __mmask8 negative = _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LT_OQ);
    // Negation flips the sign bit (integer operations: AVX-512F has no masked double XOR).
    const __m512i sign = _mm512_set1_epi64(INT64_MIN);
    const __m512i bits = _mm512_castpd_si512(value);
    const __m512i quadrant_signed = _mm512_mask_xor_epi64(bits, upper, bits, sign);
    return _mm512_castsi512_pd(
        _mm512_mask_xor_epi64(quadrant_signed, negative, quadrant_signed, sign));
}

// sine() of eight arguments: the vector path where all lie in the medium range, else the
// scalar function lane by lane.
__m512d sine8(const double* args) {
    const __m512d x = _mm512_loadu_pd(args);
    const __m512i high = _mm512_srli_epi64(_mm512_castpd_si512(_mm512_abs_pd(x)), 32);
    const __mmask8 medium =
        _mm512_cmpgt_epi64_mask(high, _mm512_set1_epi64(sine_constants::kHighPiOver4)) &
        _mm512_cmple_epi64_mask(high, _mm512_set1_epi64(sine_constants::kHighMedium));
    if (medium == 0xff) return sine8_medium(x);
    alignas(64) double s[kLanes];
    for (int l = 0; l < kLanes; ++l) s[l] = sine(args[l]);
    return _mm512_load_pd(s);
}

// round_to_int16 of eight values, as 32-bit integers: halves away from zero, clipped.
__m256i round8(__m512d acc) {
    const __mmask8 negative = _mm512_cmp_pd_mask(acc, _mm512_setzero_pd(), _CMP_LT_OQ);
    const __m512d limit = _mm512_mask_blend_pd(negative, set1(32767.0), set1(32768.0));
    const __m512d r = _mm512_min_pd(_mm512_add_pd(_mm512_abs_pd(acc), set1(0.5)), limit);
    return _mm512_cvttpd_epi32(_mm512_mask_sub_pd(r, negative, _mm512_setzero_pd(), r));
}

// The source samples of one call converted to doubles, from `base` on: windows are taken from
// it as the outputs advance, converting only the samples no window has reached yet. The
// samples before the current block's windows are dropped now and then (slide), so the buffer
// stays small whatever the call's length.
class converted_source {
public:
    explicit converted_source(const resample_source& source)
        : at_zero_(source.at_zero), in_place_(source.in_place) {}

    // Source samples first ... first + count - 1 as doubles, converting those not yet converted;
    // nullptr where they do not fit the buffer without a slide (then the caller does without).
    // `first` never lies before the first sample of any window still in use.
    const double* window(std::int64_t first, int count) {
        if (filled_ == 0) base_ = first;
        if (first < base_ || first + count > base_ + kCapacity) return nullptr;
        while (filled_ < first + count - base_) {
            _mm512_storeu_pd(values_ + filled_, to_double(load8(base_ + filled_)));
            filled_ += kLanes;
        }
        return values_ + (first - base_);
    }

    // Drops the samples before `first` when the room after it runs short; every window still in
    // use must start at `first` or later, and is found again by at(). Leaves room for the
    // windows of two more blocks.
    void slide(std::int64_t first) {
        if (first < base_ || base_ + kCapacity - first >= kRoom) return;
        const std::int64_t drop = std::min<std::int64_t>(first - base_, filled_);
        std::memmove(values_, values_ + drop,
                     static_cast<std::size_t>(filled_ - drop) * sizeof(double));
        filled_ -= drop;
        base_ += drop;
    }

    // Where sample `i`, converted, now lies.
    const double* at(std::int64_t i) const { return values_ + (i - base_); }

private:
    // Samples i ... i + 7, widened to 32 bits.
    __m256i load8(std::int64_t i) const {
        if (in_place_ == nullptr) {
            return _mm256_cvtepi16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(at_zero_ + i)));
        }
        if (i >= in_place_->live_begin && i + kLanes <= in_place_->live_end) {
            return _mm256_cvtepi16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(in_place_->live + i)));
        }
        // Next to the thread's range or past an end: one sample at a time.
        alignas(32) std::int32_t v[kLanes];
        for (int l = 0; l < kLanes; ++l) v[l] = in_place_->at(i + l);
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(v));
    }

    // 32 KB: a slide moves the few hundred samples the current block still reads, once every
    // ~3,000 samples.
    static constexpr std::int64_t kCapacity = 4096;
    static constexpr std::int64_t kRoom = 1024;

    const std::int16_t* at_zero_;
    const resample_in_place* in_place_;
    std::int64_t base_ = 0;    // the source index of values_[0]
    std::int64_t filled_ = 0;  // values_[0 ... filled_ - 1] hold samples base_ ... on
    alignas(64) double values_[kCapacity + kLanes];
};

// The per-output values that the taps need, for one block of outputs.
struct block_setup {
    alignas(64) double x[kBlock];
    alignas(64) double first[kBlock];  // i0 = trunc(x) - 99, as a double
    alignas(64) double arg[kBlock];    // pi (i0 - x): s0 is its sine
    alignas(64) std::int64_t i0[kBlock];
    bool on_sample = false;       // some lane's position is a whole number: one tap has t == 0
    bool exact_distance = false;  // every lane lies at or past kExactDistanceFrom
};

// The scalar setup's operations, eight lanes at a time: x = n * step; i0 = trunc(x) - 99, whose
// double is trunc(x) - 99 exactly (trunc(x) is a whole number below 2^33); and pi (i0 - x).
void set_up(const resample_source& source, std::uint64_t i, std::uint32_t end, block_setup& b) {
    const __m512i last = _mm512_set1_epi64(static_cast<std::int64_t>(end - 1u));
    const __m512i lane = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    // A whole number below 2^52 plus 2^52 has the number in its low bits.
    const __m512d magic = set1(0x1p52);
    __mmask8 on_sample = 0;
    for (int j = 0; j < kBlock; j += kLanes) {
        // Lanes past the end repeat the last output; their results are dropped. Outputs count
        // in 32 bits, so n converts from its low half.
        const __m512i n = _mm512_min_epu64(
            _mm512_add_epi64(_mm512_set1_epi64(static_cast<std::int64_t>(i) + j), lane), last);
        const __m512d x =
            _mm512_mul_pd(_mm512_cvtepu32_pd(_mm512_cvtepi64_epi32(n)), set1(source.step));
        const __m512d whole = _mm512_roundscale_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m512d first = _mm512_sub_pd(whole, set1(kSincLead));
        const __m512i i0 =
            _mm512_sub_epi64(_mm512_sub_epi64(_mm512_castpd_si512(_mm512_add_pd(whole, magic)),
                                              _mm512_castpd_si512(magic)),
                             _mm512_set1_epi64(kSincLead));
        _mm512_store_pd(b.x + j, x);
        _mm512_store_pd(b.first + j, first);
        _mm512_store_pd(b.arg + j, _mm512_mul_pd(set1(kSincPi), _mm512_sub_pd(first, x)));
        _mm512_store_si512(b.i0 + j, i0);
        // The tap at i0 + 99 lies on the position where the position is a whole number.
        on_sample |= _mm512_cmp_pd_mask(whole, x, _CMP_EQ_OQ);
    }
    b.on_sample = on_sample != 0;
    // Positions grow with the lane: the first lane is the nearest to 0.
    b.exact_distance = b.x[0] >= kExactDistanceFrom;
}

// One lane group's state: where its taps are read and what its lanes carry from tap to tap.
struct group {
    std::int64_t first;    // the group's first lane's first tap
    const double* window;  // the taps from `first` on
    __m512i offsets;       // each lane's first tap, in samples from the window's
    bool contiguous;       // offsets 0 ... 7: lane l's tap k is window[k + l]
    __m512d x, position, distance, s0, acc;
};

// Fills the group from the block's lanes first ... first + 7, its taps converted in `converted`;
// false when their first taps lie too far apart for a window, or the window does not fit.
bool load_group(converted_source& converted, const block_setup& b, int first, group& g) {
    const std::int64_t* i0 = b.i0 + first;
    if (i0[kLanes - 1] - i0[0] > kMaxOffset) return false;
    g.window = converted.window(i0[0], kWindow);
    if (g.window == nullptr) return false;
    g.first = i0[0];
    g.offsets = _mm512_sub_epi64(_mm512_load_si512(i0), _mm512_set1_epi64(i0[0]));
    g.contiguous =
        _mm512_cmpeq_epi64_mask(g.offsets, _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0)) == 0xff;
    g.x = _mm512_load_pd(b.x + first);
    g.position = _mm512_load_pd(b.first + first);
    g.distance = _mm512_sub_pd(g.position, g.x);
    g.s0 = sine8(b.arg + first);
    g.acc = _mm512_setzero_pd();
    return true;
}

// Tap k of every lane: acc += v * (sigma / t) * s0, or acc += v where t == 0 when `check`.
// t = pi * (i - x): from the position i when `stepped` is false, else from the distance i - x
// carried from the previous tap, which is the same number there.
template <bool check, bool stepped, bool contiguous>
inline __attribute__((always_inline)) void tap(group& g, int k, __m512d sigma) {
    const __m512d v = contiguous ? _mm512_loadu_pd(g.window + k)
                                 : _mm512_permutex2var_pd(_mm512_loadu_pd(g.window + k), g.offsets,
                                                          _mm512_loadu_pd(g.window + k + kLanes));
    const __m512d d = stepped ? g.distance : _mm512_sub_pd(g.position, g.x);
    const __m512d t = _mm512_mul_pd(set1(kSincPi), d);
    const __m512d term = _mm512_mul_pd(_mm512_mul_pd(v, _mm512_div_pd(sigma, t)), g.s0);
    if (check) {
        // Where t is 0 the quotient is infinite; the term is v instead.
        const __mmask8 zero = _mm512_cmp_pd_mask(t, _mm512_setzero_pd(), _CMP_EQ_OQ);
        g.acc = _mm512_add_pd(g.acc, _mm512_mask_blend_pd(zero, term, v));
    } else {
        g.acc = _mm512_add_pd(g.acc, term);
    }
    if (stepped) {
        g.distance = _mm512_add_pd(g.distance, set1(1.0));
    } else {
        g.position = _mm512_add_pd(g.position, set1(1.0));
    }
}

// Taps [from, to) of both groups, two at a time: sigma is +1 for even k, -1 for odd k. After
// every kPairsPerCode pairs (counted from tap 0), `code` codes two samples (piece_coder): spread
// thinly between the divisions, its chain of integer steps runs beside them.
constexpr int kPairsPerCode = 12;
static_assert(kSincTaps / 2 / kPairsPerCode * 2 == kBlock,
              "the taps of a block code as many samples as it makes");

template <bool check, bool stepped, bool contiguous, typename Code>
inline __attribute__((always_inline)) void taps(group& a, group& b, int from, int to, Code& code) {
    const __m512d plus = set1(1.0);
    const __m512d minus = set1(-1.0);
    for (int k = from; k < to; k += 2) {
        tap<check, stepped, contiguous>(a, k, plus);
        tap<check, stepped, contiguous>(b, k, plus);
        tap<check, stepped, contiguous>(a, k + 1, minus);
        tap<check, stepped, contiguous>(b, k + 1, minus);
        if (k / 2 % kPairsPerCode == kPairsPerCode - 1) code();
    }
}

// All taps of both groups; returns their sums in acc. The groups are copied into locals so that
// their state stays in registers across the loop. `early` and `late` run between the taps, after
// the first kEarlyTaps and kLateTaps: they prepare the next block while the divider, which
// bounds this loop, still works through the divisions already issued.
constexpr int kEarlyTaps = 40;
constexpr int kLateTaps = 120;
static_assert(kEarlyTaps % 2 == 0 && kLateTaps % 2 == 0, "taps go in pairs");
static_assert(kEarlyTaps < kSincLead - 1 && kLateTaps > kSincLead + 1 && kLateTaps < kSincTaps,
              "the preparations lie outside the taps where t may be 0");

template <bool stepped, bool contiguous, typename Early, typename Late, typename Code>
inline __attribute__((always_inline)) void all_taps(const group (&g)[kGroups], bool on_sample,
                                                    __m512d (&acc)[kGroups], Early& early,
                                                    Late& late, Code& code) {
    group a = g[0];
    group b = g[1];
    taps<false, stepped, contiguous>(a, b, 0, kEarlyTaps, code);
    early();
    // t == 0 only where a lane's position is a whole number x, at its tap i = x: k = 99.
    taps<false, stepped, contiguous>(a, b, kEarlyTaps, kSincLead - 1, code);
    if (on_sample) {
        taps<true, stepped, contiguous>(a, b, kSincLead - 1, kSincLead + 1, code);
    } else {
        taps<false, stepped, contiguous>(a, b, kSincLead - 1, kSincLead + 1, code);
    }
    taps<false, stepped, contiguous>(a, b, kSincLead + 1, kLateTaps, code);
    late();
    taps<false, stepped, contiguous>(a, b, kLateTaps, kSincTaps, code);
    acc[0] = a.acc;
    acc[1] = b.acc;
}

// The IMA-ADPCM coding of the piece that starts at a thread's first output (resample_coding),
// two samples at a time between the taps of the block that follows theirs: a chain of integer
// steps on the units that the divisions leave idle, on samples still in the cache. Coding them in
// a pass of its own after the resampling took ~10 ms of a 60 s wave's ~75 ms conversion here;
// between the taps it costs the resampling some 3.
class piece_coder {
public:
    piece_coder(const resample_output& out, std::uint32_t begin, std::uint32_t end) {
        const resample_coding* c = out.coding;
        if (c == nullptr || out.samples == nullptr || begin % c->piece_length != 0) return;
        // The ranges of a coded resampling are whole pieces, the last one or more.
        assert(end - begin >= c->piece_length);
        (void)end;
        coding_ = c;
        samples_ = out.samples;
        piece_ = begin / c->piece_length;
        first_ = begin;
        next_ = begin;
        stop_ = begin + c->piece_length;
        checkpoints_ =
            c->checkpoints + std::size_t{piece_} * (c->piece_length / c->checkpoint_samples);
        bytes_ = c->bytes + std::size_t{piece_} * (c->piece_length / 2);
    }

    // Codes the next two samples if they are made: those before `made`.
    inline __attribute__((always_inline)) void step(std::uint64_t made) {
        if (coding_ == nullptr || next_ + 2 > made || next_ >= stop_) return;
        const std::uint32_t at = next_ - first_;
        if (at % coding_->checkpoint_samples == 0) checkpoint(at);
        const std::uint8_t low = ima_adpcm::encode_step(samples_[next_], predictor_, index_);
        const std::uint8_t high = ima_adpcm::encode_step(samples_[next_ + 1], predictor_, index_);
        bytes_[at / 2] = static_cast<unsigned char>(low | high << 4);
        next_ += 2;
    }

    // Codes what is left of the piece, all of it made by now.
    void finish() {
        if (coding_ == nullptr) return;
        while (next_ < stop_) step(stop_);
        adpcm_state& end = coding_->end[piece_];
        end.predictor = static_cast<std::int16_t>(predictor_);
        end.step_index = index_;
    }

private:
    // Keeps the state before sample `at` of the piece; at its first, sets the state it starts
    // from: the first piece's, the true one, which its first sample decides.
    void checkpoint(std::uint32_t at) {
        if (at == 0) {
            predictor_ = 0;
            index_ = piece_ == 0 ? adpcm_find_start_index(0, samples_[first_]) : 0;
            adpcm_state& start = coding_->start[piece_];
            start.predictor = static_cast<std::int16_t>(predictor_);
            start.step_index = index_;
        }
        adpcm_state& kept = checkpoints_[at / coding_->checkpoint_samples];
        kept.predictor = static_cast<std::int16_t>(predictor_);
        kept.step_index = index_;
    }

    const resample_coding* coding_ = nullptr;
    const std::int16_t* samples_ = nullptr;
    adpcm_state* checkpoints_ = nullptr;
    unsigned char* bytes_ = nullptr;
    std::uint32_t piece_ = 0;
    std::uint32_t first_ = 0, next_ = 0, stop_ = 0;
    std::int32_t predictor_ = 0, index_ = 0;
};

// A block ready for its taps: its setup and its two groups.
struct prepared_block {
    block_setup setup;
    group g[kGroups];
    bool vector = false;  // false: the lanes lie too far apart, the portable loop does the block
};

// The first part of preparing the block at output i: its setup and first group.
void prepare_early(const resample_source& source, converted_source& converted, std::uint64_t i,
                   std::uint32_t end, prepared_block& p) {
    set_up(source, i, end, p.setup);
    p.vector = load_group(converted, p.setup, 0, p.g[0]);
}

// The second part: the second group.
void prepare_late(converted_source& converted, prepared_block& p) {
    p.vector = p.vector && load_group(converted, p.setup, kLanes, p.g[1]);
}

}  // namespace

void resample_avx512(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                     const resample_output& out) {
    if (begin >= end) return;
    converted_source converted(source);
    // Two blocks in turn: the taps of one run while the other is prepared.
    prepared_block blocks[2];
    prepare_early(source, converted, begin, end, blocks[0]);
    prepare_late(converted, blocks[0]);
    __m512d acc[kGroups];
    piece_coder coder(out, begin, end);
    for (std::uint64_t i = begin, turn = 0; i < end; i += kBlock, turn ^= 1) {
        const auto block_end = static_cast<std::uint32_t>(i + kBlock < end ? i + kBlock : end);
        prepared_block& p = blocks[turn];
        prepared_block& next = blocks[turn ^ 1];
        const std::uint64_t next_i = i + kBlock;
        // The next block's windows are converted while this one's taps run: room for them is
        // made now, while this block's windows are the only ones in use.
        if (p.vector) {
            converted.slide(p.g[0].first);
            for (group& g : p.g) g.window = converted.at(g.first);
        } else {
            converted.slide(p.setup.i0[0]);
        }
        const auto early = [&] {
            if (next_i < end) prepare_early(source, converted, next_i, end, next);
        };
        const auto late = [&] {
            if (next_i < end) prepare_late(converted, next);
        };
        // The samples of the blocks before, two at a time between the taps.
        const auto code = [&]() __attribute__((always_inline)) { coder.step(i); };
        if (!p.vector) {
            // Outputs more than two source samples apart: only a strong shrinking does that,
            // never a resampling in place (it lengthens the wave), the only one that codes.
            assert(source.in_place == nullptr);
            early();
            late();
            resample_portable(source, static_cast<std::uint32_t>(i), block_end, out);
            continue;
        }
        const block_setup& b = p.setup;
        if (p.g[0].contiguous && p.g[1].contiguous) {
            if (b.exact_distance) {
                all_taps<true, true>(p.g, b.on_sample, acc, early, late, code);
            } else {
                all_taps<false, true>(p.g, b.on_sample, acc, early, late, code);
            }
        } else if (b.exact_distance) {
            all_taps<true, false>(p.g, b.on_sample, acc, early, late, code);
        } else {
            all_taps<false, false>(p.g, b.on_sample, acc, early, late, code);
        }
        if (out.sums) {
            alignas(64) double sums[kBlock];
            for (int j = 0; j < kGroups; ++j) _mm512_store_pd(sums + j * kLanes, acc[j]);
            for (std::uint32_t l = 0; i + l < block_end; ++l) out.sums[i + l] = sums[l];
            continue;
        }
        alignas(32) std::int32_t rounded[kBlock];
        for (int j = 0; j < kGroups; ++j) {
            _mm256_store_si256(reinterpret_cast<__m256i*>(rounded + j * kLanes), round8(acc[j]));
        }
        for (std::uint32_t l = 0; i + l < block_end; ++l) {
            out.samples[i + l] = static_cast<std::int16_t>(rounded[l]);
        }
    }
    coder.finish();
}

void resample_sine8_avx512(const double* args, double* out) { _mm512_storeu_pd(out, sine8(args)); }
