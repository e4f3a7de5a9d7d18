// time_line_item_single_shader: construction and the copy rules; a copy
// shares its source's GL names and makes its own buffer pair at first upload.
#include "effects/time_line_item_single_shader.h"

const std::array<float, 32> full_screen_quad = {
    -1.0f, 1.0f,  0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, // top left
    1.0f,  1.0f,  0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, // top right
    1.0f,  -1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, // bottom right
    -1.0f, -1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f, // bottom left
};

namespace {

// Every field but uploaded, which belongs to the target.
void copy_shared_names(const single_shader_gl_state& source, single_shader_gl_state& target)
{
    const bool uploaded = target.uploaded;
    target = source;
    target.uploaded = uploaded;
}

} // namespace

time_line_item_single_shader::time_line_item_single_shader() : state(std::make_unique<single_shader_gl_state>()) {}

time_line_item_single_shader::time_line_item_single_shader(const time_line_item_single_shader& other)
    : state(std::make_unique<single_shader_gl_state>()), src(other.src), vertex_code(other.vertex_code),
      fragment_code(other.fragment_code), triggers(other.triggers), vertices(other.vertices), indices(other.indices)
{
    copy_shared_names(*other.state, *state);
}

time_line_item_single_shader& time_line_item_single_shader::operator=(const time_line_item_single_shader& other)
{
    if (this != &other) {
        copy_shared_names(*other.state, *state);
        src = other.src;
        vertex_code = other.vertex_code;
        fragment_code = other.fragment_code;
        triggers = other.triggers;
        vertices = other.vertices;
        indices = other.indices;
    }
    return *this;
}

time_line_item_single_shader::~time_line_item_single_shader() = default;
