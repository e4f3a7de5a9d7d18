// Geometry effect: the mesh read from its description, drawn for real in the
// hidden test window or into a layer framebuffer and read back, the geometry
// exchange with its scripts, indices naming no vertex and their warning once
// per mesh, compile and link failures and what they leave, unload.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "effects/time_line_item.h"
#include "effects/time_line_item_geometry.h"
#include "platform/error_box.h"
#include "scripting/script_shared_state.h"
#include "support/console_capture.h"
#include "support/geometry_scene.h"
#include "support/gl_object_census.h"
#include "support/gl_test.h"
#include "support/script_session.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using colour = std::array<std::uint8_t, 4>;

const colour black = {0, 0, 0, 255};
const colour green = {0, 255, 0, 255};
const colour blue = {0, 0, 255, 255};

// Pixels in the middle of the window's left and right halves.
constexpr int left_x = gl_window::width / 4;
constexpr int right_x = gl_window::width * 3 / 4;
constexpr int middle_y = gl_window::height / 2;

geometry_scene left_half(const geometry_scene::rgb& rgb)
{
    geometry_scene scene;
    scene.rectangle(-1, 1, 0, -1, rgb);
    return scene;
}

geometry_scene right_half(const geometry_scene::rgb& rgb)
{
    geometry_scene scene;
    scene.rectangle(0, 1, 1, -1, rgb);
    return scene;
}

std::vector<std::uint8_t> encode_png(int width, int height, const std::vector<std::uint8_t>& rgb_pixels)
{
    std::vector<std::uint8_t> file;
    auto append = [](void* context, void* bytes, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(context);
        out->insert(out->end(), static_cast<std::uint8_t*>(bytes), static_cast<std::uint8_t*>(bytes) + size);
    };
    stbi_write_png_to_func(append, &file, width, height, 3, rgb_pixels.data(), width * 3);
    return file;
}

class geometry_effect_test : public gl_test {
protected:
    void set_up() override
    {
        clear_window();
        folder.write("data/geo.vs", geometry_scene::pass_through_vs);
        folder.write("data/geo.fs", geometry_scene::colour_fs);
        folder.write("data/tex.fs", geometry_scene::texture_fs);
    }

    void tear_down() override
    {
        if (loaded) {
            effect.unload();
        }
    }

    static void clear_window()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    // Parses description with the layer size and loads it; tear_down unloads.
    bool load(nlohmann::json description, bool is_layer = false, std::int32_t layer_width = 0,
              std::int32_t layer_height = 0)
    {
        EXPECT_TRUE(effect.parse(description, layer_width, layer_height));
        loaded = true;
        return effect.load(owner, fs, session.context, is_layer);
    }

    bool start() { return effect.start(gl_window::width, gl_window::height, session.context); }
    bool render(float time = 1.0f) { return effect.render(time, session.context); }

    temp_dir folder;
    demo_filesystem fs; // not opened: loose files from the folder
    script_session session;
    error_box_recorder boxes;
    time_line_item owner;
    time_line_item_geometry effect;
    bool loaded = false;
};

// ---- parse ----

TEST(geometry_parse, reads_the_eight_components_of_each_vertex_in_layout_order)
{
    const nlohmann::json description = nlohmann::json::parse(R"({
        "type": "mesh", "vs_src": "a.vs", "fs_src": "a.fs",
        "vertices": [
            {"xyz": [1, 2, 3, 4], "rgb": [0.1, 0.2, 0.3], "uv": [0.5, 0.25, 9]},
            {"uv": [7, 8], "rgb": [4, 5, 6], "xyz": [-1, -2, -3]}
        ],
        "elements": [0, 1, 1]
    })");
    time_line_item_geometry effect;
    EXPECT_TRUE(effect.parse(description, 320, 200));
    const std::vector<float> expected = {1, 2, 3, 0.1f, 0.2f, 0.3f, 0.5f, 0.25f, -1, -2, -3, 4, 5, 6, 7, 8};
    EXPECT_EQ(effect.vertices, expected);
    EXPECT_EQ(effect.elements, (std::vector<std::uint32_t>{0, 1, 1}));
    EXPECT_EQ(effect.type, "mesh");
    EXPECT_EQ(effect.vs_src, "a.vs");
    EXPECT_EQ(effect.fs_src, "a.fs");
    EXPECT_EQ(effect.state->layer_width, 320);
    EXPECT_EQ(effect.state->layer_height, 200);
    EXPECT_TRUE(effect.state->filtering);
}

TEST(geometry_parse, rounds_each_number_to_single_precision)
{
    const nlohmann::json description = {
        {"vertices", {{{"xyz", {0.1, 1e-3, 16777217.0}}, {"rgb", {1.0 / 3, 0, 0}}, {"uv", {0, 0}}}}},
        {"elements", nlohmann::json::array()}};
    time_line_item_geometry effect;
    ASSERT_TRUE(effect.parse(description, 0, 0));
    ASSERT_EQ(effect.vertices.size(), 8u);
    EXPECT_EQ(effect.vertices[0], 0.1f);
    EXPECT_EQ(effect.vertices[1], 1e-3f);
    EXPECT_EQ(effect.vertices[2], 16777216.0f); // ties to even
    EXPECT_EQ(effect.vertices[3], 1.0f / 3);
}

