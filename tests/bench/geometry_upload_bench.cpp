// geometry_upload_bench: one upload of a geometry effect's mesh of 1,000,000
// vertices and 3,000,000 elements into its buffers, as every start and every
// take-over does: a mesh whose triangles all name a vertex, and one with a
// triangle left out. Needs an X display: xvfb-run build/tests/geometry_upload_bench
#include "effects/time_line_item_geometry.h"
#include "support/console_capture.h"
#include "support/gl_window.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t bench_vertex_count = 1000000;
constexpr std::size_t bench_element_count = 3000000;

// A mesh of bench_vertex_count vertices; with a fault, its last triangle
// names the vertex one past the end.
void fill_bench_mesh(time_line_item_geometry& effect, bool with_fault)
{
    effect.vertices.resize(bench_vertex_count * 8);
    for (std::size_t i = 0; i < effect.vertices.size(); ++i) {
        effect.vertices[i] = static_cast<float>(i % 97) * 0.25f;
    }
    effect.elements.resize(bench_element_count);
    for (std::size_t i = 0; i < bench_element_count; ++i) {
        effect.elements[i] = static_cast<std::uint32_t>(i % bench_vertex_count);
    }
    if (with_fault) {
        effect.elements.back() = static_cast<std::uint32_t>(bench_vertex_count);
    }
}

void upload_mesh(benchmark::State& state, bool with_fault)
{
    gl_window& window = gl_window::shared();
    if (!window.ready()) {
        state.SkipWithError(("no GL context: " + window.failure()).c_str());
        return;
    }
    time_line_item_geometry effect;
    fill_bench_mesh(effect, with_fault);
    glGenVertexArrays(1, &effect.state->vertex_array);
    console_capture quiet; // the left-out warning
    effect.upload();       // the driver's first buffers are slower to make
    glFinish();
    for (auto _ : state) {
        effect.upload();
        glFinish();
    }
    const GLsizei expected = static_cast<GLsizei>(bench_element_count - (with_fault ? 3 : 0));
    if (effect.state->drawn_element_count != expected) {
        state.SkipWithError("the drawn element count is not the mesh's");
    }
    effect.unload();
}

void upload_whole_mesh(benchmark::State& state) { upload_mesh(state, false); }
void upload_mesh_with_a_left_out_triangle(benchmark::State& state) { upload_mesh(state, true); }

} // namespace

BENCHMARK(upload_whole_mesh)->Unit(benchmark::kMillisecond);
BENCHMARK(upload_mesh_with_a_left_out_triangle)->Unit(benchmark::kMillisecond);
