// demo_config: loads "data/demo.json" (strict JSON) and interprets its
// "configuration", "assets" and "flow". Depends on script_context,
// load_text_with_includes, demo_assets, time_line_item and nlohmann/json.
#include "engine/demo_config.h"

#include "data/load_text_with_includes.h"
#include "data/number_conversion.h"
#include "platform/print_line.h"

#include <cstdint>
#include <iostream>
#include <sstream>

namespace {

using json = nlohmann::json;

const char* const description_path = "data/demo.json";

// A typed presence test: the member exists and has that JSON type (null is
// of no type). Numbers are integers and doubles alike, never booleans.
const json* find_member(const json& object, const char* key, json::value_t type)
{
    if (!object.is_object())
        return nullptr;
    const auto member = object.find(key);
    if (member == object.end())
        return nullptr;
    if (type == json::value_t::number_float)
        return member->is_number() ? &*member : nullptr;
    return member->type() == type ? &*member : nullptr;
}

const json* find_boolean(const json& object, const char* key)
{
    return find_member(object, key, json::value_t::boolean);
}

const json* find_number(const json& object, const char* key)
{
    return find_member(object, key, json::value_t::number_float);
}

const json* find_string(const json& object, const char* key)
{
    return find_member(object, key, json::value_t::string);
}

std::string string_or(const json* member, const char* fallback)
{
    return member ? member->get<std::string>() : std::string(fallback);
}

// Truncated toward zero to 64 bits, keeping the low 32 bits; a value outside
// the 64-bit range gives 0 instead of an undefined conversion.
std::int32_t to_low_32_bits(double value)
{
    return static_cast<std::int32_t>(low_32_bits_of_truncation(value));
}

// Appends "\n" and the text of the script file named by path to script.
void append_script_file(std::string& script, const json* path, demo_filesystem& fs)
{
    if (!path)
        return;
    script += "\n";
    script += load_text_with_includes(path->get<std::string>(), fs);
}

// Records the parser's message for a text that is not valid JSON; every
// other event is accepted and discarded.
class parse_error_recorder : public json::json_sax_t {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override
    {
        message = error.what();
        return false;
    }

    std::string message; // what the parser reported
};

std::string parse_error_message(const std::string& text)
{
    parse_error_recorder recorder;
    json::sax_parse(text, &recorder);
    return recorder.message;
}

// The effect kind named by "effect"; none for a kind this player lacks.
time_line_item_type effect_type(const std::string& effect)
{
    if (effect == "single_shader")
        return time_line_item_type::single_shader;
    if (effect == "geometry")
        return time_line_item_type::geometry;
    if (effect == "layers")
        return time_line_item_type::layers;
    return time_line_item_type::none;
}

// The "* Loading Effect" line of an entry of a known kind.
std::string loading_line(time_line_item_type type, const json& entry)
{
    switch (type) {
    case time_line_item_type::single_shader:
        return "* Loading Effect (Single Shader): " + string_or(find_string(entry, "src"), "");
    case time_line_item_type::geometry:
        return "* Loading Effect (Geometry): " + string_or(find_string(entry, "effectName"), "Unnamed Geometry Flow");
    case time_line_item_type::layers:
        return "* Loading Effect (MultiLayer): " + string_or(find_string(entry, "effectName"), "");
    case time_line_item_type::none:
        break;
    }
    return std::string();
}

// Points the item at the first texture asset of each name that the entry's
// "textures" references, in order; unknown names and malformed references
// are left out.
void resolve_textures(const json& entry, demo_assets& assets, time_line_item& item)
{
    const json* references = find_member(entry, "textures", json::value_t::array);
    if (!references)
        return;
    for (const json& reference : *references) {
        const json* ref = find_string(reference, "ref");
        if (!ref)
            continue;
        const std::string& name = ref->get_ref<const std::string&>();
        for (texture_asset& texture : assets.textures) {
            if (texture.name == name) {
                item.textures.push_back(&texture);
                break;
            }
        }
    }
}

// Reads every "flow" entry into the pending list; see demo_config::parse.
bool parse_flow(demo_config& config)
{
    const json* flow = find_member(config.json, "flow", json::value_t::array);
    if (!flow)
        return false;
    bool result = true;
    float expected_time = 0.0f;
    for (const json& entry : *flow) {
        const json* start = find_number(entry, "start");
        const json* end = find_number(entry, "end");
        const json* effect = find_string(entry, "effect");
        if (!start || !end || !effect)
            return false;
        const float end_time = to_float(end->get<double>());
        if (end_time > expected_time)
            expected_time = end_time;

        time_line_item item;
        item.start_time = to_float(start->get<double>());
        item.end = end_time;
        item.type = effect_type(effect->get<std::string>());
        if (item.type == time_line_item_type::none)
            continue;
        print_line(loading_line(item.type, entry));
        if (!item.parse(entry, config.width, config.height)) {
            // The next console output continues this line.
            std::cout << "ERR: preloading of the last flow has failed!" << std::flush;
            result = false;
            continue;
        }
        resolve_textures(entry, config.assets, item);
        config.timeline.pending.push_back(item);
    }
    if (result) {
        std::ostringstream line;
        line << "Demo Flow parsed successfully [ ITEMS = " << config.timeline.pending.size()
             << "; EXPECTED demo time = " << static_cast<double>(expected_time) << "s ]";
        print_line(line.str());
    }
    return result;
}

} // namespace

