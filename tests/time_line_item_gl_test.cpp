// Flow items with real effects in the hidden test window: the start that is
// retried only after a failure, the failed load retried without leaving GL
// objects behind, copies and assignments of loaded and started items,
// unload, the display name and the dispatch to the effect of each type.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "effects/time_line_item.h"
#include "engine/time_line.h"
#include "platform/error_box.h"
#include "scripting/script_context.h"
#include "support/console_capture.h"
#include "support/gl_object_census.h"
#include "support/gl_test.h"
#include "support/temp_dir.h"
#include "support/test_demo.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <string>

namespace {

using nlohmann::json;

const char* const broken_fs = "#version 420 core\nvoid main() { not glsl; }\n";

// Counts the starts in the script variable "starts"; the first one fails.
const char* const first_start_fails = R"({"start": 0, "end": 10, "effect": "single_shader", "src": "shaders/red.fs",
    "triggers": {"onStart": "starts = (typeof starts === 'undefined' ? 0 : starts) + 1; if (starts === 1) throw new Error('first start');"}})";

// Counts the starts in "starts"; every one succeeds.
const char* const counted_start = R"({"start": 0, "end": 10, "effect": "single_shader", "src": "shaders/red.fs",
    "triggers": {"onStart": "starts = (typeof starts === 'undefined' ? 0 : starts) + 1;"}})";

// A 1 x 1 PNG file.
std::string one_pixel_png()
{
    std::string file;
    const std::uint8_t pixel[3] = {10, 20, 30};
    auto append = [](void* context, void* bytes, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
    };
    stbi_write_png_to_func(append, &file, 1, 1, 3, pixel, 3);
    return file;
}

const std::array<std::uint8_t, 4> red = {255, 0, 0, 255};
const std::array<std::uint8_t, 4> green = {0, 255, 0, 255};
const std::array<std::uint8_t, 4> yellow = {255, 255, 0, 255};
const std::array<std::uint8_t, 4> blue = {0, 0, 255, 255};

// One entry with the keys of all three effects, each drawing its own colour
// over the whole window: single shader red, geometry green, layers yellow.
const char* const every_effect = R"({"effectName": "all", "src": "shaders/red.fs",
    "type": "triangles", "vs_src": "data/base3.vs", "fs_src": "shaders/green.fs",
    "vertices": [{"xyz": [-1, 1, 0], "rgb": [1, 1, 1], "uv": [0, 0]}, {"xyz": [1, 1, 0], "rgb": [1, 1, 1], "uv": [1, 0]},
                 {"xyz": [1, -1, 0], "rgb": [1, 1, 1], "uv": [1, 1]}, {"xyz": [-1, -1, 0], "rgb": [1, 1, 1], "uv": [0, 1]}],
    "elements": [0, 1, 2, 2, 3, 0],
    "final_fs": "shaders/yellow.fs", "layers": []})";

class time_line_item_test : public gl_test {
protected:
    void set_up() override
    {
        folder.write("data/base3.vs", full_screen_vertex_shader);
        folder.write("shaders/red.fs", solid_colour_shader(1, 0, 0));
        folder.write("shaders/green.fs", solid_colour_shader(0, 1, 0));
        folder.write("shaders/yellow.fs", solid_colour_shader(1, 1, 0));
        folder.write("shaders/broken.fs", broken_fs);
        console_capture quiet;
        fs.open();
        ASSERT_TRUE(context.init());
    }

    void tear_down() override
    {
        console_capture quiet;
        item.unload();
        context.cleanup();
    }

    // Gives the fixture's item its type and parses entry into it.
    bool parse(time_line_item_type type, const char* entry)
    {
        console_capture quiet;
        item.type = type;
        return item.parse(json::parse(entry), 0, 0);
    }

    bool load(time_line_item& target)
    {
        console_capture quiet;
        return target.load(fs, context);
    }

    bool start(time_line_item& target)
    {
        console_capture quiet;
        return target.start(gl_window::width, gl_window::height, context);
    }

    // Fills the window with blue, then renders target once.
    bool render(time_line_item& target)
    {
        glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        console_capture quiet;
        return target.render(0.5f, context);
    }

    std::array<std::uint8_t, 4> centre() const
    {
        return window.pixel_from_top(gl_window::width / 2, gl_window::height / 2);
    }

