// The geometry exchange behind "getGeometry" and "setGeometry": objects built
// whatever a script did to the built-in prototypes, every getter run once and
// in order around throwing ones, natives called from inside a getter, buffers
// that move between exchanges, and no script ever holding a view over the
// native vectors.
#include "scripting/script_shared_state.h"
#include "support/script_session.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct tampering_case {
    const char* name;
    const char* script; // changes a built-in; sets the global "tampered" when a hook of it runs
};

void PrintTo(const tampering_case& c, std::ostream* os)
{
    *os << c.name;
}

class script_get_geometry_with_altered_built_ins : public testing::TestWithParam<tampering_case> {};

TEST_P(script_get_geometry_with_altered_built_ins, builds_the_same_own_data_properties)
{
    script_session session;
    seed_exact_geometry();
    const auto vertices = script_shared_state.vertices;
    const auto elements = script_shared_state.elements;
    ASSERT_TRUE(session.run("var tampered = false; var plain = JSON.stringify(getGeometry());"));
    ASSERT_TRUE(session.run(GetParam().script));
    EXPECT_EQ(session.output_of("const g = getGeometry();\n"
                                "const own = (o, k) => Object.getOwnPropertyDescriptor(o, k) !== undefined;\n"
                                "print(String(JSON.stringify(g) === plain));\n"
                                "print(Object.keys(g).join() + ' ' + Object.keys(g.vertices[2]).join());\n"
                                "print(String(own(g, 'vertices') && own(g.vertices, 0) && own(g.vertices[0], 'x')"
                                " && own(g.vertices[2], 'v') && own(g.elements, 5)));\n"
                                "print(String(tampered));\n"
                                "print(String(setGeometry(g)));"),
              "Scripting Engine: true\n"
              "Scripting Engine: vertices,elements x,y,z,r,g,b,u,v\n"
              "Scripting Engine: true\n"
              "Scripting Engine: false\n"
              "Scripting Engine: true\n");
    EXPECT_EQ(script_shared_state.vertices, vertices);
    EXPECT_EQ(script_shared_state.elements, elements);
}

INSTANTIATE_TEST_SUITE_P(
    script_geometry_exchange, script_get_geometry_with_altered_built_ins,
    testing::Values(
        tampering_case{"throwing_setter_for_the_first_vertex_key",
                       "Object.defineProperty(Object.prototype, 'x', {set(v) { tampered = true; throw 1; }})"},
        tampering_case{"throwing_setter_for_the_last_vertex_key",
                       "Object.defineProperty(Object.prototype, 'v', {set(v) { tampered = true; throw 1; }})"},
        tampering_case{"read_only_vertex_key", "Object.defineProperty(Object.prototype, 'y', {value: 'proto'})"},
        tampering_case{"throwing_setters_for_the_geometry_keys",
                       "Object.defineProperty(Object.prototype, 'vertices', {set(v) { tampered = true; throw 1; }});"
                       "Object.defineProperty(Object.prototype, 'elements', {set(v) { tampered = true; throw 1; }})"},
        tampering_case{"read_only_geometry_key", "Object.defineProperty(Object.prototype, 'elements', {value: 0})"},
        tampering_case{"throwing_index_setter_on_array_prototype",
                       "Object.defineProperty(Array.prototype, 0, {set(v) { tampered = true; throw 1; }})"},
        tampering_case{"index_setter_on_array_prototype_past_the_start",
                       "Object.defineProperty(Array.prototype, 4, {set(v) { tampered = true; }})"},
        tampering_case{"read_only_index_on_object_prototype", "Object.defineProperty(Object.prototype, 1, {value: 7})"},
        tampering_case{"iterator_and_length_on_object_prototype",
                       "Object.prototype[Symbol.iterator] = function* () { tampered = true; };"
                       "Object.defineProperty(Object.prototype, 'length', {get() { tampered = true; return 0; }})"},
        tampering_case{"replaced_array_constructor_and_from",
                       "Array.from = () => { tampered = true; return []; };"
                       "Array.prototype.constructor = function () { tampered = true; };"
                       "Array = function () { tampered = true; };"}),
    [](const testing::TestParamInfo<tampering_case>& info) { return std::string(info.param.name); });

