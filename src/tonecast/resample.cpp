#include "src/tonecast/resample.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "src/tonecast/encoders.h"
#include "src/tonecast/mono_wave.h"
#include "src/tonecast/sine.h"
#include "wavefile/round16.h"

namespace {

// The loop that the wave continues with after its end; 0 when there is none to fold into
// (an empty wave), and then the wave is silent after its end.
std::int64_t loop_length(const CMonoWave& wave) {
    return wave.length > wave.loopstart ? std::int64_t{wave.length} - wave.loopstart : 0;
}

}  // namespace

std::int16_t resample_round(double value) { return round_to_int16(value); }

std::int16_t resample_in_place::at(std::int64_t i) const {
    if (i < 0) return 0;  // silence before the first sample
    if (i >= length) {
        // Past the end the wave goes on with its loop, whose first samples were copied.
        if (looplen == 0) return 0;
        return loop[(i - loopstart) % looplen];
    }
    if (i >= live_begin && i < live_end) return live[i];
    if (i >= below_begin && i < live_begin) return below[i - below_begin];
    assert(i >= live_end && i < above_end);
    return above[i - live_end];
}

std::int16_t sinc_interpolate(const std::int16_t* source, double x, const CMonoWave& wave) {
    // Positions come from i * step with i and step bounded by the wave's 32-bit lengths.
    assert(x >= 0 && x < 0x1p53);
    const std::int64_t length = wave.length;
    const std::int64_t loopstart = wave.loopstart;
    const std::int64_t looplen = loop_length(wave);
    const std::int64_t i0 = static_cast<std::int64_t>(x) - kSincLead;
    // sin(pi (i - x)) for every tap is +-s0: the taps lie a whole number of samples apart.
    const double s0 = sine(kSincPi * (static_cast<double>(i0) - x));
    double acc = 0;
    for (int k = 0; k < kSincTaps; ++k) {
        const std::int64_t i = i0 + k;
        std::int16_t v = 0;
        if (i < 0) {
            v = 0;  // silence before the first sample
        } else if (i < length) {
            v = source[i];
        } else if (looplen > 0) {
            // The same index as subtracting looplen until below length.
            v = source[loopstart + (i - loopstart) % looplen];
        }
        const double t = kSincPi * (static_cast<double>(i) - x);
        const double sigma = (k & 1) ? -1.0 : 1.0;
        acc += t == 0 ? v : v * (sigma / t) * s0;
    }
    return round_to_int16(acc);
}

void resample_portable(const resample_source& source, std::uint32_t begin, std::uint32_t end,
                       const resample_output& out) {
    // Eight outputs side by side, each with its own summation order: with the taps laid out tap
    // by tap, the lane loops are plain vector code for the compiler (SSE2, NEON, ...).
    constexpr std::uint32_t kLanes = 8;
    for (std::uint64_t i = begin; i < end; i += kLanes) {
        double x[kLanes], first[kLanes], s0[kLanes], acc[kLanes];
        double v[kSincTaps][kLanes];
        for (std::uint32_t l = 0; l < kLanes; ++l) {
            // Lanes past the end repeat the last output; their results are dropped.
            const std::uint64_t n = std::min<std::uint64_t>(i + l, end - 1u);
            x[l] = static_cast<double>(n) * source.step;
            const std::int64_t i0 = static_cast<std::int64_t>(x[l]) - kSincLead;
            first[l] = static_cast<double>(i0);
            s0[l] = sine(kSincPi * (first[l] - x[l]));
            for (int k = 0; k < kSincTaps; ++k) v[k][l] = source.at_zero[i0 + k];
            acc[l] = 0;
        }
        for (int k = 0; k < kSincTaps; ++k) {
            const double sigma = (k & 1) ? -1.0 : 1.0;
            const double dk = k;
            if (k == kSincLead) {
                // The one tap that lies on a lane's position when that position is a whole
                // number: there t == 0 and the term is the sample itself.
                for (std::uint32_t l = 0; l < kLanes; ++l) {
                    const double t = kSincPi * ((first[l] + dk) - x[l]);
                    acc[l] += t == 0 ? v[k][l] : v[k][l] * (sigma / t) * s0[l];
                }
                continue;
            }
            for (std::uint32_t l = 0; l < kLanes; ++l) {
                const double t = kSincPi * ((first[l] + dk) - x[l]);
                acc[l] += v[k][l] * (sigma / t) * s0[l];
            }
        }
        for (std::uint32_t l = 0; l < kLanes && i + l < end; ++l) {
            if (out.sums) {
                out.sums[i + l] = acc[l];
            } else {
                out.samples[i + l] = round_to_int16(acc[l]);
            }
        }
    }
}

