// Single-shader effect, drawn for real in the hidden test window: the quad
// with "iTime" and "iRes", its textures and their orientation, compile and
// link failures and what they leave, the four triggers and where each stops
// the effect, the final-pass units of the layer images, unload, copies and
// the vertex dump.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "effects/time_line_item.h"
#include "effects/time_line_item_single_shader.h"
#include "platform/error_box.h"
#include "scripting/script_context.h"
#include "support/console_capture.h"
#include "support/gl_object_census.h"
#include "support/gl_test.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

const char* const base_vs = R"(#version 420 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec2 uv;
out vec2 v_uv;
void main() { v_uv = uv; gl_Position = vec4(position * colour, 1.0); }
)";

const char* const time_res_fs = R"(#version 420 core
uniform float iTime;
uniform vec2 iRes;
out vec4 outColor;
void main() { outColor = vec4(iTime, iRes.x / 255.0, iRes.y / 255.0, 1.0); }
)";

// Texture 0 before iTime 0.5, texture 1 from then on.
const char* const two_textures_fs = R"(#version 420 core
layout(binding = 0) uniform sampler2D first;
layout(binding = 1) uniform sampler2D second;
uniform float iTime;
in vec2 v_uv;
out vec4 outColor;
void main() { outColor = iTime < 0.5 ? texture(first, v_uv) : texture(second, v_uv); }
)";

const char* const broken_shader = "#version 420 core\nvoid main() { this is not glsl; }\n";
// Both compile; neither links with base_vs.
const char* const no_main_shader = "#version 420 core\nout vec4 outColor;\nvoid shade() { outColor = vec4(1.0); }\n";
const char* const unmatched_input_shader = R"(#version 420 core
in vec4 never_written;
out vec4 outColor;
void main() { outColor = never_written; }
)";
const char* const red_shader = "#version 420 core\nout vec4 outColor;\nvoid main() { outColor = vec4(1, 0, 0, 1); }\n";
const char* const separator = "\n -- --------------------------------------------------- -- \n";
const char* const throwing_script = "throw new Error('trigger failed');";

// An image held by the test, handed to the effect as a loaded asset.
struct test_image {
    test_image(int width, int height, int channels, std::vector<std::uint8_t> bytes) : pixels(std::move(bytes))
    {
        asset.data->width = width;
        asset.data->height = height;
        asset.data->channels = channels;
        asset.data->pixels = pixels.data();
        asset.loaded = true;
    }
    ~test_image() { asset.data->pixels = nullptr; } // the pixels are the vector's

    std::vector<std::uint8_t> pixels; // height rows of width * channels bytes, top first
    texture_asset asset;
};

// 4 x 2 RGB: red, red, green, green over blue, blue, white, white.
std::vector<std::uint8_t> quadrant_pixels()
{
    std::vector<std::uint8_t> bytes;
    const std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const std::uint8_t* colour = colours[row * 2 + column / 2];
            bytes.insert(bytes.end(), colour, colour + 3);
        }
    }
    return bytes;
}

class single_shader_test : public gl_test {
protected:
    void set_up() override
    {
        folder.write("data/base3.vs", base_vs);
        folder.write("shaders/time_res.fs", time_res_fs);
        folder.write("shaders/textures.fs", two_textures_fs);
        folder.write("shaders/broken.fs", broken_shader);
        folder.write("shaders/no_main.fs", no_main_shader);
        folder.write("shaders/unmatched.fs", unmatched_input_shader);
        folder.write("shaders/red.fs", red_shader);
        console_capture quiet;
        fs.open();
        ASSERT_TRUE(context.init());
    }

    void tear_down() override
    {
        effect.unload();
        context.cleanup();
    }

    // Parses the entry into the effect and returns what parse wrote.
    std::string parse(const char* entry)
    {
        console_capture console;
        EXPECT_TRUE(effect.parse(json::parse(entry)));
        return console.take();
    }

    // Loads the effect with the fixture's item as owner; console in `output`.
    bool load()
    {
        console_capture console;
        const bool loaded = effect.load(owner, fs, context);
        output = console.take();
        return loaded;
    }

