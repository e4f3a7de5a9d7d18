// key_callback on a real GLFW window: only an Escape press sets the close flag.
#include "engine/demo_engine.h"
#include "support/gl_window.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace {

struct key_case {
    const char* label;
    int key;
    int action;
    bool closes;
};

void PrintTo(const key_case& c, std::ostream* out) { *out << c.label; }

class key_callback_event : public testing::TestWithParam<key_case> {};

TEST_P(key_callback_event, sets_the_close_flag_only_for_an_escape_press)
{
    const key_case& c = GetParam();
    ASSERT_TRUE(gl_window::shared().ready());
    GLFWwindow* window = glfwGetCurrentContext();
    ASSERT_NE(window, nullptr);
    glfwSetWindowShouldClose(window, 0);
    key_callback(window, c.key, 9, c.action, GLFW_MOD_SHIFT);
    EXPECT_EQ(glfwWindowShouldClose(window) != 0, c.closes);
    glfwSetWindowShouldClose(window, 0);
}

INSTANTIATE_TEST_SUITE_P(
    cases, key_callback_event,
    testing::Values(key_case{"escape_press", GLFW_KEY_ESCAPE, GLFW_PRESS, true},
                    key_case{"escape_repeat", GLFW_KEY_ESCAPE, GLFW_REPEAT, false},
                    key_case{"escape_release", GLFW_KEY_ESCAPE, GLFW_RELEASE, false},
                    key_case{"space_press", GLFW_KEY_SPACE, GLFW_PRESS, false},
                    key_case{"q_press", GLFW_KEY_Q, GLFW_PRESS, false}),
    [](const testing::TestParamInfo<key_case>& info) { return std::string(info.param.label); });

} // namespace
