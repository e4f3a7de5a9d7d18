// script_geometry_bench: the per-frame geometry exchange of a script that
// edits its mesh: "getGeometry" then "setGeometry" of the result, for a mesh
// of 10,000 vertices and 30,000 elements. Run by hand: build/tests/script_geometry_bench
#include "scripting/script_shared_state.h"
#include "support/script_session.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t bench_vertex_count = 10000;
constexpr std::size_t bench_element_count = 30000;

void publish_bench_mesh()
{
    script_shared_state.vertices.resize(bench_vertex_count * 8);
    for (std::size_t i = 0; i < script_shared_state.vertices.size(); ++i) {
        script_shared_state.vertices[i] = static_cast<float>(i % 97) * 0.25f;
    }
    script_shared_state.elements.resize(bench_element_count);
    for (std::size_t i = 0; i < bench_element_count; ++i) {
        script_shared_state.elements[i] = static_cast<std::uint32_t>(i % bench_vertex_count);
    }
}

void geometry_round_trip(benchmark::State& state)
{
    script_session session;
    publish_bench_mesh();
    const char* script = "setGeometry(getGeometry());";
    for (auto _ : state) {
        if (!session.context.run(script)) {
            state.SkipWithError("the round-trip script failed");
            break;
        }
    }
    if (script_shared_state.vertices.size() != bench_vertex_count * 8 ||
        script_shared_state.elements.size() != bench_element_count) {
        state.SkipWithError("the mesh changed size on its way through the script");
    }
}

} // namespace

BENCHMARK(geometry_round_trip)->Unit(benchmark::kMillisecond);
