// script_session: engine start and stop around a test, with console capture.
#include "support/script_session.h"

#include "scripting/script_shared_state.h"
#include "support/console_capture.h"

script_session::script_session()
{
    script_shared_state = script_shared_state_t{};
    console_capture console;
    context.init();
}

script_session::~script_session()
{
    context.cleanup();
}

std::string script_session::output_of(const char* script)
{
    run(script);
    return last_output;
}

bool script_session::run(const char* script)
{
    console_capture console;
    const bool ok = context.run(script);
    last_output = console.take();
    return ok;
}

void seed_exact_geometry()
{
    script_shared_state.vertices = {0.5f, -1.25f, 0.0f,   1.0f, 0.1f, -0.0f, 3.0e38f, 1.0e-30f,
                                    -2.0f, 4.0f,  0.75f,  0.0f, 0.0f, 1.0f,  0.25f,   0.5f,
                                    7.0f,  8.0f,  9.0f,   0.3f, 0.6f, 0.9f,  1.0f,    0.0f};
    script_shared_state.elements = {0, 1, 2, 4294967295u, 2, 1};
    script_shared_state.geometry_changed = false;
}
