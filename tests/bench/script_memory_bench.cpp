// script_memory_bench: resident memory of a long run of a per-frame trigger
// that moves every vertex of a 200,000-vertex mesh kept from "getGeometry"
// and hands the same objects back with "setGeometry", as a demo's
// beforeRender does; beside it, a one-line trigger run as often. Reports the
// growth per 1000 runs after a warm-up. Linux only (reads /proc/self/statm).
// Run by hand: build-release/tests/script_memory_bench
#include "scripting/script_shared_state.h"
#include "support/console_capture.h"
#include "support/script_session.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t mesh_vertex_count = 200000;
constexpr int warm_up_runs = 1000;
constexpr int runs_between_samples = 250;

const char* const on_start = "var frames = 0; var g0 = getGeometry();";
const char* const move_every_vertex =
    "clearScreen(); var d = 0.002 * Math.sin(getTime() * 2.0); var vs = g0.vertices;"
    " for (var i = 0; i < vs.length; i++) { vs[i].x += d; } setGeometry(g0); frames++;"
    " if (frames % 100 == 0) print('frames ' + frames);";

double resident_mb()
{
    long pages_total = 0, pages_resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) != 2)
        pages_resident = 0;
    std::fclose(statm);
    return static_cast<double>(pages_resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Least-squares slope of the samples, in MB per 1000 runs: steadier than the
// difference of two samples, which the collector's timing moves about.
double growth_per_1000_runs(const std::vector<double>& samples)
{
    const double n = static_cast<double>(samples.size());
    double sum_x = 0, sum_y = 0, sum_xx = 0, sum_xy = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = static_cast<double>(i) * runs_between_samples;
        sum_x += x;
        sum_y += samples[i];
        sum_xx += x * x;
        sum_xy += x * samples[i];
    }
    const double spread = n * sum_xx - sum_x * sum_x;
    return spread > 0 ? 1000.0 * (n * sum_xy - sum_x * sum_y) / spread : 0;
}

void publish_mesh(std::size_t vertex_count)
{
    script_shared_state.vertices.resize(vertex_count * 8);
    for (std::size_t i = 0; i < script_shared_state.vertices.size(); ++i)
        script_shared_state.vertices[i] = static_cast<float>(i % 97) * 0.01f;
    script_shared_state.elements.resize(vertex_count);
    for (std::size_t i = 0; i < vertex_count; ++i)
        script_shared_state.elements[i] = static_cast<std::uint32_t>(i);
}

// The benchmark's iterations are the measured runs; the warm-up runs come
// first, untimed. The time per iteration is the cost of one run.
void run_trigger(benchmark::State& state, std::size_t vertex_count, const char* trigger)
{
    script_session session;
    publish_mesh(vertex_count);
    console_capture quiet; // the trigger's "frames" lines
    if (!session.context.run(on_start)) {
        state.SkipWithError("the onStart script failed");
        return;
    }
    for (int i = 0; i < warm_up_runs; ++i)
        session.context.run(trigger);
    std::vector<double> samples{resident_mb()};
    std::int64_t runs = 0;
    for (auto _ : state) {
        if (!session.context.run(trigger)) {
            state.SkipWithError("the trigger failed");
            return;
        }
        if (++runs % runs_between_samples == 0)
            samples.push_back(resident_mb());
    }
    if (script_shared_state.vertices.size() != vertex_count * 8)
        state.SkipWithError("the mesh changed size");
    state.counters["rss_start_mb"] = samples.front();
    state.counters["rss_end_mb"] = samples.back();
    state.counters["growth_mb_per_1000_runs"] = growth_per_1000_runs(samples);
}

void mesh_moving_trigger(benchmark::State& state)
{
    run_trigger(state, mesh_vertex_count, move_every_vertex);
}

void one_line_trigger(benchmark::State& state)
{
    run_trigger(state, 3, "x = getTime();");
}

} // namespace

BENCHMARK(one_line_trigger)->Iterations(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(mesh_moving_trigger)->Iterations(8000)->Unit(benchmark::kMillisecond);
