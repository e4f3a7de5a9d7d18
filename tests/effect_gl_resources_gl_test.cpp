// GL building blocks of the effects, drawn for real in the hidden test window
// and read back: program building and its failure report, the vertex layout
// of the buffer upload, the inputs bound at start and the texture set made
// from a flow item's assets, read back from GL.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "effects/effect_gl_resources.h"
#include "effects/time_line_item.h"
#include "support/console_capture.h"
#include "support/geometry_scene.h"
#include "support/gl_test.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char* const pass_through_vs = geometry_scene::pass_through_vs;

// Red from the vertex colour, green and blue from the texture coordinates.
const char* const layout_fs = R"(#version 420 core
in vec3 v_colour;
in vec2 v_uv;
out vec4 outColor;
void main() { outColor = vec4(v_colour.r, v_uv, 1.0); }
)";

const char* const separator = "\n -- --------------------------------------------------- -- \n";

// A quad over the whole window: colour red 0.2 everywhere, u v 0 0 at the
// top left corner.
const std::vector<float> quad = {
    -1, 1,  0, 0.2f, 0, 0, 0, 0, //
    1,  1,  0, 0.2f, 0, 0, 1, 0, //
    1,  -1, 0, 0.2f, 0, 0, 1, 1, //
    -1, -1, 0, 0.2f, 0, 0, 0, 1,
};
const std::vector<std::uint32_t> quad_indices = {0, 1, 2, 2, 3, 0};

struct program_names {
    GLuint vertex_shader = 0;
    GLuint fragment_shader = 0;
    GLuint program = 0;
};

class effect_gl_resources_test : public gl_test {
protected:
    void set_up() override { glGenVertexArrays(1, &vertex_array); }

    void tear_down() override
    {
        glDeleteBuffers(1, &vertex_buffer);
        glDeleteBuffers(1, &element_buffer);
        glDeleteVertexArrays(1, &vertex_array);
        glDeleteProgram(names.program);
        glDeleteShader(names.fragment_shader);
        glDeleteShader(names.vertex_shader);
    }

    bool build(const std::string& vs, const std::string& fs)
    {
        return build_effect_program(vs, fs, "VERTEX", "data/test.fs", names.vertex_shader, names.fragment_shader,
                                    names.program);
    }

    void draw(const std::vector<std::uint32_t>& indices)
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(names.program);
        glBindVertexArray(vertex_array);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
        glBindVertexArray(0);
    }

    program_names names;
    GLuint vertex_array = 0;
    GLuint vertex_buffer = 0;
    GLuint element_buffer = 0;
    bool uploaded = false;
};

TEST_F(effect_gl_resources_test, uploaded_quad_feeds_position_colour_and_uv)
{
    ASSERT_TRUE(build(pass_through_vs, layout_fs));
    console_capture console;
    EXPECT_TRUE(upload_effect_buffers(vertex_array, quad, quad_indices, vertex_buffer, element_buffer, uploaded));
    EXPECT_TRUE(uploaded);
    draw(quad_indices);
    EXPECT_EQ(console.take(), "");
    // Pixel centres: u = (x + 0.5) / width, v = (y + 0.5) / height from the top.
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), {51, 2, 3, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width - 1, gl_window::height - 1), {51, 253, 252, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width / 2, 0), {51, 130, 3, 255}));
}

TEST_F(effect_gl_resources_test, second_upload_replaces_the_pair_and_keeps_the_layout)
{
    ASSERT_TRUE(build(pass_through_vs, layout_fs));
    upload_effect_buffers(vertex_array, quad, quad_indices, vertex_buffer, element_buffer, uploaded);
    const GLuint first_vertex_buffer = vertex_buffer;
    const GLuint first_element_buffer = element_buffer;

    // Only the first triangle (top right half) this time.
    const std::vector<std::uint32_t> half = {0, 1, 2};
    upload_effect_buffers(vertex_array, quad, half, vertex_buffer, element_buffer, uploaded);
    EXPECT_FALSE(glIsBuffer(first_vertex_buffer));
    EXPECT_FALSE(glIsBuffer(first_element_buffer));
    EXPECT_TRUE(glIsBuffer(vertex_buffer));
    EXPECT_TRUE(glIsBuffer(element_buffer));

    draw(half);
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width - 1, 0), {51, 253, 3, 255}));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, gl_window::height - 1), {0, 0, 0, 255}));
}