    bool start(std::int32_t width = gl_window::width, std::int32_t height = gl_window::height)
    {
        return effect.start(width, height, context);
    }

    // Fills the window with one colour, as an earlier frame would have left it.
    void fill_window(float r, float g, float b) const
    {
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    GLint current_program() const
    {
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        return program;
    }

    // Loads and starts `other` with the red shader: its program is current
    // afterwards, as the previous effect's is in a running demo.
    void start_red_effect(time_line_item_single_shader& other)
    {
        other.src = "shaders/red.fs";
        console_capture quiet;
        ASSERT_TRUE(other.load(owner, fs, context));
        ASSERT_TRUE(other.start(gl_window::width, gl_window::height, context));
    }

    temp_dir folder;
    demo_filesystem fs;
    script_context context;
    error_box_recorder boxes;
    time_line_item owner;
    time_line_item_single_shader effect;
    std::string output; // what the latest load() wrote
};

TEST_F(single_shader_test, draws_the_quad_with_itime_and_ires)
{
    EXPECT_EQ(parse(R"j({"src": "shaders/time_res.fs"})j"), "");
    effect.vertices = {1, 2, 3};
    effect.indices = {7};
    ASSERT_TRUE(load());
    EXPECT_EQ(output, "");
    EXPECT_EQ(effect.vertices, std::vector<float>(full_screen_quad.begin(), full_screen_quad.end()));
    EXPECT_EQ(effect.indices, (std::vector<std::uint32_t>{0, 1, 2, 2, 3, 0}));
    EXPECT_EQ(effect.state->owner, &owner);
    EXPECT_EQ(effect.state->texture_count, 0);

    ASSERT_TRUE(start(100, 200));
    EXPECT_EQ(current_program(), GLint(effect.state->program));
    fill_window(0, 0, 1);
    ASSERT_TRUE(effect.render(0.25f, context));
    for (const auto& corner : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 47}, std::pair{63, 47}}) {
        EXPECT_TRUE(colours_near(window.pixel_from_top(corner.first, corner.second), {64, 100, 200, 255}));
    }
    ASSERT_TRUE(effect.render(0.75f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(30, 20), {191, 100, 200, 255}));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(single_shader_test, render_clears_to_black_before_drawing)
{
    // The shader covers only the left half; the right half shows the clear.
    folder.write("shaders/left.fs", R"(#version 420 core
in vec2 v_uv;
out vec4 outColor;
void main() { if (v_uv.x > 0.5) discard; outColor = vec4(0.0, 1.0, 0.0, 1.0); }
)");
    parse(R"j({"src": "shaders/left.fs"})j");
    ASSERT_TRUE(load());
    ASSERT_TRUE(start());
    fill_window(1, 0, 0);
    ASSERT_TRUE(effect.render(0.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(5, 5), {0, 255, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(60, 5), {0, 0, 0, 255}));
}

TEST_F(single_shader_test, textures_sit_on_their_units_and_show_upright)
{
    test_image first(4, 2, 3, quadrant_pixels());
    test_image second(2, 2, 1, {10, 200, 90, 250}); // grey, rows of 2 bytes
    owner.textures = {&first.asset, &second.asset};
    parse(R"j({"src": "shaders/textures.fs", "filtering": false})j");
    ASSERT_TRUE(load());
    ASSERT_EQ(effect.state->texture_count, 2);
    ASSERT_TRUE(start());
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLuint(bound), unit < 2 ? effect.state->textures[unit] : 0u) << "unit " << unit;
    }

    ASSERT_TRUE(effect.render(0.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), {255, 0, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(63, 0), {0, 255, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 47), {0, 0, 255, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(63, 47), {255, 255, 255, 255}));

    ASSERT_TRUE(effect.render(1.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), {10, 10, 10, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(63, 0), {200, 200, 200, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 47), {90, 90, 90, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(63, 47), {250, 250, 250, 255}));
}

struct filtering_case {
    const char* name;
    const char* entry;
    bool set_before;  // set_filtering(false) before parse
    GLint filter;
};

void PrintTo(const filtering_case& c, std::ostream* os) { *os << c.name; }

class single_shader_filtering_test : public single_shader_test,
                                     public ::testing::WithParamInterface<filtering_case> {};

TEST_P(single_shader_filtering_test, entry_selects_the_filter_of_every_texture)
{
    const filtering_case& c = GetParam();
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset, &image.asset};
    if (c.set_before) {
        effect.set_filtering(false);
    }
    parse(c.entry);
    ASSERT_TRUE(load());
    ASSERT_EQ(effect.state->texture_count, 2);
    for (int i = 0; i < 2; ++i) {
        glBindTexture(GL_TEXTURE_2D, effect.state->textures[i]);
        for (GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) {
            GLint value = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
            EXPECT_EQ(value, c.filter);
        }
        for (GLenum parameter : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
            GLint value = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
            EXPECT_EQ(value, GL_REPEAT);
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

INSTANTIATE_TEST_SUITE_P(
    entries, single_shader_filtering_test,
    ::testing::Values(
        filtering_case{"absent", R"j({"src": "shaders/textures.fs"})j", false, GL_LINEAR},
        filtering_case{"not_a_boolean", R"j({"src": "shaders/textures.fs", "filtering": 0})j", false, GL_LINEAR},
        filtering_case{"true", R"j({"src": "shaders/textures.fs", "filtering": true})j", false, GL_LINEAR},
        filtering_case{"false", R"j({"src": "shaders/textures.fs", "filtering": false})j", false, GL_NEAREST},
        filtering_case{"absent_keeps_an_earlier_setting", R"j({"src": "shaders/textures.fs"})j", true,
                       GL_NEAREST},
        filtering_case{"true_overrides_an_earlier_setting", R"j({"src": "shaders/textures.fs", "filtering": true})j",
                       true, GL_LINEAR}),
    [](const ::testing::TestParamInfo<filtering_case>& info) { return std::string(info.param.name); });

TEST_F(single_shader_test, filtering_is_taken_when_the_load_begins)
{
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset};
    parse(R"j({"src": "shaders/textures.fs"})j");
    effect.set_filtering(false);
    ASSERT_TRUE(load());
    effect.set_filtering(true); // only the next load would see it
    glBindTexture(GL_TEXTURE_2D, effect.state->textures[0]);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
}

struct compile_failure_case {
    const char* name;
    const char* entry;
    const char* missing_vs; // base3.vs removed when set
    const char* console_head; // what precedes the driver's info log
};

void PrintTo(const compile_failure_case& c, std::ostream* os) { *os << c.name; }

class single_shader_compile_test : public single_shader_test,
                                   public ::testing::WithParamInterface<compile_failure_case> {};

// The load deletes everything it made: it is retried every frame, and
// later calls (a final pass is started and drawn all the same) touch nothing.
TEST_P(single_shader_compile_test, reports_the_shader_and_stops_the_load)
{
    const compile_failure_case& c = GetParam();
    if (c.missing_vs != nullptr) {
        std::remove("data/base3.vs");
    }
    texture_asset unloaded; // would be loaded by a load that reached the textures
    unloaded.path = "missing.png";
    owner.textures = {&unloaded};
    parse(c.entry);
    while (glGetError() != GL_NO_ERROR) {
        // errors left by earlier tests of this process
    }
    const gl_object_census before = gl_object_census::take();
    ASSERT_FALSE(load());

    ASSERT_EQ(output.rfind(c.console_head, 0), 0u) << output;
    ASSERT_GT(output.size(), std::string(c.console_head).size() + std::string(separator).size()) << output;
    EXPECT_EQ(output.substr(output.size() - std::string(separator).size()), separator);
    EXPECT_EQ(output.find("ERROR::", std::string(c.console_head).size()), std::string::npos) << "one report only";
    EXPECT_EQ(effect.state->texture_count, 0);
    EXPECT_FALSE(unloaded.loaded);
    EXPECT_EQ(gl_object_census::take(), before);
    EXPECT_EQ(effect.state->program, 0u);
    EXPECT_EQ(effect.state->vertex_shader, 0u);
    EXPECT_EQ(effect.state->fragment_shader, 0u);
    EXPECT_EQ(effect.state->vertex_array, 0u);
    EXPECT_EQ(effect.state->vertex_buffer, 0u);
    EXPECT_EQ(effect.state->element_buffer, 0u);
    EXPECT_FALSE(effect.state->uploaded);
    EXPECT_TRUE(boxes.texts.empty()) << "the onLoad trigger must not run";

    ASSERT_TRUE(start());
    ASSERT_TRUE(effect.render(0.0f, context));
    EXPECT_TRUE(effect.unload());
    EXPECT_EQ(gl_object_census::take(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(
    shaders, single_shader_compile_test,
    ::testing::Values(
        compile_failure_case{"fragment", R"j({"src": "shaders/broken.fs", "triggers": {"onLoad": "throw 1;"}})j",
                             nullptr, "[SCRIPTED EVENT] singleshader::onLoad = found! \n"
                                      "ERROR::SHADER_COMPILATION_ERROR in: shaders/broken.fs\n"},
        compile_failure_case{"missing_fragment_file", R"j({"src": "shaders/none.fs"})j", nullptr,
                             "ERROR(FILE_NOT_FOUND):shaders/none.fs\n"
                             "ERROR::SHADER_COMPILATION_ERROR in: shaders/none.fs\n"},
        compile_failure_case{"src_missing", R"j({"filtering": true})j", nullptr,
                             "ERROR(FILE_NOT_FOUND):\nERROR::SHADER_COMPILATION_ERROR in: \n"},
        compile_failure_case{"src_not_a_string", R"j({"src": 12})j", nullptr,
                             "ERROR(FILE_NOT_FOUND):\nERROR::SHADER_COMPILATION_ERROR in: \n"},
        compile_failure_case{"vertex", R"j({"src": "shaders/time_res.fs"})j", "yes",
                             "ERROR(FILE_NOT_FOUND):data/base3.vs\n"
                             "ERROR::SHADER_COMPILATION_ERROR of type: VERTEX\n"},
        compile_failure_case{"no_main", R"j({"src": "shaders/no_main.fs", "triggers": {"onLoad": "throw 1;"}})j",
                             nullptr, "[SCRIPTED EVENT] singleshader::onLoad = found! \n"
                                      "ERROR::PROGRAM_LINKING_ERROR of program: VERTEX, shaders/no_main.fs\n"},
        compile_failure_case{"unmatched_input", R"j({"src": "shaders/unmatched.fs"})j", nullptr,
                             "ERROR::PROGRAM_LINKING_ERROR of program: VERTEX, shaders/unmatched.fs\n"}),
    [](const ::testing::TestParamInfo<compile_failure_case>& info) { return std::string(info.param.name); });

// Before, the unlinked program could not be made current, and the quad was
// drawn with the previous effect's program (red).
TEST_F(single_shader_test, program_that_does_not_link_never_draws_the_previous_picture)
{
    time_line_item_single_shader previous;
    start_red_effect(previous);
    parse(R"j({"src": "shaders/unmatched.fs"})j");
    ASSERT_FALSE(load());
    // A final pass is started and drawn whatever its load gave.
    fill_window(0, 0, 1);
    ASSERT_TRUE(start());
    ASSERT_TRUE(effect.render(0.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {0, 0, 0, 255})) << "cleared, nothing drawn";
    window.reset_state();
    previous.unload();
}

// Which trigger throws, its box, and what its operation must have skipped.
struct trigger_failure_case {
    const char* name;
    const char* key;
    const char* box;
};

void PrintTo(const trigger_failure_case& c, std::ostream* os) { *os << c.name; }

class single_shader_trigger_failure_test : public single_shader_test,
                                           public ::testing::WithParamInterface<trigger_failure_case> {};

TEST_P(single_shader_trigger_failure_test, shows_the_box_and_stops_there)
{
    const trigger_failure_case& c = GetParam();
    const std::string key = c.key;
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset};
    // Every other trigger leaves a mark, so a skipped one shows.
    json triggers = {{"onLoad", "var marks = 'L';"}, {"onStart", "marks += 'S';"},
                     {"beforeRender", "marks += 'B';"}, {"afterRender", "marks += 'A';"}};
    triggers[key] = throwing_script;
    const json entry = {{"src", "shaders/time_res.fs"}, {"triggers", triggers}};
    if (key == "onLoad") {
        ASSERT_TRUE(context.run("var marks = '';"));
    }
    {
        console_capture quiet;
        effect.parse(entry);
    }

    const bool loaded = load();
    EXPECT_EQ(loaded, key != "onLoad");
    if (!loaded) {
        // The objects of this load stay (a final pass is drawn with them;
        // the flow item unloads its effect): program and textures exist.
        EXPECT_TRUE(glIsProgram(effect.state->program));
        EXPECT_EQ(effect.state->texture_count, 1);
        EXPECT_EQ(boxes.texts, std::vector<std::string>{c.box});
        return;
    }

    const GLuint buffer_after_load = effect.state->vertex_buffer;
    window.reset_state(); // load left its last texture bound
    const bool started = start(100, 200);
    EXPECT_EQ(started, key != "onStart");
    if (!started) {
        EXPECT_EQ(current_program(), 0) << "no program made current";
        EXPECT_EQ(effect.state->vertex_buffer, buffer_after_load) << "no upload";
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        EXPECT_EQ(active, GL_TEXTURE0);
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(bound, 0) << "no inputs bound";
        EXPECT_EQ(boxes.texts, std::vector<std::string>{c.box});
        EXPECT_TRUE(context.run("if (marks !== 'L') throw 1;"));
        return;
    }

    fill_window(0, 0, 1);
    EXPECT_FALSE(effect.render(0.25f, context));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.box});
    if (key == "beforeRender") {
        EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {0, 0, 255, 255})) << "nothing cleared or drawn";
        EXPECT_TRUE(context.run("if (marks !== 'LS') throw 1;")) << "no afterRender";
    } else {
        EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {64, 100, 200, 255})) << "the frame stands";
        EXPECT_TRUE(context.run("if (marks !== 'LSB') throw 1;"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    triggers, single_shader_trigger_failure_test,
    ::testing::Values(trigger_failure_case{"on_load", "onLoad", "SCRIPT SINGLE::ONLOAD failed to execute"},
                      trigger_failure_case{"on_start", "onStart", "SCRIPT SINGLE::ONSTART failed to execute"},
                      trigger_failure_case{"before_render", "beforeRender",
                                           "SCRIPT SINGLE::BEFORERENDER failed to execute"},
                      trigger_failure_case{"after_render", "afterRender",
                                           "SCRIPT SINGLE::AFTERRENDER failed to execute"}),
    [](const ::testing::TestParamInfo<trigger_failure_case>& info) { return std::string(info.param.name); });

TEST_F(single_shader_test, triggers_run_in_order_with_their_lines)
{
    const std::string parse_line = parse(R"j({"src": "shaders/time_res.fs", "triggers": {
        "onLoad": "var order = 'L';", "onStart": "order += 'S';", "beforeRender": "order += 'B';",
        "afterRender": "order += 'A';"}})j");
    EXPECT_EQ(parse_line, "(MULTILAYER)flow::beforeRender 1 \n");
    ASSERT_TRUE(load());
    EXPECT_EQ(output, "[SCRIPTED EVENT] singleshader::onLoad = found! \n"
                      "[SCRIPTED EVENT] singleshader::onStart = found! \n"
                      "[SCRIPTED EVENT] singleshader::beforeRender = found! \n"
                      "[SCRIPTED EVENT] singleshader::afterRender = found! \n");
    EXPECT_TRUE(context.run("if (order !== 'L') throw 1;"));
    ASSERT_TRUE(start());
    ASSERT_TRUE(effect.render(0.0f, context));
    ASSERT_TRUE(start());
    EXPECT_TRUE(context.run("if (order !== 'LSBAS') throw 1;"));
    EXPECT_TRUE(boxes.texts.empty());
}

