// script_geometry_bench: the per-frame geometry exchange of a script that
// edits its mesh ("getGeometry" then "setGeometry" of the result), beside a
// pure-script reference that builds and sums the same vertex objects and
// element array in the same engine. The argument is the vertex count; there
// are three elements per vertex. Run by hand: build/tests/script_geometry_bench
#include "scripting/script_shared_state.h"
#include "support/script_session.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr std::size_t elements_per_vertex = 3;

float bench_component(std::size_t i)
{
    return static_cast<float>(i % 97) * 0.25f;
}

void publish_bench_mesh(std::size_t vertex_count)
{
    script_shared_state.vertices.resize(vertex_count * 8);
    for (std::size_t i = 0; i < script_shared_state.vertices.size(); ++i) {
        script_shared_state.vertices[i] = bench_component(i);
    }
    script_shared_state.elements.resize(vertex_count * elements_per_vertex);
    for (std::size_t i = 0; i < script_shared_state.elements.size(); ++i) {
        script_shared_state.elements[i] = static_cast<std::uint32_t>(i % vertex_count);
    }
}

void geometry_round_trip(benchmark::State& state)
{
    const auto vertex_count = static_cast<std::size_t>(state.range(0));
    script_session session;
    publish_bench_mesh(vertex_count);
    const char* script = "setGeometry(getGeometry());";
    for (auto _ : state) {
        if (!session.context.run(script)) {
            state.SkipWithError("the round-trip script failed");
            break;
        }
    }
    if (script_shared_state.vertices.size() != vertex_count * 8 ||
        script_shared_state.elements.size() != vertex_count * elements_per_vertex) {
        state.SkipWithError("the mesh changed size on its way through the script");
    }
}

// The same work done by script alone: the source numbers sit in typed arrays
// filled like the native mesh; every frame builds the vertex objects and the
// element array anew, then reads back every component and element into a
// sum that is checked, so the engine can drop none of it.
const char* const reference_setup = R"js(
function fillReference(n, m) {
  referenceFloats = new Float32Array(n * 8);
  for (let i = 0; i < n * 8; i++) referenceFloats[i] = (i % 97) * 0.25;
  referenceIndices = new Uint32Array(m);
  for (let i = 0; i < m; i++) referenceIndices[i] = i % n;
}
function buildAndSum(f, e) {
  const n = f.length / 8, m = e.length;
  const vertices = [];
  for (let j = 0, b = 0; j < n; j++, b += 8) {
    vertices.push({x: f[b], y: f[b + 1], z: f[b + 2], r: f[b + 3],
                   g: f[b + 4], b: f[b + 5], u: f[b + 6], v: f[b + 7]});
  }
  const elements = [];
  for (let i = 0; i < m; i++) elements.push(e[i]);
  let sum = 0;
  for (let j = 0; j < n; j++) {
    const v = vertices[j];
    sum += v.x + v.y + v.z + v.r + v.g + v.b + v.u + v.v;
  }
  for (let i = 0; i < m; i++) sum += elements[i];
  return sum;
}
)js";

double expected_reference_sum(std::size_t vertex_count)
{
    double sum = 0;
    for (std::size_t i = 0; i < vertex_count * 8; ++i)
        sum += bench_component(i);
    for (std::size_t i = 0; i < vertex_count * elements_per_vertex; ++i)
        sum += static_cast<double>(i % vertex_count);
    return sum;
}

void pure_script_reference(benchmark::State& state)
{
    const auto vertex_count = static_cast<std::size_t>(state.range(0));
    script_session session;
    const std::string fill = "fillReference(" + std::to_string(vertex_count) + ", " +
                             std::to_string(vertex_count * elements_per_vertex) + ");";
    if (!session.context.run(reference_setup) || !session.context.run(fill.c_str())) {
        state.SkipWithError("the reference setup failed");
        return;
    }
    const char* script = "referenceSum = buildAndSum(referenceFloats, referenceIndices);";
    for (auto _ : state) {
        if (!session.context.run(script)) {
            state.SkipWithError("the reference script failed");
            break;
        }
    }
    const std::string check = "if (referenceSum !== " + std::to_string(expected_reference_sum(vertex_count)) +
                              ") throw referenceSum;";
    if (!session.context.run(check.c_str()))
        state.SkipWithError("the reference sum is wrong");
}

} // namespace

BENCHMARK(geometry_round_trip)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(pure_script_reference)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
