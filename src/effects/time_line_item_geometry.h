// time_line_item_geometry: a mesh from the description drawn with its own
// shaders into the window or, as a layer, into a framebuffer of its own; its
// scripts read and replace the mesh through script_shared_state.
// Main thread only, context current.
#pragma once

#include "effects/effect_gl_resources.h"
#include "effects/effect_triggers.h"

#include <nlohmann/json.hpp>

#include <GL/glew.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class demo_filesystem;
class script_context;
class time_line_item;

// GL names and settings of one geometry effect; a copy shares the names.
struct geometry_gl_state {
    const time_line_item* owner = nullptr;     // item whose textures are used; set by load
    std::int32_t texture_count = 0;            // textures in use, 0 to 16; set by load
    GLuint textures[max_effect_textures] = {}; // texture names; set by load
    GLuint layer_texture = 0;                  // colour texture of the layer framebuffer; set by load as a layer
    GLuint layer_framebuffer = 0;              // the layer framebuffer; set by load as a layer
    bool is_layer = false;                     // draws into layer_framebuffer instead of the window
    GLuint vertex_array = 0;                   // attribute layout and element buffer; set by load
    GLuint vertex_buffer = 0;                  // the vertex floats; set by upload
    GLuint element_buffer = 0;                 // the element indices; set by upload
    bool uploaded = false;                     // a vertex and element buffer pair exists
    GLuint vertex_shader = 0;                  // compiled vs_src; set by load
    GLuint fragment_shader = 0;                // compiled fs_src; set by load
    GLuint program = 0;                        // linked program; set by load
    GLint itime_location = -1;                 // "iTime"; set by start
    GLint ires_location = -1;                  // "iRes"; set by start
    std::int32_t layer_width = 0;              // layer colour texture width; set by parse
    std::int32_t layer_height = 0;             // layer colour texture height; set by parse
    bool filtering = true;                     // false GL_NEAREST, true GL_LINEAR
    GLsizei drawn_element_count = 0;           // indices drawn from element_buffer: whole triangles naming a vertex
    bool inputs_bound = false;                 // the latest start made this program current and bound its target
    bool left_out_reported = false;            // the warning about the triangles this mesh leaves out is written
};

class time_line_item_geometry {
public:
    time_line_item_geometry();
    time_line_item_geometry(const time_line_item_geometry& other);
    time_line_item_geometry& operator=(const time_line_item_geometry& other);
    virtual ~time_line_item_geometry();

    bool parse(const nlohmann::json& effect, std::int32_t layer_width, std::int32_t layer_height);
    bool load(const time_line_item& owner, demo_filesystem& fs, script_context& context, bool is_layer);
    bool start(std::int32_t width, std::int32_t height, script_context& context);
    bool render(float time, script_context& context);
    bool unload();
    bool upload();
    GLuint get_layer_texture() const;

    std::unique_ptr<geometry_gl_state> state; // never null; never shared
    std::string type;                         // "type"; read by nothing
    std::string vs_src;                       // vertex shader path ("vs_src")
    std::string fs_src;                       // fragment shader path ("fs_src")
    std::string vertex_code;                  // text of vs_src, read at load
    std::string fragment_code;                // text of fs_src, read at load
    std::vector<float> vertices;              // eight floats per vertex: x y z, r g b, u v
    std::vector<std::uint32_t> elements;      // three indices per triangle
    effect_triggers triggers;                 // the four trigger scripts

private:
    bool run_exchanging(effect_trigger_kind kind, script_context& context, const char* box_text, bool& taken);
    void take_over_shared_mesh();
    void make_layer_framebuffer();
    GLuint draw_target() const;
};
