// script_session: a started script engine for tests, with the shared script
// state reset, and helpers that run a script and return what it printed.
// Depends on script_context, script_shared_state and console_capture.
#pragma once

#include "scripting/script_context.h"

#include <string>

class script_session {
public:
    script_session();  // starts the engine quietly and resets script_shared_state
    ~script_session(); // stops the engine
    script_session(const script_session&) = delete;
    script_session& operator=(const script_session&) = delete;

    // Runs script and returns everything it printed.
    std::string output_of(const char* script);
    // Runs script and returns its result; the printed lines go to last_output.
    bool run(const char* script);

    script_context context; // the flag under test, ready after construction
    std::string last_output; // what the latest run() printed
};

// Publishes a small mesh whose values survive the exchange exactly (normal
// floats, both zeros, the largest index): three vertices and six elements,
// with geometry_changed clear.
void seed_exact_geometry();
