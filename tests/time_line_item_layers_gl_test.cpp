// Layers effect: parse of the layer list and its broken layers, and frames
// drawn for real in the hidden test window: layer images combined by the
// final pass, layers keeping their pixels, failing layers, triggers, unload.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "effects/time_line_item.h"
#include "effects/time_line_item_layers.h"
#include "platform/error_box.h"
#include "support/console_capture.h"
#include "support/geometry_scene.h"
#include "support/gl_test.h"
#include "support/script_session.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using colour = std::array<std::uint8_t, 4>;

// Layer 0's red, layer 1's green and the own texture's blue, each layer
// image sampled at the pixel's own place.
const char* const combine_fs = R"(#version 420 core
uniform vec2 iRes;
layout(binding = 0) uniform sampler2D own;
layout(binding = 1) uniform sampler2D layer0;
layout(binding = 2) uniform sampler2D layer1;
out vec4 outColor;
void main()
{
    vec2 place = gl_FragCoord.xy / iRes;
    outColor = vec4(texture(layer0, place).r, texture(layer1, place).g, texture(own, place).b, 1.0);
}
)";

// Layer 0 alone, on unit 0 (the final pass has no texture of its own).
const char* const show_layer_fs = R"(#version 420 core
uniform vec2 iRes;
layout(binding = 0) uniform sampler2D layer0;
out vec4 outColor;
void main() { outColor = texture(layer0, gl_FragCoord.xy / iRes); }
)";

// Layer 1 alone, on unit 1.
const char* const show_second_layer_fs = R"(#version 420 core
uniform vec2 iRes;
layout(binding = 1) uniform sampler2D layer1;
out vec4 outColor;
void main() { outColor = texture(layer1, gl_FragCoord.xy / iRes); }
)";

const char* const grey_fs = R"(#version 420 core
out vec4 outColor;
void main() { outColor = vec4(0.5, 0.5, 0.5, 1.0); }
)";

// Quadrant pixels, from the top of the window.
constexpr int left_x = gl_window::width / 4;
constexpr int right_x = gl_window::width * 3 / 4;
constexpr int top_y = gl_window::height / 4;
constexpr int bottom_y = gl_window::height * 3 / 4;

std::vector<std::uint8_t> one_pixel_png(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    std::vector<std::uint8_t> file;
    const std::uint8_t pixel[3] = {r, g, b};
    auto append = [](void* context, void* bytes, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(context);
        out->insert(out->end(), static_cast<std::uint8_t*>(bytes), static_cast<std::uint8_t*>(bytes) + size);
    };
    stbi_write_png_to_func(append, &file, 1, 1, 3, pixel, 3);
    return file;
}

nlohmann::json rectangle_layer(double left, double top, double right, double bottom, const geometry_scene::rgb& rgb)
{
    geometry_scene scene;
    scene.rectangle(left, top, right, bottom, rgb);
    return scene.effect("data/geo.vs", "data/geo.fs");
}

nlohmann::json layers_entry(const char* final_fs, nlohmann::json layers)
{
    return {{"final_fs", final_fs}, {"layers", std::move(layers)}};
}

// ---- parse ----

struct parse_case {
    const char* name;
    const char* entry;       // the flow entry
    bool parsed;             // parse's result
    const char* printed;     // the console lines
    std::size_t layer_count; // layers appended
    bool triggers_read;      // the entry's own "triggers" were read
};

