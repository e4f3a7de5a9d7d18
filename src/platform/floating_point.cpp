// floating_point: sets and reads the flush-to-zero (FTZ) and
// denormals-are-zero (DAZ) bits of the SSE control register (MXCSR).
// Same code on Windows and Linux: both targets are x86-64 with SSE.
#include "platform/floating_point.h"

#include <xmmintrin.h>

namespace {
constexpr unsigned int flush_to_zero_bit = 0x8000;      // MXCSR bit 15 (FTZ)
constexpr unsigned int denormals_are_zero_bit = 0x0040; // MXCSR bit 6 (DAZ)
constexpr unsigned int both_bits = flush_to_zero_bit | denormals_are_zero_bit;
} // namespace

void enable_flush_to_zero()
{
    _mm_setcsr(_mm_getcsr() | both_bits);
}

bool flush_to_zero_enabled()
{
    return (_mm_getcsr() & both_bits) == both_bits;
}