struct trigger_source_case {
    const char* name;
    const char* triggers;  // the "triggers" object
    const char* load_console;
    bool starts;           // the onStart script sets started to 'ab'
};

void PrintTo(const trigger_source_case& c, std::ostream* os) { *os << c.name; }

class single_shader_trigger_source_test : public single_shader_test,
                                          public ::testing::WithParamInterface<trigger_source_case> {};

TEST_P(single_shader_trigger_source_test, inline_text_file_or_both_run_as_one_script)
{
    const trigger_source_case& c = GetParam();
    // Only parses as one text with the inline part: "var started = 'a'\n+ 'b';".
    folder.write("scripts/tail.js", "+ 'b'; if (started !== 'ab') throw 1;\n");
    folder.write("scripts/whole.js", "var started = 'ab';\n");
    ASSERT_TRUE(context.run("var started = '';"));
    const std::string entry = std::string(R"j({"src": "shaders/time_res.fs", "triggers": )j") + c.triggers + "}";
    EXPECT_EQ(parse(entry.c_str()), "(MULTILAYER)flow::beforeRender 0 \n");
    ASSERT_TRUE(load());
    EXPECT_EQ(output, c.load_console);
    EXPECT_TRUE(start());
    EXPECT_EQ(context.run("if (started !== 'ab') throw 1;"), c.starts);
    EXPECT_TRUE(boxes.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    sources, single_shader_trigger_source_test,
    ::testing::Values(
        trigger_source_case{"inline", R"j({"onStart": "var started = 'ab';"})j",
                            "[SCRIPTED EVENT] singleshader::onStart = found! \n", true},
        trigger_source_case{"file", R"j({"onStartSrc": "scripts/whole.js"})j",
                            "[SCRIPTED EVENT] singleshader::onStart = found! \n", true},
        trigger_source_case{"both", R"j({"onStart": "var started = 'a'", "onStartSrc": "scripts/tail.js"})j",
                            "[SCRIPTED EVENT] singleshader::onStart = found! \n", true},
        trigger_source_case{"missing_file", R"j({"onStartSrc": "scripts/none.js"})j",
                            "ERROR(FILE_NOT_FOUND):scripts/none.js\n"
                            "[SCRIPTED EVENT] singleshader::onStart = found! \n",
                            false}),
    [](const ::testing::TestParamInfo<trigger_source_case>& info) { return std::string(info.param.name); });

TEST_F(single_shader_test, repeated_load_keeps_each_file_text_once)
{
    folder.write("scripts/count.js", "loads += 1;\n");
    parse(R"j({"src": "shaders/broken.fs", "triggers": {"onLoad": "var loads = 0;",
              "onLoadSrc": "scripts/count.js"}})j");
    ASSERT_FALSE(load());
    folder.write("shaders/broken.fs", time_res_fs); // fixed before the next attempt
    ASSERT_TRUE(load());
    EXPECT_EQ(effect.triggers.on_load_script, "var loads = 0;\nloads += 1;\n");
    EXPECT_TRUE(context.run("if (loads !== 1) throw 1;"));
}

