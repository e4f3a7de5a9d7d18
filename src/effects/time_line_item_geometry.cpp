// time_line_item_geometry: parse of the mesh, load, start, render and unload
// with the geometry exchange through script_shared_state, the upload that
// leaves out triangles naming no vertex (warned once per mesh), and the copy
// rules (a copy shares its source's GL names and makes its own buffer pair
// at first upload).
#include "effects/time_line_item_geometry.h"

#include "data/load_text_with_includes.h"
#include "data/number_conversion.h"
#include "platform/print_line.h"
#include "scripting/script_shared_state.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace {

constexpr std::size_t floats_per_vertex = 8; // x y z, r g b, u v

// The string under key, or empty when it is missing or not a string.
std::string string_member(const nlohmann::json& object, const char* key)
{
    const auto member = object.find(key);
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// The array under key of an object entry; null when the entry is not an
// object or the member is missing or not an array.
const nlohmann::json* array_member(const nlohmann::json& entry, const char* key)
{
    if (!entry.is_object()) {
        return nullptr;
    }
    const auto member = entry.find(key);
    return member != entry.end() && member->is_array() ? &*member : nullptr;
}

// Component index of an array as a float (beyond the float range: the
// infinity of its sign). at() raises the JSON library's out-of-range
// exception for a short array, which ends the description load.
float component(const nlohmann::json* array, std::size_t index)
{
    if (array == nullptr) {
        return 0.0f;
    }
    const nlohmann::json& value = array->at(index);
    return value.is_number() ? to_float(value.get<double>()) : 0.0f;
}

// Truncated toward zero to 64 bits, then the low 32 bits; NaN and
// magnitudes of 2^63 or more give 0 (a plain cast would be undefined).
std::uint32_t element_index(const nlohmann::json& value)
{
    if (!value.is_number()) {
        return 0;
    }
    return low_32_bits_of_truncation(value.get<double>());
}

void append_vertex(const nlohmann::json& entry, std::vector<float>& vertices)
{
    const nlohmann::json* xyz = array_member(entry, "xyz");
    const nlohmann::json* rgb = array_member(entry, "rgb");
    const nlohmann::json* uv = array_member(entry, "uv");
    // All eight are read before any is appended, so a short array leaves
    // only whole vertices behind.
    const float vertex[floats_per_vertex] = {component(xyz, 0), component(xyz, 1), component(xyz, 2),
                                             component(rgb, 0), component(rgb, 1), component(rgb, 2),
                                             component(uv, 0),  component(uv, 1)};
    vertices.insert(vertices.end(), vertex, vertex + floats_per_vertex);
}

constexpr std::size_t scan_block_size = 3 * 1024; // elements per block of the scan: whole triangles

// True when one of count indices is at or beyond limit. A branch-free OR,
// which the compiler turns into vector code where the count is fixed.
bool has_index_at_or_beyond(const std::uint32_t* indices, std::size_t count, std::uint32_t limit)
{
    std::uint32_t found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        found |= indices[i] >= limit ? 1u : 0u;
    }
    return found != 0;
}

bool block_has_index_at_or_beyond(const std::uint32_t* block, std::uint32_t limit)
{
    return has_index_at_or_beyond(block, scan_block_size, limit);
}

// Where the whole triangles of elements stop naming only vertices: the start
// of the first scan block that holds a triangle with an index at or beyond
// vertex_count, or the end of the whole triangles when there is none. A
// trailing partial triangle is never drawn, so it is not looked at.
std::size_t end_of_drawable_prefix(const std::vector<std::uint32_t>& elements, std::size_t vertex_count)
{
    const std::size_t whole_triangle_elements = elements.size() / 3 * 3;
    if (vertex_count > std::numeric_limits<std::uint32_t>::max()) {
        return whole_triangle_elements; // every 32-bit index names a vertex
    }
    const auto limit = static_cast<std::uint32_t>(vertex_count);
    std::size_t start = 0;
    for (; start + scan_block_size <= whole_triangle_elements; start += scan_block_size) {
        if (block_has_index_at_or_beyond(elements.data() + start, limit)) {
            return start;
        }
    }
    if (has_index_at_or_beyond(elements.data() + start, whole_triangle_elements - start, limit)) {
        return start;
    }
    return whole_triangle_elements;
}

// The whole triangles of elements whose three indices name a vertex; counts
// the triangles left out. The first prefix_end elements are known to be whole
// triangles naming vertices. A trailing partial triangle is never drawn and
// is dropped too.
std::vector<std::uint32_t> drawable_triangles(const std::vector<std::uint32_t>& elements, std::size_t vertex_count,
                                              std::size_t prefix_end, std::size_t& left_out)
{
    std::vector<std::uint32_t> kept;
    kept.reserve(elements.size());
    kept.assign(elements.begin(), elements.begin() + static_cast<std::ptrdiff_t>(prefix_end));
    left_out = 0;
    for (std::size_t i = prefix_end; i + 3 <= elements.size(); i += 3) {
        if (elements[i] < vertex_count && elements[i + 1] < vertex_count && elements[i + 2] < vertex_count) {
            kept.push_back(elements[i]);
            kept.push_back(elements[i + 1]);
            kept.push_back(elements[i + 2]);
        } else {
            ++left_out;
        }
    }
    return kept;
}

