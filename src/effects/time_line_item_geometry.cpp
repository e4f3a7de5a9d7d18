// time_line_item_geometry: construction and the copy rules; a copy shares
// its source's GL names and makes its own buffer pair at first upload.
#include "effects/time_line_item_geometry.h"

namespace {

// Every field but uploaded, which belongs to the target.
void copy_shared_names(const geometry_gl_state& source, geometry_gl_state& target)
{
    const bool uploaded = target.uploaded;
    target = source;
    target.uploaded = uploaded;
}

} // namespace

time_line_item_geometry::time_line_item_geometry() : state(std::make_unique<geometry_gl_state>()) {}

time_line_item_geometry::time_line_item_geometry(const time_line_item_geometry& other)
    : state(std::make_unique<geometry_gl_state>()), type(other.type), vs_src(other.vs_src), fs_src(other.fs_src),
      vertex_code(other.vertex_code), fragment_code(other.fragment_code), vertices(other.vertices),
      elements(other.elements), triggers(other.triggers)
{
    copy_shared_names(*other.state, *state);
}

time_line_item_geometry& time_line_item_geometry::operator=(const time_line_item_geometry& other)
{
    if (this != &other) {
        copy_shared_names(*other.state, *state);
        type = other.type;
        vs_src = other.vs_src;
        fs_src = other.fs_src;
        vertex_code = other.vertex_code;
        fragment_code = other.fragment_code;
        vertices = other.vertices;
        elements = other.elements;
        triggers = other.triggers;
    }
    return *this;
}

time_line_item_geometry::~time_line_item_geometry() = default;

GLuint time_line_item_geometry::get_layer_texture() const
{
    return state->layer_texture;
}