// A plain cast of a double beyond the float range is undefined; the reader
// gives the infinity of its sign. No sanitizer flags this cast, so the test
// pins the result.
TEST(geometry_parse, numbers_beyond_the_float_range_become_infinities)
{
    const nlohmann::json description = nlohmann::json::parse(R"({
        "vertices": [{"xyz": [1e300, -1e300, 0], "rgb": [3.4028234663852886e38, 3.5e38, -3.5e38], "uv": [0, 0]}],
        "elements": []})");
    time_line_item_geometry effect;
    ASSERT_TRUE(effect.parse(description, 0, 0));
    ASSERT_EQ(effect.vertices.size(), 8u);
    const float infinity = std::numeric_limits<float>::infinity();
    EXPECT_EQ(effect.vertices[0], infinity);
    EXPECT_EQ(effect.vertices[1], -infinity);
    EXPECT_EQ(effect.vertices[2], 0.0f);
    EXPECT_EQ(effect.vertices[3], std::numeric_limits<float>::max());
    EXPECT_EQ(effect.vertices[4], infinity);
    EXPECT_EQ(effect.vertices[5], -infinity);
}

struct element_case {
    const char* json;        // one element as written in the description
    std::uint32_t expected;  // the index it gives
};

const element_case element_cases[] = {
    {"2.9", 2},           {"-1", 4294967295u}, {"-2.9", 4294967294u}, {"4294967296", 0},
    {"4294967297", 1},    {"1e300", 0},        {"-1e300", 0},         {"9223372036854775807", 0},
    {"-9223372036854775808", 0}, {"\"7\"", 0}, {"true", 0},           {"null", 0},
    {"[3]", 0},           {"{}", 0},
};

class geometry_parse_element : public ::testing::TestWithParam<element_case> {};

TEST_P(geometry_parse_element, truncates_to_64_bits_and_keeps_the_low_32)
{
    const nlohmann::json description = nlohmann::json::parse(
        std::string(R"({"vertices": [], "elements": [)") + GetParam().json + "]}");
    time_line_item_geometry effect;
    ASSERT_TRUE(effect.parse(description, 0, 0));
    EXPECT_EQ(effect.elements, std::vector<std::uint32_t>{GetParam().expected});
}

INSTANTIATE_TEST_SUITE_P(elements, geometry_parse_element, ::testing::ValuesIn(element_cases));

// Entries of the wrong shape read as zeros, never outside the entry.
TEST(geometry_parse, malformed_vertex_entries_read_as_zero)
{
    const nlohmann::json description = nlohmann::json::parse(R"({
        "vertices": [
            5, "text", null, [1, 2, 3],
            {"rgb": [1, 1, 1], "uv": [1, 1]},
            {"xyz": "1 2 3", "rgb": {"r": 1}, "uv": 2},
            {"xyz": ["1", true, null], "rgb": [[1], {}, 1], "uv": [1, 1]}
        ],
        "elements": []
    })");
    time_line_item_geometry effect;
    ASSERT_TRUE(effect.parse(description, 0, 0));
    std::vector<float> expected(8 * 7, 0.0f);
    expected[4 * 8 + 3] = expected[4 * 8 + 4] = expected[4 * 8 + 5] = expected[4 * 8 + 6] = expected[4 * 8 + 7] = 1;
    expected[6 * 8 + 5] = expected[6 * 8 + 6] = expected[6 * 8 + 7] = 1;
    EXPECT_EQ(effect.vertices, expected);
}

TEST(geometry_parse, short_component_array_raises_and_keeps_earlier_whole_vertices)
{
    for (const char* short_entry : {R"({"xyz": [1, 2], "rgb": [1, 1, 1], "uv": [1, 1]})",
                                    R"({"xyz": [1, 2, 3], "rgb": [1, 1], "uv": [1, 1]})",
                                    R"({"xyz": [1, 2, 3], "rgb": [1, 1, 1], "uv": [1]})"}) {
        SCOPED_TRACE(short_entry);
        const nlohmann::json description = nlohmann::json::parse(
            std::string(R"({"vertices": [{"xyz": [9, 9, 9], "rgb": [9, 9, 9], "uv": [9, 9]}, )") + short_entry +
            R"(], "elements": [0]})");
        time_line_item_geometry effect;
        EXPECT_THROW(effect.parse(description, 0, 0), nlohmann::json::out_of_range);
        EXPECT_EQ(effect.vertices, std::vector<float>(8, 9.0f));
        EXPECT_TRUE(effect.elements.empty());
    }
}

