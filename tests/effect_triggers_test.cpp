// Effect triggers: reading the "triggers" object with its console line,
// appending the script files once per effect and its copies, and running a
// trigger with its error box.
#include "data/demo_filesystem.h"
#include "effects/effect_triggers.h"
#include "platform/error_box.h"
#include "scripting/script_context.h"
#include "support/console_capture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nlohmann::json;

struct parse_case {
    const char* name;
    const char* entry;         // the effect object, as JSON
    const char* console;       // what parse with announce writes
    const char* on_load;       // expected fields
    const char* before_render;
    const char* before_render_src;
    const char* after_render;
};

void PrintTo(const parse_case& c, std::ostream* os) { *os << c.name; }

class effect_triggers_parse_test : public ::testing::TestWithParam<parse_case> {};

TEST_P(effect_triggers_parse_test, reads_the_string_keys_and_announces_before_render)
{
    const parse_case& c = GetParam();
    effect_triggers triggers;
    console_capture console;
    triggers.parse(json::parse(c.entry), true);
    EXPECT_EQ(console.take(), c.console);
    EXPECT_EQ(triggers.on_load_script, c.on_load);
    EXPECT_EQ(triggers.before_render_script, c.before_render);
    EXPECT_EQ(triggers.before_render_src, c.before_render_src);
    EXPECT_EQ(triggers.after_render_script, c.after_render);
}

INSTANTIATE_TEST_SUITE_P(
    entries, effect_triggers_parse_test,
    ::testing::Values(
        parse_case{"no_triggers", R"j({"src": "a.fs"})j", "", "", "", "", ""},
        parse_case{"triggers_as_array", R"j({"triggers": ["onLoad"]})j", "", "", "", "", ""},
        parse_case{"triggers_as_string", R"j({"triggers": "onLoad"})j", "", "", "", "", ""},
        parse_case{"empty_object", R"j({"triggers": {}})j", "(MULTILAYER)flow::beforeRender 0 \n", "", "", "", ""},
        parse_case{"before_render_number", R"j({"triggers": {"beforeRender": 5, "onLoad": "x()"}})j",
                   "(MULTILAYER)flow::beforeRender 0 \n", "x()", "", "", ""},
        parse_case{"before_render_empty_counts", R"j({"triggers": {"beforeRender": ""}})j",
                   "(MULTILAYER)flow::beforeRender 1 \n", "", "", "", ""},
        parse_case{"only_the_source_is_not_announced", R"j({"triggers": {"beforeRenderSrc": "b.js"}})j",
                   "(MULTILAYER)flow::beforeRender 0 \n", "", "", "b.js", ""},
        parse_case{"every_key", R"j({"triggers": {"onLoad": "l", "beforeRender": "b", "beforeRenderSrc": "b.js",
                   "afterRender": "a", "afterRenderSrc": null, "other": "ignored"}})j",
                   "(MULTILAYER)flow::beforeRender 1 \n", "l", "b", "b.js", "a"}));

TEST(effect_triggers, parse_without_announce_writes_nothing)
{
    effect_triggers triggers;
    console_capture console;
    triggers.parse(json::parse(R"j({"triggers": {"onStart": "s", "onStartSrc": "s.js", "afterRenderSrc": 1}})j"), false);
    EXPECT_EQ(console.take(), "");
    EXPECT_EQ(triggers.on_start_script, "s");
    EXPECT_EQ(triggers.on_start_src, "s.js");
    EXPECT_EQ(triggers.after_render_src, "");
}

// A loose-mode file system over a temporary folder.
class effect_triggers_files_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        console_capture quiet;
        fs.open();
    }

    effect_triggers parsed(const char* triggers_json)
    {
        effect_triggers triggers;
        console_capture quiet;
        triggers.parse(json{{"triggers", json::parse(triggers_json)}}, false);
        return triggers;
    }

    temp_dir folder;
    demo_filesystem fs;
};

TEST_F(effect_triggers_files_test, inline_text_file_text_and_both)
{
    folder.write("scripts/start.js", "started = true;\n");
    folder.write("scripts/load.js", "loaded += 1;\n");
    effect_triggers triggers = parsed(R"j({"onLoad": "var loaded = 1;", "onLoadSrc": "scripts/load.js",
                                          "onStartSrc": "scripts/start.js", "afterRender": "done()"})j");
    console_capture console;
    triggers.append_sources(fs, true);
    EXPECT_EQ(console.take(), "[SCRIPTED EVENT] singleshader::onLoad = found! \n"
                              "[SCRIPTED EVENT] singleshader::onStart = found! \n"
                              "[SCRIPTED EVENT] singleshader::afterRender = found! \n");
    EXPECT_EQ(triggers.on_load_script, "var loaded = 1;\nloaded += 1;\n");
    EXPECT_EQ(triggers.on_start_script, "\nstarted = true;\n");
    EXPECT_EQ(triggers.before_render_script, "");
    EXPECT_EQ(triggers.after_render_script, "done()");
}