const parse_case parse_cases[] = {
    {"two_layers",
     R"({"final_fs": "f.fs", "layers": [{"vertices": [], "elements": []}, {"vertices": [], "elements": []}],
         "triggers": {"onLoad": "x"}})",
     true, "-- Preloading MultiLayer effect\n", 2, true},
    {"empty_layers", R"({"final_fs": "f.fs", "layers": [], "triggers": {"onLoad": "x"}})", true,
     "-- Preloading MultiLayer effect\n", 0, true},
    {"layers_an_object", R"({"final_fs": "f.fs", "layers": {}, "triggers": {"onLoad": "x"}})", false,
     "-- Preloading MultiLayer effect\n", 0, false},
    {"no_layers", R"({"final_fs": "f.fs", "triggers": {"onLoad": "x"}})", false, "-- Preloading MultiLayer effect\n",
     0, false},
    {"second_lacks_elements",
     R"({"final_fs": "f.fs", "layers": [{"vertices": [], "elements": []}, {"vertices": []},
         {"vertices": [], "elements": []}], "triggers": {"onLoad": "x"}})",
     false, "-- Preloading MultiLayer effect\n-- error: broken layer\n", 1, false},
    {"layer_not_an_object",
     R"({"final_fs": "f.fs", "layers": [{"vertices": [], "elements": []}, 5], "triggers": {"onLoad": "x"}})", false,
     "-- Preloading MultiLayer effect\n-- error: broken layer\n", 1, false},
    {"layer_an_array",
     R"({"final_fs": "f.fs", "layers": [[{"vertices": [], "elements": []}]], "triggers": {"onLoad": "x"}})", false,
     "-- Preloading MultiLayer effect\n-- error: broken layer\n", 0, false},
};

class layers_parse_test : public ::testing::TestWithParam<parse_case> {};