bool resample_isa_supported(resample_isa isa) {
    switch (isa) {
        case resample_isa::portable: return true;
#if defined(TONECAST_RESAMPLE_X86)
        case resample_isa::avx2: return __builtin_cpu_supports("avx2");
        case resample_isa::avx512: return __builtin_cpu_supports("avx512f");
#else
        case resample_isa::avx2: return false;
        case resample_isa::avx512: return false;
#endif
    }
    return false;
}

resample_isa resample_best_isa() {
    static const resample_isa best = [] {
        for (const resample_isa isa : {resample_isa::avx512, resample_isa::avx2}) {
            if (resample_isa_supported(isa)) return isa;
        }
        return resample_isa::portable;
    }();
    return best;
}

const char* resample_isa_name(resample_isa isa) {
    switch (isa) {
        case resample_isa::portable: return "portable";
        case resample_isa::avx2: return "avx2";
        case resample_isa::avx512: return "avx512";
    }
    return "?";
}

namespace {

resample_kernel kernel_for(resample_isa isa) {
#if defined(TONECAST_RESAMPLE_X86)
    if (isa == resample_isa::avx512 && resample_isa_supported(isa)) return resample_avx512;
    if (isa == resample_isa::avx2 && resample_isa_supported(isa)) return resample_avx2;
#else
    (void)isa;
#endif
    return resample_portable;
}

// The ranges of outputs that run_split gives its threads: `threads` contiguous ones of `chunk`
// outputs each, the last one shorter or empty.
struct split {
    unsigned threads;
    std::uint32_t chunk;

    split(std::uint32_t count, unsigned wanted)
        : threads(std::max(1u, std::min(wanted, count))),
          chunk(static_cast<std::uint32_t>((std::uint64_t{count} + threads - 1) / threads)) {}
    // Ranges of `piece` outputs but the last, which takes the rest: the pieces of a coding.
    static split of_pieces(unsigned count, std::uint32_t piece) {
        split s(0, 1);
        s.threads = count;
        s.chunk = piece;
        return s;
    }
    std::uint32_t begin(unsigned t, std::uint32_t count) const {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, std::uint64_t{chunk} * t));
    }
    std::uint32_t end(unsigned t, std::uint32_t count) const {
        return t + 1 == threads ? count : begin(t + 1, count);
    }
};

// Runs the kernel over 0 ... count - 1 in the ranges of `split`, the first on the calling
// thread, each reading sources[t] (or sources[0] when there is one for all). Outputs are
// independent, so the split changes nothing in the result.
void run_split(resample_kernel kernel, const std::vector<resample_source>& sources,
               std::uint32_t count, const resample_output& out, const split& ranges) {
    const auto source = [&sources](unsigned t) -> const resample_source& {
        return sources[sources.size() == 1 ? 0 : t];
    };
    std::vector<std::thread> pool;
    pool.reserve(ranges.threads - 1);  // no reallocation while threads run
    for (unsigned t = 1; t < ranges.threads; ++t) {
        const std::uint32_t begin = ranges.begin(t, count);
        const std::uint32_t end = ranges.end(t, count);
        if (begin >= end) break;
        try {
            pool.emplace_back(kernel, std::cref(source(t)), begin, end, std::cref(out));
        } catch (const std::exception&) {
            // No thread to be had (system_error), or no memory for its start (bad_alloc):
            // leaving now would destroy the threads still running, which ends the program.
            kernel(source(t), begin, end, out);
        }
    }
    kernel(source(0), 0, ranges.end(0, count), out);
    for (std::thread& worker : pool) worker.join();
}

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// A coding during the resampling (resample_coding) gives each thread a piece of at least this
// many outputs: shorter ones are not worth the mending that follows.
constexpr std::uint32_t kLeastCodedPiece = 65536;