TEST_F(effect_gl_resources_test, upload_of_a_copy_keeps_the_shared_pair)
{
    upload_effect_buffers(vertex_array, quad, quad_indices, vertex_buffer, element_buffer, uploaded);
    GLuint copy_vertex_buffer = vertex_buffer;
    GLuint copy_element_buffer = element_buffer;
    bool copy_uploaded = false; // a copy starts without a pair of its own
    upload_effect_buffers(vertex_array, quad, quad_indices, copy_vertex_buffer, copy_element_buffer, copy_uploaded);
    EXPECT_TRUE(glIsBuffer(vertex_buffer));
    EXPECT_TRUE(glIsBuffer(element_buffer));
    EXPECT_NE(copy_vertex_buffer, vertex_buffer);
    EXPECT_NE(copy_element_buffer, element_buffer);
    glDeleteBuffers(1, &copy_vertex_buffer);
    glDeleteBuffers(1, &copy_element_buffer);
}

TEST_F(effect_gl_resources_test, empty_vectors_upload_empty_buffers)
{
    upload_effect_buffers(vertex_array, {}, {}, vertex_buffer, element_buffer, uploaded);
    GLint size = -1;
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

TEST_F(effect_gl_resources_test, out_color_is_bound_to_colour_zero)
{
    // Without the binding the linker may give colour 0 to the first output.
    const char* const two_outputs_fs = R"(#version 420 core
out vec4 decoy;
out vec4 outColor;
void main() { decoy = vec4(1.0, 0.0, 0.0, 1.0); outColor = vec4(0.0, 0.0, 1.0, 1.0); }
)";
    ASSERT_TRUE(build(pass_through_vs, two_outputs_fs));
    upload_effect_buffers(vertex_array, quad, quad_indices, vertex_buffer, element_buffer, uploaded);
    draw(quad_indices);
    EXPECT_TRUE(colours_near(window.pixel_from_top(10, 10), {0, 0, 255, 255}));
}

struct compile_failure_case {
    const char* name;
    bool vertex_fails;
    const char* report_head;
};

void PrintTo(const compile_failure_case& c, std::ostream* os) { *os << c.name; }

class effect_program_failure_test : public effect_gl_resources_test,
                                    public ::testing::WithParamInterface<compile_failure_case> {};

TEST_P(effect_program_failure_test, reports_the_shader_and_stops)
{
    const compile_failure_case& c = GetParam();
    const std::string broken = "#version 420 core\nvoid main() { this is not glsl; }\n";
    const GLuint untouched = 4242; // names that must not be written
    names.fragment_shader = untouched;
    names.program = untouched;

    console_capture console;
    EXPECT_FALSE(build(c.vertex_fails ? broken : pass_through_vs, c.vertex_fails ? layout_fs : broken));
    const std::string out = console.take();

    ASSERT_EQ(out.rfind(c.report_head, 0), 0u) << out;
    ASSERT_GE(out.size(), std::string(c.report_head).size() + std::string(separator).size());
    EXPECT_EQ(out.substr(out.size() - std::string(separator).size()), separator);
    const std::string log = out.substr(std::string(c.report_head).size(),
                                       out.size() - std::string(c.report_head).size() - std::string(separator).size());
    EXPECT_FALSE(log.empty()) << "the driver's info log is part of the report";
    EXPECT_NE(names.vertex_shader, 0u);
    EXPECT_EQ(names.program, untouched);
    if (c.vertex_fails) {
        EXPECT_EQ(names.fragment_shader, untouched);
        names.fragment_shader = 0;
    } else {
        EXPECT_TRUE(glIsShader(names.fragment_shader));
    }
    names.program = 0;
}

