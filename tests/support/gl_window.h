// gl_window: one hidden GLFW window with an OpenGL 4.2 core context and GLEW
// initialised, made once per test process and shared by every GL test in it.
// Needs an X display (the tests run under xvfb-run).
#pragma once

#include <GL/glew.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

struct GLFWwindow;

class gl_window {
public:
    static constexpr int width = 64;  // framebuffer width of the shared window
    static constexpr int height = 48; // framebuffer height of the shared window

    // The shared window, created at the first call; its context is made
    // current on every call. Fails the calling test when no context could
    // be made (check with ready()).
    static gl_window& shared();

    bool ready() const { return window != nullptr; }

    // RGBA of one pixel of the bound read framebuffer, x from the left and
    // y from the top edge (GL counts rows from the bottom).
    std::array<std::uint8_t, 4> pixel_from_top(int x, int y) const;

    // Puts the context back into the state a test expects: window
    // framebuffer bound, no program, vertex array or texture, unit 0 active.
    void reset_state() const;

    gl_window(const gl_window&) = delete;
    gl_window& operator=(const gl_window&) = delete;

private:
    gl_window();
    ~gl_window();

    GLFWwindow* window = nullptr; // the hidden window, null when creation failed
};

// Compares two colours component by component with a tolerance of a few
// levels, as software rasterisers round differently.
::testing::AssertionResult colours_near(const std::array<std::uint8_t, 4>& actual,
                                       const std::array<std::uint8_t, 4>& expected, int tolerance = 3);
