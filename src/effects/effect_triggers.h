// effect_triggers: the four trigger scripts of one effect (onLoad, onStart,
// beforeRender, afterRender), each the description's inline text followed by
// its script file's text. Depends on load_text_with_includes, script_context
// and show_error_box.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

class demo_filesystem;
class script_context;

enum class effect_trigger_kind { on_load, on_start, before_render, after_render };

class effect_triggers {
public:
    // Reads the "triggers" object of an effect; one that is missing or not an
    // object leaves every field empty. With announce, writes the
    // "(MULTILAYER)flow::beforeRender " line.
    void parse(const nlohmann::json& effect, bool announce);

    // Appends "\n" and each named file's text to its script, once in the life
    // of the record and its copies. With announce, writes one
    // "[SCRIPTED EVENT] singleshader::..." line per non-empty script.
    void append_sources(demo_filesystem& fs, bool announce);

    // Runs the selected script; true when it is empty or ran. On failure shows
    // the box text and gives false once the box is closed.
    bool run(effect_trigger_kind kind, script_context& context, const std::string& box_text) const;

    std::string on_load_script;       // run by onLoad: "onLoad", then "\n" and the onLoadSrc file
    std::string on_start_script;      // run by onStart: "onStart", then "\n" and the onStartSrc file
    std::string before_render_script; // run by beforeRender: "beforeRender", then "\n" and its file
    std::string after_render_script;  // run by afterRender: "afterRender", then "\n" and its file
    std::string on_load_src;          // path of the onLoad script file ("onLoadSrc"), or empty
    std::string on_start_src;         // path of the onStart script file ("onStartSrc"), or empty
    std::string before_render_src;    // path of the beforeRender script file ("beforeRenderSrc"), or empty
    std::string after_render_src;     // path of the afterRender script file ("afterRenderSrc"), or empty

private:
    const std::string& script(effect_trigger_kind kind) const;

    bool sources_appended = false; // the files' texts are in the scripts; copied with the record
};
