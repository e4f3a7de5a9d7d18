// script_run_cost: every run of a text makes the engine build a new code
// block for it; a hot text is compiled again at each tier it reaches, and
// that code and its metadata stay until the collector frees the dead block.
// The collector does not count them, so a run that makes little garbage of
// its own would let them pile up for minutes: the run's cost is reported.
#include "scripting/script_run_cost.h"

#include "scripting/script_engine_private.h"

#include <algorithm>
#include <cstring>

namespace {

// A run shorter than this has at most compiled a small loop: it reports
// nothing, so the common one-line trigger (about 2 us) pays only for
// reading the clock twice. About one of its runs in a hundred takes over
// 15 us, while the engine frees old code blocks or collects; reporting
// those would only bring the next collection nearer.
constexpr double min_compiled_run_us = 20.0;
// Each tier-up compiles the whole text again and keeps the tiers below (the
// baseline compiler's code, then the optimizing compilers', which run on
// helper threads and may finish after the run): a run that reached them all
// was measured to leave up to about 130 bytes for each byte of its text.
// Reported eight times over, such code takes at most about an eighth of the
// heap growth the collector allows between two collections, and the
// resident size stays flat.
constexpr double reported_bytes_per_text_byte = 1024.0;
// Each collection costs about in proportion to the live heap, and reported
// bytes bring the next one nearer in proportion to that heap's allowance, so
// a bound per microsecond keeps the collections' share of a run's time at a
// few percent: it limits a long text that ran briefly (straight-line code,
// no hot loop), whose size bound alone would force a collection every run.
constexpr double reported_bytes_per_run_us = 256.0;
// Far beyond any collector's allowance, where a larger report does no more;
// it keeps the conversion in range.
constexpr double max_reported_bytes = 1024.0 * 1024.0 * 1024.0;

} // namespace

std::size_t script_run_cost::reported_bytes(std::size_t text_length, double run_microseconds)
{
    if (!(run_microseconds >= min_compiled_run_us))
        return 0; // also NaN
    const double by_size = static_cast<double>(text_length) * reported_bytes_per_text_byte;
    const double by_time = run_microseconds * reported_bytes_per_run_us;
    return static_cast<std::size_t>(std::min({by_size, by_time, max_reported_bytes}));
}

void script_run_cost::report(JSContextRef ctx, const char* text) const
{
    const double microseconds =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count();
    if (microseconds < min_compiled_run_us)
        return; // neither the text's length nor the engine is looked at for a short run
    const std::size_t bytes = reported_bytes(std::strlen(text), microseconds);
    if (bytes > 0)
        JSReportExtraMemoryCost(ctx, bytes);
}