TEST(geometry_parse, missing_arrays_fail_without_appending_but_read_the_rest)
{
    const char* const descriptions[] = {
        R"({"vertices": [{"xyz": [1, 2, 3], "rgb": [1, 1, 1], "uv": [1, 1]}], "fs_src": "b.fs",
            "filtering": false, "triggers": {"onLoad": "x"}})",
        R"({"vertices": {}, "elements": [1], "fs_src": "b.fs", "filtering": false, "triggers": {"onLoad": "x"}})",
        R"({"elements": [1, 2, 3], "fs_src": "b.fs", "filtering": false, "triggers": {"onLoad": "x"}})",
    };
    for (const char* text : descriptions) {
        SCOPED_TRACE(text);
        time_line_item_geometry effect;
        EXPECT_FALSE(effect.parse(nlohmann::json::parse(text), 0, 0));
        EXPECT_TRUE(effect.vertices.empty());
        EXPECT_TRUE(effect.elements.empty());
        EXPECT_EQ(effect.fs_src, "b.fs");
        EXPECT_FALSE(effect.state->filtering);
        EXPECT_EQ(effect.triggers.on_load_script, "x");
    }
}

TEST(geometry_parse, strings_of_another_type_are_empty_and_filtering_needs_a_boolean)
{
    const nlohmann::json description = nlohmann::json::parse(
        R"({"type": 3, "vs_src": null, "filtering": "false", "vertices": [], "elements": []})");
    time_line_item_geometry effect;
    effect.type = effect.vs_src = effect.fs_src = "before";
    EXPECT_TRUE(effect.parse(description, 0, 0));
    EXPECT_EQ(effect.type, "");
    EXPECT_EQ(effect.vs_src, "");
    EXPECT_EQ(effect.fs_src, "");
    EXPECT_TRUE(effect.state->filtering);
}

// ---- drawing ----

TEST_F(geometry_effect_test, coloured_triangles_draw_into_the_window_without_clearing_it)
{
    folder.write("data/red.fs", R"(#version 420 core
out vec4 outColor;
void main() { outColor = vec4(1.0, 0.0, 0.0, 1.0); }
)");
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    console_capture console;
    ASSERT_TRUE(load(left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs")));
    ASSERT_TRUE(start());
    ASSERT_TRUE(render());
    EXPECT_EQ(console.take(), "");
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), green));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, middle_y), blue)); // not cleared
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(geometry_effect_test, textured_quad_samples_the_items_texture)
{
    // 2 x 2 image, top row red green, bottom row blue white; nearest filtering.
    folder.write("data/four.png", encode_png(2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}));
    texture_asset image;
    image.path = "data/four.png";
    owner.textures = {&image};
    geometry_scene scene;
    scene.rectangle(-1, 1, 1, -1, {1, 1, 1});
    nlohmann::json description = scene.effect("data/geo.vs", "data/tex.fs");
    description["filtering"] = false;
    {
        console_capture console; // the texture's loading line
        ASSERT_TRUE(load(description));
    }
    ASSERT_EQ(effect.state->texture_count, 1);
    ASSERT_TRUE(start());
    ASSERT_TRUE(render());
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, gl_window::height / 4), {255, 0, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, gl_window::height / 4), {0, 255, 0, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, gl_window::height * 3 / 4), {0, 0, 255, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, gl_window::height * 3 / 4), {255, 255, 255, 255}));
    effect.unload();
    loaded = false;
    image.unload();
}

// iTime from render, iRes from start, and the time published for the scripts.
TEST_F(geometry_effect_test, render_sets_itime_and_publishes_the_time)
{
    folder.write("data/inputs.fs", R"(#version 420 core
uniform float iTime;
uniform vec2 iRes;
out vec4 outColor;
void main() { outColor = vec4(iTime / 4.0, iRes.x / 256.0, iRes.y / 256.0, 1.0); }
)");
    geometry_scene scene;
    scene.rectangle(-1, 1, 1, -1, {0, 0, 0});
    nlohmann::json description = scene.effect("data/geo.vs", "data/inputs.fs");
    description["triggers"] = {{"afterRender", "print(getTime());"}};
    ASSERT_TRUE(load(description));
    ASSERT_TRUE(start());
    console_capture console;
    ASSERT_TRUE(render(2.0f));
    EXPECT_EQ(console.take(), "Scripting Engine: \n"); // print of a number prints no text
    EXPECT_EQ(script_shared_state.time, 2.0);
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), {128, 64, 48, 255}));
}

TEST_F(geometry_effect_test, empty_mesh_loads_starts_and_draws_nothing)
{
    ASSERT_TRUE(load(geometry_scene().effect("data/geo.vs", "data/geo.fs")));
    EXPECT_TRUE(start());
    EXPECT_TRUE(render());
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), black));
}

