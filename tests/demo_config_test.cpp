// Reading "data/demo.json": the configuration rules, the asset and flow
// sections with their exact console lines, in loose files and in "demo.dat",
// and what the pending list holds afterwards.
#include "data/demo_filesystem.h"
#include "engine/demo_config.h"
#include "scripting/script_context.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using file_list = std::vector<std::pair<std::string, std::string>>; // (path, content)

// The configuration fields in one comparable line.
std::string describe(const demo_config& config)
{
    std::ostringstream out;
    out << "native=" << config.native_screen << " windowed=" << config.windowed << " size=" << config.width << "x"
        << config.height << " preload=" << config.pre_load_all << " music='" << config.default_music << "' onLoad='"
        << config.on_load_script << "' onStart='" << config.on_start_script << "'";
    return out.str();
}

const char* const defaults = "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='' onStart=''";

const char* type_name(time_line_item_type type)
{
    switch (type) {
    case time_line_item_type::single_shader:
        return "single_shader";
    case time_line_item_type::geometry:
        return "geometry";
    case time_line_item_type::layers:
        return "layers";
    case time_line_item_type::none:
        break;
    }
    return "none";
}

// One line per pending item: kind, display name and times.
std::vector<std::string> describe(const std::vector<time_line_item>& items)
{
    std::vector<std::string> out;
    for (const time_line_item& item : items) {
        std::ostringstream line;
        line << type_name(item.type) << " '" << item.name << "' " << item.start_time << "-" << item.end;
        out.push_back(line.str());
    }
    return out;
}

// What the script engine's start writes; every load begins with it.
const std::string& engine_start_output()
{
    static const std::string output = [] {
        console_capture console;
        script_context context;
        context.init();
        context.cleanup();
        return console.take();
    }();
    return output;
}

// ---------------------------------------------------------------------------
// parse_configuration alone, on loose files.

struct configuration_case {
    const char* label;
    const char* description; // the whole demo description
    file_list files;         // script files beside it
    bool result;
    const char* fields;      // describe() of the configuration afterwards
    const char* console;     // what the reads wrote
};

void PrintTo(const configuration_case& c, std::ostream* out) { *out << c.label; }

