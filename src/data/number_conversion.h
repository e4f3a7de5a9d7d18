// number_conversion: the guarded conversions of a description or script
// number to a 32-bit index or size and to single precision, shared by the
// description reader, the geometry effect and "setGeometry". No dependencies.
#pragma once

#include <cstdint>

// The low 32 bits of number truncated toward zero to a signed 64-bit integer:
// 2.9 gives 2, -1 gives 4294967295, 2^32 gives 0. NaN, the infinities and
// magnitudes of 2^63 or more (where the cast would be undefined) give 0.
std::uint32_t low_32_bits_of_truncation(double number);

// Single precision, rounded to nearest as a store into a Float32Array rounds:
// magnitudes from the midpoint between the largest float and 2^128 on become
// the infinity of their sign, smaller ones above the largest float become it.
float to_float(double value);