TEST_P(layers_parse_test, reads_the_layer_list)
{
    const parse_case& c = GetParam();
    time_line_item_layers effect;
    bool parsed = false;
    std::string printed;
    {
        console_capture console;
        parsed = effect.parse(nlohmann::json::parse(c.entry), 320, 200);
        printed = console.take();
    }
    EXPECT_EQ(parsed, c.parsed);
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(effect.state->layers.size(), c.layer_count);
    EXPECT_EQ(effect.triggers.on_load_script, c.triggers_read ? "x" : "");
    EXPECT_EQ(effect.state->final_pass.src, "f.fs");
    for (const time_line_item_geometry& layer : effect.state->layers) {
        EXPECT_EQ(layer.state->layer_width, 320);
        EXPECT_EQ(layer.state->layer_height, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(entries, layers_parse_test, ::testing::ValuesIn(parse_cases),
                         [](const ::testing::TestParamInfo<parse_case>& info) { return info.param.name; });

TEST(layers_parse, filtering_needs_a_boolean_and_final_fs_a_string)
{
    struct {
        const char* entry;
        bool filtering;
        const char* final_fs;
    } const cases[] = {
        {R"({"layers": [], "final_fs": "f.fs"})", true, "f.fs"},
        {R"({"layers": [], "filtering": false, "final_fs": 3})", false, ""},
        {R"({"layers": [], "filtering": "false", "final_vs": "v.vs"})", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        time_line_item_layers effect;
        console_capture console;
        EXPECT_TRUE(effect.parse(nlohmann::json::parse(c.entry), 0, 0));
        EXPECT_EQ(effect.state->filtering, c.filtering);
        EXPECT_EQ(effect.state->final_pass.src, c.final_fs);
    }
}

// ---- frames ----

class layers_effect_test : public gl_test {
protected:
    void set_up() override
    {
        clear_window({0, 0, 1});
        folder.write("data/base3.vs", geometry_scene::pass_through_vs);
        folder.write("data/geo.vs", geometry_scene::pass_through_vs);
        folder.write("data/geo.fs", geometry_scene::colour_fs);
        folder.write("data/combine.fs", combine_fs);
        folder.write("data/show.fs", show_layer_fs);
        folder.write("data/second.fs", show_second_layer_fs);
        folder.write("data/grey.fs", grey_fs);
    }

    void tear_down() override
    {
        if (loaded) {
            effect.unload();
        }
    }

    static void clear_window(const std::array<float, 3>& rgb)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(rgb[0], rgb[1], rgb[2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    // Parses the entry with the layer size and loads it; the console lines
    // of both go to printed. tear_down unloads.
    bool load(const nlohmann::json& entry, std::int32_t layer_width = gl_window::width,
              std::int32_t layer_height = gl_window::height)
    {
        console_capture console;
        const bool parsed = effect.parse(entry, layer_width, layer_height);
        loaded = true;
        const bool result = parsed && effect.load(owner, fs, session.context);
        printed = console.take();
        return result;
    }

    // One frame as the flow item draws it: start, then render. Returns
    // render's result; the frame's console lines go to printed.
    bool frame(float time = 1.0f)
    {
        console_capture console;
        effect.start(gl_window::width, gl_window::height, session.context);
        const bool rendered = effect.render(time, session.context);
        printed = console.take();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return rendered;
    }

    colour at(int x, int y) const
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return window.pixel_from_top(x, y);
    }

    temp_dir folder;
    demo_filesystem fs; // not opened: loose files from the folder
    script_session session;
    error_box_recorder boxes;
    time_line_item owner;
    time_line_item_layers effect;
    std::string printed;
    bool loaded = false;
};

// Layer 0 fills the left half red, layer 1 the top half green; the final
// pass has one texture of its own (blue), so the layers are on units 1 and 2.
TEST_F(layers_effect_test, final_pass_combines_the_layer_images_after_its_own_textures)
{
    folder.write("data/blue.png", one_pixel_png(0, 0, 255));
    texture_asset image;
    image.path = "data/blue.png";
    owner.textures = {&image};
    ASSERT_TRUE(load(layers_entry("data/combine.fs",
                                  {rectangle_layer(-1, 1, 0, -1, {1, 0, 0}), rectangle_layer(-1, 1, 1, 0, {0, 1, 0})})));
    EXPECT_EQ(printed, "-- Preloading MultiLayer effect\n- loading texture: data/blue.png\n");
    ASSERT_TRUE(frame());
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(colours_near(at(left_x, top_y), {255, 255, 255, 255}));
    EXPECT_TRUE(colours_near(at(right_x, top_y), {0, 255, 255, 255}));
    EXPECT_TRUE(colours_near(at(left_x, bottom_y), {255, 0, 255, 255}));
    EXPECT_TRUE(colours_near(at(right_x, bottom_y), {0, 0, 255, 255}));
    const time_line_item_single_shader& final_pass = effect.state->final_pass;
    EXPECT_EQ(final_pass.state->bound_layer_textures,
              (std::vector<GLuint>{effect.state->layers[0].get_layer_texture(),
                                   effect.state->layers[1].get_layer_texture()}));
    effect.unload();
    loaded = false;
    image.unload();
}

// Layers sized 0 by 0 (a window taking the monitor's size) take the viewport.
TEST_F(layers_effect_test, layers_of_no_configured_size_take_the_viewport)
{
    ASSERT_TRUE(load(layers_entry("data/show.fs", {rectangle_layer(-1, 1, 0, -1, {0, 1, 0})}), 0, 0));
    EXPECT_EQ(printed, "-- Preloading MultiLayer effect\n");
    ASSERT_TRUE(frame());
    EXPECT_TRUE(colours_near(at(left_x, top_y), {0, 255, 0, 255}));
    EXPECT_TRUE(colours_near(at(right_x, bottom_y), {0, 0, 0, 255}));
}

struct keep_case {
    const char* name;
    const char* before_render; // the layer's beforeRender
    bool left_kept;            // the first frame's left half is still in the layer
};

// The layer's mesh moves from the left half to the right half in frame 2.
const keep_case keep_cases[] = {
    {"kept", "", true},
    {"cleared", "clearScreen();", false},
};

class layers_keep_test : public layers_effect_test, public ::testing::WithParamInterface<keep_case> {};

TEST_P(layers_keep_test, layer_keeps_earlier_frames_until_a_script_clears_it)
{
    geometry_scene right;
    right.rectangle(0, 1, 1, -1, {0, 1, 0});
    nlohmann::json layer = rectangle_layer(-1, 1, 0, -1, {0, 1, 0});
    layer["triggers"] = {{"onStart", "var frames = (typeof frames === 'undefined') ? 1 : frames + 1;"
                                     "if (frames == 2) setGeometry(" + right.script_literal() + ");"},
                         {"beforeRender", GetParam().before_render}};
    ASSERT_TRUE(load(layers_entry("data/show.fs", {layer})));
    ASSERT_TRUE(frame());
    EXPECT_TRUE(colours_near(at(left_x, top_y), {0, 255, 0, 255}));
    EXPECT_TRUE(colours_near(at(right_x, top_y), {0, 0, 0, 255}));
    ASSERT_TRUE(frame());
    EXPECT_TRUE(colours_near(at(left_x, top_y), GetParam().left_kept ? colour{0, 255, 0, 255} : colour{0, 0, 0, 255}));
    EXPECT_TRUE(colours_near(at(right_x, top_y), {0, 255, 0, 255}));
}

INSTANTIATE_TEST_SUITE_P(scripts, layers_keep_test, ::testing::ValuesIn(keep_cases),
                         [](const ::testing::TestParamInfo<keep_case>& info) { return info.param.name; });

TEST_F(layers_effect_test, empty_layer_list_draws_the_final_pass_alone)
{
    ASSERT_TRUE(load(layers_entry("data/grey.fs", nlohmann::json::array())));
    ASSERT_TRUE(frame());
    EXPECT_TRUE(colours_near(at(left_x, top_y), {128, 128, 128, 255}));
    EXPECT_TRUE(effect.state->final_pass.state->bound_layer_textures.empty());
}

// Layer 0's shader does not compile: it draws nothing, touches nothing it
// lacks, and layer 1 and the final pass draw as ever.
TEST_F(layers_effect_test, layer_whose_shader_fails_leaves_the_others_drawing)
{
    folder.write("data/broken.fs", "#version 420 core\nnot glsl\n");
    nlohmann::json broken = rectangle_layer(-1, 1, 1, -1, {1, 0, 0});
    broken["fs_src"] = "data/broken.fs";
    broken["triggers"] = {{"onStart", "clearScreen();"}};
    ASSERT_TRUE(load(layers_entry("data/second.fs", {broken, rectangle_layer(-1, 1, 1, 0, {0, 1, 0})})));
    EXPECT_EQ(printed.find("-- Preloading MultiLayer effect\nERROR::SHADER_COMPILATION_ERROR in: data/broken.fs\n"),
              0u)
        << printed;
    EXPECT_EQ(effect.state->layers[0].get_layer_texture(), 0u);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(frame());
        EXPECT_EQ(printed, "");
        EXPECT_TRUE(colours_near(at(left_x, top_y), {0, 255, 0, 255}));
        EXPECT_TRUE(colours_near(at(right_x, bottom_y), {0, 0, 0, 255}));
    }
    EXPECT_TRUE(effect.unload());
    loaded = false;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

struct final_failure_case {
    const char* name;
    const char* final_fs; // the text of data/broken.fs
    const char* report;   // the report's first line
};

void PrintTo(const final_failure_case& c, std::ostream* os) { *os << c.name; }

const final_failure_case final_failure_cases[] = {
    {"compile", "#version 420 core\nnot glsl\n", "ERROR::SHADER_COMPILATION_ERROR in: data/broken.fs\n"},
    {"link", "#version 420 core\nout vec4 outColor;\nvoid shade() { outColor = vec4(1.0); }\n",
     "ERROR::PROGRAM_LINKING_ERROR of program: VERTEX, data/broken.fs\n"},
};

class layers_final_failure_test : public layers_effect_test,
                                  public ::testing::WithParamInterface<final_failure_case> {};

// Before, a final pass that did not link drew the quad with the layer's
// program, which was still current (white over the whole window).
TEST_P(layers_final_failure_test, final_shader_that_fails_leaves_the_window_black)
{
    folder.write("data/broken.fs", GetParam().final_fs);
    while (glGetError() != GL_NO_ERROR) {
        // errors left by earlier tests of this process
    }
    ASSERT_TRUE(load(layers_entry("data/broken.fs", {rectangle_layer(-1, 1, 1, -1, {1, 0, 0})})));
    EXPECT_NE(printed.find(GetParam().report), std::string::npos) << printed;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(frame());
        EXPECT_TRUE(colours_near(at(left_x, top_y), {0, 0, 0, 255}));
        EXPECT_TRUE(colours_near(at(right_x, bottom_y), {0, 0, 0, 255}));
    }
    EXPECT_TRUE(effect.unload());
    loaded = false;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(shaders, layers_final_failure_test, ::testing::ValuesIn(final_failure_cases),
                         [](const ::testing::TestParamInfo<final_failure_case>& info) { return info.param.name; });

// Each frame: the effect's beforeRender, every layer's start and render,
// the final pass, the effect's afterRender.
TEST_F(layers_effect_test, triggers_run_in_frame_order_and_layers_start_every_frame)
{
    nlohmann::json first = rectangle_layer(-1, 1, 1, -1, {1, 0, 0});
    first["triggers"] = {{"onLoad", "print('load 0');"},
                         {"onStart", "print('start 0');"},
                         {"beforeRender", "print('before 0');"},
                         {"afterRender", "print('after 0');"}};
    nlohmann::json second = rectangle_layer(-1, 1, 1, -1, {0, 1, 0});
    second["triggers"] = {{"onStart", "print('start 1');"}};
    nlohmann::json entry = layers_entry("data/combine.fs", {first, second});
    entry["triggers"] = {{"onLoad", "print('load');"},
                         {"onStart", "print('start');"},
                         {"beforeRender", "print('before');"},
                         {"afterRender", "print('after');"}};
    ASSERT_TRUE(load(entry));
    EXPECT_EQ(printed, "-- Preloading MultiLayer effect\nScripting Engine: load 0\nScripting Engine: load\n");
    const std::string frame_lines = "Scripting Engine: before\nScripting Engine: start 0\nScripting Engine: before 0\n"
                                    "Scripting Engine: after 0\nScripting Engine: start 1\nScripting Engine: after\n";
    ASSERT_TRUE(frame());
    EXPECT_EQ(printed, "Scripting Engine: start\n" + frame_lines);
    console_capture console;
    ASSERT_TRUE(effect.render(2.0f, session.context));
    const std::string second_frame = console.take();
    EXPECT_EQ(second_frame, frame_lines);
}

struct effect_failure_case {
    const char* name;
    const char* trigger;
    const char* box_text;
    bool loads;
    bool starts;
    bool renders;
    bool drawn; // the final pass drew this frame
};

const effect_failure_case effect_failure_cases[] = {
    {"on_load", "onLoad", "SCRIPT MULTILAYERED::ONLOAD failed to execute", false, true, true, true},
    {"on_start", "onStart", "SCRIPT MULTILAYERED::ONSTART failed to execute", true, false, true, true},
    {"before_render", "beforeRender", "SCRIPT MULTILAYERED::BEFORERENDER failed to execute", true, true, false, false},
    {"after_render", "afterRender", "SCRIPT MULTILAYERED::AFTERRENDER failed to execute", true, true, false, true},
};

class layers_failure_test : public layers_effect_test,
                            public ::testing::WithParamInterface<effect_failure_case> {};

TEST_P(layers_failure_test, effect_trigger_failure_shows_its_box)
{
    const effect_failure_case& c = GetParam();
    nlohmann::json entry = layers_entry("data/grey.fs", {rectangle_layer(-1, 1, 1, -1, {1, 0, 0})});
    entry["triggers"] = {{c.trigger, "throw new Error('no');"}};
    EXPECT_EQ(load(entry), c.loads);
    EXPECT_EQ(effect.start(gl_window::width, gl_window::height, session.context), c.starts);
    EXPECT_EQ(effect.state->width, gl_window::width); // stored before onStart runs
    EXPECT_EQ(effect.render(1.0f, session.context), c.renders);
    EXPECT_TRUE(colours_near(at(left_x, top_y), c.drawn ? colour{128, 128, 128, 255} : colour{0, 0, 255, 255}));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.box_text});
}

INSTANTIATE_TEST_SUITE_P(triggers, layers_failure_test, ::testing::ValuesIn(effect_failure_cases),
                         [](const ::testing::TestParamInfo<effect_failure_case>& info) { return info.param.name; });

TEST_F(layers_effect_test, failing_layer_trigger_shows_its_box_every_frame_and_the_effect_draws_on)
{
    nlohmann::json layer = rectangle_layer(-1, 1, 1, -1, {1, 0, 0});
    layer["triggers"] = {{"onStart", "throw new Error('no');"}};
    ASSERT_TRUE(load(layers_entry("data/grey.fs", {layer})));
    EXPECT_TRUE(frame());
    EXPECT_TRUE(frame());
    EXPECT_EQ(boxes.texts, std::vector<std::string>(2, "SCRIPT GEOMETRY::ONSTART failed to execute"));
    EXPECT_TRUE(colours_near(at(left_x, top_y), {128, 128, 128, 255}));
}

TEST_F(layers_effect_test, unload_deletes_every_layers_and_the_final_pass_objects)
{
    ASSERT_TRUE(load(layers_entry("data/combine.fs",
                                  {rectangle_layer(-1, 1, 0, -1, {1, 0, 0}), rectangle_layer(-1, 1, 1, 0, {0, 1, 0})})));
    ASSERT_TRUE(frame());
    std::vector<geometry_gl_state> layer_names;
    for (const time_line_item_geometry& layer : effect.state->layers) {
        layer_names.push_back(*layer.state);
    }
    const GLuint final_program = effect.state->final_pass.state->program;
    EXPECT_TRUE(effect.unload());
    loaded = false;
    glUseProgram(0); // a current program is deleted only once it is no longer current
    EXPECT_FALSE(glIsProgram(final_program));
    for (const geometry_gl_state& names : layer_names) {
        EXPECT_FALSE(glIsTexture(names.layer_texture));
        EXPECT_FALSE(glIsFramebuffer(names.layer_framebuffer));
        EXPECT_FALSE(glIsProgram(names.program));
        EXPECT_FALSE(glIsVertexArray(names.vertex_array));
    }
}

TEST_F(layers_effect_test, copy_draws_with_the_sources_layers)
{
    ASSERT_TRUE(load(layers_entry("data/show.fs", {rectangle_layer(-1, 1, 0, -1, {0, 1, 0})})));
    time_line_item_layers copy(effect);
    ASSERT_NE(copy.state.get(), effect.state.get());
    ASSERT_EQ(copy.state->layers.size(), 1u);
    EXPECT_FALSE(copy.state->layers[0].state->uploaded);
    EXPECT_EQ(copy.state->layers[0].get_layer_texture(), effect.state->layers[0].get_layer_texture());
    const GLuint source_buffer = effect.state->layers[0].state->vertex_buffer;
    ASSERT_TRUE(copy.start(gl_window::width, gl_window::height, session.context));
    ASSERT_TRUE(copy.render(1.0f, session.context));
    EXPECT_TRUE(glIsBuffer(source_buffer));
    EXPECT_TRUE(colours_near(at(left_x, top_y), {0, 255, 0, 255}));
    // The copy's own buffer pairs, made by its uploads.
    for (time_line_item_geometry& layer : copy.state->layers) {
        glDeleteBuffers(1, &layer.state->vertex_buffer);
        glDeleteBuffers(1, &layer.state->element_buffer);
    }
    glDeleteBuffers(1, &copy.state->final_pass.state->vertex_buffer);
    glDeleteBuffers(1, &copy.state->final_pass.state->element_buffer);
}

} // namespace