TEST_F(single_shader_test, layer_images_follow_the_own_textures)
{
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset, &image.asset, &image.asset};
    effect.src = "shaders/textures.fs"; // a final pass is filled, not parsed
    ASSERT_TRUE(load());
    EXPECT_EQ(output, "");
    GLuint layers[2] = {};
    glGenTextures(2, layers);
    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_TRUE(start());
        effect.clear_layer_textures();
        EXPECT_TRUE(effect.bind_layer_texture(layers[0]));
        EXPECT_TRUE(effect.bind_layer_texture(layers[1]));
        EXPECT_EQ(effect.state->bound_layer_textures, (std::vector<GLuint>{layers[0], layers[1]}));
        for (int unit = 0; unit < 6; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            GLint bound = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            const GLuint expected = unit < 3 ? effect.state->textures[unit] : unit < 5 ? layers[unit - 3] : 0u;
            EXPECT_EQ(GLuint(bound), expected) << "frame " << frame << " unit " << unit;
        }
    }
    window.reset_state();
    glDeleteTextures(2, layers);
}

TEST_F(single_shader_test, unload_deletes_every_object_once)
{
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset, &image.asset};
    parse(R"j({"src": "shaders/time_res.fs"})j");
    ASSERT_TRUE(load());
    ASSERT_TRUE(start());
    ASSERT_TRUE(effect.render(0.0f, context));
    const single_shader_gl_state made = *effect.state;
    window.reset_state();
    EXPECT_TRUE(effect.unload());
    EXPECT_FALSE(glIsTexture(made.textures[0]));
    EXPECT_FALSE(glIsTexture(made.textures[1]));
    EXPECT_FALSE(glIsProgram(made.program));
    EXPECT_FALSE(glIsShader(made.fragment_shader));
    EXPECT_FALSE(glIsShader(made.vertex_shader));
    EXPECT_FALSE(glIsBuffer(made.vertex_buffer));
    EXPECT_FALSE(glIsBuffer(made.element_buffer));
    EXPECT_FALSE(glIsVertexArray(made.vertex_array));
    EXPECT_TRUE(effect.state->uploaded);
    // A driver may hand freed names out again: the effect keeps none of them.
    EXPECT_EQ(effect.state->texture_count, 0);
    EXPECT_EQ(effect.state->textures[0], 0u);
    EXPECT_EQ(effect.state->program, 0u);
    EXPECT_EQ(effect.state->vertex_shader, 0u);
    EXPECT_EQ(effect.state->fragment_shader, 0u);
    EXPECT_EQ(effect.state->vertex_buffer, 0u);
    EXPECT_EQ(effect.state->element_buffer, 0u);
    EXPECT_EQ(effect.state->vertex_array, 0u);

    // Objects made since stay untouched by a second unload.
    GLuint reused[2] = {};
    glGenTextures(2, reused);
    glBindTexture(GL_TEXTURE_2D, reused[0]);
    glBindTexture(GL_TEXTURE_2D, reused[1]);
    glBindTexture(GL_TEXTURE_2D, 0);
    GLuint buffers[2] = {};
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const GLuint program = glCreateProgram();
    EXPECT_TRUE(effect.unload());
    EXPECT_TRUE(glIsTexture(reused[0]) && glIsTexture(reused[1]));
    EXPECT_TRUE(glIsBuffer(buffers[0]) && glIsBuffer(buffers[1]));
    EXPECT_TRUE(glIsProgram(program));
    glDeleteProgram(program);
    glDeleteBuffers(2, buffers);
    glDeleteTextures(2, reused);
}