// The triangle naming vertex 4 of 4 is left out of the buffer; the mesh keeps it.
TEST_F(geometry_effect_test, triangles_naming_no_vertex_are_left_out_of_the_draw)
{
    geometry_scene scene = left_half({0, 1, 0});
    scene.triangle(0, 1, 4);
    scene.triangle(4000000000u, 0, 1);
    scene.elements.push_back(0); // a trailing partial triangle is never drawn
    console_capture console;
    ASSERT_TRUE(load(scene.effect("data/geo.vs", "data/geo.fs")));
    ASSERT_TRUE(start());
    ASSERT_TRUE(render());
    // Written at load's upload; start's upload of the same mesh is silent.
    EXPECT_EQ(console.take(),
              "WARNING::GEOMETRY:: left out 2 triangles with an index at or beyond the vertex count 4\n");
    EXPECT_EQ(effect.elements.size(), 13u);
    EXPECT_EQ(effect.state->drawn_element_count, 6);
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), green));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, middle_y), black));
}

// Every triangle names a vertex: the elements go up as they are, and the
// trailing partial triangle stays out of the draw.
TEST_F(geometry_effect_test, trailing_partial_triangle_is_not_drawn_and_not_reported)
{
    geometry_scene scene = left_half({0, 1, 0});
    scene.elements.push_back(3);
    scene.elements.push_back(9); // names no vertex, but no triangle is whole
    while (glGetError() != GL_NO_ERROR) {
        // errors left by earlier tests of this process
    }
    console_capture console;
    ASSERT_TRUE(load(scene.effect("data/geo.vs", "data/geo.fs")));
    ASSERT_TRUE(start());
    ASSERT_TRUE(render());
    EXPECT_EQ(console.take(), "");
    EXPECT_EQ(effect.state->drawn_element_count, 6);
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), green));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, middle_y), black));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The upload looks at the elements in blocks of 3072 and copies only from
// the first block holding a triangle to leave out; the triangles left out
// may sit anywhere around those blocks.
struct left_out_place_case {
    const char* name;
    std::vector<std::size_t> left_out; // triangles (by number) that name vertex 4 of 4
};

void PrintTo(const left_out_place_case& c, std::ostream* os) { *os << c.name; }

const left_out_place_case left_out_place_cases[] = {
    {"none", {}},
    {"first_triangle", {0}},
    {"last_of_first_block", {1023}},
    {"first_of_second_block", {1024}},
    {"in_the_tail_after_the_blocks", {2049}},
    {"last_triangle", {2100}},
    {"spread", {5, 1024, 2047, 2100}},
};

class geometry_left_out_place_test : public geometry_effect_test,
                                     public ::testing::WithParamInterface<left_out_place_case> {};

TEST_P(geometry_left_out_place_test, element_buffer_holds_the_other_triangles_in_order)
{
    const left_out_place_case& c = GetParam();
    geometry_scene scene = left_half({0, 1, 0});
    scene.elements = nlohmann::json::array();
    std::vector<std::uint32_t> kept;
    for (std::size_t triangle = 0; triangle <= 2100; ++triangle) {
        const bool leave_out = std::find(c.left_out.begin(), c.left_out.end(), triangle) != c.left_out.end();
        // Every triangle differs, so that a misplaced one shows.
        const std::uint32_t a = static_cast<std::uint32_t>(triangle % 4);
        const std::uint32_t b = leave_out ? 4u : (a + 1) % 4;
        scene.triangle(a, b, (a + 2) % 4);
        if (!leave_out) {
            kept.insert(kept.end(), {a, b, (a + 2) % 4});
        }
    }
    scene.elements.push_back(7); // a trailing partial triangle
    console_capture console;
    ASSERT_TRUE(load(scene.effect("data/geo.vs", "data/geo.fs")));
    const std::string expected_line =
        c.left_out.empty() ? ""
                           : "WARNING::GEOMETRY:: left out " + std::to_string(c.left_out.size()) +
                                 (c.left_out.size() == 1 ? " triangle" : " triangles") +
                                 " with an index at or beyond the vertex count 4\n";
    EXPECT_EQ(console.take(), expected_line);
    ASSERT_EQ(effect.state->drawn_element_count, static_cast<GLsizei>(kept.size()));
    std::vector<std::uint32_t> uploaded(kept.size());
    glBindVertexArray(effect.state->vertex_array);
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(kept.size() * sizeof(std::uint32_t)),
                       uploaded.data());
    glBindVertexArray(0);
    EXPECT_EQ(uploaded, kept);
}

INSTANTIATE_TEST_SUITE_P(places, geometry_left_out_place_test, ::testing::ValuesIn(left_out_place_cases),
                         [](const ::testing::TestParamInfo<left_out_place_case>& info) {
                             return info.param.name;
                         });

