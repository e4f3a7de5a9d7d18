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