TEST_F(single_shader_test, unload_after_a_failed_load_touches_no_later_object)
{
    std::remove("data/base3.vs");
    parse(R"j({"src": "shaders/time_res.fs"})j");
    ASSERT_FALSE(load());
    // GL may hand the freed names out again.
    GLuint buffers[2] = {};
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    GLuint vertex_array = 0;
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glBindVertexArray(0);
    const GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    EXPECT_TRUE(effect.unload());
    EXPECT_TRUE(glIsBuffer(buffers[0]) && glIsBuffer(buffers[1]));
    EXPECT_TRUE(glIsVertexArray(vertex_array));
    EXPECT_TRUE(glIsShader(shader));
    glDeleteShader(shader);
    glDeleteVertexArrays(1, &vertex_array);
    glDeleteBuffers(2, buffers);
}

TEST_F(single_shader_test, unload_of_a_never_loaded_effect_is_harmless)
{
    const GLuint texture = [] {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glBindTexture(GL_TEXTURE_2D, 0);
        return name;
    }();
    EXPECT_TRUE(effect.unload());
    EXPECT_TRUE(glIsTexture(texture));
    glDeleteTextures(1, &texture);
}

TEST_F(single_shader_test, copy_after_load_draws_with_the_source_objects)
{
    test_image image(4, 2, 3, quadrant_pixels());
    owner.textures = {&image.asset};
    parse(R"j({"src": "shaders/textures.fs", "filtering": false})j");
    ASSERT_TRUE(load());
    ASSERT_TRUE(start());

    time_line_item_single_shader copy = effect;
    EXPECT_FALSE(copy.state->uploaded);
    EXPECT_EQ(copy.state->program, effect.state->program);
    EXPECT_EQ(copy.state->textures[0], effect.state->textures[0]);
    ASSERT_TRUE(copy.start(gl_window::width, gl_window::height, context));
    EXPECT_NE(copy.state->vertex_buffer, effect.state->vertex_buffer);
    EXPECT_TRUE(glIsBuffer(effect.state->vertex_buffer)) << "the shared pair stays";
    EXPECT_TRUE(glIsBuffer(effect.state->element_buffer));
    EXPECT_EQ(current_program(), GLint(effect.state->program));
    ASSERT_TRUE(copy.render(0.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), {255, 0, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(63, 47), {255, 255, 255, 255}));

    GLuint copy_pair[2] = {copy.state->vertex_buffer, copy.state->element_buffer};

    // Assignment keeps the target's own uploaded flag.
    time_line_item_single_shader assigned;
    assigned = copy;
    EXPECT_FALSE(assigned.state->uploaded);
    copy = effect;
    EXPECT_TRUE(copy.state->uploaded);
    glDeleteBuffers(2, copy_pair);
}