void report_left_out(std::size_t left_out, std::size_t vertex_count)
{
    print_line("WARNING::GEOMETRY:: left out " + std::to_string(left_out) +
               (left_out == 1 ? " triangle" : " triangles") + " with an index at or beyond the vertex count " +
               std::to_string(vertex_count));
}

// Deleting the name 0 is a no-op in GL, so names a load never made (still
// 0) are skipped without a call. A deleted name is set to 0: GL may hand it
// out again, and a later load or unload must not delete that new object.
void delete_texture(GLuint& name)
{
    if (name != 0) {
        glDeleteTextures(1, &name);
        name = 0;
    }
}

void delete_framebuffer(GLuint& name)
{
    if (name != 0) {
        glDeleteFramebuffers(1, &name);
        name = 0;
    }
}

} // namespace

time_line_item_geometry::time_line_item_geometry() : state(std::make_unique<geometry_gl_state>()) {}

time_line_item_geometry::time_line_item_geometry(const time_line_item_geometry& other)
    : state(std::make_unique<geometry_gl_state>()), type(other.type), vs_src(other.vs_src), fs_src(other.fs_src),
      vertex_code(other.vertex_code), fragment_code(other.fragment_code), vertices(other.vertices),
      elements(other.elements), triggers(other.triggers)
{
    copy_shared_gl_names(*other.state, *state);
}