TEST_F(effect_triggers_files_test, missing_file_still_adds_the_separator)
{
    effect_triggers triggers = parsed(R"j({"beforeRender": "tick()", "beforeRenderSrc": "scripts/none.js"})j");
    console_capture console;
    triggers.append_sources(fs, true);
    EXPECT_EQ(console.take(), "ERROR(FILE_NOT_FOUND):scripts/none.js\n"
                              "[SCRIPTED EVENT] singleshader::beforeRender = found! \n");
    EXPECT_EQ(triggers.before_render_script, "tick()\n");
}

TEST_F(effect_triggers_files_test, empty_inline_script_is_not_found)
{
    effect_triggers triggers = parsed(R"j({"beforeRender": ""})j");
    console_capture console;
    triggers.append_sources(fs, true);
    EXPECT_EQ(console.take(), "");
}

TEST_F(effect_triggers_files_test, files_are_appended_once_for_the_effect_and_its_copies)
{
    folder.write("on_load.js", "second();\n");
    effect_triggers triggers = parsed(R"j({"onLoad": "first();", "onLoadSrc": "on_load.js"})j");
    const effect_triggers before_load = triggers;
    console_capture console;
    triggers.append_sources(fs, true);
    triggers.append_sources(fs, true); // a repeated load still announces
    effect_triggers copy = triggers;
    copy.append_sources(fs, false);
    EXPECT_EQ(console.take(), "[SCRIPTED EVENT] singleshader::onLoad = found! \n"
                              "[SCRIPTED EVENT] singleshader::onLoad = found! \n");
    EXPECT_EQ(triggers.on_load_script, "first();\nsecond();\n");
    EXPECT_EQ(copy.on_load_script, "first();\nsecond();\n");

    // A copy taken before the first load appends for itself, once.
    effect_triggers early = before_load;
    early.append_sources(fs, false);
    early.append_sources(fs, false);
    EXPECT_EQ(early.on_load_script, "first();\nsecond();\n");
}

class effect_triggers_run_test : public effect_triggers_files_test {
protected:
    void SetUp() override
    {
        effect_triggers_files_test::SetUp();
        console_capture quiet;
        ASSERT_TRUE(context.init());
    }
    void TearDown() override { context.cleanup(); }

    script_context context;
    error_box_recorder boxes;
};

TEST_F(effect_triggers_run_test, empty_script_runs_nothing)
{
    effect_triggers triggers;
    context.cleanup(); // even a stopped engine is not asked
    console_capture console;
    EXPECT_TRUE(triggers.run(effect_trigger_kind::on_load, context, "SCRIPT SINGLE::ONLOAD failed to execute"));
    EXPECT_EQ(console.take(), "");
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(effect_triggers_run_test, each_kind_runs_its_own_script_whole)
{
    // The inline part and the file part only parse as one text.
    folder.write("after.js", "1);\n");
    effect_triggers triggers = parsed(R"j({"onLoad": "load_ran = 1;", "onStart": "start_ran = 1;",
                                          "beforeRender": "before_ran = 1;",
                                          "afterRender": "after_ran = (", "afterRenderSrc": "after.js"})j");
    {
        console_capture quiet;
        triggers.append_sources(fs, false);
    }
    const struct {
        effect_trigger_kind kind;
        const char* global;
    } kinds[] = {{effect_trigger_kind::on_load, "load_ran"},
                 {effect_trigger_kind::on_start, "start_ran"},
                 {effect_trigger_kind::before_render, "before_ran"},
                 {effect_trigger_kind::after_render, "after_ran"}};
    for (const auto& k : kinds) {
        const std::string check = std::string("if (typeof ") + k.global + " !== 'undefined') throw 1;";
        EXPECT_TRUE(context.run(check.c_str())) << k.global << " ran too early";
        EXPECT_TRUE(triggers.run(k.kind, context, "box"));
        const std::string ran = std::string("if (") + k.global + " !== 1) throw 1;";
        EXPECT_TRUE(context.run(ran.c_str())) << k.global;
    }
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(effect_triggers_run_test, failure_shows_the_box_and_gives_false)
{
    effect_triggers triggers = parsed(R"j({"onStart": "throw new Error('no');", "beforeRender": "(("})j");
    console_capture console;
    EXPECT_FALSE(triggers.run(effect_trigger_kind::on_start, context, "SCRIPT SINGLE::ONSTART failed to execute"));
    EXPECT_EQ(console.take(), ""); // a run-time error shows only the box
    EXPECT_FALSE(
        triggers.run(effect_trigger_kind::before_render, context, "SCRIPT SINGLE::BEFORERENDER failed to execute"));
    EXPECT_EQ(console.take().rfind("SCRIPTING ENGINE ERROR:  - syntax error - ", 0), 0u);
    context.cleanup();
    EXPECT_FALSE(triggers.run(effect_trigger_kind::on_start, context, "SCRIPT GEOMETRY::ONSTART failed to execute"));
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{"SCRIPT SINGLE::ONSTART failed to execute",
                                                      "SCRIPT SINGLE::BEFORERENDER failed to execute",
                                                      "SCRIPT GEOMETRY::ONSTART failed to execute"}));
}

} // namespace