    // True when the script expression holds in the engine.
    bool script_holds(const std::string& expression)
    {
        console_capture quiet;
        return context.run(("if (!(" + expression + ")) throw new Error('check');").c_str());
    }

    temp_dir folder;
    demo_filesystem fs;
    script_context context;
    error_box_recorder boxes;
    time_line_item item; // unloaded at tear-down; copies share its GL objects
};

TEST_F(time_line_item_test, start_needs_a_loaded_item)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, counted_start));
    EXPECT_FALSE(start(item));
    EXPECT_FALSE(item.started);
    EXPECT_TRUE(script_holds("typeof starts === 'undefined'"));
}

TEST_F(time_line_item_test, failed_start_is_retried_until_one_succeeds)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, first_start_fails));
    ASSERT_TRUE(load(item));
    EXPECT_FALSE(start(item));
    EXPECT_FALSE(item.started);
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_TRUE(start(item));
    EXPECT_TRUE(item.started);
    EXPECT_TRUE(start(item));
    EXPECT_TRUE(script_holds("starts === 2"));
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(time_line_item_test, render_after_failed_start_still_runs_the_effects_render)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, R"({"src": "shaders/red.fs",
        "triggers": {"onStart": "throw new Error('never starts');", "afterRender": "rendered = true;"}})"));
    ASSERT_TRUE(load(item));
    EXPECT_FALSE(start(item));
    EXPECT_TRUE(render(item));
    // Its triggers ran; without a start of its own it cleared and drew nothing.
    EXPECT_TRUE(script_holds("rendered === true"));
    EXPECT_TRUE(colours_near(centre(), blue));
}

TEST_F(time_line_item_test, copy_of_started_item_is_started_and_draws_with_its_objects)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, counted_start));
    item.start_time = 1.5f;
    item.end = 4.0f;
    ASSERT_TRUE(load(item));
    ASSERT_TRUE(start(item));

    time_line_item copy(item);
    EXPECT_TRUE(copy.is_loaded());
    EXPECT_TRUE(copy.started);
    EXPECT_EQ(copy.start_time, 1.5f);
    EXPECT_EQ(copy.end, 4.0f);
    EXPECT_EQ(copy.type, time_line_item_type::single_shader);
    EXPECT_NE(copy.single_shader.state.get(), item.single_shader.state.get());
    EXPECT_EQ(copy.single_shader.state->program, item.single_shader.state->program);
    EXPECT_TRUE(start(copy));
    EXPECT_TRUE(script_holds("starts === 1"));
    EXPECT_TRUE(render(copy));
    EXPECT_TRUE(colours_near(centre(), red));
}

TEST_F(time_line_item_test, copy_made_before_the_start_starts_on_its_own)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, counted_start));
    ASSERT_TRUE(load(item));
    time_line_item copy(item);
    EXPECT_TRUE(copy.is_loaded());
    EXPECT_FALSE(copy.started);
    EXPECT_TRUE(start(copy));
    EXPECT_TRUE(script_holds("starts === 1"));
    EXPECT_FALSE(item.started);
}

TEST_F(time_line_item_test, assignment_carries_flags_and_fields)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, R"({"src": "shaders/red.fs", "effectName": "intro"})"));
    ASSERT_TRUE(load(item));
    ASSERT_TRUE(start(item));
    time_line_item target;
    target.type = time_line_item_type::layers;
    target.name = "old";
    target = item;
    EXPECT_TRUE(target.is_loaded());
    EXPECT_TRUE(target.started);
    EXPECT_EQ(target.type, time_line_item_type::single_shader);
    EXPECT_EQ(target.name, "intro");
    EXPECT_EQ(target.single_shader.src, "shaders/red.fs");
    EXPECT_EQ(target.single_shader.state->program, item.single_shader.state->program);
    EXPECT_TRUE(render(target));
    EXPECT_TRUE(colours_near(centre(), red));
}