// The mesh of each frame, as a layer sees it: started, then rendered, with
// its beforeRender script choosing what "setGeometry" gets.
struct left_out_warning_case {
    const char* name;
    const char* description_mesh; // "valid" or "one_out": the mesh of the description
    const char* frame_meshes;      // set in frames 0 to 2: '1' or '2' triangles left out, 'v' valid, '-' none
    const char* warnings;          // the lines of load and the three frames: '1' or '2' triangles left out
};

void PrintTo(const left_out_warning_case& c, std::ostream* os) { *os << c.name; }

const char* const one_out_line =
    "WARNING::GEOMETRY:: left out 1 triangle with an index at or beyond the vertex count 4\n";
const char* const two_out_line =
    "WARNING::GEOMETRY:: left out 2 triangles with an index at or beyond the vertex count 4\n";

const left_out_warning_case left_out_warning_cases[] = {
    {"description_mesh_every_frame", "one_out", "---", "1"},
    {"same_mesh_set_every_frame", "valid", "111", "1"},
    {"new_mesh_every_frame", "valid", "121", "121"},
    {"valid_mesh_between", "one_out", "1v1", "11"}, // frame 0 sets the description's mesh again
};

class geometry_left_out_warning_test : public geometry_effect_test,
                                       public ::testing::WithParamInterface<left_out_warning_case> {
protected:
    // The left half with n extra triangles naming vertex 4 of 4.
    static geometry_scene mesh_leaving_out(int n)
    {
        geometry_scene scene = left_half({0, 1, 0});
        for (int i = 0; i < n; ++i) {
            scene.triangle(0, 1, 4);
        }
        return scene;
    }

    static std::string expected_lines(const std::string& warnings)
    {
        std::string lines;
        for (const char warning : warnings) {
            lines += warning == '1' ? one_out_line : two_out_line;
        }
        return lines;
    }
};

TEST_P(geometry_left_out_warning_test, is_written_once_for_each_new_mesh)
{
    const left_out_warning_case& c = GetParam();
    const std::string meshes = "[null, " + mesh_leaving_out(1).script_literal() + ", " +
                               mesh_leaving_out(2).script_literal() + ", " + mesh_leaving_out(0).script_literal() +
                               "]";
    nlohmann::json description =
        mesh_leaving_out(std::string(c.description_mesh) == "one_out" ? 1 : 0).effect("data/geo.vs", "data/geo.fs");
    description["triggers"] = {
        {"beforeRender", "var frame = (typeof frame === 'undefined') ? 0 : frame + 1;"
                         "var pick = '" + std::string(c.frame_meshes) + "'.charAt(frame);"
                         "if (pick !== '-') setGeometry(" + meshes + "[pick === 'v' ? 3 : Number(pick)]);"}};
    console_capture console;
    ASSERT_TRUE(load(description, true, gl_window::width, gl_window::height));
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(start());
        ASSERT_TRUE(render());
    }
    EXPECT_EQ(console.take(), expected_lines(c.warnings));
    EXPECT_TRUE(boxes.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(meshes, geometry_left_out_warning_test, ::testing::ValuesIn(left_out_warning_cases),
                         [](const ::testing::TestParamInfo<left_out_warning_case>& info) {
                             return info.param.name;
                         });

TEST_F(geometry_effect_test, indices_set_by_a_script_are_checked_against_its_vertices)
{
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs");
    // Three vertices of the right half, the element list still naming vertex 3.
    geometry_scene replaced = right_half({0, 0, 1});
    replaced.vertices.erase(3);
    description["triggers"] = {{"beforeRender", "setGeometry(" + replaced.script_literal() + ");"}};
    ASSERT_TRUE(load(description));
    ASSERT_TRUE(start());
    console_capture console;
    ASSERT_TRUE(render());
    EXPECT_EQ(console.take(), "WARNING::GEOMETRY:: left out 1 triangle with an index at or beyond the vertex count 3\n");
    EXPECT_EQ(effect.elements, (std::vector<std::uint32_t>{0, 1, 2, 2, 3, 0}));
    // The upper right triangle is drawn, the lower left one is not.
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width - 2, 2), blue));
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width / 2 + 2, gl_window::height - 2), black));
}

// ---- the geometry exchange ----

struct exchange_case {
    const char* name;
    const char* trigger;    // the trigger that replaces the left half by the right half
    bool drawn_first_frame; // the replacement is drawn in the first frame
    bool kept;              // the effect's mesh is the replacement after two frames
};

const exchange_case exchange_cases[] = {
    {"on_load", "onLoad", true, true},
    {"on_start", "onStart", true, true},
    {"before_render", "beforeRender", true, true},
    {"after_render", "afterRender", false, false},
};

class geometry_exchange_test : public geometry_effect_test, public ::testing::WithParamInterface<exchange_case> {};

