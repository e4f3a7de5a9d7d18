// time_line_item_layers: geometry layers drawn each into its own texture,
// then combined by a final single-shader pass over the window.
// Main thread only, context current (parse excepted).
#pragma once

#include "effects/effect_triggers.h"
#include "effects/time_line_item_geometry.h"
#include "effects/time_line_item_single_shader.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <vector>

class demo_filesystem;
class script_context;
class time_line_item;

struct layers_state {
    std::vector<time_line_item_geometry> layers; // drawn in order; layer k's image on final-pass unit n + k
    time_line_item_single_shader final_pass;     // combines the layers over the window
    std::int32_t width = 0;                      // size handed to every start; set by start
    std::int32_t height = 0;                     // likewise
    bool filtering = true;                       // filtering of the final pass's own textures
};

class time_line_item_layers {
public:
    time_line_item_layers();
    time_line_item_layers(const time_line_item_layers& other);
    time_line_item_layers& operator=(const time_line_item_layers& other);
    virtual ~time_line_item_layers();

    bool parse(const nlohmann::json& entry, std::int32_t width, std::int32_t height);
    bool load(const time_line_item& owner, demo_filesystem& fs, script_context& context);
    bool start(std::int32_t width, std::int32_t height, script_context& context);
    bool render(float time, script_context& context);
    bool unload();

    std::unique_ptr<layers_state> state; // never null; never shared
    effect_triggers triggers;            // the effect's own trigger scripts
};