const configuration_case configuration_cases[] = {
    {"no_configuration", R"({"assets": {}})", {}, false, defaults, ""},
    {"configuration_array", R"({"configuration": [{"windowed": true}]})", {}, false, defaults, ""},
    {"configuration_null", R"({"configuration": null})", {}, false, defaults, ""},
    {"empty_configuration", R"({"configuration": {}})", {}, true, defaults, ""},
    {"every_key",
     R"({"configuration": {"nativeScreen": false, "windowed": true, "preLoadAll": false, "width": 640,
         "height": 480, "defaultMusic": "song", "onLoad": "a();", "onStart": "b();", "other": 1}})",
     {}, true, "native=0 windowed=1 size=640x480 preload=0 music='song' onLoad='a();' onStart='b();'", ""},
    {"size_ignored_without_native_screen", R"({"configuration": {"width": 640, "height": 480}})", {}, true,
     defaults, ""},
    {"size_ignored_with_native_screen", R"({"configuration": {"nativeScreen": true, "width": 640, "height": 480}})",
     {}, true, defaults, ""},
    {"native_screen_number_counts_as_absent", R"({"configuration": {"nativeScreen": 0, "width": 640, "height": 480}})",
     {}, true, defaults, ""},
    {"width_without_height_keeps_going",
     R"({"configuration": {"nativeScreen": false, "width": 640, "defaultMusic": "m", "onLoad": "a();",
         "onLoadSrc": "load.js", "onStart": "b();"}})",
     {{"load.js", "l();"}}, false, "native=0 windowed=0 size=0x0 preload=1 music='m' onLoad='a();\nl();\n' onStart='b();'",
     ""},
    {"width_not_a_number", R"({"configuration": {"nativeScreen": false, "width": "640", "height": 480}})", {}, false,
     "native=0 windowed=0 size=0x0 preload=1 music='' onLoad='' onStart=''", ""},
    {"height_null", R"({"configuration": {"nativeScreen": false, "width": 640, "height": null}})", {}, false,
     "native=0 windowed=0 size=0x0 preload=1 music='' onLoad='' onStart=''", ""},
    {"size_truncated_toward_zero", R"({"configuration": {"nativeScreen": false, "width": -3.7, "height": 2.9}})", {},
     true, "native=0 windowed=0 size=-3x2 preload=1 music='' onLoad='' onStart=''", ""},
    {"size_keeps_low_32_bits",
     R"({"configuration": {"nativeScreen": false, "width": 4294967297, "height": 2147483648}})", {}, true,
     "native=0 windowed=0 size=1x-2147483648 preload=1 music='' onLoad='' onStart=''", ""},
    {"size_beyond_64_bits_is_zero",
     R"({"configuration": {"nativeScreen": false, "width": 10000000000000000000, "height": -1e300}})", {}, true,
     "native=0 windowed=0 size=0x0 preload=1 music='' onLoad='' onStart=''", ""},
    {"wrong_types_change_nothing",
     R"({"configuration": {"windowed": "yes", "preLoadAll": 0, "defaultMusic": 5, "onLoad": null,
         "onStart": ["b();"], "onLoadSrc": 3, "onStartSrc": {}}})",
     {}, true, defaults, ""},
    {"script_file_alone", R"({"configuration": {"onLoadSrc": "scripts/load.js"}})",
     {{"scripts/load.js", "one();\ntwo();"}}, true,
     "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='\none();\ntwo();\n' onStart=''", ""},
    {"inline_then_file",
     R"({"configuration": {"onStartSrc": "start.js", "onStart": "first();", "onLoad": "a();"}})",
     {{"start.js", "second();\n"}}, true,
     "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='a();' onStart='first();\nsecond();\n'", ""},
    {"missing_file_still_adds_line_end", R"({"configuration": {"onLoad": "a();", "onLoadSrc": "none.js"}})", {}, true,
     "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='a();\n' onStart=''",
     "ERROR(FILE_NOT_FOUND):none.js\n"},
    {"load_file_read_before_start_file", R"({"configuration": {"onStartSrc": "s.js", "onLoadSrc": "l.js"}})", {}, true,
     "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='\n' onStart='\n'",
     "ERROR(FILE_NOT_FOUND):l.js\nERROR(FILE_NOT_FOUND):s.js\n"},
    {"script_file_includes", R"({"configuration": {"onStartSrc": "js/start.js"}})",
     {{"js/start.js", "#include lib.js\nrun();"}, {"js/lib.js", "lib();"}}, true,
     "native=1 windowed=0 size=0x0 preload=1 music='' onLoad='' onStart='\nlib();\nrun();\n'", ""},
};

class parse_configuration_table : public testing::TestWithParam<configuration_case> {};

TEST_P(parse_configuration_table, assigns_fields_and_reads_files)
{
    const configuration_case& c = GetParam();
    temp_dir folder;
    for (const auto& [path, content] : c.files)
        folder.write(path, content);
    demo_filesystem fs;
    demo_config config;
    const nlohmann::json description = nlohmann::json::parse(c.description);
    console_capture console;
    EXPECT_EQ(parse_configuration(description, config, fs), c.result);
    EXPECT_EQ(console.take(), c.console);
    EXPECT_EQ(describe(config), c.fields);
}

INSTANTIATE_TEST_SUITE_P(rules, parse_configuration_table, testing::ValuesIn(configuration_cases),
                         [](const testing::TestParamInfo<configuration_case>& info) { return info.param.label; });

TEST(parse_configuration, missing_configuration_leaves_set_fields)
{
    temp_dir folder;
    demo_filesystem fs;
    demo_config config;
    config.native_screen = false;
    config.width = 7;
    config.on_load_script = "kept";
    const nlohmann::json description = nlohmann::json::parse(R"({"config": {"width": 1}})");
    EXPECT_FALSE(parse_configuration(description, config, fs));
    EXPECT_FALSE(config.native_screen);
    EXPECT_EQ(config.width, 7);
    EXPECT_EQ(config.on_load_script, "kept");
}

TEST(parse_configuration, failed_size_rule_keeps_earlier_size)
{
    temp_dir folder;
    demo_filesystem fs;
    demo_config config;
    config.width = 320;
    config.height = 200;
    const nlohmann::json description =
        nlohmann::json::parse(R"({"configuration": {"nativeScreen": false, "height": 100}})");
    EXPECT_FALSE(parse_configuration(description, config, fs));
    EXPECT_EQ(config.width, 320);
    EXPECT_EQ(config.height, 200);
}

// ---------------------------------------------------------------------------
// demo_config::load on a whole demo folder, loose and packed.

enum class storage { loose, packed };

std::string storage_name(storage mode)
{
    return mode == storage::loose ? "loose" : "packed";
}

