// effect_gl_resources: the GL building blocks shared by every effect: the
// shader program, the texture set of the owning flow item, the inputs bound at
// start and the vertex/element upload. Main thread only, with a current context.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

class demo_filesystem;
class time_line_item;

constexpr int max_effect_textures = 16; // textures an effect takes from its flow item

// Compiles both shaders and links the program; outColor goes to colour 0.
// A shader that does not compile is reported on standard output, and the
// result is false (no later object is created). A program that does not
// link is reported likewise, with both labels, and the result is false.
// On failure the names made so far stay written for the caller to delete.
bool build_effect_program(const std::string& vertex_code, const std::string& fragment_code,
                          const std::string& vertex_label, const std::string& fragment_label,
                          GLuint& vertex_shader, GLuint& fragment_shader, GLuint& program);

// Makes one texture per texture reference of the owner (at most 16), loading
// an asset that is not loaded yet, with linear or nearest filtering and
// mipmaps. Pixels that are not 4-byte-aligned RGB rows are converted first.
void create_effect_textures(const time_line_item& owner, demo_filesystem& fs, bool filtering,
                            std::int32_t& texture_count, GLuint (&textures)[max_effect_textures]);

// The start inputs: looks up "iTime" and "iRes", sets "iRes", binds texture i
// on unit i and binds the framebuffer to draw into (0 is the window).
void bind_effect_inputs(GLuint program, std::int32_t width, std::int32_t height, std::int32_t texture_count,
                        const GLuint (&textures)[max_effect_textures], GLuint framebuffer,
                        GLint& itime_location, GLint& ires_location);

// Rebuilds the vertex and element buffers of the vertex array from the
// vectors (deleting the previous pair when one exists) and describes the
// three attributes of the shared 32-byte vertex layout. Always true.
bool upload_effect_buffers(GLuint vertex_array, const std::vector<float>& vertices,
                           const std::vector<std::uint32_t>& indices, GLuint& vertex_buffer,
                           GLuint& element_buffer, bool& uploaded);

// Deletes the program, both shaders, the buffer pair and the vertex array of
// an effect, in this order, and sets their names to 0, so that a later load
// or unload never deletes a name GL has since handed out again. GL ignores
// the name 0, so objects a load never made need no test.
template <typename gl_state>
void delete_program_and_buffers(gl_state& state)
{
    glDeleteProgram(state.program);
    glDeleteShader(state.fragment_shader);
    glDeleteShader(state.vertex_shader);
    glDeleteBuffers(1, &state.vertex_buffer);
    glDeleteBuffers(1, &state.element_buffer);
    glDeleteVertexArrays(1, &state.vertex_array);
    state.program = 0;
    state.fragment_shader = 0;
    state.vertex_shader = 0;
    state.vertex_buffer = 0;
    state.element_buffer = 0;
    state.vertex_array = 0;
}

// What a load that failed before its program was ready made goes at once,
// and uploaded is cleared. A failed load is retried every frame, and only
// the effect that made these objects holds them; with every name 0, later
// starts, renders and unloads of the effect touch no object.
template <typename gl_state>
void delete_unfinished_program(gl_state& state)
{
    delete_program_and_buffers(state);
    state.uploaded = false;
}

// Copies an effect's state block into another effect's block except its
// uploaded flag, which stays the target's: a copy draws with its source's GL
// names, and its first upload makes a buffer pair of its own.
template <typename gl_state>
void copy_shared_gl_names(const gl_state& source, gl_state& target)
{
    const bool uploaded = target.uploaded;
    target = source;
    target.uploaded = uploaded;
}

// Pixels in the layout the texture upload describes: three bytes per pixel
// and rows padded to four bytes. Grey is copied into all three components
// and alpha is dropped. Reads exactly height rows of width * channels bytes.
std::vector<std::uint8_t> rgb_rows_for_upload(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                              std::int32_t channels);