bool demo_config::load(demo_filesystem& fs)
{
    if (loaded)
        return true;
    filesystem = &fs;
    // The one exception handler of the player: whatever the engine start,
    // the reads, the JSON library or the interpretation throw fails the load.
    try {
        if (!scripting.init())
            return false;
        const std::string text = load_text_with_includes(description_path, *filesystem);
        // A missing file reads as an empty text: the empty description.
        if (!text.empty()) {
            nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
            if (parsed.is_discarded()) {
                print_line(std::string("ERROR: ") + description_path +
                           " is not valid JSON: " + parse_error_message(text));
                return false;
            }
            if (parsed.is_object())
                json = std::move(parsed);
        }
        loaded = parse();
    } catch (...) {
        loaded = false;
    }
    return loaded;
}

bool demo_config::parse()
{
    if (!filesystem)
        return false;
    if (!parse_configuration(json, *this, *filesystem))
        return false;
    print_line("Config parsed successfully");
    if (!parse_assets(json, assets))
        return false;
    print_line("Assets parsed successfully [ AUDIO = " + std::to_string(assets.music.size()) +
               " TEXTURES = " + std::to_string(assets.textures.size()) + " ]");
    return parse_flow(*this);
}

void demo_config::unload()
{
    scripting.cleanup();
    loaded = false;
}

bool demo_config::is_loaded() const
{
    return loaded;
}

bool parse_configuration(const nlohmann::json& description, demo_config& config, demo_filesystem& fs)
{
    const json* configuration = find_member(description, "configuration", json::value_t::object);
    if (!configuration)
        return false;
    // Every key is tested before anything is assigned.
    const json* native_screen = find_boolean(*configuration, "nativeScreen");
    const json* windowed = find_boolean(*configuration, "windowed");
    const json* pre_load_all = find_boolean(*configuration, "preLoadAll");
    const json* default_music = find_string(*configuration, "defaultMusic");
    const json* on_load = find_string(*configuration, "onLoad");
    const json* on_load_src = find_string(*configuration, "onLoadSrc");
    const json* on_start = find_string(*configuration, "onStart");
    const json* on_start_src = find_string(*configuration, "onStartSrc");

    if (pre_load_all)
        config.pre_load_all = pre_load_all->get<bool>();
    if (native_screen)
        config.native_screen = native_screen->get<bool>();
    if (windowed)
        config.windowed = windowed->get<bool>();

    bool size_given = true;
    if (!config.native_screen) {
        const json* width = find_number(*configuration, "width");
        const json* height = find_number(*configuration, "height");
        size_given = width && height;
        if (size_given) {
            config.width = to_low_32_bits(width->get<double>());
            config.height = to_low_32_bits(height->get<double>());
        }
    }

    // Applied whatever the size rule said.
    if (default_music)
        config.default_music = default_music->get<std::string>();
    if (on_load)
        config.on_load_script = on_load->get<std::string>();
    append_script_file(config.on_load_script, on_load_src, fs);
    if (on_start)
        config.on_start_script = on_start->get<std::string>();
    append_script_file(config.on_start_script, on_start_src, fs);
    return size_given;
}
