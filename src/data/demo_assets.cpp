// demo_assets: reading the "music" and "textures" declarations of the demo
// description into asset lists. Depends on nlohmann/json and print_line.
#include "data/demo_assets.h"

#include "platform/print_line.h"

namespace {

// A typed presence test: the member exists and has that JSON type.
const nlohmann::json* find_member(const nlohmann::json& object, const char* key, nlohmann::json::value_t type)
{
    if (!object.is_object())
        return nullptr;
    const auto member = object.find(key);
    return member != object.end() && member->type() == type ? &*member : nullptr;
}

const nlohmann::json* find_string(const nlohmann::json& object, const char* key)
{
    return find_member(object, key, nlohmann::json::value_t::string);
}

// One algorithm for both lists: every element must be an object with string
// "ref" and "path"; the first bad element ends the list with false.
template <typename asset_type>
bool parse_asset_list(const nlohmann::json& list, std::vector<asset_type>& target)
{
    for (const nlohmann::json& element : list) {
        const nlohmann::json* ref = find_string(element, "ref");
        if (!ref)
            return false;
        const nlohmann::json* path = find_string(element, "path");
        if (!path)
            return false;
        asset_type asset;
        asset.name = ref->get<std::string>();
        asset.path = path->get<std::string>();
        target.push_back(asset);
    }
    return true;
}

const nlohmann::json* find_list(const nlohmann::json& description, const char* key)
{
    const nlohmann::json* assets = find_member(description, "assets", nlohmann::json::value_t::object);
    return assets ? find_member(*assets, key, nlohmann::json::value_t::array) : nullptr;
}

} // namespace

bool parse_music_assets(const nlohmann::json& description, demo_assets& assets)
{
    const nlohmann::json* list = find_list(description, "music");
    return !list || parse_asset_list(*list, assets.music);
}

bool parse_texture_assets(const nlohmann::json& description, demo_assets& assets)
{
    const nlohmann::json* list = find_list(description, "textures");
    return !list || parse_asset_list(*list, assets.textures);
}

bool parse_assets(const nlohmann::json& description, demo_assets& assets)
{
    if (!find_member(description, "assets", nlohmann::json::value_t::object))
        return false;
    if (!parse_music_assets(description, assets)) {
        print_line("ERR: failed to parse sound assets!");
        return false;
    }
    if (!parse_texture_assets(description, assets)) {
        print_line("ERR: failed to parse texture assets!");
        return false;
    }
    return true;
}
