// gl_window: one hidden GLFW window with an OpenGL 4.2 core context and GLEW
// initialised, made once per test process and shared by every GL test in it.
// Needs an X display (the tests run under xvfb-run); waits a while for one.
#pragma once

#include <GL/glew.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

struct GLFWwindow;

class gl_window {
public:
    static constexpr int width = 64;  // framebuffer width of the shared window
    static constexpr int height = 48; // framebuffer height of the shared window
    // How long the shared window keeps trying to reach the X display: a
    // server started without -noreset refuses clients for a moment while it
    // resets after its last client left, which tests running side by side
    // meet whenever one process ends just as another starts.
    static constexpr std::chrono::milliseconds shared_display_wait{5000};

    // The shared window, created at the first call; its context is made
    // current on every call. Fails the calling test when no context could
    // be made (check with ready()).
    static gl_window& shared();

    // A window of its own, for tests of the wait itself; never alongside
    // shared(), as both would own the one GLFW of the process. While DISPLAY
    // names a display that cannot be reached it tries again until
    // display_wait has passed.
    explicit gl_window(std::chrono::milliseconds display_wait);
    ~gl_window();

    bool ready() const { return window != nullptr; }
    // Why no window could be made (GLFW's or GLEW's error); empty once ready.
    const std::string& failure() const { return failure_text; }

    // RGBA of one pixel of the bound read framebuffer, x from the left and
    // y from the top edge (GL counts rows from the bottom).
    std::array<std::uint8_t, 4> pixel_from_top(int x, int y) const;

    // Puts the context back into the state a test expects: window
    // framebuffer bound, no program, vertex array or texture, unit 0 active.
    void reset_state() const;

    gl_window(const gl_window&) = delete;
    gl_window& operator=(const gl_window&) = delete;

private:
    bool open(); // one try at the window, its context and GLEW
    // Records why a try failed and undoes what it made; always false.
    bool give_up(const std::string& why);

    GLFWwindow* window = nullptr; // the hidden window, null when creation failed
    std::string failure_text;     // why the last try failed
};

// Compares two colours component by component with a tolerance of a few
// levels, as software rasterisers round differently.
::testing::AssertionResult colours_near(const std::array<std::uint8_t, 4>& actual,
                                       const std::array<std::uint8_t, 4>& expected, int tolerance = 3);