time_line_item_geometry& time_line_item_geometry::operator=(const time_line_item_geometry& other)
{
    if (this != &other) {
        copy_shared_gl_names(*other.state, *state);
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

bool time_line_item_geometry::parse(const nlohmann::json& effect, std::int32_t layer_width,
                                    std::int32_t layer_height)
{
    state->layer_width = layer_width;
    state->layer_height = layer_height;
    type = string_member(effect, "type");
    vs_src = string_member(effect, "vs_src");
    fs_src = string_member(effect, "fs_src");
    const auto filtering = effect.find("filtering");
    if (filtering != effect.end() && filtering->is_boolean()) {
        state->filtering = filtering->get<bool>();
    }
    const nlohmann::json* vertex_entries = array_member(effect, "vertices");
    const nlohmann::json* element_entries = array_member(effect, "elements");
    if (vertex_entries != nullptr && element_entries != nullptr) {
        for (const nlohmann::json& entry : *vertex_entries) {
            append_vertex(entry, vertices);
        }
        for (const nlohmann::json& entry : *element_entries) {
            elements.push_back(element_index(entry));
        }
    }
    triggers.parse(effect, false);
    return vertex_entries != nullptr && element_entries != nullptr;
}

bool time_line_item_geometry::load(const time_line_item& owner, demo_filesystem& fs, script_context& context,
                                   bool is_layer)
{
    state->is_layer = is_layer;
    state->owner = &owner;
    triggers.append_sources(fs, false);
    vertex_code = load_text_with_includes(vs_src, fs);
    fragment_code = load_text_with_includes(fs_src, fs);
    glGenVertexArrays(1, &state->vertex_array);
    upload();
    if (!build_effect_program(vertex_code, fragment_code, vs_src, fs_src, state->vertex_shader,
                              state->fragment_shader, state->program)) {
        delete_unfinished_program(*state);
        state->drawn_element_count = 0;
        return false;
    }
    create_effect_textures(owner, fs, state->filtering, state->texture_count, state->textures);
    if (is_layer) {
        make_layer_framebuffer();
    }
    if (!triggers.on_load_script.empty()) {
        bool taken = false;
        if (!run_exchanging(effect_trigger_kind::on_load, context, "SCRIPT GEOMETRY::ONLOAD failed to execute",
                            taken)) {
            return false;
        }
        if (taken) {
            upload();
        }
    }
    return true;
}

bool time_line_item_geometry::start(std::int32_t width, std::int32_t height, script_context& context)
{
    state->inputs_bound = false;
    script_shared_state.vertices = vertices;
    script_shared_state.elements = elements;
    if (!triggers.on_start_script.empty()) {
        bool taken = false; // start's own upload follows either way
        if (!run_exchanging(effect_trigger_kind::on_start, context, "SCRIPT GEOMETRY::ONSTART failed to execute",
                            taken)) {
            return false;
        }
    }
    glUseProgram(state->program);
    upload();
    if (state->program == 0) {
        // The load stopped before the program: only the target is bound, so
        // that a script's "clearScreen" still reaches this effect's own.
        glBindFramebuffer(GL_FRAMEBUFFER, draw_target());
        return true;
    }
    bind_effect_inputs(state->program, width, height, state->texture_count, state->textures, draw_target(),
                       state->itime_location, state->ires_location);
    state->inputs_bound = true;
    return true;
}

bool time_line_item_geometry::render(float time, script_context& context)
{
    script_shared_state.time = static_cast<double>(time);
    if (!triggers.before_render_script.empty()) {
        bool taken = false;
        if (!run_exchanging(effect_trigger_kind::before_render, context,
                            "SCRIPT GEOMETRY::BEFORERENDER failed to execute", taken)) {
            return false;
        }
        if (taken) {
            upload();
        }
    }
    // Without a start of its own that bound its program, the draw would go
    // through another effect's program into another target.
    if (state->inputs_bound) {
        glUniform1f(state->itime_location, time);
        glBindVertexArray(state->vertex_array);
        glDrawElements(GL_TRIANGLES, state->drawn_element_count, GL_UNSIGNED_INT, nullptr);
        glBindVertexArray(0);
    }
    return triggers.run(effect_trigger_kind::after_render, context, "SCRIPT GEOMETRY::AFTERRENDER failed to execute");
}

// Every name is 0 afterwards, so an unload before a retried load (the flow
// item's, after a failed load) leaves nothing that load could delete again.
bool time_line_item_geometry::unload()
{
    const std::int32_t texture_count = std::min<std::int32_t>(state->texture_count, max_effect_textures);
    for (std::int32_t i = 0; i < texture_count; ++i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, 0);
        delete_texture(state->textures[i]);
    }
    state->texture_count = 0;
    if (state->is_layer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        delete_texture(state->layer_texture);
        delete_framebuffer(state->layer_framebuffer);
    }
    delete_program_and_buffers(*state);
    return true;
}

bool time_line_item_geometry::upload()
{
    if (state->vertex_array == 0) {
        return true; // not loaded: there is no vertex array to record the buffers
    }
    const std::size_t vertex_count = vertices.size() / floats_per_vertex;
    const std::size_t prefix_end = end_of_drawable_prefix(elements, vertex_count);
    if (prefix_end == elements.size() / 3 * 3) {
        // Uploaded as they are; a trailing partial triangle goes up too but
        // is left out of the draw count.
        upload_effect_buffers(state->vertex_array, vertices, elements, state->vertex_buffer, state->element_buffer,
                              state->uploaded);
        state->drawn_element_count = static_cast<GLsizei>(prefix_end);
        return true;
    }
    std::size_t left_out = 0;
    const std::vector<std::uint32_t> drawable = drawable_triangles(elements, vertex_count, prefix_end, left_out);
    // Once per mesh: a layer uploads at every frame.
    if (!state->left_out_reported) {
        report_left_out(left_out, vertex_count);
        state->left_out_reported = true;
    }
    upload_effect_buffers(state->vertex_array, vertices, drawable, state->vertex_buffer, state->element_buffer,
                          state->uploaded);
    state->drawn_element_count = static_cast<GLsizei>(drawable.size());
    return true;
}

bool time_line_item_geometry::run_exchanging(effect_trigger_kind kind, script_context& context,
                                             const char* box_text, bool& taken)
{
    script_shared_state.geometry_changed = false;
    if (!triggers.run(kind, context, box_text)) {
        return false; // a mesh the script set before failing stays only in the shared state
    }
    taken = script_shared_state.geometry_changed;
    if (taken) {
        take_over_shared_mesh();
    }
    return true;
}

// A mesh with other elements or another vertex count gets its own warning
// about the triangles it leaves out; the same mesh set again does not.
void time_line_item_geometry::take_over_shared_mesh()
{
    if (state->left_out_reported && (script_shared_state.vertices.size() / floats_per_vertex !=
                                         vertices.size() / floats_per_vertex ||
                                     script_shared_state.elements != elements)) {
        state->left_out_reported = false;
    }
    elements = script_shared_state.elements;
    vertices = script_shared_state.vertices;
}

// A layer left at 0 by 0 (the window takes the monitor's size) takes the
// viewport that start-up set: a framebuffer of no size draws nothing.
void time_line_item_geometry::make_layer_framebuffer()
{
    GLsizei width = state->layer_width;
    GLsizei height = state->layer_height;
    if (width == 0 && height == 0) {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        width = viewport[2];
        height = viewport[3];
    }
    const GLint filter = state->filtering ? GL_LINEAR : GL_NEAREST;
    glGenFramebuffers(1, &state->layer_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, state->layer_framebuffer);
    glGenTextures(1, &state->layer_texture);
    glBindTexture(GL_TEXTURE_2D, state->layer_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, state->layer_texture, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        print_line("ERROR::FRAMEBUFFER:: Framebuffer is not complete!");
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// The window, or the layer framebuffer (still 0, the window, when the load
// stopped before making it).
GLuint time_line_item_geometry::draw_target() const
{
    return state->is_layer ? state->layer_framebuffer : 0;
}