INSTANTIATE_TEST_SUITE_P(
    shaders, effect_program_failure_test,
    ::testing::Values(compile_failure_case{"vertex", true, "ERROR::SHADER_COMPILATION_ERROR of type: VERTEX\n"},
                      compile_failure_case{"fragment", false, "ERROR::SHADER_COMPILATION_ERROR in: data/test.fs\n"}),
    [](const ::testing::TestParamInfo<compile_failure_case>& info) { return std::string(info.param.name); });

TEST_F(effect_gl_resources_test, long_info_log_is_cut_to_1023_characters)
{
    std::string broken = "#version 420 core\nvoid main() {\n";
    for (int i = 0; i < 200; ++i) {
        broken += "  undeclared_name_" + std::to_string(i) + " = 1.0;\n";
    }
    broken += "}\n";
    console_capture console;
    EXPECT_FALSE(build(pass_through_vs, broken));
    const std::string out = console.take();
    const std::string head = "ERROR::SHADER_COMPILATION_ERROR in: data/test.fs\n";
    ASSERT_EQ(out.rfind(head, 0), 0u);
    ASSERT_GE(out.size(), head.size() + std::string(separator).size());
    EXPECT_EQ(out.size() - head.size() - std::string(separator).size(), 1023u);
}

struct link_failure_case {
    const char* name;
    const char* fragment_shader; // compiles, but the program does not link with pass_through_vs
};

void PrintTo(const link_failure_case& c, std::ostream* os) { *os << c.name; }

const link_failure_case link_failure_cases[] = {
    {"no_main", "#version 420 core\nout vec4 outColor;\nvoid shade() { outColor = vec4(1.0); }\n"},
    // The fragment input is written by no vertex shader output.
    {"unmatched_input", R"(#version 420 core
in vec4 never_written;
out vec4 outColor;
void main() { outColor = never_written; }
)"},
};

class effect_program_link_test : public effect_gl_resources_test,
                                 public ::testing::WithParamInterface<link_failure_case> {};

// The report has the compile report's layout, with both labels; the names
// stay written for the effect to delete.
TEST_P(effect_program_link_test, reports_both_labels_and_fails)
{
    const std::string head = "ERROR::PROGRAM_LINKING_ERROR of program: VERTEX, data/test.fs\n";
    console_capture console;
    EXPECT_FALSE(build(pass_through_vs, GetParam().fragment_shader));
    const std::string out = console.take();

    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    ASSERT_GE(out.size(), head.size() + std::string(separator).size());
    EXPECT_EQ(out.substr(out.size() - std::string(separator).size()), separator);
    const std::string log = out.substr(head.size(), out.size() - head.size() - std::string(separator).size());
    EXPECT_FALSE(log.empty()) << "the driver's info log is part of the report";
    EXPECT_LE(log.size(), 1023u);
    EXPECT_TRUE(glIsShader(names.vertex_shader));
    EXPECT_TRUE(glIsShader(names.fragment_shader));
    EXPECT_TRUE(glIsProgram(names.program));
}

INSTANTIATE_TEST_SUITE_P(programs, effect_program_link_test, ::testing::ValuesIn(link_failure_cases),
                         [](const ::testing::TestParamInfo<link_failure_case>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(effect_gl_resources_test, long_link_log_is_cut_to_1023_characters)
{
    // The linker names the unresolved function in its log.
    const std::string name = "unresolved_" + std::string(1500, 'x');
    const std::string calls_undefined_fs = "#version 420 core\nout vec4 outColor;\nfloat " + name +
                                           "();\nvoid main() { outColor = vec4(" + name + "()); }\n";
    console_capture console;
    EXPECT_FALSE(build(pass_through_vs, calls_undefined_fs));
    const std::string out = console.take();
    const std::string head = "ERROR::PROGRAM_LINKING_ERROR of program: VERTEX, data/test.fs\n";
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    ASSERT_GE(out.size(), head.size() + std::string(separator).size());
    EXPECT_EQ(out.size() - head.size() - std::string(separator).size(), 1023u);
}

TEST_F(effect_gl_resources_test, start_inputs_set_ires_units_and_framebuffer)
{
    const char* const ires_fs = R"(#version 420 core
uniform vec2 iRes;
uniform float iTime;
out vec4 outColor;
void main() { outColor = vec4(iRes.x / 255.0, iRes.y / 255.0, iTime, 1.0); }
)";
    ASSERT_TRUE(build(pass_through_vs, ires_fs));
    upload_effect_buffers(vertex_array, quad, quad_indices, vertex_buffer, element_buffer, uploaded);
    GLuint textures[max_effect_textures] = {};
    glGenTextures(3, textures);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);

    glUseProgram(names.program);
    GLint itime = -7;
    GLint ires = -7;
    bind_effect_inputs(names.program, 100, 200, 3, textures, framebuffer, itime, ires);
    EXPECT_EQ(itime, glGetUniformLocation(names.program, "iTime"));
    EXPECT_EQ(ires, glGetUniformLocation(names.program, "iRes"));
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), framebuffer);
    for (int unit = 0; unit < 4; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLuint(bound), unit < 3 ? textures[unit] : 0u) << "unit " << unit;
    }

    bind_effect_inputs(names.program, 100, 200, 0, textures, 0, itime, ires);
    glUniform1f(itime, 0.5f);
    draw(quad_indices);
    EXPECT_TRUE(colours_near(window.pixel_from_top(5, 5), {100, 200, 128, 255}));

    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(3, textures);
}

