// The complete examples of docs/authoring.md, taken from the document itself
// and played by the built player, as loose files and packed into "demo.dat":
// the console output must be the one the document shows, byte for byte (the
// times after "at time:" aside), and the picture what the document says.
#include "support/document_examples.h"
#include "support/player_process.h"
#include "support/temp_dir.h"
#include "support/test_demo.h"
#include "support/x_session.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

const std::string document_path = std::string(NIMBREL_SOURCE_DIR) + "/docs/authoring.md";
const int width = 640; // the examples' window, which fills the X screen
const int height = 360;
const int run_limit_ms = 10000; // each example ends by itself after 1.5 s

using rgb = std::array<uint8_t, 3>;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// An image of the kind the document leaves to the author: 8 by 8, its top
// half red and its bottom half blue, so a screenshot shows which way up it is.
std::string red_over_blue_png()
{
    const int side = 8;
    std::vector<uint8_t> pixels;
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column)
            pixels.insert(pixels.end(), {uint8_t(row < side / 2 ? 255 : 0), 0, uint8_t(row < side / 2 ? 0 : 255)});
    std::string png;
    stbi_write_png_to_func(
        [](void* out, void* data, int size) { static_cast<std::string*>(out)->append(static_cast<char*>(data), static_cast<size_t>(size)); },
        &png, side, side, 3, pixels.data(), side * 3);
    return png;
}

// Adds the files the document asks the author for: the tour's MP3 for every
// music path demo.json names, the red-over-blue image for every texture path.
void add_author_files(test_demo& demo)
{
    const nlohmann::json description = nlohmann::json::parse(demo.files["data/demo.json"], nullptr, false);
    const nlohmann::json assets = description.is_object() ? description.value("assets", nlohmann::json::object())
                                                          : nlohmann::json::object();
    for (const auto& [list, bytes] : {std::pair{"music", example_music()}, std::pair{"textures", red_over_blue_png()}}) {
        for (const nlohmann::json& asset : assets.value(list, nlohmann::json::array()))
            demo.files.emplace(asset.value("path", ""), bytes);
    }
}

bool red(rgb c) { return c[0] >= 80 && c[0] >= c[1] + 40 && c[0] >= c[2] + 40; }
bool blue(rgb c) { return c[2] >= 80 && c[2] >= c[0] + 40 && c[2] >= c[1] + 40; }
bool yellow(rgb c) { return c[0] >= 150 && c[1] >= 150 && c[2] < 100; }
bool lit(rgb c) { return c[0] >= 40 || c[1] >= 40 || c[2] >= 40; }
bool black(rgb c) { return c[0] < 16 && c[1] < 16 && c[2] < 16; }

// One point of the window and what the example's text says is there.
struct colour_check {
    const char* what; // the document's claim
    double x;         // position as a share of the width, from the left
    double y;         // and of the height, from the top
    bool (*holds)(rgb);
};

struct example_case {
    const char* name;                 // the name in the example's heading
    bool packed;                      // played from "demo.dat" instead of loose files
    std::vector<colour_check> checks; // taken while the example is on screen
};

const std::vector<colour_check> picture_checks = {
    {"the picture's red top half at the top", 0.5, 0.25, red},
    {"the picture's blue bottom half at the bottom", 0.5, 0.75, blue},
};
const std::vector<colour_check> triangle_checks = {
    {"the spinning triangle over the centre", 0.5, 0.5, lit},
    {"the window cleared around it", 0.02, 0.03, black},
};
const std::vector<colour_check> layers_checks = {
    {"the sun at the top", 0.5, 0.2, yellow},
    {"the sky below it", 0.5, 0.7, blue},
};

std::string describe(rgb c)
{
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

// Names the case in CTest's listing instead of dumping its bytes.
void PrintTo(const example_case& param, std::ostream* out)
{
    *out << param.name << (param.packed ? " from demo.dat" : " from loose files");
}

class authoring_example : public testing::TestWithParam<example_case> {};

TEST_P(authoring_example, plays_as_the_document_shows)
{
    const example_case& param = GetParam();
    const document_examples examples(read_text(document_path));
    const document_example* example = examples.find(param.name);
    ASSERT_NE(example, nullptr) << document_path << " has no example named " << param.name;
    ASSERT_EQ(example->files.count("data/demo.json"), 1u);
    ASSERT_FALSE(example->console.empty()) << "the example shows no console output";

    test_demo demo;
    demo.files = example->files;
    add_author_files(demo);
    x_session x(width, height);
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    if (param.packed)
        demo.write_packed(folder);
    else
        demo.write_loose(folder);

    player_process player(folder.path(), x.display());
    ASSERT_TRUE(player.wait_for_output("- adding effect: ", run_limit_ms)) << player.output();
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    const x_screenshot picture = x.screenshot();
    ASSERT_EQ(picture.width, width);
    for (const colour_check& check : param.checks) {
        const rgb seen = picture.pixel(int(check.x * width), int(check.y * height));
        EXPECT_TRUE(check.holds(seen)) << check.what << ": " << describe(seen);
    }

    ASSERT_TRUE(player.wait_for_exit(run_limit_ms)) << player.output();
    EXPECT_EQ(player.exit_code, 0);
    EXPECT_EQ(mask_times(player.output()), mask_times(example->console));
    EXPECT_EQ(player.errors().find("Error: "), std::string::npos) << player.errors();
}

INSTANTIATE_TEST_SUITE_P(examples, authoring_example,
                         testing::Values(example_case{"single_shader", false, picture_checks},
                                         example_case{"single_shader", true, picture_checks},
                                         example_case{"geometry", false, triangle_checks},
                                         example_case{"geometry", true, triangle_checks},
                                         example_case{"layers", false, layers_checks},
                                         example_case{"layers", true, layers_checks}),
                         [](const testing::TestParamInfo<example_case>& info) {
                             return std::string(info.param.name) + (info.param.packed ? "_packed" : "_loose");
                         });

} // namespace
