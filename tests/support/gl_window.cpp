// gl_window: the shared hidden GL test window (GLFW, GLEW), created lazily and
// destroyed when the test process exits.
#include "support/gl_window.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string last_glfw_error; // why the window could not be made, for the failure message

void record_glfw_error(int code, const char* description)
{
    last_glfw_error = "GLFW error " + std::to_string(code) + ": " + (description ? description : "");
}

} // namespace

gl_window& gl_window::shared()
{
    static gl_window instance;
    if (instance.window != nullptr) {
        glfwMakeContextCurrent(instance.window);
    } else {
        ADD_FAILURE() << "no OpenGL 4.2 core context (is an X display there?) " << last_glfw_error;
    }
    return instance;
}

gl_window::gl_window()
{
    glfwSetErrorCallback(record_glfw_error);
    if (!glfwInit()) {
        return;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    window = glfwCreateWindow(width, height, "gl test", nullptr, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        glfwDestroyWindow(window);
        glfwTerminate();
        window = nullptr;
        return;
    }
    glViewport(0, 0, width, height);
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
