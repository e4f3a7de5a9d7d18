// x_session: a private Xvfb display for one end-to-end test, so that tests
// running side by side never see each other's windows, and the X tools the
// tests drive it with: screenshots (ImageMagick's import), the window tree
// (xwininfo) and keys and clicks (xdotool). Depends on POSIX fork and exec.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One top-level window as xwininfo reports it.
struct x_window {
    std::string id;  // X window id, "0x..."
    std::string name; // the window's name (its title)
    int width = 0;   // size in pixels
    int height = 0;
    int x = 0;       // absolute position of the top-left corner on the screen
    int y = 0;
};

// An 8-bit RGB picture, rows top to bottom.
struct x_screenshot {
    int width = 0;              // pixels per row; 0 when the capture failed
    int height = 0;             // rows
    std::vector<uint8_t> rgb;   // width * height * 3 bytes

    std::array<uint8_t, 3> pixel(int x, int y) const;
};

class x_session {
public:
    // Starts Xvfb with one screen of the given size and 24-bit colour.
    x_session(int width = 320, int height = 240);
    ~x_session();
    x_session(const x_session&) = delete;
    x_session& operator=(const x_session&) = delete;

    bool ready() const { return !display_name.empty(); }
    // The value for DISPLAY, ":N".
    const std::string& display() const { return display_name; }

    // The root window as 8-bit RGB (`import -window root -depth 8`).
    x_screenshot screenshot() const;
    // Every window of the tree whose name is exactly `name`, children included.
    std::vector<x_window> windows_named(const std::string& name) const;
    // Polls the window tree until a window of that name exists or
    // timeout_ms passes.
    std::optional<x_window> wait_for_window(const std::string& name, int timeout_ms) const;
    // Moves the pointer to (x, y) and clicks the left button there.
    bool click(int x, int y) const;
    // Moves the pointer into the window, gives it the focus and presses and
    // releases the key (an xdotool key name such as "Escape").
    bool press_key(const x_window& window, const std::string& key) const;

    // Runs a program with DISPLAY set to this session; true when it exits 0.
    // Its standard output goes to `output` when given.
    bool run_tool(const std::vector<std::string>& argv, std::string* output = nullptr) const;

    const int screen_width;  // size of the Xvfb screen
    const int screen_height;

private:
    int server_pid = -1;      // the Xvfb process, -1 when it did not start
    std::string display_name; // ":N" once the server reported its display
};