TEST_P(geometry_exchange_test, replaced_mesh_is_drawn_from_its_triggers_frame)
{
    const exchange_case& c = GetParam();
    const geometry_scene replacement = right_half({0, 0, 1});
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs");
    description["triggers"] = {{c.trigger, "setGeometry(" + replacement.script_literal() + ");"}};
    ASSERT_TRUE(load(description));
    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        clear_window();
        ASSERT_TRUE(start());
        ASSERT_TRUE(render());
        const bool replaced = frame == 0 ? c.drawn_first_frame : c.kept;
        EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), replaced ? black : green));
        EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, middle_y), replaced ? blue : black));
    }
    EXPECT_EQ(effect.vertices.size(), 32u);
    EXPECT_EQ(effect.vertices[0], c.kept ? 0.0f : -1.0f); // x of the first vertex
    EXPECT_TRUE(boxes.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(triggers, geometry_exchange_test, ::testing::ValuesIn(exchange_cases),
                         [](const ::testing::TestParamInfo<exchange_case>& info) { return info.param.name; });

TEST_F(geometry_effect_test, start_publishes_the_mesh_and_after_render_leaves_the_flag_for_the_next_frame)
{
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs");
    description["triggers"] = {{"onLoad", "print(getGeometry().vertices.length);"},
                               {"afterRender", "setGeometry();"}};
    console_capture console;
    ASSERT_TRUE(load(description));
    EXPECT_EQ(console.take(), "Scripting Engine: \n"); // onLoad saw the empty shared mesh (print of a number)
    EXPECT_TRUE(script_shared_state.vertices.empty());
    ASSERT_TRUE(start());
    EXPECT_EQ(script_shared_state.vertices, effect.vertices);
    EXPECT_EQ(script_shared_state.elements, effect.elements);
    ASSERT_TRUE(render());
    EXPECT_TRUE(script_shared_state.geometry_changed); // set after the draw, not read
}

// 3.4028235e38 lies above the largest float but below the midpoint to 2^128,
// so rounding to nearest gives the largest float: the description's reader
// must store what a script's setGeometry stores for the same number.
TEST_F(geometry_effect_test, a_number_just_above_the_largest_float_reads_back_as_a_script_stores_it)
{
    nlohmann::json description = nlohmann::json::parse(R"({
        "vs_src": "data/geo.vs", "fs_src": "data/geo.fs", "elements": [],
        "vertices": [{"xyz": [3.4028235e38, -3.4028235e38, 0], "rgb": [0, 0, 0], "uv": [0, 0]}]})");
    description["triggers"] = {
        {"onStart", "var v = getGeometry().vertices[0]; print(v.x + ' ' + v.y);"
                    "setGeometry({vertices: [{x: 3.4028235e38, y: -3.4028235e38}], elements: []});"
                    "v = getGeometry().vertices[0]; print(v.x + ' ' + v.y);"}};
    ASSERT_TRUE(load(description));
    console_capture console;
    ASSERT_TRUE(start());
    EXPECT_EQ(console.take(), "Scripting Engine: 3.4028234663852886e+38 -3.4028234663852886e+38\n"
                              "Scripting Engine: 3.4028234663852886e+38 -3.4028234663852886e+38\n");
}

struct failure_case {
    const char* name;
    const char* trigger;
    const char* box_text;
    bool loads;           // load's result
    bool starts;          // start's result
    bool renders;         // render's result
    bool drawn;           // the mesh is drawn
    bool after_render;    // the afterRender trigger ran (a failing one prints nothing)
    bool shared_replaced; // the shared state still holds the failing script's mesh after the frame
};

// A failed start binds nothing, so its render draws nothing either.
const failure_case failure_cases[] = {
    {"on_load", "onLoad", "SCRIPT GEOMETRY::ONLOAD failed to execute", false, true, true, true, true, false},
    {"on_start", "onStart", "SCRIPT GEOMETRY::ONSTART failed to execute", true, false, true, false, true, true},
    {"before_render", "beforeRender", "SCRIPT GEOMETRY::BEFORERENDER failed to execute", true, true, false, false,
     false, true},
    {"after_render", "afterRender", "SCRIPT GEOMETRY::AFTERRENDER failed to execute", true, true, false, true, false,
     true},
};

class geometry_failure_test : public geometry_effect_test, public ::testing::WithParamInterface<failure_case> {};

// A trigger that sets a mesh and then throws: its box, its operation gives
// false, and the mesh stays in the shared state only.
TEST_P(geometry_failure_test, failing_trigger_shows_its_box_and_takes_nothing_back)
{
    const failure_case& c = GetParam();
    const std::string trigger = c.trigger;
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs");
    description["triggers"] = {{c.trigger, "setGeometry(" + right_half({0, 0, 1}).script_literal() +
                                               "); throw new Error('no');"}};
    if (trigger != "afterRender") {
        description["triggers"]["afterRender"] = "print('after');";
    }
    EXPECT_EQ(load(description), c.loads);
    EXPECT_EQ(start(), c.starts);
    std::string printed;
    {
        console_capture console;
        EXPECT_EQ(render(), c.renders);
        printed = console.take();
    }
    EXPECT_EQ(printed, c.after_render ? "Scripting Engine: after\n" : "");
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), c.drawn ? green : black));
    EXPECT_TRUE(colours_near(window.pixel_from_top(right_x, middle_y), black));
    EXPECT_EQ(effect.vertices[0], -1.0f); // still the left half
    ASSERT_FALSE(script_shared_state.vertices.empty());
    EXPECT_EQ(script_shared_state.vertices[0], c.shared_replaced ? 0.0f : -1.0f);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{c.box_text});
}

