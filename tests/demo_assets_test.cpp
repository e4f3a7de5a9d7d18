// Reading the "assets" declarations: which variants are accepted, what the
// lists hold afterwards and the exact console lines of the failures.
#include "data/demo_assets.h"
#include "support/console_capture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct assets_case {
    const char* label;
    const char* description;            // the whole demo description
    bool result;
    const char* console;
    std::vector<std::string> music;     // "name=path" per music asset, in order
    std::vector<std::string> textures;  // the same for textures
};

void PrintTo(const assets_case& c, std::ostream* out) { *out << c.label; }

std::vector<std::string> declared(const std::vector<texture_asset>& list)
{
    std::vector<std::string> out;
    for (const auto& asset : list)
        out.push_back(asset.name + "=" + asset.path);
    return out;
}

std::vector<std::string> declared(const std::vector<audio_asset>& list)
{
    std::vector<std::string> out;
    for (const auto& asset : list)
        out.push_back(asset.name + "=" + asset.path);
    return out;
}

const char* const sound_error = "ERR: failed to parse sound assets!\n";
const char* const texture_error = "ERR: failed to parse texture assets!\n";

const assets_case cases[] = {
    {"no_assets", R"({"flow": []})", false, "", {}, {}},
    {"assets_not_object", R"({"assets": []})", false, "", {}, {}},
    {"assets_null", R"({"assets": null})", false, "", {}, {}},
    {"description_not_object", R"([{"assets": {}}])", false, "", {}, {}},
    {"empty_assets", R"({"assets": {}})", true, "", {}, {}},
    {"empty_lists", R"({"assets": {"music": [], "textures": []}})", true, "", {}, {}},
    {"lists_of_other_types", R"({"assets": {"music": "a.mp3", "textures": {"ref": "t"}}})", true, "", {}, {}},
    {"both_lists_in_order",
     R"({"assets": {"textures": [{"ref": "t1", "path": "a.png"}, {"ref": "t2", "path": "b.png", "extra": 1}],
                    "music": [{"ref": "m", "path": "m.mp3"}], "other": 5}})",
     true, "", {"m=m.mp3"}, {"t1=a.png", "t2=b.png"}},
    {"same_name_twice",
     R"({"assets": {"textures": [{"ref": "t", "path": "a.png"}, {"ref": "t", "path": "b.png"}]}})",
     true, "", {}, {"t=a.png", "t=b.png"}},
    {"music_without_path",
     R"({"assets": {"music": [{"ref": "m1", "path": "1.mp3"}, {"ref": "m2"}, {"ref": "m3", "path": "3.mp3"}],
                    "textures": [{"ref": "t", "path": "a.png"}]}})",
     false, sound_error, {"m1=1.mp3"}, {}},
    {"music_path_not_string", R"({"assets": {"music": [{"ref": "m", "path": 7}]}})", false, sound_error, {}, {}},
    {"music_element_not_object", R"({"assets": {"music": [{"ref": "m", "path": "m.mp3"}, "x.mp3"]}})",
     false, sound_error, {"m=m.mp3"}, {}},
    {"music_element_null", R"({"assets": {"music": [null]}})", false, sound_error, {}, {}},
    {"texture_ref_number",
     R"({"assets": {"music": [{"ref": "m", "path": "m.mp3"}], "textures": [{"ref": 3, "path": "a.png"}]}})",
     false, texture_error, {"m=m.mp3"}, {}},
    {"texture_without_ref", R"({"assets": {"textures": [{"path": "a.png"}]}})", false, texture_error, {}, {}},
    {"texture_element_array",
     R"({"assets": {"textures": [{"ref": "t", "path": "a.png"}, ["u", "b.png"]]}})",
     false, texture_error, {}, {"t=a.png"}},
    {"texture_ref_null", R"({"assets": {"textures": [{"ref": null, "path": "a.png"}]}})", false, texture_error, {}, {}},
};

class parse_assets_table : public testing::TestWithParam<assets_case> {};

TEST_P(parse_assets_table, fills_lists_and_reports)
{
    const assets_case& c = GetParam();
    const nlohmann::json description = nlohmann::json::parse(c.description);
    demo_assets assets;
    console_capture console;
    EXPECT_EQ(parse_assets(description, assets), c.result);
    EXPECT_EQ(console.take(), c.console);
    EXPECT_EQ(declared(assets.music), c.music);
    EXPECT_EQ(declared(assets.textures), c.textures);
}

INSTANTIATE_TEST_SUITE_P(variants, parse_assets_table, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<assets_case>& info) { return info.param.label; });

TEST(parse_assets, declared_assets_are_not_loaded)
{
    const nlohmann::json description = nlohmann::json::parse(
        R"({"assets": {"music": [{"ref": "m", "path": "m.mp3"}], "textures": [{"ref": "t", "path": "a.png"}]}})");
    demo_assets assets;
    ASSERT_TRUE(parse_assets(description, assets));
    EXPECT_FALSE(assets.music.at(0).loaded);
    EXPECT_FALSE(assets.textures.at(0).loaded);
    EXPECT_EQ(assets.textures.at(0).get_pixels(), nullptr);
}

} // namespace
