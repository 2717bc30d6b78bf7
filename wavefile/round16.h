#pragma once
// Rounding of a computed sample value to signed 16 bits: halves away from zero, clipped to
// -32768 ... 32767. Shared by the resampler and the floating-point sample readers so that both
// give the same value for the same number.

#include <cstdint>

inline std::int16_t round_to_int16(double value) {
    if (value >= 0) {
        double r = value + 0.5;
        if (r > 32767) r = 32767;
        return static_cast<std::int16_t>(static_cast<std::int32_t>(r));
    }
    if (value < 0) {
        double r = -value + 0.5;
        if (r > 32768) r = 32768;
        return static_cast<std::int16_t>(-static_cast<std::int32_t>(r));
    }
    return 0;  // NaN: no value to round, and a float-to-integer cast of it is undefined
}