INSTANTIATE_TEST_SUITE_P(triggers, geometry_failure_test, ::testing::ValuesIn(failure_cases),
                         [](const ::testing::TestParamInfo<failure_case>& info) { return info.param.name; });

// ---- layers, failures, unload and copies ----

TEST_F(geometry_effect_test, layer_draws_into_its_own_texture_and_not_the_window)
{
    console_capture console;
    ASSERT_TRUE(load(left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs"), true, 16, 8));
    EXPECT_EQ(console.take(), "");
    ASSERT_NE(effect.get_layer_texture(), 0u);
    glBindTexture(GL_TEXTURE_2D, effect.get_layer_texture());
    GLint width = 0;
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 8);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);

    glViewport(0, 0, 16, 8); // the size of the layer, as a demo whose layers match its window
    ASSERT_TRUE(start());
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), effect.state->layer_framebuffer);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(render());
    EXPECT_TRUE(colours_near(window.pixel_from_top(4, gl_window::height - 8 + 4), green)); // layer row 4 of 8
    EXPECT_TRUE(colours_near(window.pixel_from_top(12, gl_window::height - 8 + 4), black));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), black));
}

struct layer_size_case {
    std::int32_t width;
    std::int32_t height;
    GLint texture_width;  // size the colour texture gets
    GLint texture_height;
    bool complete;        // no "not complete" line
};

const layer_size_case layer_size_cases[] = {
    {0, 0, gl_window::width, gl_window::height, true}, // takes the viewport
    {0, 8, 0, 8, false},
    {16, 0, 16, 0, false},
    {1, 1, 1, 1, true},
};

class geometry_layer_size_test : public geometry_effect_test,
                                 public ::testing::WithParamInterface<layer_size_case> {};

TEST_P(geometry_layer_size_test, zero_by_zero_takes_the_viewport)
{
    const layer_size_case& c = GetParam();
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs");
    description["filtering"] = false;
    std::string printed;
    {
        console_capture console;
        EXPECT_TRUE(load(description, true, c.width, c.height));
        printed = console.take();
    }
    EXPECT_EQ(printed, c.complete ? "" : "ERROR::FRAMEBUFFER:: Framebuffer is not complete!\n");
    glBindTexture(GL_TEXTURE_2D, effect.get_layer_texture());
    GLint width = -1;
    GLint height = -1;
    GLint filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, c.texture_width);
    EXPECT_EQ(height, c.texture_height);
    EXPECT_EQ(filter, GL_NEAREST);
    EXPECT_EQ(effect.state->layer_width, c.width); // the configured size stays
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}

INSTANTIATE_TEST_SUITE_P(sizes, geometry_layer_size_test, ::testing::ValuesIn(layer_size_cases),
                         [](const ::testing::TestParamInfo<layer_size_case>& info) {
                             return std::to_string(info.param.width) + "_by_" + std::to_string(info.param.height);
                         });

struct program_failure_case {
    const char* name;
    const char* fragment_shader; // the text of data/bad.fs
    const char* report_head;     // what precedes the driver's info log
};

void PrintTo(const program_failure_case& c, std::ostream* os) { *os << c.name; }

const program_failure_case program_failure_cases[] = {
    {"compile", "#version 420 core\nthis is not glsl\n", "ERROR::SHADER_COMPILATION_ERROR in: data/bad.fs\n"},
    {"no_main", "#version 420 core\nout vec4 outColor;\nvoid shade() { outColor = vec4(1.0); }\n",
     "ERROR::PROGRAM_LINKING_ERROR of program: data/geo.vs, data/bad.fs\n"},
    {"unmatched_input", "#version 420 core\nin vec4 never_written;\nout vec4 outColor;\n"
                        "void main() { outColor = never_written; }\n",
     "ERROR::PROGRAM_LINKING_ERROR of program: data/geo.vs, data/bad.fs\n"},
};

class geometry_program_failure_test : public geometry_effect_test,
                                      public ::testing::WithParamInterface<program_failure_case> {};

