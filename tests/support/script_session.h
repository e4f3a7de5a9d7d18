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