// A demo folder that is the current directory, its files written loose or
// packed into "demo.dat", and the description reader run on it.
class demo_folder {
public:
    explicit demo_folder(storage mode) : mode(mode) {}
    ~demo_folder()
    {
        console_capture quiet;
        config.unload();
        fs.close();
    }
    demo_folder(const demo_folder&) = delete;
    demo_folder& operator=(const demo_folder&) = delete;

    void add(const std::string& path, const std::string& content) { files.emplace_back(path, content); }

    // Writes the files, opens the file system and loads; console holds what
    // the load wrote after the script engine's start lines.
    bool load()
    {
        write_files();
        {
            console_capture quiet;
            fs.open();
        }
        return load_again();
    }

    bool load_again()
    {
        // Made before the load: measuring it starts and stops the one engine.
        const std::string& start_lines = engine_start_output();
        console_capture capture;
        const bool result = config.load(fs);
        console = capture.take();
        if (console.compare(0, start_lines.size(), start_lines) == 0)
            console.erase(0, start_lines.size());
        else
            console = "(no engine start) " + console;
        return result;
    }

    temp_dir folder;
    demo_filesystem fs;
    demo_config config;
    std::string console;

private:
    void write_files()
    {
        if (mode == storage::loose) {
            for (const auto& [path, content] : files)
                folder.write(path, content);
            return;
        }
        demo_dat_writer writer;
        for (const auto& [path, content] : files)
            writer.add(path, content);
        writer.write();
    }

    storage mode;
    file_list files;
};

const char* const config_line = "Config parsed successfully\n";
const char* const no_assets_line = "Assets parsed successfully [ AUDIO = 0 TEXTURES = 0 ]\n";

struct load_case {
    const char* label;
    const char* description;        // text of "data/demo.json"
    file_list files;                // other files, by path
    bool result;
    std::string console;            // after the engine's start lines
    std::vector<std::string> items; // describe() of the pending list
};

void PrintTo(const load_case& c, std::ostream* out) { *out << c.label; }

std::string summary(int items, const char* time)
{
    return "Demo Flow parsed successfully [ ITEMS = " + std::to_string(items) + "; EXPECTED demo time = " + time +
           "s ]\n";
}

std::string successes(int items, const char* time)
{
    return std::string(config_line) + no_assets_line + summary(items, time);
}

