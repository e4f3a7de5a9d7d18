// number_conversion: truncation to 64 bits and narrowing to single precision,
// guarded against undefined casts.
#include "data/number_conversion.h"

#include <cmath>
#include <limits>

std::uint32_t low_32_bits_of_truncation(double number)
{
    if (!(std::fabs(number) < 9223372036854775808.0)) { // 2^63
        return 0;
    }
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(number)));
}

float to_float(double value)
{
    // Rounding to nearest gives the largest float up to the midpoint between
    // it and 2^128, and infinity from the midpoint on (ties go to the even
    // 2^128). The cast itself only ever sees values within the float range.
    constexpr double overflow_midpoint = 0x1.ffffffp127; // 2^128 - 2^103
    constexpr float largest = std::numeric_limits<float>::max();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    if (std::fabs(value) >= overflow_midpoint) {
        return std::signbit(value) ? -infinity : infinity;
    }
    if (std::fabs(value) > largest) {
        return std::signbit(value) ? -largest : largest;
    }
    return static_cast<float>(value);
}
