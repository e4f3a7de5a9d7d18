// script_context: the ready flag of the process's one script engine
// (JavaScriptCore), with its start, one-script run and stop. Every script of
// a run shares one global scope; depends on script_natives and script_text.
#pragma once

class script_context {
public:
    // Starts the engine, registers the natives and runs the start-up script;
    // returns the new value of ready. Called once, before any run.
    bool init();
    // Parses and runs one NUL-terminated UTF-8 script as global code. A parse
    // error is printed with its kind; false when not ready, on a parse error
    // and on an uncaught exception.
    bool run(const char* script);
    // Stops the engine and clears ready.
    void cleanup();

    bool ready = false; // the engine is started and its start-up script succeeded
};