const load_case load_cases[] = {
    {"empty_flow", R"({"configuration": {}, "assets": {}, "flow": []})", {}, true, successes(0, "0"), {}},
    {"no_configuration", R"({"assets": {}, "flow": []})", {}, false, "", {}},
    {"description_not_object", R"([{"configuration": {}, "assets": {}, "flow": []}])", {}, false, "", {}},
    {"size_rule_fails", R"({"configuration": {"nativeScreen": false}, "assets": {}, "flow": []})", {}, false, "", {}},
    {"no_assets", R"({"configuration": {}, "flow": []})", {}, false, config_line, {}},
    {"bad_music", R"({"configuration": {}, "assets": {"music": [{"ref": "m"}]}, "flow": []})", {}, false,
     std::string(config_line) + "ERR: failed to parse sound assets!\n", {}},
    {"asset_counts",
     R"({"configuration": {}, "flow": [], "assets": {"music": [{"ref": "m", "path": "m.mp3"}],
         "textures": [{"ref": "a", "path": "a.png"}, {"ref": "b", "path": "b.png"}]}})",
     {}, true,
     std::string(config_line) + "Assets parsed successfully [ AUDIO = 1 TEXTURES = 2 ]\n" + summary(0, "0"), {}},
    {"no_flow", R"({"configuration": {}, "assets": {}})", {}, false, std::string(config_line) + no_assets_line, {}},
    {"flow_not_array", R"({"configuration": {}, "assets": {}, "flow": {"start": 0}})", {}, false,
     std::string(config_line) + no_assets_line, {}},
    {"latest_end_is_expected_time",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 12.5, "effect": "single_shader", "src": "a.fs"},
         {"start": 12.5, "end": 60, "effect": "single_shader", "src": "b.fs"},
         {"start": 20, "end": 30, "effect": "single_shader", "src": "c.fs"}]})",
     {}, true,
     std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" +
         "* Loading Effect (Single Shader): b.fs\n* Loading Effect (Single Shader): c.fs\n" + summary(3, "60"),
     {"single_shader '' 0-12.5", "single_shader '' 12.5-60", "single_shader '' 20-30"}},
    {"fractional_expected_time",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0.25, "end": 12.5, "effect": "single_shader", "src": "a.fs", "effectName": "intro"}]})",
     {}, true, std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" + summary(1, "12.5"),
     {"single_shader 'intro' 0.25-12.5"}},
    {"other_kinds_skipped_but_counted",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 60, "effect": "single_shader", "src": "a.fs"},
         {"start": 0, "end": 90, "effect": "particles", "src": "p.fs"},
         {"start": 0, "end": 10, "effect": "Single_Shader", "src": "q.fs"}]})",
     {}, true, std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" + summary(1, "90"),
     {"single_shader '' 0-60"}},
    {"entry_without_end_stops",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 10, "effect": "single_shader", "src": "a.fs"},
         {"start": 10, "effect": "single_shader", "src": "b.fs"},
         {"start": 20, "end": 30, "effect": "single_shader", "src": "c.fs"}]})",
     {}, false, std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n",
     {"single_shader '' 0-10"}},
    {"start_not_number_stops",
     R"({"configuration": {}, "assets": {}, "flow": [{"start": "0", "end": 10, "effect": "single_shader", "src": "a.fs"}]})",
     {}, false, std::string(config_line) + no_assets_line, {}},
    {"end_boolean_stops",
     R"({"configuration": {}, "assets": {}, "flow": [{"start": 0, "end": true, "effect": "single_shader", "src": "a.fs"}]})",
     {}, false, std::string(config_line) + no_assets_line, {}},
    {"effect_not_string_stops",
     R"({"configuration": {}, "assets": {}, "flow": [{"start": 0, "end": 10, "effect": 1}]})", {}, false,
     std::string(config_line) + no_assets_line, {}},
    {"entry_not_object_stops",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 10, "effect": "single_shader", "src": "a.fs"}, [0, 10, "single_shader"],
         {"start": 20, "end": 30, "effect": "single_shader", "src": "c.fs"}]})",
     {}, false, std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n",
     {"single_shader '' 0-10"}},
    {"geometry_and_layers_lines",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 5, "effect": "geometry", "effectName": "cube", "type": "t", "vs_src": "g.vs",
          "fs_src": "g.fs", "vertices": [], "elements": []},
         {"start": 5, "end": 6, "effect": "geometry", "effectName": 3, "type": "t", "vs_src": "g.vs",
          "fs_src": "g.fs", "vertices": [], "elements": []},
         {"start": 6, "end": 7, "effect": "layers", "effectName": "stack", "final_fs": "f.fs", "layers": []},
         {"start": 7, "end": 8, "effect": "layers", "final_fs": "f.fs", "layers": []}]})",
     {}, true,
     std::string(config_line) + no_assets_line + "* Loading Effect (Geometry): cube\n" +
         "* Loading Effect (Geometry): Unnamed Geometry Flow\n" +
         "* Loading Effect (MultiLayer): stack\n-- Preloading MultiLayer effect\n" +
         "* Loading Effect (MultiLayer): \n-- Preloading MultiLayer effect\n" + summary(4, "8"),
     {"geometry 'cube' 0-5", "geometry '' 5-6", "layers 'stack' 6-7", "layers '' 7-8"}},
    {"single_shader_line_without_src",
     R"({"configuration": {}, "assets": {}, "flow": [{"start": 0, "end": 1, "effect": "single_shader", "src": 4}]})",
     {}, true, std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): \n" + summary(1, "1"),
     {"single_shader '' 0-1"}},
    {"effect_lines_follow_loading_line",
     R"({"configuration": {}, "assets": {}, "flow": [{"start": 0, "end": 1, "effect": "single_shader", "src": "a.fs",
         "triggers": {"beforeRender": "x();"}}]})",
     {}, true,
     std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" +
         "(MULTILAYER)flow::beforeRender 1 \n" + summary(1, "1"),
     {"single_shader '' 0-1"}},
    {"failing_item_in_the_middle",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 5, "effect": "single_shader", "src": "a.fs"},
         {"start": 5, "end": 70, "effect": "geometry", "effectName": "broken", "type": "t", "vs_src": "g.vs",
          "fs_src": "g.fs", "vertices": []},
         {"start": 6, "end": 7, "effect": "single_shader", "src": "c.fs"}]})",
     {}, false,
     std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" +
         "* Loading Effect (Geometry): broken\nERR: preloading of the last flow has failed!" +
         "* Loading Effect (Single Shader): c.fs\n",
     {"single_shader '' 0-5", "single_shader '' 6-7"}},
    {"failing_last_item",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 5, "effect": "layers", "effectName": "l", "final_fs": "f.fs"}]})",
     {}, false,
     std::string(config_line) + no_assets_line +
         "* Loading Effect (MultiLayer): l\n-- Preloading MultiLayer effect\nERR: preloading of the last flow has failed!",
     {}},
    {"include_pulls_in_flow",
     "{\"configuration\": {}, \"assets\": {},\n#include parts/flow.inc\n}",
     {{"data/parts/flow.inc", R"("flow": [{"start": 1, "end": 2, "effect": "single_shader", "src": "i.fs"}])"}}, true,
     std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): i.fs\n" + summary(1, "2"),
     {"single_shader '' 1-2"}},
    {"invalid_json_is_not_interpreted", R"({"configuration": {}, "assets": {}, "flow": [)", {}, false,
     "ERROR: data/demo.json is not valid JSON: [json.exception.parse_error.101] parse error at line 2, column 1: "
     "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal\n",
     {}},
    {"trailing_text_is_invalid", R"({"configuration": {}, "assets": {}, "flow": []} x)", {}, false,
     "ERROR: data/demo.json is not valid JSON: [json.exception.parse_error.101] parse error at line 1, column 49: "
     "syntax error while parsing value - invalid literal; last read: '\"flow\": []} x'; expected end of input\n",
     {}},
    {"exception_in_an_effect_fails_the_load",
     R"({"configuration": {}, "assets": {}, "flow": [
         {"start": 0, "end": 5, "effect": "single_shader", "src": "a.fs"},
         {"start": 0, "end": 5, "effect": "geometry", "effectName": "g", "type": "t", "vs_src": "g.vs",
          "fs_src": "g.fs", "vertices": [{"xyz": [0, 0], "rgb": [1, 1, 1], "uv": [0, 0]}], "elements": [0]}]})",
     {}, false,
     std::string(config_line) + no_assets_line + "* Loading Effect (Single Shader): a.fs\n" +
         "* Loading Effect (Geometry): g\n",
     {"single_shader '' 0-5"}},
};