TEST_F(effect_gl_resources_test, missing_uniforms_are_minus_one_and_harmless)
{
    ASSERT_TRUE(build(pass_through_vs, layout_fs));
    glUseProgram(names.program);
    GLuint textures[max_effect_textures] = {};
    GLint itime = 0;
    GLint ires = 0;
    bind_effect_inputs(names.program, 64, 48, 0, textures, 0, itime, ires);
    EXPECT_EQ(itime, -1);
    EXPECT_EQ(ires, -1);
    glUniform1f(itime, 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// An image held by the test and handed over as a loaded asset.
struct held_image {
    held_image(int width, int height, int channels) : pixels(static_cast<std::size_t>(width * height * channels))
    {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<std::uint8_t>(17 + i * 7);
        }
        asset.data->width = width;
        asset.data->height = height;
        asset.data->channels = channels;
        asset.data->pixels = pixels.data();
        asset.loaded = true;
    }
    ~held_image() { asset.data->pixels = nullptr; } // the pixels are the vector's

    std::vector<std::uint8_t> pixels; // rows of width * channels bytes, top first
    texture_asset asset;
};

// Level 0 of a texture as RGBA rows (RGBA rows are always 4-byte aligned).
std::vector<std::uint8_t> texture_rgba(GLuint texture, int& width, int& height)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width * height * 4));
    if (!rgba.empty()) {
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return rgba;
}

class effect_textures_test : public gl_test {
protected:
    void tear_down() override { glDeleteTextures(texture_count, textures); }

    // create_effect_textures on the item; returns what it wrote.
    std::string create(bool filtering = true)
    {
        console_capture console;
        create_effect_textures(item, fs, filtering, texture_count, textures);
        return console.take();
    }

    temp_dir folder;
    demo_filesystem fs; // not opened: loose files from the temporary folder
    time_line_item item;
    std::int32_t texture_count = -1;
    GLuint textures[max_effect_textures] = {};
};

struct image_layout_case {
    const char* name;
    int width;
    int height;
    int channels;
};

void PrintTo(const image_layout_case& c, std::ostream* os) { *os << c.name; }

class effect_texture_layout_test : public effect_textures_test,
                                   public ::testing::WithParamInterface<image_layout_case> {};

