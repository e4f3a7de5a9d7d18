// effect_gl_resources: shader building and linking, texture upload, start
// inputs and the buffer upload of the effects. Uses GLEW's entry points,
// texture_asset and time_line_item's texture references.
#include "effects/effect_gl_resources.h"

#include "data/texture_asset.h"
#include "effects/time_line_item.h"

#include <algorithm>
#include <cstddef>
#include <iostream>

namespace {

constexpr GLsizei info_log_size = 1024; // bytes read of a failed shader's or program's info log
constexpr GLsizei vertex_stride = 8 * sizeof(float); // x y z, r g b, u v

// The failure report of a shader or program: its heading (prefix and
// labels), then the driver's info log and the separator.
void write_failure_report(const std::string& heading, const char* info_log)
{
    std::cout << heading << "\n"
              << info_log << "\n -- --------------------------------------------------- -- " << std::endl;
}

// Compiles one shader into name; on failure writes the report and gives false.
bool compile_shader(GLenum kind, const std::string& code, const char* prefix, const std::string& label,
                    GLuint& name)
{
    name = glCreateShader(kind);
    const char* source = code.c_str();
    glShaderSource(name, 1, &source, nullptr);
    glCompileShader(name);
    GLint status = 0;
    glGetShaderiv(name, GL_COMPILE_STATUS, &status);
    if (status != 0) {
        return true;
    }
    char info_log[info_log_size] = {};
    glGetShaderInfoLog(name, info_log_size, nullptr, info_log);
    write_failure_report(prefix + label, info_log);
    return false;
}

// Links program; a program that does not link would draw nothing of its
// own, so it is reported like a shader that does not compile.
bool link_program(GLuint program, const std::string& vertex_label, const std::string& fragment_label)
{
    glLinkProgram(program);
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status != 0) {
        return true;
    }
    char info_log[info_log_size] = {};
    glGetProgramInfoLog(program, info_log_size, nullptr, info_log);
    write_failure_report("ERROR::PROGRAM_LINKING_ERROR of program: " + vertex_label + ", " + fragment_label,
                         info_log);
    return false;
}

void describe_attribute(GLuint index, GLint components, std::size_t offset)
{
    glVertexAttribPointer(index, components, GL_FLOAT, GL_FALSE, vertex_stride,
                          reinterpret_cast<const void*>(offset));
    glEnableVertexAttribArray(index);
}

// GL_NEAREST when filtering is off, GL_LINEAR when it is on.
GLint filter_value(bool filtering) { return GL_NEAREST + (filtering ? 1 : 0); }

// Level 0 from the asset's pixels. Pixels that are already 3-byte rows
// aligned to 4 bytes go up as they are; others are converted first. An asset
// without pixels gives storage of its size with no data.
void define_texture_image(const texture_asset* asset)
{
    const std::int32_t width = asset != nullptr ? std::max(asset->get_width(), 0) : 0;
    const std::int32_t height = asset != nullptr ? std::max(asset->get_height(), 0) : 0;
    const std::uint8_t* pixels = asset != nullptr ? asset->get_pixels() : nullptr;
    const std::int32_t channels = asset != nullptr ? asset->data->channels : 0;
    std::vector<std::uint8_t> converted;
    const bool upload_as_is = channels == 3 && (static_cast<std::size_t>(width) * 3) % 4 == 0;
    if (pixels != nullptr && width > 0 && height > 0 && !upload_as_is) {
        converted = rgb_rows_for_upload(pixels, width, height, channels);
        // A channel count the converter does not know: no data rather than a guess.
        pixels = converted.empty() ? nullptr : converted.data();
    }
    if (width == 0 || height == 0) {
        pixels = nullptr;
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}

} // namespace