class load_table : public testing::TestWithParam<std::tuple<storage, load_case>> {};

TEST_P(load_table, reads_description)
{
    const auto& [mode, c] = GetParam();
    demo_folder demo(mode);
    demo.add("data/demo.json", c.description);
    for (const auto& [path, content] : c.files)
        demo.add(path, content);
    EXPECT_EQ(demo.load(), c.result);
    EXPECT_EQ(demo.config.is_loaded(), c.result);
    EXPECT_EQ(demo.console, c.console);
    EXPECT_EQ(describe(demo.config.timeline.pending), c.items);
    EXPECT_TRUE(demo.config.timeline.active.empty());
}

INSTANTIATE_TEST_SUITE_P(descriptions, load_table,
                         testing::Combine(testing::Values(storage::loose, storage::packed),
                                          testing::ValuesIn(load_cases)),
                         [](const testing::TestParamInfo<std::tuple<storage, load_case>>& info) {
                             return storage_name(std::get<0>(info.param)) + "_" + std::get<1>(info.param).label;
                         });

TEST(demo_config_load, missing_description_in_loose_files)
{
    demo_folder demo(storage::loose);
    EXPECT_FALSE(demo.load());
    EXPECT_EQ(demo.console, "ERROR(FILE_NOT_FOUND):data/demo.json\n");
}

TEST(demo_config_load, missing_description_in_packed_file)
{
    demo_folder demo(storage::packed);
    demo.add("data/other.json", "{}");
    EXPECT_FALSE(demo.load());
    EXPECT_EQ(demo.console, "");
}

TEST(demo_config_load, configuration_and_script_files_in_packed_file)
{
    demo_folder demo(storage::packed);
    demo.add("data/demo.json", R"({"configuration": {"nativeScreen": false, "width": 320, "height": 200,
        "windowed": true, "preLoadAll": false, "defaultMusic": "m", "onLoad": "a();", "onLoadSrc": "data/l.js"},
        "assets": {}, "flow": []})");
    demo.add("data/l.js", "l();");
    EXPECT_TRUE(demo.load());
    EXPECT_EQ(describe(demo.config), "native=0 windowed=1 size=320x200 preload=0 music='m' onLoad='a();\nl();\n' onStart=''");
    EXPECT_EQ(demo.config.filesystem, &demo.fs);
}

