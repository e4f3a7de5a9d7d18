// time_line_item_single_shader: the effect's stages (parse, load, start,
// render, unload), the final-pass operations and the copy rules; a copy shares
// its source's GL names and makes its own buffer pair at first upload. Uses
// effect_gl_resources, effect_triggers and load_text_with_includes.
#include "effects/time_line_item_single_shader.h"

#include "data/load_text_with_includes.h"
#include "effects/time_line_item.h"

#include <cstdio>

const std::array<float, 32> full_screen_quad = {
    -1.0f, 1.0f,  0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, // top left
    1.0f,  1.0f,  0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, // top right
    1.0f,  -1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, // bottom right
    -1.0f, -1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f, // bottom left
};

namespace {

const char* const base_vertex_shader = "data/base3.vs"; // the quad's fixed vertex shader
const std::vector<std::uint32_t> quad_indices = {0, 1, 2, 2, 3, 0}; // two triangles over the quad

} // namespace

time_line_item_single_shader::time_line_item_single_shader() : state(std::make_unique<single_shader_gl_state>()) {}

time_line_item_single_shader::time_line_item_single_shader(const time_line_item_single_shader& other)
    : state(std::make_unique<single_shader_gl_state>()), src(other.src), vertex_code(other.vertex_code),
      fragment_code(other.fragment_code), triggers(other.triggers), vertices(other.vertices), indices(other.indices)
{
    copy_shared_gl_names(*other.state, *state);
}

time_line_item_single_shader& time_line_item_single_shader::operator=(const time_line_item_single_shader& other)
{
    if (this != &other) {
        copy_shared_gl_names(*other.state, *state);
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

bool time_line_item_single_shader::parse(const nlohmann::json& entry)
{
    const auto filtering = entry.find("filtering");
    if (filtering != entry.end() && filtering->is_boolean()) {
        state->filtering = filtering->get<bool>();
    }
    // Without a string path the shader text is empty and fails to compile.
    const auto path = entry.find("src");
    src = path != entry.end() && path->is_string() ? path->get<std::string>() : std::string();
    triggers.parse(entry, true);
    return true;
}

bool time_line_item_single_shader::load(const time_line_item& owner, demo_filesystem& fs, script_context& context)
{
    triggers.append_sources(fs, true);
    state->owner = &owner;
    const bool filtering = state->filtering;
    vertex_code = load_text_with_includes(base_vertex_shader, fs);
    fragment_code = load_text_with_includes(src, fs);
    vertices.assign(full_screen_quad.begin(), full_screen_quad.end());
    indices = quad_indices;
    glGenVertexArrays(1, &state->vertex_array);
    upload();
    if (!build_effect_program(vertex_code, fragment_code, "VERTEX", src, state->vertex_shader, state->fragment_shader,
                              state->program)) {
        delete_unfinished_program(*state);
        return false;
    }
    create_effect_textures(owner, fs, filtering, state->texture_count, state->textures);
    return triggers.run(effect_trigger_kind::on_load, context, "SCRIPT SINGLE::ONLOAD failed to execute");
}

bool time_line_item_single_shader::upload()
{
    if (state->vertex_array == 0) {
        return true; // not loaded, or the load built no program: no vertex array to record the buffers
    }
    return upload_effect_buffers(state->vertex_array, vertices, indices, state->vertex_buffer, state->element_buffer,
                                 state->uploaded);
}

bool time_line_item_single_shader::start(std::int32_t width, std::int32_t height, script_context& context)
{
    state->start_succeeded = false;
    if (!triggers.run(effect_trigger_kind::on_start, context, "SCRIPT SINGLE::ONSTART failed to execute")) {
        return false;
    }
    upload();
    glUseProgram(state->program);
    if (state->program == 0) {
        // A final pass whose load failed: only the window is bound, so that
        // its render still clears it.
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    } else {
        bind_effect_inputs(state->program, width, height, state->texture_count, state->textures, 0,
                           state->itime_location, state->ires_location);
    }
    state->start_succeeded = true;
    return true;
}

bool time_line_item_single_shader::render(float time, script_context& context)
{
    if (!triggers.run(effect_trigger_kind::before_render, context, "SCRIPT SINGLE::BEFORERENDER failed to execute")) {
        return false;
    }
    // Without a start of its own, the clear and the draw would go through
    // another effect's program into another effect's target.
    if (state->start_succeeded) {
        draw_quad(time);
    }
    return triggers.run(effect_trigger_kind::after_render, context, "SCRIPT SINGLE::AFTERRENDER failed to execute");
}

// Clears the window to opaque black and draws the quad with the program the
// last start made current; a load that built no program draws nothing.
void time_line_item_single_shader::draw_quad(float time) const
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (state->program == 0) {
        return;
    }
    glUniform1f(state->itime_location, time);
    glBindVertexArray(state->vertex_array);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
}

bool time_line_item_single_shader::unload()
{
    // Names that were never made are 0, which GL ignores. Each name is cleared
    // once deleted, so a second unload cannot delete a name GL has reused.
    for (std::int32_t i = 0; i < state->texture_count; ++i) {
        glDeleteTextures(1, &state->textures[i]);
        state->textures[i] = 0;
    }
    state->texture_count = 0;
    delete_program_and_buffers(*state);
    return true;
}

void time_line_item_single_shader::set_filtering(bool filtering) { state->filtering = filtering; }

void time_line_item_single_shader::clear_layer_textures() { state->bound_layer_textures.clear(); }

bool time_line_item_single_shader::bind_layer_texture(GLuint texture)
{
    // Layer images follow the effect's own textures on the next free unit.
    const GLenum unit = GL_TEXTURE0 + static_cast<GLenum>(state->texture_count) +
                        static_cast<GLenum>(state->bound_layer_textures.size());
    glActiveTexture(unit);
    state->bound_layer_textures.push_back(texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    return true;
}

void time_line_item_single_shader::dump_vertices() const
{
    std::printf("DEBUG VERTICES: ");
    for (const float value : vertices) {
        std::printf("%f, ", static_cast<double>(value));
    }
    std::printf("\n");
}