// The load deletes what it made and stops: it is retried every frame. The
// layers effect starts, renders and unloads such a layer all the same; with
// every name 0 those touch nothing and draw nothing, not even through the
// program that happens to be current (here one drawing red).
TEST_P(geometry_program_failure_test, stops_the_load_leaving_nothing_and_later_stages_draw_nothing)
{
    const program_failure_case& c = GetParam();
    folder.write("data/bad.fs", c.fragment_shader);
    nlohmann::json description = left_half({0, 1, 0}).effect("data/geo.vs", "data/bad.fs");
    description["triggers"] = {{"onLoad", "print('loaded');"}, {"onStart", "print('started');"}};
    while (glGetError() != GL_NO_ERROR) {
        // errors left by earlier tests of this process
    }
    const gl_object_census before = gl_object_census::take();
    console_capture console;
    EXPECT_FALSE(load(description, true, 16, 8));
    const std::string report = console.take();
    EXPECT_EQ(report.rfind(c.report_head, 0), 0u) << report;
    EXPECT_EQ(report.find("loaded"), std::string::npos) << "no onLoad trigger";
    EXPECT_EQ(gl_object_census::take(), before);
    EXPECT_EQ(effect.state->program, 0u);
    EXPECT_EQ(effect.state->vertex_shader, 0u);
    EXPECT_EQ(effect.state->fragment_shader, 0u);
    EXPECT_EQ(effect.state->vertex_array, 0u);
    EXPECT_EQ(effect.state->vertex_buffer, 0u);
    EXPECT_EQ(effect.state->element_buffer, 0u);
    EXPECT_EQ(effect.state->layer_framebuffer, 0u);
    EXPECT_EQ(effect.state->texture_count, 0);

    time_line_item_geometry red;
    folder.write("data/red.fs", "#version 420 core\nout vec4 outColor;\nvoid main() { outColor = vec4(1, 0, 0, 1); }\n");
    ASSERT_TRUE(red.parse(left_half({1, 0, 0}).effect("data/geo.vs", "data/red.fs"), 0, 0));
    ASSERT_TRUE(red.load(owner, fs, session.context, false));
    ASSERT_TRUE(red.start(gl_window::width, gl_window::height, session.context));
    EXPECT_TRUE(start());
    EXPECT_EQ(console.take(), "Scripting Engine: started\n");
    EXPECT_TRUE(render());
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), black));
    window.reset_state();
    red.unload();
    EXPECT_TRUE(effect.unload());
    loaded = false;
    EXPECT_EQ(gl_object_census::take(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(shaders, geometry_program_failure_test, ::testing::ValuesIn(program_failure_cases),
                         [](const ::testing::TestParamInfo<program_failure_case>& info) {
                             return info.param.name;
                         });

TEST_F(geometry_effect_test, unload_of_a_layer_deletes_every_object)
{
    folder.write("data/a.png", encode_png(1, 1, {1, 2, 3}));
    texture_asset image;
    image.path = "data/a.png";
    owner.textures = {&image, &image};
    {
        console_capture console;
        ASSERT_TRUE(load(left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs"), true, 4, 4));
    }
    ASSERT_TRUE(start());
    const geometry_gl_state names = *effect.state;
    ASSERT_EQ(names.texture_count, 2);
    EXPECT_TRUE(effect.unload());
    loaded = false;
    glUseProgram(0); // a current program is deleted only once it is no longer current
    EXPECT_FALSE(glIsTexture(names.textures[0]));
    EXPECT_FALSE(glIsTexture(names.textures[1]));
    EXPECT_FALSE(glIsTexture(names.layer_texture));
    EXPECT_FALSE(glIsFramebuffer(names.layer_framebuffer));
    EXPECT_FALSE(glIsProgram(names.program));
    EXPECT_FALSE(glIsShader(names.vertex_shader));
    EXPECT_FALSE(glIsShader(names.fragment_shader));
    EXPECT_FALSE(glIsBuffer(names.vertex_buffer));
    EXPECT_FALSE(glIsBuffer(names.element_buffer));
    EXPECT_FALSE(glIsVertexArray(names.vertex_array));
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_TRUE(effect.state->uploaded); // unload resets no field
    image.unload();
}

TEST_F(geometry_effect_test, copy_draws_with_the_sources_objects_and_makes_its_own_buffers)
{
    ASSERT_TRUE(load(left_half({0, 1, 0}).effect("data/geo.vs", "data/geo.fs")));
    time_line_item_geometry copy(effect);
    EXPECT_FALSE(copy.state->uploaded);
    EXPECT_EQ(copy.state->program, effect.state->program);
    ASSERT_TRUE(copy.start(gl_window::width, gl_window::height, session.context));
    ASSERT_TRUE(copy.render(1.0f, session.context));
    EXPECT_TRUE(glIsBuffer(effect.state->vertex_buffer));
    EXPECT_TRUE(glIsBuffer(effect.state->element_buffer));
    EXPECT_NE(copy.state->vertex_buffer, effect.state->vertex_buffer);
    EXPECT_TRUE(colours_near(window.pixel_from_top(left_x, middle_y), green));
    glDeleteBuffers(1, &copy.state->vertex_buffer);
    glDeleteBuffers(1, &copy.state->element_buffer);
}

} // namespace
