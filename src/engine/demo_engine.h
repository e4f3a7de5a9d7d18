// demo_engine: the one object that owns a demo run: the description (its
// demo_config part), the file system, the music and the window. Start-up,
// the run loop on the wall clock and shutdown. Depends on GLFW, GLEW and
// every subsystem. Threads: everything here runs on the main thread, which
// holds the GL context from init until shutdown destroys the window.
#pragma once

#include "data/audio_asset.h"
#include "data/demo_filesystem.h"
#include "engine/demo_config.h"

#include <cstdint>
#include <string>

struct GLFWwindow;
class time_line;
class time_line_item;

class demo_engine : public demo_config {
public:
    demo_engine() = default;
    ~demo_engine() = default;
    demo_engine(const demo_engine&) = delete;
    demo_engine& operator=(const demo_engine&) = delete;

    // File system, description, onLoad script, music, then the window with
    // its GL 4.2 core context current and GLEW loaded. False on the first
    // failing step, which has reported itself.
    bool init();
    // Plays the flow until the window's close flag is set (true); false when
    // a preparation step fails, after destroying the window and showing a box.
    bool run();
    // Stops the script engine, closes the file system and the music, destroys
    // the window when still held and terminates GLFW. Always true.
    bool shutdown();

    // Copies the first music asset of config named config.default_music into
    // target. False, with target unchanged, when there is none.
    static bool find_default_music(const demo_config& config, audio_asset& target);

    audio_asset music;                // the default music, copied from the assets and loaded by init
    demo_filesystem fs;               // source of every file, opened by init
    std::int32_t window_width = 0;    // window size in pixels, set by init
    std::int32_t window_height = 0;   // likewise
    GLFWwindow* window = nullptr;     // the window and its context; null before init and once destroyed

private:
    bool open_window();
    bool fail_run(const std::string& box_text);
    bool load_before_clock();
    void start_first_item();
    void run_frame(float time);
    void draw_first_active(float time);
};

// Whether a window of this size can be asked of the window system: 1 to
// 32767 pixels on either axis.
bool window_size_supported(std::int32_t width, std::int32_t height);

// Escape presses set the window's close flag; every other key, and Escape
// repeats and releases, do nothing.
void key_callback(GLFWwindow* window, int key, int scancode, int action, int mods);

// Nanoseconds on the system wall clock.
std::int64_t wall_clock_nanoseconds();
// Demo time in seconds: the signed nanosecond difference as a float, times 1e-9f.
float demo_time_seconds(std::int64_t start_nanoseconds, std::int64_t now_nanoseconds);

// Console lines of an item arriving in and leaving the active list.
std::string adding_line(const time_line_item& item, float time);
std::string removing_line(const time_line_item& item);

// Moves every pending item whose start has come to the end of the active
// list, in pending order, each with its adding line.
void add_due_items(time_line& timeline, float time);
// Takes every active item whose end has come out of the active list,
// unloading it first when loaded, each with its removing line.
void remove_expired_items(time_line& timeline, float time);
