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
    const double largest = std::numeric_limits<float>::max();
    if (value > largest) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -largest) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}
