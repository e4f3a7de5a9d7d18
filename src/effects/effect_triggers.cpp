// effect_triggers: reading the "triggers" object, appending the script files
// and running one trigger with its error box.
#include "effects/effect_triggers.h"

#include "data/load_text_with_includes.h"
#include "platform/error_box.h"
#include "scripting/script_context.h"

#include <iostream>

namespace {

// Stores the member when it is present as a string; anything else is absent.
bool read_string(const nlohmann::json& triggers, const char* key, std::string& field)
{
    const auto member = triggers.find(key);
    if (member == triggers.end() || !member->is_string()) {
        return false;
    }
    field = member->get<std::string>();
    return true;
}

void append_file(const std::string& path, demo_filesystem& fs, std::string& script)
{
    if (!path.empty()) {
        script += "\n";
        script += load_text_with_includes(path, fs);
    }
}

void announce_found(const std::string& script, const char* trigger)
{
    if (!script.empty()) {
        std::cout << "[SCRIPTED EVENT] singleshader::" << trigger << " = found! \n";
    }
}

} // namespace

void effect_triggers::parse(const nlohmann::json& effect, bool announce)
{
    const auto triggers = effect.find("triggers");
    if (triggers == effect.end() || !triggers->is_object()) {
        return;
    }
    read_string(*triggers, "onLoad", on_load_script);
    read_string(*triggers, "onLoadSrc", on_load_src);
    read_string(*triggers, "onStart", on_start_script);
    read_string(*triggers, "onStartSrc", on_start_src);
    const bool has_before_render = read_string(*triggers, "beforeRender", before_render_script);
    read_string(*triggers, "beforeRenderSrc", before_render_src);
    if (announce) {
        std::cout << "(MULTILAYER)flow::beforeRender " << (has_before_render ? "1" : "0") << " \n";
    }
    read_string(*triggers, "afterRender", after_render_script);
    read_string(*triggers, "afterRenderSrc", after_render_src);
}

void effect_triggers::append_sources(demo_filesystem& fs, bool announce)
{
    if (!sources_appended) {
        append_file(on_load_src, fs, on_load_script);
        append_file(on_start_src, fs, on_start_script);
        append_file(before_render_src, fs, before_render_script);
        append_file(after_render_src, fs, after_render_script);
        sources_appended = true;
    }
    if (announce) {
        announce_found(on_load_script, "onLoad");
        announce_found(on_start_script, "onStart");
        announce_found(before_render_script, "beforeRender");
        announce_found(after_render_script, "afterRender");
    }
}

bool effect_triggers::run(effect_trigger_kind kind, script_context& context, const std::string& box_text) const
{
    const std::string& text = script(kind);
    if (text.empty()) {
        return true;
    }
    if (context.run(text.c_str())) {
        return true;
    }
    show_error_box(box_text);
    return false;
}

const std::string& effect_triggers::script(effect_trigger_kind kind) const
{
    switch (kind) {
    case effect_trigger_kind::on_load:
        return on_load_script;
    case effect_trigger_kind::on_start:
        return on_start_script;
    case effect_trigger_kind::before_render:
        return before_render_script;
    case effect_trigger_kind::after_render:
        break;
    }
    return after_render_script;
}
