// Script natives: "print", "getTime", "clearScreen" without a GL context, and
// the geometry exchange through "getGeometry" and "setGeometry" with the
// rules for what a script hands back.
#include "scripting/script_natives.h"
#include "scripting/script_shared_state.h"
#include "support/script_session.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>
#include <xmmintrin.h>

namespace {

struct output_case {
    const char* name;
    std::string script;
    std::string output;
};

void PrintTo(const output_case& c, std::ostream* os)
{
    *os << c.name;
}

class script_native_output : public testing::TestWithParam<output_case> {};

TEST_P(script_native_output, prints_exactly)
{
    script_session session;
    script_shared_state.time = 2.5;
    EXPECT_TRUE(session.run(GetParam().script.c_str()));
    EXPECT_EQ(session.last_output, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    script_natives, script_native_output,
    testing::Values(
        output_case{"print_string", "print('hello')", "Scripting Engine: hello\n"},
        output_case{"print_nothing_without_argument", "print()", ""},
        output_case{"print_returns_undefined", "print(String(print()))", "Scripting Engine: undefined\n"},
        output_case{"print_number_has_no_text", "print(42)", "Scripting Engine: \n"},
        output_case{"print_object_has_no_text", "print({ toString() { return 'no'; } })", "Scripting Engine: \n"},
        output_case{"print_first_argument_only", "print('first', 'second')", "Scripting Engine: first\n"},
        output_case{"print_is_no_format", "print('%s %d %n')", "Scripting Engine: %s %d %n\n"},
        output_case{"print_stops_at_nul", "print('before\\0after')", "Scripting Engine: before\n"},
        output_case{"print_outside_the_basic_plane", "print('\\u{1F600}!')", "Scripting Engine: \xf0\x9f\x98\x80!\n"},
        output_case{"print_lone_surrogate", "print('a\\uD800b')", "Scripting Engine: a\xef\xbf\xbd" "b\n"},
        output_case{"get_time_reads_the_shared_time", "print(String(getTime()))", "Scripting Engine: 2.5\n"},
        output_case{"clear_screen_without_context", "print(String(clearScreen()))", "Scripting Engine: undefined\n"}),
    [](const testing::TestParamInfo<output_case>& info) { return std::string(info.param.name); });

TEST(script_natives, table_lists_the_five_natives_then_a_closing_entry)
{
    const char* const names[] = {"print", "clearScreen", "getTime", "getGeometry", "setGeometry"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(script_natives[i].name, names[i]);
        EXPECT_NE(script_natives[i].handler, nullptr);
    }
    EXPECT_EQ(script_natives[5].name, nullptr);
    EXPECT_EQ(script_natives[5].handler, nullptr);
}

TEST(script_natives, get_time_is_zero_before_any_render)
{
    script_session session;
    EXPECT_EQ(session.output_of("print(String(getTime()))"), "Scripting Engine: 0\n");
}

TEST(script_natives, get_geometry_before_any_exchange_gives_empty_arrays)
{
    script_session session;
    EXPECT_EQ(session.output_of("print(JSON.stringify(getGeometry()))"),
              "Scripting Engine: {\"vertices\":[],\"elements\":[]}\n");
}

TEST(script_natives, get_geometry_builds_vertex_objects_in_property_order)
{
    script_session session;
    seed_exact_geometry();
    EXPECT_EQ(session.output_of("const g = getGeometry();\n"
                                "print(Object.keys(g).join());\n"
                                "print(Object.keys(g.vertices[0]).join());\n"
                                "print(`${g.vertices.length} ${g.elements.length}`);\n"
                                "print(String(g.vertices[0].y) + ' ' + g.vertices[2].x + ' ' + g.elements[3]);\n"
                                "print(String(g.vertices[0].g === Math.fround(0.1)));"),
              "Scripting Engine: vertices,elements\n"
              "Scripting Engine: x,y,z,r,g,b,u,v\n"
              "Scripting Engine: 3 6\n"
              "Scripting Engine: -1.25 7 4294967295\n"
              "Scripting Engine: true\n");
}

TEST(script_natives, get_geometry_hands_out_a_copy)
{
    script_session session;
    seed_exact_geometry();
    const auto vertices = script_shared_state.vertices;
    const auto elements = script_shared_state.elements;
    ASSERT_TRUE(session.run("const g = getGeometry(); g.vertices[0].x = 99; g.elements.length = 0;"));
    EXPECT_EQ(script_shared_state.vertices, vertices);
    EXPECT_EQ(script_shared_state.elements, elements);
    EXPECT_EQ(session.output_of("print(String(getGeometry().vertices[0].x === g.vertices[0].x))"),
              "Scripting Engine: false\n");
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

TEST(script_natives, unchanged_geometry_round_trips_exactly)
{
    script_session session;
    seed_exact_geometry();
    const auto vertices = script_shared_state.vertices;
    const auto elements = script_shared_state.elements;
    EXPECT_EQ(session.output_of("print(String(setGeometry(getGeometry())))"), "Scripting Engine: true\n");
    EXPECT_TRUE(same_bits(script_shared_state.vertices, vertices)); // -0 stays -0
    EXPECT_EQ(script_shared_state.elements, elements);
    EXPECT_TRUE(script_shared_state.geometry_changed);
}

TEST(script_natives, exchange_survives_scripts_that_replace_built_ins)
{
    script_session session;
    seed_exact_geometry();
    const auto vertices = script_shared_state.vertices;
    ASSERT_TRUE(session.run("Reflect = undefined; Array = null; Float32Array = Float64Array = undefined;"
                            "Object.prototype.toString = null;"));
    EXPECT_EQ(session.output_of("print(String(setGeometry(getGeometry())))"), "Scripting Engine: true\n");
    EXPECT_TRUE(same_bits(script_shared_state.vertices, vertices));
}

TEST(script_natives, set_geometry_without_argument_only_flags_a_change)
{
    script_session session;
    seed_exact_geometry();
    const auto vertices = script_shared_state.vertices;
    const auto elements = script_shared_state.elements;
    EXPECT_EQ(session.output_of("print(String(setGeometry()))"), "Scripting Engine: true\n");
    EXPECT_TRUE(script_shared_state.geometry_changed);
    EXPECT_EQ(script_shared_state.vertices, vertices);
    EXPECT_EQ(script_shared_state.elements, elements);
}

// What a "setGeometry" call leaves behind, starting from seed_exact_geometry().
enum class outcome {
    unchanged,          // false, nothing changed
    vertices_replaced,  // false, vertices replaced by the argument's, elements and flag as before
    replaced,           // true, both replaced, flag set
};

struct set_case {
    const char* name;
    std::string argument; // script expression handed to setGeometry
    outcome expected;
    std::vector<float> vertices;     // the new vertices, for the outcomes that replace them
    std::vector<uint32_t> elements;  // the new elements, for outcome::replaced
};

void PrintTo(const set_case& c, std::ostream* os)
{
    *os << c.name;
}

class script_set_geometry : public testing::TestWithParam<set_case> {};

TEST_P(script_set_geometry, follows_the_exchange_rules)
{
    const set_case& c = GetParam();
    script_session session;
    seed_exact_geometry();
    const auto old_vertices = script_shared_state.vertices;
    const auto old_elements = script_shared_state.elements;
    const std::string script = std::string("print(String(setGeometry(") + c.argument + ")))";
    const bool accepted = c.expected == outcome::replaced;
    ASSERT_TRUE(session.run(script.c_str()));
    EXPECT_EQ(session.last_output, accepted ? "Scripting Engine: true\n" : "Scripting Engine: false\n");
    EXPECT_EQ(script_shared_state.geometry_changed, accepted);
    if (c.expected == outcome::unchanged)
        EXPECT_TRUE(same_bits(script_shared_state.vertices, old_vertices));
    else
        EXPECT_TRUE(same_bits(script_shared_state.vertices, c.vertices))
            << testing::PrintToString(script_shared_state.vertices);
    EXPECT_EQ(script_shared_state.elements, accepted ? c.elements : old_elements);
}

const std::vector<float> one_vertex = {1, 2, 3, 4, 5, 6, 7, 8};
const char* const one_vertex_source = "{x: 1, y: 2, z: 3, r: 4, g: 5, b: 6, u: 7, v: 8}";

std::string with_one_vertex(const char* pattern)
{
    std::string text = pattern;
    text.replace(text.find("@"), 1, one_vertex_source);
    return text;
}

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    script_natives, script_set_geometry,
    testing::Values(
        // Arguments that are rejected before anything changes.
        set_case{"undefined", "undefined", outcome::unchanged, {}, {}},
        set_case{"null", "null", outcome::unchanged, {}, {}},
        set_case{"number", "5", outcome::unchanged, {}, {}},
        set_case{"string", "'vertices elements'", outcome::unchanged, {}, {}},
        set_case{"empty_object", "{}", outcome::unchanged, {}, {}},
        set_case{"only_vertices", "{vertices: []}", outcome::unchanged, {}, {}},
        set_case{"vertices_and_a_third_name", "{vertices: [], element: [], extra: 1}", outcome::unchanged, {}, {}},
        set_case{"names_only_inherited", "Object.create({vertices: [], elements: []})", outcome::unchanged, {}, {}},
        set_case{"vertices_not_an_array", "{vertices: {length: 1, 0: {}}, elements: []}", outcome::unchanged, {}, {}},
        set_case{"vertices_getter_throws", "{get vertices() { throw 1; }, elements: []}", outcome::unchanged, {}, {}},
        set_case{"own_keys_trap_throws",
                 "new Proxy({vertices: [], elements: []}, {ownKeys() { throw 1; }})", outcome::unchanged, {}, {}},
        set_case{"vertices_longer_than_the_limit",
                 "(() => { const v = []; v.length = 16777217; return {vertices: v, elements: []}; })()",
                 outcome::unchanged, {}, {}},
        set_case{"elements_longer_than_the_limit",
                 "(() => { const e = []; e.length = 16777217; return {vertices: [], elements: e}; })()",
                 outcome::unchanged, {}, {}},
        // "vertices" is taken, then a bad "elements" rejects the rest.
        set_case{"elements_not_an_array", "{vertices: [], elements: 5}", outcome::vertices_replaced, {}, {}},
        set_case{"elements_missing_value", with_one_vertex("{vertices: [@], elements: undefined}"),
                 outcome::vertices_replaced, one_vertex, {}},
        // Accepted geometries.
        set_case{"empty_geometry", "{vertices: [], elements: []}", outcome::replaced, {}, {}},
        set_case{"one_triangle_of_one_vertex", with_one_vertex("{elements: [0, 0, 0], vertices: [@]}"),
                 outcome::replaced, one_vertex, {0, 0, 0}},
        set_case{"array_argument",
                 with_one_vertex("Object.assign([9, 9], {vertices: [@], elements: [2]})"),
                 outcome::replaced, one_vertex, {2}},
        set_case{"function_argument", "Object.assign(() => 0, {vertices: [], elements: [1]})", outcome::replaced,
                 {}, {1}},
        set_case{"hidden_and_symbol_keys",
                 "Object.defineProperties({[Symbol('s')]: 1}, {vertices: {value: [{x: 5}]},"
                 " elements: {value: [3], enumerable: false}})",
                 outcome::replaced, {5, 0, 0, 0, 0, 0, 0, 0}, {3}},
        set_case{"getters_run", "{get vertices() { return [{get y() { return 6; }}]; }, get elements() { return [4]; }}",
                 outcome::replaced, {0, 6, 0, 0, 0, 0, 0, 0}, {4}},
        set_case{"entries_that_are_not_objects", "{vertices: [, 5, undefined, null, 'xyz'], elements: []}",
                 outcome::replaced, std::vector<float>(40, 0.0f), {}},
        set_case{"components_that_are_not_numbers",
                 "{vertices: [{x: '1', y: true, z: null, r: undefined, g: {}, b: [2], u: 1n, v: 9}], elements: []}",
                 outcome::replaced, {0, 0, 0, 0, 0, 0, 0, 9}, {}},
        set_case{"inherited_and_throwing_components",
                 "{vertices: [Object.create({x: 1}, {y: {get() { throw 1; }}, z: {value: 3}})], elements: []}",
                 outcome::replaced, {1, 0, 3, 0, 0, 0, 0, 0}, {}},
        set_case{"single_precision_rounding",
                 "{vertices: [{x: 0.1, y: 16777217, z: 16777219, r: 1e39, g: -1e39, b: NaN, u: Infinity, v: -0}],"
                 " elements: []}",
                 outcome::replaced, {0.1f, 16777216.0f, 16777220.0f, inf, -inf, nan, inf, -0.0f}, {}},
        set_case{"element_truncation",
                 "{vertices: [], elements: [1.9, -1, 4294967297, NaN, Infinity, -Infinity, 2 ** 63, -(2 ** 63),"
                 " 2 ** 63 - 1024, -2.5, 2 ** 40 + 7, '3', null, , 4294967295]}",
                 outcome::replaced, {},
                 {1, 4294967295u, 1, 0, 0, 0, 0, 0, 4294966272u, 4294967294u, 7, 0, 0, 0, 4294967295u}},
        set_case{"elements_need_no_triangles_or_valid_indices", "{vertices: [], elements: [7, 8]}", outcome::replaced,
                 {}, {7, 8}}),
    [](const testing::TestParamInfo<set_case>& info) { return std::string(info.param.name); });

TEST(script_natives, set_geometry_rejects_an_oversized_sparse_array_without_allocating)
{
    script_session session;
    seed_exact_geometry();
    script_shared_state.vertices.shrink_to_fit();
    const float* storage = script_shared_state.vertices.data();
    const size_t capacity = script_shared_state.vertices.capacity();
    EXPECT_EQ(session.output_of("const v = []; v.length = 4294967295; v[7] = {x: 1};"
                                "print(String(setGeometry({vertices: v, elements: [1]})))"),
              "Scripting Engine: false\n");
    EXPECT_EQ(script_shared_state.vertices.data(), storage);
    EXPECT_EQ(script_shared_state.vertices.capacity(), capacity);
    EXPECT_FALSE(script_shared_state.geometry_changed);
}

TEST(script_natives, set_geometry_accepts_a_sparse_array_at_the_limit)
{
    script_session session;
    EXPECT_EQ(session.output_of("const e = []; e.length = 16777216; e[16777215] = 5;"
                                "print(String(setGeometry({vertices: [], elements: e})))"),
              "Scripting Engine: true\n");
    ASSERT_EQ(script_shared_state.elements.size(), 16777216u);
    EXPECT_EQ(script_shared_state.elements[0], 0u);
    EXPECT_EQ(script_shared_state.elements[16777215], 5u);
}

TEST(script_natives, set_geometry_flushes_tiny_values_under_the_players_float_mode)
{
    script_session session;
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved | 0x8040); // flush-to-zero and denormals-are-zero, as the player runs
    const bool ok = session.run("setGeometry({vertices: [{x: 1e-40, y: -1e-40, z: 1.2e-38}], elements: []})");
    _mm_setcsr(saved);
    ASSERT_TRUE(ok);
    ASSERT_EQ(script_shared_state.vertices.size(), 8u);
    EXPECT_EQ(script_shared_state.vertices[0], 0.0f);
    EXPECT_EQ(script_shared_state.vertices[1], 0.0f);
    EXPECT_EQ(script_shared_state.vertices[2], 1.2e-38f);
}

TEST(script_natives, set_geometry_resizes_to_the_new_vertex_count)
{
    script_session session;
    seed_exact_geometry();
    ASSERT_TRUE(session.run("setGeometry({vertices: [{x: 1}], elements: [0]})"));
    EXPECT_EQ(script_shared_state.vertices.size(), 8u);
    ASSERT_TRUE(session.run("setGeometry({vertices: new Array(4).fill({v: 2}), elements: []})"));
    ASSERT_EQ(script_shared_state.vertices.size(), 32u);
    EXPECT_EQ(script_shared_state.vertices[31], 2.0f);
}

} // namespace
