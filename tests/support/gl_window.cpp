// gl_window: the shared hidden GL test window (GLFW, GLEW), created lazily and
// destroyed when the test process exits; tried again while the display
// cannot be reached.
#include "support/gl_window.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr std::chrono::milliseconds retry_pause{50}; // between two tries at the display

std::string last_glfw_error; // why the window could not be made, for the failure message

void record_glfw_error(int code, const char* description)
{
    last_glfw_error = "GLFW error " + std::to_string(code) + ": " + (description ? description : "");
}

// A display that DISPLAY names may still come (a server that starts or
// resets); without DISPLAY there is nothing to wait for.
bool display_named()
{
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

} // namespace

gl_window& gl_window::shared()
{
    static gl_window instance(shared_display_wait);
    if (instance.window != nullptr) {
        glfwMakeContextCurrent(instance.window);
    } else {
        ADD_FAILURE() << "no OpenGL 4.2 core context (is an X display there?) " << instance.failure();
    }
    return instance;
}

gl_window::gl_window(std::chrono::milliseconds display_wait)
{
    glfwSetErrorCallback(record_glfw_error);
    const auto until = std::chrono::steady_clock::now() + display_wait;
    while (!open() && display_named() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(retry_pause);
    }
}

bool gl_window::open()
{
    last_glfw_error.clear();
    if (!glfwInit()) {
        return give_up(last_glfw_error);
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    window = glfwCreateWindow(width, height, "gl test", nullptr, nullptr);
    if (window == nullptr) {
        return give_up(last_glfw_error);
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        return give_up(std::string("GLEW: ") + reinterpret_cast<const char*>(glewGetErrorString(glew)));
    }
    glViewport(0, 0, width, height);
    failure_text.clear();
    return true;
}

bool gl_window::give_up(const std::string& why)
{
    failure_text = why;
    if (window != nullptr) {
        glfwDestroyWindow(window);
        window = nullptr;
    }
    glfwTerminate(); // the next try connects afresh
    return false;
}

gl_window::~gl_window()
{
    if (window != nullptr) {
        glfwDestroyWindow(window);
        glfwTerminate();
    }
}

std::array<std::uint8_t, 4> gl_window::pixel_from_top(int x, int y) const
{
    std::array<std::uint8_t, 4> rgba{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return rgba;
}

void gl_window::reset_state() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glUseProgram(0);
    glBindVertexArray(0);
    for (int unit = 15; unit >= 0; --unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glViewport(0, 0, width, height);
}

namespace {

std::string describe(const std::array<std::uint8_t, 4>& rgba)
{
    return "(" + std::to_string(rgba[0]) + ", " + std::to_string(rgba[1]) + ", " + std::to_string(rgba[2]) +
           ", " + std::to_string(rgba[3]) + ")";
}

} // namespace

::testing::AssertionResult colours_near(const std::array<std::uint8_t, 4>& actual,
                                       const std::array<std::uint8_t, 4>& expected, int tolerance)
{
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (std::abs(int(actual[i]) - int(expected[i])) > tolerance) {
            return ::testing::AssertionFailure() << "colour " << describe(actual) << ", expected "
                                                 << describe(expected) << " within " << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}
