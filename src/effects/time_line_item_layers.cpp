// time_line_item_layers: parse of the layer list, load of every layer and the
// final pass, and the frame: every layer started and drawn into its own
// texture, then the final pass with the layer images on the units after its
// own textures. Copies draw with their source's GL objects.
#include "effects/time_line_item_layers.h"

#include "platform/print_line.h"

namespace {

// The string under key, or empty when it is missing or not a string.
std::string string_member(const nlohmann::json& object, const char* key)
{
    const auto member = object.find(key);
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

} // namespace

time_line_item_layers::time_line_item_layers() : state(std::make_unique<layers_state>()) {}

time_line_item_layers::time_line_item_layers(const time_line_item_layers& other)
    : state(std::make_unique<layers_state>())
{
    *this = other;
}

time_line_item_layers& time_line_item_layers::operator=(const time_line_item_layers& other)
{
    if (this != &other) {
        *state = *other.state; // layers and final pass by their own copy rules
        triggers = other.triggers;
    }
    return *this;
}

time_line_item_layers::~time_line_item_layers() = default;

bool time_line_item_layers::parse(const nlohmann::json& entry, std::int32_t width, std::int32_t height)
{
    print_line("-- Preloading MultiLayer effect");
    const auto filtering = entry.find("filtering");
    if (filtering != entry.end() && filtering->is_boolean()) {
        state->filtering = filtering->get<bool>();
    }
    // Without a string path the final shader text is empty and fails to compile.
    state->final_pass.src = string_member(entry, "final_fs");
    const auto layers = entry.find("layers");
    if (layers == entry.end() || !layers->is_array()) {
        return false;
    }
    for (const nlohmann::json& description : *layers) {
        time_line_item_geometry layer;
        if (!description.is_object() || !layer.parse(description, width, height)) {
            print_line("-- error: broken layer");
            return false;
        }
        state->layers.push_back(layer);
    }
    triggers.parse(entry, false);
    return true;
}

bool time_line_item_layers::load(const time_line_item& owner, demo_filesystem& fs, script_context& context)
{
    triggers.append_sources(fs, false);
    // A layer or final pass that fails to load reports it itself; the effect goes on.
    for (time_line_item_geometry& layer : state->layers) {
        layer.load(owner, fs, context, true);
    }
    state->final_pass.set_filtering(state->filtering);
    state->final_pass.load(owner, fs, context);
    return triggers.run(effect_trigger_kind::on_load, context, "SCRIPT MULTILAYERED::ONLOAD failed to execute");
}

bool time_line_item_layers::start(std::int32_t width, std::int32_t height, script_context& context)
{
    state->width = width;
    state->height = height;
    return triggers.run(effect_trigger_kind::on_start, context, "SCRIPT MULTILAYERED::ONSTART failed to execute");
}

bool time_line_item_layers::render(float time, script_context& context)
{
    if (!triggers.run(effect_trigger_kind::before_render, context,
                      "SCRIPT MULTILAYERED::BEFORERENDER failed to execute")) {
        return false;
    }
    // Every layer is started anew each frame; a failing one does not stop the rest.
    for (time_line_item_geometry& layer : state->layers) {
        layer.start(state->width, state->height, context);
        layer.render(time, context);
    }
    time_line_item_single_shader& final_pass = state->final_pass;
    final_pass.clear_layer_textures();
    final_pass.start(state->width, state->height, context);
    for (const time_line_item_geometry& layer : state->layers) {
        final_pass.bind_layer_texture(layer.get_layer_texture());
    }
    final_pass.render(time, context);
    return triggers.run(effect_trigger_kind::after_render, context,
                        "SCRIPT MULTILAYERED::AFTERRENDER failed to execute");
}

bool time_line_item_layers::unload()
{
    for (time_line_item_geometry& layer : state->layers) {
        layer.unload();
    }
    state->final_pass.unload();
    return true;
}
