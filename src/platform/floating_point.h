// floating_point: the main thread's floating-point mode. The player runs with
// flush-to-zero and denormals-are-zero set, so tiny values become 0 instead of
// taking the slow denormal path. Depends on the SSE control register only.
#pragma once

// Sets flush-to-zero and denormals-are-zero on the calling thread.
void enable_flush_to_zero();

// True when both bits are set on the calling thread.
bool flush_to_zero_enabled();