TEST(demo_config_load, second_load_reads_nothing)
{
    demo_folder demo(storage::loose);
    demo.add("data/demo.json", R"({"configuration": {}, "assets": {}, "flow": [
        {"start": 0, "end": 5, "effect": "single_shader", "src": "a.fs"}]})");
    ASSERT_TRUE(demo.load());
    demo.folder.write("data/demo.json", "not even JSON");
    EXPECT_TRUE(demo.load_again());
    EXPECT_EQ(demo.console, "(no engine start) ");
    EXPECT_EQ(demo.config.timeline.pending.size(), 1u);
    EXPECT_TRUE(demo.config.scripting.ready);
}

TEST(demo_config_load, unload_stops_the_engine)
{
    demo_folder demo(storage::loose);
    demo.add("data/demo.json", R"({"configuration": {}, "assets": {}, "flow": []})");
    ASSERT_TRUE(demo.load());
    EXPECT_TRUE(demo.config.scripting.run("1;"));
    demo.config.unload();
    EXPECT_FALSE(demo.config.is_loaded());
    EXPECT_FALSE(demo.config.scripting.ready);
    EXPECT_FALSE(demo.config.scripting.run("1;"));
}

TEST(demo_config_load, items_are_new_and_unloaded)
{
    demo_folder demo(storage::loose);
    demo.add("data/demo.json", R"({"configuration": {}, "assets": {}, "flow": [
        {"start": 1, "end": 2, "effect": "single_shader", "src": "shaders/a.fs"}]})");
    ASSERT_TRUE(demo.load());
    const time_line_item& item = demo.config.timeline.pending.at(0);
    EXPECT_FALSE(item.loaded);
    EXPECT_FALSE(item.started);
    EXPECT_EQ(item.single_shader.src, "shaders/a.fs");
    EXPECT_TRUE(item.textures.empty());
}

TEST(demo_config_load, layers_receive_configured_size)
{
    demo_folder demo(storage::loose);
    demo.add("data/demo.json", R"({"configuration": {"nativeScreen": false, "width": 320, "height": 200},
        "assets": {}, "flow": [{"start": 0, "end": 5, "effect": "layers", "final_fs": "f.fs", "layers": [
            {"type": "t", "vs_src": "g.vs", "fs_src": "g.fs", "vertices": [], "elements": []}]},
          {"start": 0, "end": 5, "effect": "geometry", "type": "t", "vs_src": "g.vs", "fs_src": "g.fs",
           "vertices": [], "elements": []}]})");
    ASSERT_TRUE(demo.load());
    const auto& pending = demo.config.timeline.pending;
    ASSERT_EQ(pending.size(), 2u);
    const time_line_item_geometry& layer = pending.at(0).layers.state->layers.at(0);
    EXPECT_EQ(layer.state->layer_width, 320);
    EXPECT_EQ(layer.state->layer_height, 200);
    // A geometry item draws into the window: no layer size.
    EXPECT_EQ(pending.at(1).geometry.state->layer_width, 0);
    EXPECT_EQ(pending.at(1).geometry.state->layer_height, 0);
}

TEST(demo_config_load, texture_references_resolve_to_first_asset_of_name)
{
    demo_folder demo(storage::loose);
    demo.add("data/demo.json", R"({"configuration": {}, "flow": [
        {"start": 0, "end": 5, "effect": "single_shader", "src": "a.fs",
         "textures": [{"ref": "a"}, {"ref": "b"}, {"ref": "a"}, {"ref": "unknown"}, {"ref": 3}, "b", {}, {"ref": "b"}]},
        {"start": 0, "end": 5, "effect": "single_shader", "src": "b.fs", "textures": {"ref": "a"}}],
        "assets": {"textures": [{"ref": "a", "path": "a1.png"}, {"ref": "b", "path": "b.png"},
                                {"ref": "a", "path": "a2.png"}, {"ref": "A", "path": "upper.png"}]}})");
    ASSERT_TRUE(demo.load());
    auto& textures = demo.config.assets.textures;
    const auto& pending = demo.config.timeline.pending;
    ASSERT_EQ(pending.size(), 2u);
    const std::vector<texture_asset*> expected = {&textures.at(0), &textures.at(1), &textures.at(0),
                                                  &textures.at(1)};
    EXPECT_EQ(pending.at(0).textures, expected);
    EXPECT_TRUE(pending.at(1).textures.empty());
}

} // namespace
