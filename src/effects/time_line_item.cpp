// time_line_item: dispatch of every stage to the effect its type selects; a
// failed load unloads its effect before the run loop retries it.
#include "effects/time_line_item.h"

bool time_line_item::parse(const nlohmann::json& entry, std::int32_t width, std::int32_t height)
{
    bool parsed = false;
    switch (type) {
    case time_line_item_type::single_shader:
        parsed = single_shader.parse(entry);
        break;
    case time_line_item_type::geometry:
        // A geometry item draws into the window: the layer size is unused.
        parsed = geometry.parse(entry, 0, 0);
        break;
    case time_line_item_type::layers:
        parsed = layers.parse(entry, width, height);
        break;
    case time_line_item_type::none:
        break;
    }
    const auto effect_name = entry.find("effectName");
    if (effect_name != entry.end() && effect_name->is_string()) {
        name = effect_name->get<std::string>();
    }
    return parsed;
}

bool time_line_item::load(demo_filesystem& fs, script_context& context)
{
    switch (type) {
    case time_line_item_type::single_shader:
        loaded = single_shader.load(*this, fs, context);
        break;
    case time_line_item_type::geometry:
        loaded = geometry.load(*this, fs, context, false);
        break;
    case time_line_item_type::layers:
        loaded = layers.load(*this, fs, context);
        break;
    case time_line_item_type::none:
        loaded = false;
        break;
    }
    if (!loaded) {
        // The run loop retries a failed load in a later frame, and every
        // attempt makes its objects anew. What this one left (a failing onLoad
        // trigger comes after the program and the textures exist) is held by
        // this item alone, so it goes now.
        unload_effect();
    }
    return loaded;
}

bool time_line_item::start(std::int32_t width, std::int32_t height, script_context& context)
{
    if (!loaded) {
        return false;
    }
    if (started) {
        return true;
    }
    switch (type) {
    case time_line_item_type::single_shader:
        started = single_shader.start(width, height, context);
        break;
    case time_line_item_type::geometry:
        started = geometry.start(width, height, context);
        break;
    case time_line_item_type::layers:
        started = layers.start(width, height, context);
        break;
    case time_line_item_type::none:
        break;
    }
    return started;
}

bool time_line_item::render(float time, script_context& context)
{
    switch (type) {
    case time_line_item_type::single_shader:
        return single_shader.render(time, context);
    case time_line_item_type::geometry:
        return geometry.render(time, context);
    case time_line_item_type::layers:
        return layers.render(time, context);
    case time_line_item_type::none:
        break;
    }
    return false;
}

bool time_line_item::unload()
{
    const bool unloaded = unload_effect();
    loaded = false;
    return unloaded;
}

bool time_line_item::is_loaded() const
{
    return loaded;
}

bool time_line_item::unload_effect()
{
    bool unloaded = true;
    switch (type) {
    case time_line_item_type::single_shader:
        unloaded = single_shader.unload();
        break;
    case time_line_item_type::geometry:
        unloaded = geometry.unload();
        break;
    case time_line_item_type::layers:
        unloaded = layers.unload();
        break;
    case time_line_item_type::none:
        break;
    }
    return unloaded;
}
