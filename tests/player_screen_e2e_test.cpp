// What the built player puts on the screen, read back with screenshots of a
// private X display: the window's size and mode, a single-shader effect with
// "iRes" and "iTime", a layers effect, and the same demo from loose files and
// from a packed "demo.dat".
#include "support/player_process.h"
#include "support/temp_dir.h"
#include "support/test_demo.h"
#include "support/x_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

const char* const window_title = "Nimbrel Demo Engine (v3.2 b.220916)";
const int run_limit_ms = 10000;
const int screen_width = 320;
const int screen_height = 240;

using rgb = std::array<uint8_t, 3>;

testing::AssertionResult colour_near(const rgb& actual, const rgb& expected, int tolerance = 4)
{
    for (size_t at = 0; at < 3; ++at) {
        if (std::abs(int(actual[at]) - int(expected[at])) > tolerance) {
            return testing::AssertionFailure() << "got (" << int(actual[0]) << ", " << int(actual[1]) << ", "
                                               << int(actual[2]) << "), expected (" << int(expected[0]) << ", "
                                               << int(expected[1]) << ", " << int(expected[2]) << ")";
        }
    }
    return testing::AssertionSuccess();
}

// Left of the middle orange, right of it blue; green rises once iTime has
// passed 0.25 s, so a picture taken later shows time moving.
const char* const split_shader = R"(#version 420 core
uniform float iTime;
uniform vec2 iRes;
out vec4 outColor;
void main()
{
    float later = iTime > 0.25 ? 1.0 : 0.0;
    outColor = gl_FragCoord.x < iRes.x * 0.5 ? vec4(1.0, 0.5, later, 1.0) : vec4(0.0, 0.25, 1.0, 1.0);
}
)";

std::string single_shader_flow(const std::string& name, float end)
{
    std::ostringstream flow;
    flow << R"([{"start": 0, "end": )" << end << R"(, "effect": "single_shader", "effectName": ")" << name
         << R"(", "src": "data/split.fs"}])";
    return flow.str();
}

// Runs the demo in folder until its item named `name` has been on screen for
// a moment, then takes a picture and waits for the run to end by itself.
x_screenshot picture_of(const x_session& x, const temp_dir& folder, const std::string& name,
                        std::optional<x_window>* window = nullptr)
{
    player_process player(folder.path(), x.display());
    EXPECT_TRUE(player.wait_for_output("- adding effect: " + name, run_limit_ms)) << player.output();
    const auto picture_time = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    // The window is there from the first frame; looked up after the picture,
    // a busy machine could let the short flow end first.
    if (window != nullptr)
        *window = x.wait_for_window(window_title, 1000);
    std::this_thread::sleep_until(picture_time);
    x_screenshot picture = x.screenshot();
    EXPECT_TRUE(player.wait_for_exit(run_limit_ms));
    EXPECT_EQ(player.exit_code, 0);
    return picture;
}

TEST(player_screen, full_screen_single_shader_gets_the_window_size_and_time)
{
    x_session x(screen_width, screen_height);
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make("", single_shader_flow("split", 1.0f));
    demo.add("data/split.fs", split_shader);
    demo.write_loose(folder);
    std::optional<x_window> window;
    const x_screenshot picture = picture_of(x, folder, "split", &window);
    ASSERT_EQ(picture.width, screen_width);
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(window->width, screen_width);
    EXPECT_EQ(window->height, screen_height);
    EXPECT_TRUE(colour_near(picture.pixel(5, 5), {255, 128, 255}));
    EXPECT_TRUE(colour_near(picture.pixel(screen_width / 2 - 2, screen_height - 5), {255, 128, 255}));
    EXPECT_TRUE(colour_near(picture.pixel(screen_width / 2 + 2, 5), {0, 64, 255}));
    EXPECT_TRUE(colour_near(picture.pixel(screen_width - 5, screen_height - 5), {0, 64, 255}));
}

TEST(player_screen, windowed_demo_gets_its_configured_size)
{
    x_session x(screen_width, screen_height);
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make(R"("nativeScreen": false, "windowed": true, "width": 200, "height": 100)",
                                     single_shader_flow("small", 1.0f));
    demo.add("data/split.fs", split_shader);
    demo.write_loose(folder);
    std::optional<x_window> window;
    const x_screenshot picture = picture_of(x, folder, "small", &window);
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(window->width, 200);
    EXPECT_EQ(window->height, 100);
    // "iRes" is the configured size: the split sits at the window's middle.
    ASSERT_EQ(picture.width, screen_width);
    EXPECT_TRUE(colour_near(picture.pixel(window->x + 98, window->y + 50), {255, 128, 255}));
    EXPECT_TRUE(colour_near(picture.pixel(window->x + 102, window->y + 50), {0, 64, 255}));
}

