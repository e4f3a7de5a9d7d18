// script_run_cost: what a run reports to the collector, by the length of
// its text and how long it ran: nothing for a short run, else the smaller of
// the size bound and the time bound, and never a value out of range.
#include "scripting/script_run_cost.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

struct cost_case {
    const char* what;
    std::size_t text_length;
    double run_microseconds;
    std::size_t expected;
};

TEST(script_run_cost, reports_by_size_or_time_and_nothing_for_a_short_run)
{
    constexpr std::size_t huge = std::numeric_limits<std::size_t>::max();
    const cost_case cases[] = {
        {"a one-line trigger", 14, 2.0, 0},
        {"just below the compiled-run threshold", 5000, 19.99, 0},
        {"at the threshold, bound by time", 5000, 20.0, 20 * 256},
        {"a NaN time", 190, std::nan(""), 0},
        {"a negative time", 190, -50.0, 0},
        {"a short text that ran long, bound by size", 190, 3500.0, 190 * 1024},
        {"a long text that ran briefly, bound by time", 6000, 200.0, 200 * 256},
        {"an empty text", 0, 1000.0, 0},
        {"an endless run, bound by size", 27, std::numeric_limits<double>::infinity(), 27 * 1024},
        {"sizes beyond any real run stay in range", huge, 1e300, std::size_t(1) << 30},
    };
    for (const cost_case& c : cases)
        EXPECT_EQ(script_run_cost::reported_bytes(c.text_length, c.run_microseconds), c.expected) << c.what;
}

} // namespace
