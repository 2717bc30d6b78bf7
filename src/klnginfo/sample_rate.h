#pragma once
// Which sample rate a .klng wave has.
//
// The record holds the rate twice, both cut to 16 bits: the rate field (the rate truncated to
// whole Hz, low 16 bits) and the timer (kTimerClock / rate, truncated, low 16 bits). The target
// plays at kTimerClock / timer. The rate field is the better number for a sound editor, since
// it is the converter's own rate within 1 Hz; but it is 0 for a rate below 1 Hz and wraps at
// 65536 Hz. So it is taken as it stands when the timer agrees with it, else with as many
// 65536s added as make it agree (96000 Hz is stored as 30464), else the timer's rate is used.

#include <cstdint>

namespace klng {

// The target's timer clock in Hz: timer = kTimerClock / rate.
constexpr std::uint32_t kTimerClock = 16756991;

struct rate_choice {
    enum kind { field, wrapped_field, timer };
    double rate = 0;          // Hz
    kind source = field;      // where it came from
    std::uint32_t wraps = 0;  // wrapped_field: how many times 65536 was added to the field
};

// timer must not be 0 (parse refuses such a file).
rate_choice choose_rate(std::uint16_t rate_field, std::uint16_t timer);

// kTimerClock / timer in thousandths of Hz, rounded half up, in integer arithmetic so that the
// report reads the same on every platform.
std::uint64_t playback_millihertz(std::uint16_t timer);

}  // namespace klng