// A vertex whose eight components are getters that log their name, one of
// them throwing: every getter still runs once and in order, the thrown one
// counts as 0 and the others keep their values.
TEST(script_geometry_exchange, a_throwing_component_getter_leaves_the_others_read_in_order)
{
    script_session session;
    ASSERT_TRUE(session.run("function logged(thrower) {\n"
                            "  const v = {};\n"
                            "  [...'xyzrgbuv'].forEach((k, i) => Object.defineProperty(v, k, {\n"
                            "    get() { log += k; if (k === thrower) throw 1; return i + 1; }}));\n"
                            "  return v;\n"
                            "}"));
    const std::string keys = "xyzrgbuv";
    for (size_t thrower = 0; thrower < keys.size(); ++thrower) {
        SCOPED_TRACE(keys[thrower]);
        const std::string script = std::string("var log = ''; const r = setGeometry({vertices: [logged('") +
                                   keys[thrower] + "'), {x: 9}], elements: []}); print(log + ' ' + r);";
        EXPECT_EQ(session.output_of(("{" + script + "}").c_str()), "Scripting Engine: xyzrgbuv true\n");
        std::vector<float> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0, 0, 0};
        expected[thrower] = 0;
        EXPECT_EQ(script_shared_state.vertices, expected);
    }
}

// Every read that "setGeometry" makes, in order, through proxies that log
// them: the argument's keys and its two properties, both lengths, each entry
// followed by its eight components, then the elements' length read anew and
// each element. A throwing read counts as 0 and the reads go on after it.
TEST(script_geometry_exchange, set_geometry_reads_each_value_once_in_order)
{
    script_session session;
    EXPECT_EQ(session.output_of(
                  "const log = [];\n"
                  "const watch = (name, target, thrower) => new Proxy(target, {\n"
                  "  get(t, k, r) { log.push(name + '.' + String(k)); if (k === thrower) throw 1;"
                  " return Reflect.get(t, k, r); },\n"
                  "  ownKeys(t) { log.push(name + ' keys'); return Reflect.ownKeys(t); }});\n"
                  "const geometry = watch('g', {\n"
                  "  vertices: watch('vs', [watch('v0', {x: 1, y: 2}, 'z'), 3, watch('v2', {v: 4})], '1'),\n"
                  "  elements: watch('es', [5, 6, 7], '1')});\n"
                  "const r = setGeometry(geometry);\n"
                  "print(log.join(' ') + ' ' + r);"),
              "Scripting Engine: g keys g.vertices g.elements vs.length es.length vs.0 v0.x v0.y v0.z v0.r v0.g v0.b"
              " v0.u v0.v vs.1 vs.2 v2.x v2.y v2.z v2.r v2.g v2.b v2.u v2.v es.length es.0 es.1 es.2 true\n");
    EXPECT_EQ(script_shared_state.vertices,
              (std::vector<float>{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}));
    EXPECT_EQ(script_shared_state.elements, (std::vector<uint32_t>{5, 0, 7}));
}

TEST(script_geometry_exchange, elements_keep_the_low_bits_of_the_64_bit_truncation_only)
{
    script_session session;
    EXPECT_EQ(session.output_of("print(String(setGeometry({vertices: [], elements:"
                                " [2 ** 63 + 4096, -(2 ** 63) - 4096, 2 ** 64, 1e20, -1e20, 2 ** 52 + 3, -(2 ** 52) - 3,"
                                " 4294967296.5, -0, -0.5]})))"),
              "Scripting Engine: true\n");
    EXPECT_EQ(script_shared_state.elements,
              (std::vector<uint32_t>{0, 0, 0, 0, 0, 3, 4294967293u, 0, 0, 0}));
}

