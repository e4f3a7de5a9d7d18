// time_line_item: one "flow" entry: its times, effect kind, display name and
// textures, and one effect of each kind, of which only the selected one is
// ever used. Keeps the loaded and started flags that the run loop relies on.
#pragma once

#include "effects/time_line_item_geometry.h"
#include "effects/time_line_item_layers.h"
#include "effects/time_line_item_single_shader.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

class demo_filesystem;
class script_context;
class texture_asset;

// 0 is an item that the description reader has not given a kind yet.
enum class time_line_item_type : std::int32_t { none = 0, single_shader = 1, geometry = 2, layers = 3 };

class time_line_item {
public:
    time_line_item() = default;
    time_line_item(const time_line_item&) = default;
    time_line_item& operator=(const time_line_item&) = default;
    ~time_line_item() = default;

    bool parse(const nlohmann::json& entry, std::int32_t width, std::int32_t height);
    bool load(demo_filesystem& fs, script_context& context);
    bool start(std::int32_t width, std::int32_t height, script_context& context);
    bool render(float time, script_context& context);
    bool unload();
    bool is_loaded() const;

    float start_time = 0.0f;                                     // "start": seconds since the run's start time
    float end = 0.0f;                                            // "end": seconds
    time_line_item_type type = time_line_item_type::none;          // "effect"
    std::string name;                                            // "effectName" when a string, else empty
    std::vector<texture_asset*> textures;                        // referenced assets, in order; not owned
    time_line_item_single_shader single_shader;                  // used when type is single_shader
    time_line_item_geometry geometry;                            // used when type is geometry
    time_line_item_layers layers;                                // used when type is layers
    bool loaded = false;                                         // the effect is loaded
    bool started = false;                                        // the effect has started successfully

private:
    bool unload_effect();
};