TEST_F(time_line_item_test, moving_to_the_active_list_keeps_what_was_loaded)
{
    time_line timeline;
    ASSERT_TRUE(parse(time_line_item_type::single_shader, R"({"src": "shaders/red.fs", "effectName": "first"})"));
    ASSERT_TRUE(load(item));
    ASSERT_TRUE(start(item));
    timeline.pending.push_back(item);
    time_line_item second;
    second.name = "second";
    timeline.pending.push_back(second);

    timeline.active.push_back(timeline.pending.front());
    timeline.pending.erase(timeline.pending.begin());
    ASSERT_EQ(timeline.pending.size(), 1u);
    EXPECT_EQ(timeline.pending.front().name, "second");
    EXPECT_FALSE(timeline.pending.front().is_loaded());
    time_line_item& active = timeline.active.front();
    EXPECT_TRUE(active.is_loaded());
    EXPECT_TRUE(active.started);
    EXPECT_TRUE(render(active));
    EXPECT_TRUE(colours_near(centre(), red));
}

TEST_F(time_line_item_test, unload_clears_loaded_only)
{
    ASSERT_TRUE(parse(time_line_item_type::single_shader, counted_start));
    ASSERT_TRUE(load(item));
    ASSERT_TRUE(start(item));
    window.reset_state();
    EXPECT_TRUE(item.unload());
    EXPECT_FALSE(item.is_loaded());
    EXPECT_TRUE(item.started);
    EXPECT_FALSE(start(item));
}

TEST_F(time_line_item_test, failed_load_can_be_tried_again)
{
    folder.write("shaders/late.fs", broken_fs);
    ASSERT_TRUE(parse(time_line_item_type::single_shader, R"({"src": "shaders/late.fs"})"));
    EXPECT_FALSE(load(item));
    EXPECT_FALSE(item.is_loaded());
    EXPECT_FALSE(start(item));
    folder.write("shaders/late.fs", solid_colour_shader(1, 0, 0));
    EXPECT_TRUE(load(item));
    EXPECT_TRUE(item.is_loaded());
    EXPECT_TRUE(start(item));
    EXPECT_TRUE(render(item));
    EXPECT_TRUE(colours_near(centre(), red));
}

struct failing_load_case {
    const char* label;
    time_line_item_type type;
    const char* entry;
};

void PrintTo(const failing_load_case& c, std::ostream* out) { *out << c.label; }

// Shaders that do not compile or link, and onLoad triggers that fail after
// the program, the textures and any layer framebuffer exist.
const failing_load_case failing_load_cases[] = {
    {"single_shader_compile", time_line_item_type::single_shader, R"({"src": "shaders/broken.fs"})"},
    {"single_shader_link", time_line_item_type::single_shader, R"({"src": "shaders/no_main.fs"})"},
    {"single_shader_on_load", time_line_item_type::single_shader,
     R"({"src": "shaders/red.fs", "triggers": {"onLoad": "throw new Error('no');"}})"},
    {"geometry_compile", time_line_item_type::geometry,
     R"({"vs_src": "data/base3.vs", "fs_src": "shaders/broken.fs", "vertices": [], "elements": []})"},
    {"geometry_on_load", time_line_item_type::geometry,
     R"({"vs_src": "data/base3.vs", "fs_src": "shaders/green.fs", "vertices": [], "elements": [],
         "triggers": {"onLoad": "throw new Error('no');"}})"},
    {"layers_on_load", time_line_item_type::layers,
     R"({"final_fs": "shaders/yellow.fs", "triggers": {"onLoad": "throw new Error('no');"},
         "layers": [{"vs_src": "data/base3.vs", "fs_src": "shaders/green.fs", "vertices": [], "elements": []}]})"},
};

class time_line_item_failing_load : public time_line_item_test,
                                    public testing::WithParamInterface<failing_load_case> {};

// The run loop retries a failed load every frame; no attempt may leave GL
// objects behind (before, each one left its shaders, program, vertex array,
// buffers and, past the program, its textures and framebuffers).
TEST_P(time_line_item_failing_load, retried_every_frame_leaves_no_gl_object)
{
    const failing_load_case& c = GetParam();
    folder.write("shaders/no_main.fs", "#version 420 core\nout vec4 outColor;\nvoid shade() { outColor = vec4(1.0); }\n");
    folder.write("data/dot.png", one_pixel_png());
    texture_asset image;
    image.path = "data/dot.png";
    item.textures = {&image, &image};
    ASSERT_TRUE(parse(c.type, c.entry));
    ASSERT_FALSE(load(item)); // the texture asset's own load happens once, in the first attempt
    const gl_object_census before = gl_object_census::take();
    for (int frame = 0; frame < 20; ++frame) {
        ASSERT_FALSE(load(item));
    }
    EXPECT_EQ(gl_object_census::take(), before);
    EXPECT_FALSE(item.is_loaded());
    window.reset_state();
    image.unload();
}

