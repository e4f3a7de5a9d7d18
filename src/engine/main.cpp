// main: the player's entry point. Builds the engine, prints the banner, runs
// init, run and shutdown, and ends with "<eod>". Arguments are not read.
// Depends on demo_engine, print_line and the floating-point setting.
#include "engine/demo_engine.h"
#include "platform/floating_point.h"
#include "platform/print_line.h"

namespace {

// Set during static initialisation, before main and the engine's code run.
const bool flush_to_zero_set = (enable_flush_to_zero(), true);

} // namespace

int main()
{
    (void)flush_to_zero_set;
    demo_engine engine;
    print_line("Nimbrel Demo Engine - v3.2");
    if (engine.init()) {
        engine.run();
        engine.shutdown();
    }
    print_line("<eod>");
    return 0;
}
