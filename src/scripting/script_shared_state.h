// script_shared_state: the one process-wide record through which the script
// natives and the geometry effect exchange the demo time and a geometry.
// Plain data, no dependencies; everything runs on the main thread.
#pragma once

#include <cstdint>
#include <vector>

struct script_shared_state_t {
    double time = 0.0;               // demo time in seconds of the latest geometry render; 0 before the first
    std::vector<uint32_t> elements;  // element indices of the exchanged geometry, three per triangle
    std::vector<float> vertices;     // exchanged vertices, eight floats each: x y z r g b u v
    bool geometry_changed = false;   // a script asked the geometry effect to take the geometry back
};

// Zero-initialised at program load and never reset, not even when the script
// engine stops.
extern script_shared_state_t script_shared_state;
