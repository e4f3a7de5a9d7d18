// demo_config: reads "data/demo.json" and holds what it says: configuration
// values and scripts, the assets and the pending flow items, with the script
// engine's ready flag and the parsed description. Leading part of demo_engine.
#pragma once

#include "data/demo_assets.h"
#include "engine/time_line.h"
#include "scripting/script_context.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

class demo_filesystem;

class demo_config {
public:
    // Starts the script engine and reads and interprets the description; a
    // second call after a successful one reads nothing. Returns loaded.
    bool load(demo_filesystem& fs);
    // Interprets "configuration", "assets" and "flow" of json, in that order.
    bool parse();
    // Stops the script engine and clears loaded.
    void unload();
    bool is_loaded() const;

    bool native_screen = true;        // window of the primary monitor's current video mode ("nativeScreen")
    bool windowed = false;            // desktop window instead of full screen ("windowed")
    std::int32_t width = 0;           // configured window width ("width"); handed to every item's parse
    std::int32_t height = 0;          // configured window height ("height"); likewise
    bool pre_load_all = true;         // load every texture and item before the clock starts ("preLoadAll")
    std::string default_music;        // "ref" of the music to play ("defaultMusic")
    std::string on_load_script;       // "onLoad", then "\n" and the "onLoadSrc" file
    std::string on_start_script;      // "onStart", then "\n" and the "onStartSrc" file
    script_context scripting;         // the script engine's ready flag
    demo_assets assets;               // "assets": textures and music
    time_line timeline;               // the pending list filled from "flow"; destroyed before assets
    bool loaded = false;              // the description was read and interpreted without a failure
    nlohmann::json json = nlohmann::json::object(); // the parsed description
    demo_filesystem* filesystem = nullptr;          // source of the description and script files; not owned
};

// Reads "configuration" into config, the script files through fs. False when
// it is missing or not an object, or when the window size rule fails.
bool parse_configuration(const nlohmann::json& description, demo_config& config, demo_filesystem& fs);