// The coding of the outputs into IMA-ADPCM while the AVX-512 variant makes them in place, one
// piece per thread; its records go to `coded`. Returns the split of the outputs into those
// pieces, or the usual split when there is no coding. (From a copy of the source the codes would
// come on top of the copy: memory that the in-place resampling leaves room for.)
split plan_coding(std::uint32_t newlength, unsigned threads, adpcm_pieces* coded,
                  resample_coding& coding) {
    const split usual(newlength, threads);
    if (coded == nullptr) return usual;
    const std::uint32_t per_piece = newlength / usual.threads;
    const std::uint32_t piece = per_piece - per_piece % kAdpcmCheckpointSamples;
    if (piece < kLeastCodedPiece) return usual;
    coded->length = piece;
    coded->count = usual.threads;
    // Room in whole 2 MB units: the program's allocator backs such blocks with huge pages, which
    // a fresh process here gets some four times faster than the small pages of a 1.4 MB block
    // (2 ms of a 60 s wave's conversion).
    const std::size_t bytes = std::size_t{coded->count} * (piece / 2);
    coded->bytes.reserve((bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes);
    coded->bytes.resize(bytes);
    coded->checkpoints.resize(std::size_t{coded->count} * (piece / kAdpcmCheckpointSamples));
    coded->start.resize(coded->count);
    coded->end.resize(coded->count);
    coding.piece_length = piece;
    coding.checkpoint_samples = kAdpcmCheckpointSamples;
    coding.bytes = coded->bytes.data();
    coding.checkpoints = coded->checkpoints.data();
    coding.start = coded->start.data();
    coding.end = coded->end.data();
    return split::of_pieces(usual.threads, piece);
}

// Waves shorter than this many outputs per thread are not worth a thread's start.
constexpr std::uint32_t kOutputsPerThread = 16384;

// The distance between two outputs in source samples: 0 for an empty wave, whose outputs all
// read silence.
double step_for(std::uint32_t length, std::uint32_t newlength) {
    const double ratio = static_cast<double>(newlength) / static_cast<double>(length);
    return 1.0 / ratio;
}

// The source of a resampling of `wave` into `newlength` outputs; `padded` holds its samples.
resample_source lay_out(const CMonoWave& wave, std::uint32_t newlength,
                        std::vector<std::int16_t>& padded) {
    const std::uint32_t length = wave.length;
    assert(wave.samples.size() >= length);
    assert(newlength > 0);
    resample_source source;
    source.step = step_for(length, newlength);

    // The highest tap of the last output; positions grow with the output index.
    const double last_x = static_cast<double>(newlength - 1) * source.step;
    const std::int64_t last_tap = static_cast<std::int64_t>(last_x) - kSincLead + kSincTaps - 1;
    const std::int64_t past_end = std::max<std::int64_t>(last_tap + kSincSlack + 1, length);
    // Silence before the wave, the wave, room past it: each entry written once.
    padded.clear();
    padded.reserve(static_cast<std::size_t>(kSincLead + past_end));
    padded.resize(kSincLead, 0);
    padded.insert(padded.end(), wave.samples.begin(), wave.samples.begin() + length);
    padded.resize(static_cast<std::size_t>(kSincLead + past_end), 0);
    const std::int64_t looplen = loop_length(wave);
    if (looplen > 0) {
        // Past the end the wave goes on with its loop: each entry repeats the one a loop before.
        for (std::size_t j = std::size_t{kSincLead} + length; j < padded.size(); ++j) {
            padded[j] = padded[j - static_cast<std::size_t>(looplen)];
        }
    }
    source.at_zero = padded.data() + kSincLead;
    return source;
}

// Resampling in place: the outputs overwrite the wave's own buffer, so the source needs no copy
// (half the memory, and none of the fresh pages that the machine is slow to hand out). The AVX-512
// kernel reads each source sample once, in order, converting it, and before it writes an
// output it has read every sample up to some 115 past the output's position: when no output
// lies more than kInPlaceDrift samples past its position (the wave grows by at most that much),
// no sample is overwritten before its thread has read it. A thread reads at most 124 samples below
// its first output and above its last one; what its neighbours overwrite there, and the loop's
// first samples, which the taps past the end read, are copied before the threads start.
constexpr std::uint32_t kInPlaceDrift = 24;
constexpr std::int64_t kInPlaceMargin = 128;

bool in_place_possible(const CMonoWave& wave, std::uint32_t newlength, resample_isa isa) {
    return isa == resample_isa::avx512 && resample_isa_supported(isa) && wave.length > 0 &&
           newlength >= wave.length && newlength - wave.length <= kInPlaceDrift;
}

void resample_in_place_with(CMonoWave& wave, std::uint32_t newlength, unsigned threads,
                            adpcm_pieces* coded) {
    const std::int64_t length = wave.length;
    const std::int64_t loopstart = wave.loopstart;
    const std::int64_t looplen = loop_length(wave);
    resample_coding coding;
    const split ranges = plan_coding(newlength, threads, coded, coding);
    // Copies first: the loop's start, and around each range what the ranges beside it overwrite.
    const std::vector<std::int16_t> loop(
        wave.samples.begin() + loopstart,
        wave.samples.begin() + loopstart + std::min(looplen, kInPlaceMargin));
    std::vector<resample_in_place> views(ranges.threads);
    std::vector<std::vector<std::int16_t>> copies(2 * std::size_t{ranges.threads});
    const auto copy = [&wave](std::vector<std::int16_t>& to, std::int64_t from, std::int64_t end) {
        to.assign(wave.samples.begin() + from, wave.samples.begin() + end);
        return to.data();
    };
    for (unsigned t = 0; t < ranges.threads; ++t) {
        resample_in_place& view = views[t];
        view.length = length;
        view.loopstart = loopstart;
        view.looplen = looplen;
        view.loop = loop.data();
        view.live_begin = std::min<std::int64_t>(ranges.begin(t, newlength), length);
        view.live_end = t + 1 == ranges.threads
                            ? length
                            : std::min<std::int64_t>(ranges.end(t, newlength), length);
        view.below_begin = std::max<std::int64_t>(0, view.live_begin - kInPlaceMargin);
        view.above_end = std::min(length, view.live_end + kInPlaceMargin);
        view.below = copy(copies[2 * t], view.below_begin, view.live_begin);
        view.above = copy(copies[2 * t + 1], view.live_end, view.above_end);
    }
    if (newlength > wave.samples.capacity()) {
        wave.samples.reserve(std::size_t{newlength} + kPadRoom);
    }
    wave.samples.resize(newlength);  // the entries past the old length are never read
    std::vector<resample_source> sources(ranges.threads);
    for (unsigned t = 0; t < ranges.threads; ++t) {
        views[t].live = wave.samples.data();
        sources[t].step = step_for(wave.length, newlength);
        sources[t].in_place = &views[t];
    }
    resample_output out;
    out.samples = wave.samples.data();
    out.coding = coding.piece_length > 0 ? &coding : nullptr;
    run_split(kernel_for(resample_isa::avx512), sources, newlength, out, ranges);
}

}  // namespace