bool build_effect_program(const std::string& vertex_code, const std::string& fragment_code,
                          const std::string& vertex_label, const std::string& fragment_label,
                          GLuint& vertex_shader, GLuint& fragment_shader, GLuint& program)
{
    if (!compile_shader(GL_VERTEX_SHADER, vertex_code, "ERROR::SHADER_COMPILATION_ERROR of type: ", vertex_label,
                        vertex_shader)) {
        return false;
    }
    if (!compile_shader(GL_FRAGMENT_SHADER, fragment_code, "ERROR::SHADER_COMPILATION_ERROR in: ", fragment_label,
                        fragment_shader)) {
        return false;
    }
    program = glCreateProgram();
    glAttachShader(program, vertex_shader);
    glAttachShader(program, fragment_shader);
    glBindFragDataLocation(program, 0, "outColor");
    return link_program(program, vertex_label, fragment_label);
}

void create_effect_textures(const time_line_item& owner, demo_filesystem& fs, bool filtering,
                            std::int32_t& texture_count, GLuint (&textures)[max_effect_textures])
{
    texture_count = static_cast<std::int32_t>(std::min<std::size_t>(owner.textures.size(), max_effect_textures));
    glGenTextures(texture_count, textures);
    const GLint filter = filter_value(filtering);
    for (std::int32_t i = 0; i < texture_count; ++i) {
        texture_asset* asset = owner.textures[static_cast<std::size_t>(i)];
        if (asset != nullptr && !asset->loaded) {
            asset->load(fs); // a failed load leaves an asset without pixels
        }
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        define_texture_image(asset);
        glGenerateMipmap(GL_TEXTURE_2D);
    }
}

void bind_effect_inputs(GLuint program, std::int32_t width, std::int32_t height, std::int32_t texture_count,
                        const GLuint (&textures)[max_effect_textures], GLuint framebuffer,
                        GLint& itime_location, GLint& ires_location)
{
    itime_location = glGetUniformLocation(program, "iTime");
    ires_location = glGetUniformLocation(program, "iRes");
    glUniform2f(ires_location, static_cast<float>(width), static_cast<float>(height));
    for (std::int32_t i = 0; i < texture_count && i < max_effect_textures; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, textures[i]);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

bool upload_effect_buffers(GLuint vertex_array, const std::vector<float>& vertices,
                           const std::vector<std::uint32_t>& indices, GLuint& vertex_buffer,
                           GLuint& element_buffer, bool& uploaded)
{
    if (uploaded) {
        glDeleteBuffers(1, &vertex_buffer);
        glDeleteBuffers(1, &element_buffer);
    }
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &vertex_buffer);
    glGenBuffers(1, &element_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, element_buffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)),
                 indices.data(), GL_STATIC_DRAW);
    describe_attribute(0, 3, 0);
    describe_attribute(1, 3, 3 * sizeof(float));
    describe_attribute(2, 2, 6 * sizeof(float));
    glBindVertexArray(0);
    uploaded = true;
    return true;
}

std::vector<std::uint8_t> rgb_rows_for_upload(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                              std::int32_t channels)
{
    if (pixels == nullptr || width <= 0 || height <= 0 || channels < 1 || channels > 4) {
        return {};
    }
    const std::size_t columns = static_cast<std::size_t>(width);
    const std::size_t rows = static_cast<std::size_t>(height);
    const std::size_t stride = (columns * 3 + 3) / 4 * 4;
    const std::size_t source_stride = columns * static_cast<std::size_t>(channels);
    const bool grey = channels < 3; // one or two channels: grey, then maybe alpha
    std::vector<std::uint8_t> converted(stride * rows, 0);
    for (std::size_t row = 0; row < rows; ++row) {
        const std::uint8_t* source = pixels + row * source_stride;
        std::uint8_t* target = converted.data() + row * stride;
        for (std::size_t column = 0; column < columns; ++column) {
            const std::uint8_t* pixel = source + column * static_cast<std::size_t>(channels);
            target[column * 3 + 0] = pixel[0];
            target[column * 3 + 1] = grey ? pixel[0] : pixel[1];
            target[column * 3 + 2] = grey ? pixel[0] : pixel[2];
        }
    }
    return converted;
}
