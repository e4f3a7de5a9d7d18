// time_line_item_single_shader: one fragment shader drawn over the full-screen
// quad (vertex shader "data/base3.vs"); also the final pass of the layers
// effect, which hands it the layer images. Main thread only, context current.
#pragma once

#include "effects/effect_gl_resources.h"
#include "effects/effect_triggers.h"

#include <nlohmann/json.hpp>

#include <GL/glew.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class demo_filesystem;
class script_context;
class time_line_item;

// Four vertices in the shared layout (x y z, r g b, u v); v is 0 at the top.
extern const std::array<float, 32> full_screen_quad;

// GL names and settings of one single-shader effect; a copy shares the names.
struct single_shader_gl_state {
    const time_line_item* owner = nullptr;     // item whose textures are used; set by load
    std::int32_t texture_count = 0;            // own textures in use, 0 to 16; set by load
    GLuint textures[max_effect_textures] = {}; // own texture names; set by load
    std::vector<GLuint> bound_layer_textures;  // layer images bound since the last clear_layer_textures
    bool uploaded = false;                     // a vertex and element buffer pair exists
    GLuint vertex_array = 0;                   // the quad's vertex array; set by load
    GLuint vertex_buffer = 0;                  // the quad's vertices; set by upload
    GLuint element_buffer = 0;                 // the quad's indices; set by upload
    GLuint vertex_shader = 0;                  // compiled "data/base3.vs"; set by load
    GLuint fragment_shader = 0;                // compiled src; set by load
    GLuint program = 0;                        // linked program; set by load
    GLint itime_location = -1;                 // "iTime"; set by start
    GLint ires_location = -1;                  // "iRes"; set by start
    bool filtering = true;                     // linear texture filtering
    bool start_succeeded = false;              // the latest start made program current and bound the window
};

class time_line_item_single_shader {
public:
    time_line_item_single_shader();
    time_line_item_single_shader(const time_line_item_single_shader& other);
    time_line_item_single_shader& operator=(const time_line_item_single_shader& other);
    virtual ~time_line_item_single_shader();

    bool parse(const nlohmann::json& entry);
    bool load(const time_line_item& owner, demo_filesystem& fs, script_context& context);
    bool start(std::int32_t width, std::int32_t height, script_context& context);
    bool render(float time, script_context& context);
    bool unload();
    bool upload();

    // Final-pass operations used by the layers effect.
    void set_filtering(bool filtering);
    void clear_layer_textures();
    bool bind_layer_texture(GLuint texture);

    void dump_vertices() const;

    std::unique_ptr<single_shader_gl_state> state; // never null
    std::string src;                               // fragment shader path ("src", or "final_fs" of a layers effect)
    std::string vertex_code;                       // text of "data/base3.vs", read at load
    std::string fragment_code;                     // text of src, read at load
    effect_triggers triggers;                      // the four trigger scripts
    std::vector<float> vertices;                   // the quad's 32 floats after load
    std::vector<std::uint32_t> indices;            // 0 1 2 2 3 0 after load

private:
    void draw_quad(float time) const;
};
