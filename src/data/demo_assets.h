// demo_assets: the texture and music assets declared under "assets" in the
// demo description, in description order, and the parsers that fill them.
// Depends on texture_asset, audio_asset and nlohmann/json.
#pragma once

#include "data/audio_asset.h"
#include "data/texture_asset.h"

#include <nlohmann/json.hpp>
#include <vector>

class demo_assets {
public:
    std::vector<texture_asset> textures; // "textures" declarations; flow items point into it, so it never changes after parsing
    std::vector<audio_asset> music;      // "music" declarations; destroyed before the textures
};

// Reads "assets" of the description: "music" first, then "textures".
// False when "assets" is not an object or an element is bad; the bad list
// writes its ERR line. Elements before a bad one stay appended.
bool parse_assets(const nlohmann::json& description, demo_assets& assets);
bool parse_music_assets(const nlohmann::json& description, demo_assets& assets);
bool parse_texture_assets(const nlohmann::json& description, demo_assets& assets);