TEST_P(effect_texture_layout_test, every_layout_arrives_as_its_rgb_pixels)
{
    const image_layout_case& c = GetParam();
    held_image image(c.width, c.height, c.channels);
    item.textures = {&image.asset};
    EXPECT_EQ(create(), "");
    ASSERT_EQ(texture_count, 1);
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> rgba = texture_rgba(textures[0], width, height);
    ASSERT_EQ(width, c.width);
    ASSERT_EQ(height, c.height);
    for (int row = 0; row < c.height; ++row) {
        for (int column = 0; column < c.width; ++column) {
            const std::size_t pixel = static_cast<std::size_t>(row * c.width + column);
            const std::uint8_t* source = image.pixels.data() + pixel * static_cast<std::size_t>(c.channels);
            const bool grey = c.channels < 3;
            const std::uint8_t expected[4] = {source[0], grey ? source[0] : source[1], grey ? source[0] : source[2],
                                              255};
            for (int component = 0; component < 4; ++component) {
                EXPECT_EQ(rgba[pixel * 4 + static_cast<std::size_t>(component)], expected[component])
                    << "row " << row << " column " << column << " component " << component;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(layouts, effect_texture_layout_test,
                         ::testing::Values(image_layout_case{"rgb_aligned_rows", 4, 3, 3},
                                           image_layout_case{"rgb_odd_rows", 3, 3, 3},
                                           image_layout_case{"grey", 3, 2, 1},
                                           image_layout_case{"grey_alpha", 5, 2, 2},
                                           image_layout_case{"rgba", 3, 2, 4},
                                           image_layout_case{"one_pixel", 1, 1, 3}),
                         [](const ::testing::TestParamInfo<image_layout_case>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(effect_textures_test, no_references_give_no_textures)
{
    EXPECT_EQ(create(), "");
    EXPECT_EQ(texture_count, 0);
}

TEST_F(effect_textures_test, only_the_first_16_references_are_loaded)
{
    held_image image(2, 2, 3);
    std::vector<std::unique_ptr<texture_asset>> unused;
    for (int i = 0; i < 16; ++i) {
        item.textures.push_back(&image.asset);
    }
    for (int i = 0; i < 4; ++i) {
        unused.push_back(std::make_unique<texture_asset>());
        unused.back()->path = "unused.png";
        item.textures.push_back(unused.back().get());
    }
    EXPECT_EQ(create(), "");
    ASSERT_EQ(texture_count, 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(glIsTexture(textures[i])) << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(textures[i], textures[j]);
        }
    }
    for (const auto& asset : unused) {
        EXPECT_FALSE(asset->loaded);
    }
}

TEST_F(effect_textures_test, an_unloaded_asset_is_loaded_once)
{
    const std::vector<std::uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_NE(stbi_write_png("image.png", 2, 2, 3, pixels.data(), 6), 0);
    texture_asset asset;
    asset.path = "image.png";
    item.textures = {&asset, &asset};
    EXPECT_EQ(create(), "- loading texture: image.png\n");
    ASSERT_EQ(texture_count, 2);
    EXPECT_TRUE(asset.loaded);
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> rgba = texture_rgba(textures[1], width, height);
    EXPECT_EQ(rgba, (std::vector<std::uint8_t>{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}));
    asset.unload();
}

TEST_F(effect_textures_test, an_asset_without_pixels_gives_storage_of_its_size)
{
    texture_asset missing; // its load fails: no pixels, size 0 by 0
    missing.path = "missing.png";
    texture_asset sized; // loaded once, pixels released elsewhere
    sized.loaded = true;
    sized.data->width = 5;
    sized.data->height = 3;
    sized.data->channels = 1;
    item.textures = {&missing, &sized};
    EXPECT_EQ(create(), "- loading texture: missing.png\n");
    ASSERT_EQ(texture_count, 2);
    EXPECT_FALSE(missing.loaded);
    int width = -1;
    int height = -1;
    texture_rgba(textures[0], width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    texture_rgba(textures[1], width, height);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    sized.loaded = false;
}

TEST_F(effect_textures_test, filter_and_wrap_follow_the_flag)
{
    held_image image(2, 2, 3);
    item.textures = {&image.asset};
    for (const bool filtering : {true, false}) {
        create(filtering);
        glBindTexture(GL_TEXTURE_2D, textures[0]);
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, filtering ? GL_LINEAR : GL_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, filtering ? GL_LINEAR : GL_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
        EXPECT_EQ(value, GL_REPEAT);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
        EXPECT_EQ(value, GL_REPEAT);
        GLint level_one_width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level_one_width);
        EXPECT_EQ(level_one_width, 1) << "mipmaps are built";
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(texture_count, textures);
    }
    texture_count = 0;
}

} // namespace