TEST_F(single_shader_test, render_uses_the_program_made_current_by_start)
{
    folder.write("shaders/red.fs", "#version 420 core\nout vec4 outColor;\nvoid main() { outColor = vec4(1, 0, 0, 1); }\n");
    time_line_item_single_shader other;
    other.src = "shaders/red.fs";
    {
        console_capture quiet;
        ASSERT_TRUE(other.load(owner, fs, context));
    }
    parse(R"j({"src": "shaders/time_res.fs"})j");
    ASSERT_TRUE(load());
    ASSERT_TRUE(start());
    glUseProgram(other.state->program);
    ASSERT_TRUE(effect.render(0.5f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {255, 0, 0, 255}));
    window.reset_state();
    other.unload();
}

// Before, render cleared the window and drew the quad with whatever program
// was current: the previous effect's (red).
TEST_F(single_shader_test, render_after_a_failed_start_draws_nothing_and_runs_its_triggers)
{
    time_line_item_single_shader previous;
    start_red_effect(previous);
    parse(R"j({"src": "shaders/time_res.fs", "triggers": {"onStart": "throw new Error('no start');",
              "beforeRender": "var marks = 'B';", "afterRender": "marks += 'A';"}})j");
    ASSERT_TRUE(load());
    EXPECT_FALSE(start());
    fill_window(0, 0, 1);
    EXPECT_TRUE(effect.render(0.0f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {0, 0, 255, 255})) << "nothing cleared or drawn";
    EXPECT_TRUE(context.run("if (marks !== 'BA') throw 1;"));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"SCRIPT SINGLE::ONSTART failed to execute"});

    // The next start that succeeds draws again.
    effect.triggers.on_start_script.clear();
    ASSERT_TRUE(start());
    ASSERT_TRUE(effect.render(0.25f, context));
    EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {64, 64, 48, 255}));
    window.reset_state();
    previous.unload();
}

TEST_F(single_shader_test, dump_vertices_prints_the_quad)
{
    effect.src = "shaders/time_res.fs";
    ASSERT_TRUE(load());
    console_capture console;
    effect.dump_vertices();
    std::string expected = "DEBUG VERTICES: ";
    for (const float value : full_screen_quad) {
        expected += value < 0 ? "-1.000000, " : value > 0 ? "1.000000, " : "0.000000, ";
    }
    EXPECT_EQ(console.take(), expected + "\n");
}

} // namespace
