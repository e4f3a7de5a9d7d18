// "clearScreen" on a real context: it clears whatever framebuffer is bound to
// opaque black, leaves the clear colour black, and does nothing when no
// context is current.
#include "support/gl_window.h"
#include "support/script_session.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace {

const std::array<std::uint8_t, 4> red = {255, 0, 0, 255};
const std::array<std::uint8_t, 4> black = {0, 0, 0, 255};

void clear_to_red()
{
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

TEST(script_clear_screen, clears_the_window_to_opaque_black)
{
    gl_window& window = gl_window::shared();
    ASSERT_TRUE(window.ready());
    window.reset_state();
    clear_to_red();
    script_session session;
    ASSERT_TRUE(session.run("clearScreen()"));
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), black));
    EXPECT_TRUE(colours_near(window.pixel_from_top(gl_window::width - 1, gl_window::height - 1), black));
    GLfloat colour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(colour[3], 1.0f);
}

TEST(script_clear_screen, touches_only_the_bound_framebuffer)
{
    gl_window& window = gl_window::shared();
    ASSERT_TRUE(window.ready());
    window.reset_state();
    clear_to_red();
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, 4, 4);
    clear_to_red();

    script_session session;
    ASSERT_TRUE(session.run("clearScreen()"));
    std::array<std::uint8_t, 4> target{};
    glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, target.data());
    EXPECT_TRUE(colours_near(target, black));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_TRUE(colours_near(window.pixel_from_top(2, 2), red));

    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    window.reset_state();
}

TEST(script_clear_screen, without_a_current_context_changes_nothing)
{
    gl_window& window = gl_window::shared();
    ASSERT_TRUE(window.ready());
    window.reset_state();
    clear_to_red();
    GLFWwindow* current = glfwGetCurrentContext();
    glfwMakeContextCurrent(nullptr);
    script_session session;
    EXPECT_EQ(session.output_of("print(String(clearScreen()))"), "Scripting Engine: undefined\n");
    glfwMakeContextCurrent(current);
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), red));
}

} // namespace