// A getter that exchanges geometry itself while the outer "setGeometry"
// reads: the inner calls see and replace the shared vectors, and the outer
// call's vertices, read into a buffer of its own, replace them once read;
// after that an element getter still sees and changes the shared vectors,
// and the outer call's elements replace them at the end.
TEST(script_geometry_exchange, natives_called_from_inside_a_getter_do_not_disturb_the_outer_call)
{
    script_session session;
    seed_exact_geometry();
    EXPECT_EQ(session.output_of(
                  "let seen = '';\n"
                  "const big = {vertices: new Array(5000).fill({x: 3}), elements: new Array(9000).fill(8)};\n"
                  "const vertex = {get x() {\n"
                  "  seen += getGeometry().vertices.length + ' ';\n"
                  "  seen += setGeometry(big) + ' ';\n"
                  "  seen += getGeometry().elements.length + ' ';\n"
                  "  return 5; }, y: 6};\n"
                  "const elements = [1, 2];\n"
                  "Object.defineProperty(elements, 1, {get() {\n"
                  "  seen += getGeometry().vertices[1].y + ' ' + setGeometry(big);\n"
                  "  return 2; }});\n"
                  "const r = setGeometry({vertices: [vertex, vertex], elements});\n"
                  "print(seen + ' ' + r);"),
              "Scripting Engine: 3 true 9000 5000 true 9000 6 true true\n");
    ASSERT_EQ(script_shared_state.vertices.size(), 5000u * 8);
    EXPECT_EQ(script_shared_state.vertices[8 * 4999], 3.0f);
    EXPECT_EQ(script_shared_state.elements, (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(script_shared_state.geometry_changed);
}

// The exchange keeps its views over native buffers from call to call and
// hands one out again only for a live buffer at the same address with the
// same size. Buffers that grow, shrink, move and come back, both from
// "setGeometry" and from native code between runs, must always be read and
// written whole and nowhere else (the sanitizer build watches the heap).
TEST(script_geometry_exchange, buffers_that_move_and_change_size_are_exchanged_whole)
{
    script_session session;
    ASSERT_TRUE(session.run("function mesh(n, seed) {\n"
                            "  const vertices = [], elements = [];\n"
                            "  for (let i = 0; i < n; i++) {\n"
                            "    vertices.push({x: i, y: seed, z: 0, r: 0, g: 0, b: 0, u: 0, v: -i});\n"
                            "    elements.push(n - i, i, seed);\n"
                            "  }\n"
                            "  return {vertices, elements};\n"
                            "}\n"
                            "function check(n, seed) {\n"
                            "  const g = getGeometry();\n"
                            "  let bad = g.vertices.length !== n || g.elements.length !== 3 * n;\n"
                            "  for (let i = 0; i < n && !bad; i++) {\n"
                            "    const v = g.vertices[i];\n"
                            "    bad = v.x !== i || v.y !== seed || v.v !== -i || g.elements[3 * i] !== n - i ||\n"
                            "          g.elements[3 * i + 1] !== i || g.elements[3 * i + 2] !== seed;\n"
                            "  }\n"
                            "  return !bad;\n"
                            "}"));
    const int sizes[] = {3, 300, 300, 3, 1000, 0, 300, 1, 300, 1000};
    int seed = 0;
    for (int n : sizes) {
        for (int round = 0; round < 3; ++round, ++seed) {
            SCOPED_TRACE(testing::Message() << n << " vertices, seed " << seed);
            const std::string script = "print(String(setGeometry(mesh(" + std::to_string(n) + ", " +
                                       std::to_string(seed) + ")) && check(" + std::to_string(n) + ", " +
                                       std::to_string(seed) + ") && setGeometry(getGeometry()) && check(" +
                                       std::to_string(n) + ", " + std::to_string(seed) + ")))";
            EXPECT_EQ(session.output_of(script.c_str()), "Scripting Engine: true\n");
            ASSERT_EQ(script_shared_state.vertices.size(), size_t(n) * 8);
            // Native code moves the buffers between runs, as the geometry effect does.
            std::vector<float> vertices = script_shared_state.vertices;
            std::vector<uint32_t> elements = script_shared_state.elements;
            script_shared_state.vertices = std::vector<float>();
            script_shared_state.elements.shrink_to_fit();
            script_shared_state.vertices = std::move(vertices);
            script_shared_state.elements = elements;
            const std::string check = "print(String(check(" + std::to_string(n) + ", " + std::to_string(seed) + ")))";
            EXPECT_EQ(session.output_of(check.c_str()), "Scripting Engine: true\n");
        }
    }
}

// The natives hand the engine typed arrays over native memory for the length
// of one call. Hooks on every property a script could see them through, and
// getters that look up their callers, must never meet one.
TEST(script_geometry_exchange, no_script_reaches_a_view_over_native_memory)
{
    script_session session;
    seed_exact_geometry();
    EXPECT_EQ(session.output_of(
                  "const caught = [];\n"
                  "const catchThis = function () { if (ArrayBuffer.isView(this)) caught.push(this); };\n"
                  "const typed = Object.getPrototypeOf(Float32Array.prototype);\n"
                  "for (const p of [typed, Float32Array.prototype, Uint32Array.prototype, Object.prototype,"
                  " Array.prototype]) {\n"
                  "  for (const k of ['length', 'constructor', 'buffer', 'byteLength', Symbol.iterator]) {\n"
                  "    const d = Object.getOwnPropertyDescriptor(p, k);\n"
                  "    if (d && !d.configurable) continue;\n"
                  "    Object.defineProperty(p, k, {get() { catchThis.call(this);"
                  " return d && (d.get ? d.get.call(this) : d.value); }, configurable: true});\n"
                  "  }\n"
                  "}\n"
                  "const vertex = {};\n"
                  "Object.defineProperty(vertex, 'x', {get: function spy() {\n"
                  "  for (let f = spy.caller, depth = 0; f && depth < 10; f = f.caller, depth++)\n"
                  "    for (const a of f.arguments || []) if (ArrayBuffer.isView(a)) caught.push(a);\n"
                  "  return 1;\n"
                  "}});\n"
                  "setGeometry({vertices: [vertex, vertex], elements: [0, 1]});\n"
                  "setGeometry(getGeometry());\n"
                  "print(String(caught.length));"),
              "Scripting Engine: 0\n");
}

} // namespace