void resample_wave_with(CMonoWave& wave, std::uint32_t newlength, resample_isa isa,
                        unsigned threads, adpcm_pieces* coded) {
    if (coded != nullptr) *coded = adpcm_pieces();
    if (newlength == 0) {
        wave.samples.clear();
        return;
    }
    if (in_place_possible(wave, newlength, isa)) {
        resample_in_place_with(wave, newlength, threads, coded);
        return;
    }
    std::vector<std::int16_t> padded;  // the one copy of the source
    const std::vector<resample_source> sources{lay_out(wave, newlength, padded)};  // for all
    // The kernels write every output: the old samples (the source is in `padded`) need no
    // clearing first, only the buffer its new length. A wave that outgrows its buffer gets one
    // of just that length and the padding room, and lets the old one go first: growing the
    // vector would copy the old samples and could take twice the room.
    if (newlength > wave.samples.capacity()) {
        std::vector<std::int16_t>().swap(wave.samples);
        wave.samples.reserve(std::size_t{newlength} + kPadRoom);
    }
    wave.samples.resize(newlength);
    resample_output out;
    out.samples = wave.samples.data();
    run_split(kernel_for(isa), sources, newlength, out, split(newlength, threads));
}

void resample_sums_with(const CMonoWave& wave, std::uint32_t newlength, resample_isa isa,
                        double* sums) {
    if (newlength == 0) return;
    std::vector<std::int16_t> padded;
    const resample_source source = lay_out(wave, newlength, padded);
    resample_output out;
    out.sums = sums;
    kernel_for(isa)(source, 0, newlength, out);
}

void resample_wave(CMonoWave& wave, std::uint32_t newlength, adpcm_pieces* coded) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = std::min(cores, std::max(1u, newlength / kOutputsPerThread));
    resample_wave_with(wave, newlength, resample_best_isa(), threads, coded);
}
