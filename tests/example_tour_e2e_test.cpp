// The bundled example demo (examples/tour) played by the built player, with
// its flow squeezed into two seconds and a small window: every item arrives,
// draws something and leaves, and no script, shader or asset fails.
#include "support/player_process.h"
#include "support/temp_dir.h"
#include "support/x_session.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const std::string example_dir = std::string(NIMBREL_SOURCE_DIR) + "/examples/tour";
const int width = 320;
const int height = 180;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The example's description with every time divided by `squeeze` and the
// window made small; scripts and shaders stay as they are.
std::string squeezed_description(double squeeze)
{
    nlohmann::json description = nlohmann::json::parse(read_text(example_dir + "/data/demo.json"));
    description["configuration"]["width"] = width;
    description["configuration"]["height"] = height;
    for (auto& entry : description["flow"]) {
        entry["start"] = entry["start"].get<double>() / squeeze;
        entry["end"] = entry["end"].get<double>() / squeeze;
    }
    return description.dump(2);
}

// Share of pixels of the picture that are not black.
double lit_share(const x_screenshot& picture)
{
    size_t lit = 0;
    for (size_t at = 0; at + 2 < picture.rgb.size(); at += 3)
        lit += (picture.rgb[at] | picture.rgb[at + 1] | picture.rgb[at + 2]) > 16 ? 1 : 0;
    return picture.rgb.empty() ? 0.0 : double(lit) / double(picture.rgb.size() / 3);
}

TEST(example_tour, plays_every_item_without_a_failure)
{
    x_session x(width, height);
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    std::filesystem::copy(example_dir + "/data", folder.path() + "/data", std::filesystem::copy_options::recursive);
    folder.write("data/demo.json", squeezed_description(10.0)); // 20 s become 2 s

    player_process player(folder.path(), x.display());
    const char* const items[] = {"plasma", "spinning star", "two layers"};
    for (const char* item : items) {
        ASSERT_TRUE(player.wait_for_output(std::string("- adding effect: ") + item, 10000)) << player.output();
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        EXPECT_GT(lit_share(x.screenshot()), 0.05) << item << " drew nothing";
    }
    ASSERT_TRUE(player.wait_for_exit(10000)) << player.output();
    EXPECT_EQ(player.exit_code, 0);

    const std::string output = player.output();
    for (const char* line : {"Scripting Engine: tour: description read, loading the music\n",
                             "Scripting Engine: tour: the clock is running, music starts now\n",
                             "Scripting Engine: plasma: on screen\n", "Scripting Engine: star: 11 vertices\n",
                             "Scripting Engine: layers: on screen\n", "- removing effect: plasma; start=0; end=0.7\n",
                             "- removing effect: spinning star; start=0.7; end=1.4\n",
                             "- removing effect: two layers; start=1.4; end=2\n", "<eod>\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << " is missing from:\n" << output;
    EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
    EXPECT_EQ(output.find("ERR:"), std::string::npos) << output;
    EXPECT_EQ(player.errors().find("Error: "), std::string::npos) << player.errors();
}

} // namespace
