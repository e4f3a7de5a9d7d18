// demo_engine::run on a hidden window of its own: the three failed
// preparations with their box texts and the window destroyed first, and the
// frame loop over items that never load, from the first frame to the end of
// the flow.
#include "engine/demo_engine.h"
#include "platform/error_box.h"
#include "support/console_capture.h"
#include "support/gl_window.h"
#include "support/script_session.h"
#include "support/temp_dir.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An engine whose window is a hidden one made here, as init would leave it.
class engine_on_window : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl_window::shared().ready());
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        engine.window = glfwCreateWindow(32, 24, "run test", nullptr, nullptr);
        glfwDefaultWindowHints();
        ASSERT_NE(engine.window, nullptr);
        glfwMakeContextCurrent(engine.window);
        engine.window_width = 32;
        engine.window_height = 24;
    }

    void TearDown() override
    {
        if (engine.window != nullptr)
            glfwDestroyWindow(engine.window);
        engine.window = nullptr;
        gl_window::shared();
    }

    static time_line_item unloadable(const std::string& name, float start, float end)
    {
        time_line_item item; // no effect kind: its load always fails
        item.name = name;
        item.start_time = start;
        item.end = end;
        return item;
    }

    temp_dir folder;
    error_box_recorder boxes;
    demo_engine engine;
};

TEST_F(engine_on_window, failed_texture_preload_closes_the_window_and_shows_its_box)
{
    engine.pre_load_all = true;
    engine.assets.textures.resize(2);
    engine.assets.textures[0].path = "missing.png";
    engine.assets.textures[1].path = "missing_too.png";
    engine.timeline.pending.push_back(unloadable("a", 0, 1));
    console_capture console;
    EXPECT_FALSE(engine.run());
    EXPECT_EQ(engine.window, nullptr);
    EXPECT_EQ(boxes.texts,
              std::vector<std::string>{"Fatal error: could not load all texture assets required for this demo!"});
    EXPECT_EQ(console.take().find("- adding effect"), std::string::npos);
}

TEST_F(engine_on_window, failed_item_preload_closes_the_window_and_shows_its_box)
{
    engine.pre_load_all = true;
    engine.timeline.pending.push_back(unloadable("a", 0, 1));
    console_capture console;
    EXPECT_FALSE(engine.run());
    EXPECT_EQ(engine.window, nullptr);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"Fatal error: could not load all flow item required for this demo!"});
}

TEST_F(engine_on_window, failed_on_start_script_closes_the_window_and_shows_its_box)
{
    script_session session;
    engine.scripting = session.context;
    engine.pre_load_all = false;
    engine.on_start_script = "print('before the failure'); throw new Error('stop');";
    console_capture console;
    EXPECT_FALSE(engine.run());
    EXPECT_EQ(engine.window, nullptr);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"SCRIPT CONFIG::ONSTART failed to execute"});
    EXPECT_EQ(console.take().find("Scripting Engine: before the failure\n"), 0u);
}

TEST_F(engine_on_window, empty_flow_ends_after_one_frame)
{
    engine.pre_load_all = false;
    console_capture console;
    EXPECT_TRUE(engine.run());
    EXPECT_NE(engine.window, nullptr);
    EXPECT_TRUE(glfwWindowShouldClose(engine.window));
    EXPECT_EQ(console.take(), "");
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(engine_on_window, flow_runs_on_the_wall_clock_until_both_lists_are_empty)
{
    // Without preloading, items that fail to load are retried every frame
    // and never drawn; the flow still moves on and ends by itself.
    engine.pre_load_all = false;
    engine.timeline.pending = {unloadable("a", 0, 0.2f), unloadable("b", 0.2f, 0.3f), unloadable("c", 0, 0.02f)};
    console_capture console;
    const std::int64_t before = wall_clock_nanoseconds();
    EXPECT_TRUE(engine.run());
    const float took = demo_time_seconds(before, wall_clock_nanoseconds());
    EXPECT_GE(took, 0.3f);
    EXPECT_LT(took, 2.0f);
    std::string lines = console.take();
    // Times vary from run to run: keep only the part before " at time: ".
    std::string kept;
    for (size_t at = 0; at < lines.size();) {
        const size_t end = lines.find('\n', at);
        const std::string line = lines.substr(at, end - at);
        kept += line.substr(0, line.find(" at time: ")) + "\n";
        at = end + 1;
    }
    EXPECT_EQ(kept, "- adding effect: a; start=0; end=0.2\n"
                    "- adding effect: c; start=0; end=0.02\n"
                    "- removing effect: c; start=0; end=0.02\n"
                    "- adding effect: b; start=0.2; end=0.3\n"
                    "- removing effect: a; start=0; end=0.2\n"
                    "- removing effect: b; start=0.2; end=0.3\n");
    EXPECT_TRUE(engine.timeline.active.empty());
    EXPECT_TRUE(engine.timeline.pending.empty());
    EXPECT_TRUE(boxes.texts.empty());
}

} // namespace