// Two layers that fill their framebuffers with red and blue, combined by a
// final pass that takes red from the first and blue from the second.
test_demo layers_demo()
{
    const std::string quad =
        R"("vertices": [{"xyz": [-1, 1, 0], "rgb": [1, 1, 1], "uv": [0, 0]}, {"xyz": [1, 1, 0], "rgb": [1, 1, 1], "uv": [1, 0]},
                        {"xyz": [1, -1, 0], "rgb": [1, 1, 1], "uv": [1, 1]}, {"xyz": [-1, -1, 0], "rgb": [1, 1, 1], "uv": [0, 1]}],
           "elements": [0, 1, 2, 2, 3, 0])";
    std::ostringstream flow;
    flow << R"([{"start": 0, "end": 1, "effect": "layers", "effectName": "pair", "final_fs": "data/combine.fs",
                 "layers": [{"vs_src": "data/base3.vs", "fs_src": "data/red.fs", )" << quad << R"(},
                            {"vs_src": "data/base3.vs", "fs_src": "data/blue.fs", )" << quad << "}]}]";
    std::ostringstream configuration;
    configuration << R"("nativeScreen": false, "width": )" << screen_width << R"(, "height": )" << screen_height;
    test_demo demo = test_demo::make(configuration.str(), flow.str());
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    demo.add("data/blue.fs", solid_colour_shader(0, 0, 1));
    demo.add("data/combine.fs", R"(#version 420 core
layout(binding = 0) uniform sampler2D first_layer;
layout(binding = 1) uniform sampler2D second_layer;
in vec2 vertex_uv;
out vec4 outColor;
void main()
{
    outColor = vec4(texture(first_layer, vertex_uv).r * 0.75, 0.5, texture(second_layer, vertex_uv).b * 0.5, 1.0);
}
)");
    return demo;
}

TEST(player_screen, layers_effect_combines_both_layers)
{
    x_session x(screen_width, screen_height);
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    layers_demo().write_loose(folder);
    const x_screenshot picture = picture_of(x, folder, "pair");
    ASSERT_EQ(picture.width, screen_width);
    for (const auto& [px, py] : {std::pair{5, 5}, {screen_width / 2, screen_height / 2}, {screen_width - 5, 200}})
        EXPECT_TRUE(colour_near(picture.pixel(px, py), {191, 128, 128})) << "at " << px << ", " << py;
}

TEST(player_screen, packed_demo_plays_like_its_loose_files)
{
    x_session x(screen_width, screen_height);
    ASSERT_TRUE(x.ready());
    test_demo demo = layers_demo();
    demo.add("data/scripts/hello.js", "print('hello from ' + 'a script file');\n");
    demo.add("data/demo.json", [&] {
        std::string text = demo.files["data/demo.json"];
        text.replace(text.find("\"defaultMusic\""), 0, R"("onLoadSrc": "data/scripts/hello.js", )");
        return text;
    }());

    std::string outputs[2];
    x_screenshot pictures[2];
    for (int packed = 0; packed < 2; ++packed) {
        temp_dir folder;
        if (packed)
            demo.write_packed(folder);
        else
            demo.write_loose(folder);
        player_process player(folder.path(), x.display());
        ASSERT_TRUE(player.wait_for_output("- adding effect: pair", run_limit_ms)) << player.output();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        pictures[packed] = x.screenshot();
        ASSERT_TRUE(player.wait_for_exit(run_limit_ms));
        EXPECT_EQ(player.exit_code, 0);
        outputs[packed] = mask_times(player.output());
    }
    EXPECT_NE(outputs[0].find("Scripting Engine: hello from a script file\n"), std::string::npos) << outputs[0];
    EXPECT_EQ(outputs[1], outputs[0]);
    ASSERT_EQ(pictures[0].width, screen_width);
    ASSERT_EQ(pictures[1].width, screen_width);
    EXPECT_TRUE(colour_near(pictures[0].pixel(160, 120), {191, 128, 128}));
    EXPECT_TRUE(pictures[0].rgb == pictures[1].rgb) << "the packed demo draws another picture";
}

} // namespace