INSTANTIATE_TEST_SUITE_P(causes, time_line_item_failing_load, testing::ValuesIn(failing_load_cases),
                         [](const testing::TestParamInfo<failing_load_case>& info) { return info.param.label; });

TEST_F(time_line_item_test, item_without_a_kind_does_nothing)
{
    EXPECT_FALSE(parse(time_line_item_type::none, R"({"src": "shaders/red.fs", "effectName": "n"})"));
    EXPECT_EQ(item.name, "n");
    EXPECT_FALSE(load(item));
    item.loaded = true; // even when told it is loaded, nothing starts or draws
    EXPECT_FALSE(start(item));
    EXPECT_FALSE(item.started);
    EXPECT_FALSE(render(item));
    EXPECT_TRUE(colours_near(centre(), blue));
    EXPECT_TRUE(item.unload());
    EXPECT_FALSE(item.is_loaded());
}

struct dispatch_case {
    const char* label;
    time_line_item_type type;
    std::array<std::uint8_t, 4> colour; // what the selected effect draws
};

void PrintTo(const dispatch_case& c, std::ostream* out) { *out << c.label; }

class time_line_item_dispatch : public time_line_item_test,
                                public testing::WithParamInterface<dispatch_case> {};

// GL programs that each effect made; only the selected one has any.
int programs_made(const time_line_item& item)
{
    return (item.single_shader.state->program != 0) + (item.geometry.state->program != 0) +
           (item.layers.state->final_pass.state->program != 0);
}

TEST_P(time_line_item_dispatch, only_the_selected_effect_runs)
{
    const dispatch_case& c = GetParam();
    ASSERT_TRUE(parse(c.type, every_effect));
    EXPECT_EQ(item.name, "all");
    ASSERT_TRUE(load(item));
    EXPECT_EQ(programs_made(item), 1);
    ASSERT_TRUE(start(item));
    EXPECT_TRUE(render(item));
    EXPECT_TRUE(colours_near(centre(), c.colour));
}

const dispatch_case dispatch_cases[] = {
    {"single_shader", time_line_item_type::single_shader, red},
    {"geometry", time_line_item_type::geometry, green},
    {"layers", time_line_item_type::layers, yellow},
};

INSTANTIATE_TEST_SUITE_P(types, time_line_item_dispatch, testing::ValuesIn(dispatch_cases),
                         [](const testing::TestParamInfo<dispatch_case>& info) { return info.param.label; });

TEST_F(time_line_item_test, geometry_parse_result_is_the_effects_and_names_it_anyway)
{
    EXPECT_FALSE(parse(time_line_item_type::geometry, R"({"effectName": "mesh", "type": "t", "vs_src": "v",
        "fs_src": "f", "vertices": []})"));
    EXPECT_EQ(item.name, "mesh");
}

TEST_F(time_line_item_test, geometry_item_draws_into_the_window_not_a_layer)
{
    ASSERT_TRUE(parse(time_line_item_type::geometry, every_effect));
    EXPECT_EQ(item.geometry.state->layer_width, 0);
    ASSERT_TRUE(load(item));
    EXPECT_EQ(item.geometry.state->layer_framebuffer, 0u);
}

struct name_case {
    const char* label;
    const char* entry;
    const char* name;
};

void PrintTo(const name_case& c, std::ostream* out) { *out << c.label; }

const name_case name_cases[] = {
    {"string", R"({"src": "a.fs", "effectName": "intro"})", "intro"},
    {"empty_string", R"({"src": "a.fs", "effectName": ""})", ""},
    {"absent", R"({"src": "a.fs"})", ""},
    {"number", R"({"src": "a.fs", "effectName": 7})", ""},
    {"null", R"({"src": "a.fs", "effectName": null})", ""},
};

class time_line_item_name : public testing::TestWithParam<name_case> {};

TEST_P(time_line_item_name, is_effect_name_when_a_string)
{
    time_line_item item;
    item.type = time_line_item_type::single_shader;
    console_capture quiet;
    EXPECT_TRUE(item.parse(json::parse(GetParam().entry), 0, 0));
    EXPECT_EQ(item.name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(entries, time_line_item_name, testing::ValuesIn(name_cases),
                         [](const testing::TestParamInfo<name_case>& info) { return info.param.label; });

} // namespace
