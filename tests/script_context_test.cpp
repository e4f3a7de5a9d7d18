// script_context: engine start with its console lines, script runs with the
// parse-error report, the shared global scope, and runs outside the ready state.
#include "scripting/script_context.h"
#include "scripting/script_shared_state.h"
#include "support/console_capture.h"
#include "support/script_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

TEST(script_context, init_registers_the_natives_in_order_then_runs_the_start_up_script)
{
    script_context context;
    EXPECT_FALSE(context.ready);
    console_capture console;
    EXPECT_TRUE(context.init());
    EXPECT_TRUE(context.ready);
    EXPECT_EQ(console.take(),
              "Scripting Engine: 'print' function added\n"
              "Scripting Engine: 'clearScreen' function added\n"
              "Scripting Engine: 'getTime' function added\n"
              "Scripting Engine: 'getGeometry' function added\n"
              "Scripting Engine: 'setGeometry' function added\n"
              "Scripting Engine: Initilized\n");
    context.cleanup();
    EXPECT_FALSE(context.ready);
}

struct run_case {
    const char* name;
    std::string script;
    bool result;
    std::string output;
};

void PrintTo(const run_case& c, std::ostream* os)
{
    *os << c.name;
}

class script_run : public testing::TestWithParam<run_case> {};

TEST_P(script_run, gives_result_and_console_lines)
{
    script_session session;
    EXPECT_EQ(session.run(GetParam().script.c_str()), GetParam().result);
    EXPECT_EQ(session.last_output, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    script_context, script_run,
    testing::Values(
        run_case{"last_character_counts", "print('tail')", true, "Scripting Engine: tail\n"},
        run_case{"empty_text", "", true, ""},
        run_case{"syntax_error", "print('a');\n1 +", false,
                 "SCRIPTING ENGINE ERROR:  - syntax error -  SyntaxError: Unexpected end of script\n"},
        run_case{"parse_error_runs_nothing", "print('never');\nlet = ;", false,
                 "SCRIPTING ENGINE ERROR:  - syntax error -  SyntaxError: Unexpected token ';'\n"},
        run_case{"nesting_too_deep_to_parse", std::string(100000, '['), false,
                 "SCRIPTING ENGINE ERROR:  - range error -  RangeError: Maximum call stack size exceeded.\n"},
        run_case{"thrown_error", "print('before'); throw new TypeError('late')", false,
                 "Scripting Engine: before\n"},
        run_case{"thrown_primitive", "throw 5", false, ""},
        run_case{"thrown_object_is_not_converted",
                 "throw {toString() { print('converted'); return 'x'; }, get name() { print('named'); }}", false, ""},
        run_case{"thrown_error_is_not_converted",
                 "Object.defineProperty(TypeError.prototype, 'name', {get() { print('named'); }}); null.x", false, ""},
        run_case{"syntax_error_raised_while_running", "eval('1 +')", false, ""},
        run_case{"syntax_error_from_json_while_running", "print('ran'); JSON.parse('{')", false,
                 "Scripting Engine: ran\n"},
        run_case{"syntax_error_from_function_constructor_while_running", "new Function('(')", false, ""},
        run_case{"syntax_error_thrown_by_the_script", "throw new SyntaxError('made by hand')", false, ""},
        run_case{"reference_error_while_running", "undefinedName()", false, ""},
        run_case{"modern_syntax",
                 "const twice = (x) => x * 2;\n"
                 "class Box { constructor(v) { this.v = v; } get doubled() { return twice(this.v); } }\n"
                 "let b = new Box(21);\n"
                 "print(`answer ${b.doubled}`);",
                 true, "Scripting Engine: answer 42\n"},
        run_case{"invalid_utf8_bytes_become_replacement_characters", "print('a\xff" "b\xe2\x82')", true,
                 "Scripting Engine: a\xef\xbf\xbd" "b\xef\xbf\xbd\xef\xbf\xbd\n"},
        run_case{"utf8_source_text", "print('gr\xc3\xbc\xc3\x9f \xf0\x9f\x8e\xb5')", true,
                 "Scripting Engine: gr\xc3\xbc\xc3\x9f \xf0\x9f\x8e\xb5\n"}),
    [](const testing::TestParamInfo<run_case>& info) { return std::string(info.param.name); });

// Whatever earlier scripts did to the error prototypes and the built-ins, a
// parse error is reported as on an untouched engine, and the report runs no
// script code: nothing is printed and the geometry stays as it was.
struct tampering_case {
    const char* name;
    const char* script; // run first, successfully and silently
};

void PrintTo(const tampering_case& c, std::ostream* os)
{
    *os << c.name;
}

class script_parse_error_report : public testing::TestWithParam<tampering_case> {};

TEST_P(script_parse_error_report, is_what_an_untouched_engine_prints_and_runs_no_script)
{
    script_session session;
    seed_exact_geometry();
    const std::vector<float> vertices = script_shared_state.vertices;
    const std::vector<std::uint32_t> elements = script_shared_state.elements;
    ASSERT_TRUE(session.run(GetParam().script));
    ASSERT_EQ(session.last_output, "");
    EXPECT_FALSE(session.run("1 +"));
    EXPECT_EQ(session.last_output, "SCRIPTING ENGINE ERROR:  - syntax error -  SyntaxError: Unexpected end of script\n");
    EXPECT_EQ(script_shared_state.vertices, vertices);
    EXPECT_EQ(script_shared_state.elements, elements);
    EXPECT_FALSE(script_shared_state.geometry_changed);
}

INSTANTIATE_TEST_SUITE_P(
    script_context, script_parse_error_report,
    testing::Values(
        tampering_case{"renamed_kind", "SyntaxError.prototype.name = 'TypeError';"},
        tampering_case{"name_getter_that_prints",
                       "Object.defineProperty(SyntaxError.prototype, 'name', {get() { print('name'); return 'X'; }});"},
        tampering_case{"name_of_an_object_that_prints",
                       "SyntaxError.prototype.name = {toString() { print('name text'); return 'X'; }};"},
        tampering_case{"to_string_that_replaces_the_geometry",
                       "Error.prototype.toString = function () {"
                       " setGeometry({vertices: [], elements: [7]}); return 'made up'; };"},
        tampering_case{"to_string_that_throws", "SyntaxError.prototype.toString = () => { throw 1; };"},
        tampering_case{"to_primitive_that_prints",
                       "SyntaxError.prototype[Symbol.toPrimitive] = () => { print('primitive'); return 'p'; };"},
        tampering_case{"message_getter_on_the_prototype",
                       "Object.defineProperty(SyntaxError.prototype, 'message', {get() { print('message'); }});"},
        tampering_case{"proxy_in_the_prototype_chain",
                       "Object.setPrototypeOf(Error.prototype, new Proxy({}, {"
                       " get(t, k) { print('get'); }, has(t, k) { print('has'); return true; } }));"},
        tampering_case{"getter_on_every_descriptor_value",
                       "Object.defineProperty(Object.prototype, 'value', {get() { print('value'); }});"},
        tampering_case{"replaced_built_ins",
                       "SyntaxError = function () {}; Reflect.getOwnPropertyDescriptor = () => ({value: 'fake'});"
                       " Reflect.getPrototypeOf = () => null; Object.prototype.hasOwnProperty = () => false;"}),
    [](const testing::TestParamInfo<tampering_case>& info) { return std::string(info.param.name); });

TEST(script_context, top_level_declarations_stay_visible_to_later_runs)
{
    script_session session;
    ASSERT_TRUE(session.run("var v = 1; let l = 2; const c = 3; function f() { return 4; } class K {}"));
    EXPECT_EQ(session.output_of("print(`${v}${l}${c}${f()}${typeof K}`)"), "Scripting Engine: 1234function\n");
    // A later run may change them, and sees them changed afterwards.
    ASSERT_TRUE(session.run("v = 10; l = 20;"));
    EXPECT_EQ(session.output_of("print(String(v + l))"), "Scripting Engine: 30\n");
}

TEST(script_context, changes_made_before_an_exception_are_kept)
{
    script_session session;
    EXPECT_FALSE(session.run("var kept = 'yes'; throw new Error('stop'); kept = 'no';"));
    EXPECT_EQ(session.output_of("print(kept)"), "Scripting Engine: yes\n");
}

// Texts are kept converted between runs; every run still parses, reports
// and runs its text anew.
TEST(script_context, the_same_text_run_again_is_run_and_reported_again)
{
    script_session session;
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(session.run("var count = (typeof count === 'number' ? count : 0) + 1; print(String(count));"));
        EXPECT_EQ(session.last_output, round == 0 ? "Scripting Engine: 1\n" : "Scripting Engine: 2\n");
        EXPECT_FALSE(session.run("1 +"));
        EXPECT_EQ(session.last_output, "SCRIPTING ENGINE ERROR:  - syntax error -  SyntaxError: Unexpected end of script\n");
        EXPECT_FALSE(session.run("throw 1"));
        EXPECT_EQ(session.last_output, "");
    }
}

TEST(script_context, engine_stays_ready_after_failures)
{
    script_session session;
    EXPECT_FALSE(session.run("1 +"));
    EXPECT_FALSE(session.run("throw 1"));
    EXPECT_TRUE(session.context.ready);
    EXPECT_EQ(session.output_of("print('still here')"), "Scripting Engine: still here\n");
}

TEST(script_context, run_outside_the_ready_state_fails_silently)
{
    script_context context;
    console_capture console;
    EXPECT_FALSE(context.run("print('before init')"));
    ASSERT_TRUE(context.init());
    console.take();
    context.cleanup();
    EXPECT_FALSE(context.run("print('after cleanup')"));
    EXPECT_FALSE(context.run("1 +"));
    EXPECT_EQ(console.take(), "");
}

TEST(script_context, a_new_start_after_cleanup_has_a_fresh_global_scope)
{
    script_context context;
    console_capture console;
    ASSERT_TRUE(context.init());
    ASSERT_TRUE(context.run("var left = 1;"));
    context.cleanup();
    ASSERT_TRUE(context.init());
    console.take();
    EXPECT_TRUE(context.run("print(typeof left)"));
    EXPECT_EQ(console.take(), "Scripting Engine: undefined\n");
    context.cleanup();
}
