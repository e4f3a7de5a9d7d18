// script_run_cost: times one script run and tells the engine's collector
// what the run left in compiled code, memory it does not count by itself.
// Depends on JavaScriptCore and its private script interface
// (script_engine_private).
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <chrono>
#include <cstddef>

class script_run_cost {
public:
    // Starts timing: made just before the run.
    script_run_cost() : started(std::chrono::steady_clock::now()) {}

    // Once the run has returned, reports its cost to ctx's collector; text
    // is the NUL-terminated text that ran.
    void report(JSContextRef ctx, const char* text) const;

    // The bytes reported for a run of a text of text_length bytes that took
    // run_microseconds; 0 for a run too short to have been compiled.
    static std::size_t reported_bytes(std::size_t text_length, double run_microseconds);

private:
    std::chrono::steady_clock::time_point started; // when the run began
};
