// script_run_bench: the cost of one warm script_context::run of a one-line
// trigger, as every frame pays it for each beforeRender and afterRender
// script. Run by hand: build/tests/script_run_bench
#include "support/script_session.h"

#include <benchmark/benchmark.h>

namespace {

void one_line_run(benchmark::State& state)
{
    script_session session;
    const char* script = "x = getTime();";
    if (!session.context.run(script)) {
        state.SkipWithError("the one-line script failed");
        return;
    }
    for (auto _ : state) {
        if (!session.context.run(script)) {
            state.SkipWithError("the one-line script failed");
            break;
        }
    }
}

} // namespace

BENCHMARK(one_line_run)->Unit(benchmark::kMicrosecond);
