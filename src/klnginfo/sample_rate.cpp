#include "src/klnginfo/sample_rate.h"

namespace klng {

namespace {

// True when some rate r in [f, f + 1) gives a timer whose low 16 bits are `timer`. Those rates
// give the timers trunc(kTimerClock / r), every integer from kTimerClock / (f + 1) to
// kTimerClock / f (integer divisions).
bool timer_agrees(std::uint64_t f, std::uint16_t timer) {
    const std::uint64_t low = kTimerClock / (f + 1);
    const std::uint64_t high = kTimerClock / f;
    // The first value from `low` upwards whose low 16 bits are `timer`.
    const std::uint64_t first = low + ((std::uint64_t{timer} + 0x10000 - (low & 0xFFFF)) & 0xFFFF);
    return first <= high;
}

}  // namespace

rate_choice choose_rate(std::uint16_t rate_field, std::uint16_t timer) {
    rate_choice c;
    // A rate above kTimerClock gives timer 0, so the candidates end there.
    for (std::uint64_t f = rate_field, wraps = 0; f <= kTimerClock; f += 0x10000, ++wraps) {
        if (f == 0 || !timer_agrees(f, timer)) continue;
        c.rate = static_cast<double>(f);
        c.source = wraps == 0 ? rate_choice::field : rate_choice::wrapped_field;
        c.wraps = static_cast<std::uint32_t>(wraps);
        return c;
    }
    c.rate = kTimerClock / static_cast<double>(timer);
    c.source = rate_choice::timer;
    return c;
}

std::uint64_t playback_millihertz(std::uint16_t timer) {
    return (std::uint64_t{kTimerClock} * 1000 + timer / 2) / timer;
}

}  // namespace klng
