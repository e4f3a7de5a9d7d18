// demo_engine: start-up, the run loop and shutdown, with the GL-free time line
// passes and time conversion that the loop is built from. Depends on GLFW,
// GLEW, demo_config, the assets, time_line_item, the error box and print_line.
#include "engine/demo_engine.h"

#include "engine/time_line.h"
#include "platform/error_box.h"
#include "platform/print_line.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <iostream>
#include <sstream>

namespace {

const char* const window_title = "Nimbrel Demo Engine (v3.2 b.220916)";
// X11 keeps window sizes in 16 bits and GLFW asserts on negative ones.
const std::int32_t largest_window_side = 32767;

// The monitor's current colour depth and refresh rate, double buffering and
// a GL 4.2 core context, in this order.
void request_window_hints(const GLFWvidmode& mode)
{
    glfwWindowHint(GLFW_RED_BITS, mode.redBits);
    glfwWindowHint(GLFW_GREEN_BITS, mode.greenBits);
    glfwWindowHint(GLFW_BLUE_BITS, mode.blueBits);
    glfwWindowHint(GLFW_REFRESH_RATE, mode.refreshRate);
    glfwWindowHint(GLFW_DOUBLEBUFFER, 1);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
}

} // namespace

bool window_size_supported(std::int32_t width, std::int32_t height)
{
    return width >= 1 && width <= largest_window_side && height >= 1 && height <= largest_window_side;
}

bool demo_engine::init()
{
    fs.open();
    if (!load(fs)) {
        show_error_box("Invalid or corrupted demo config!");
        return false;
    }
    if (!on_load_script.empty() && !scripting.run(on_load_script.c_str())) {
        std::cout << "SCRIPT CONFIG::ONLOAD failed to execute\n";
        return false;
    }
    if (!find_default_music(*this, music)) {
        show_error_box("Invalid Default Music setting");
        return false;
    }
    std::cout << "- loading default music: " << music.name << std::endl;
    if (!music.load(fs)) {
        show_error_box("Audio asset could not be loaded correctly!");
        return false;
    }
    if (!glfwInit()) {
        show_error_box("glfwInit failed!");
        return false;
    }
    return open_window();
}

// Steps 8 to 13 of init: the window on the primary monitor's current mode,
// its context and the GL entry points.
bool demo_engine::open_window()
{
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) {
        // Nothing to size the window by: fail as a window that was not made.
        print_line("ERROR: no primary monitor or no current video mode, cannot open the window");
        glfwTerminate();
        return false;
    }
    request_window_hints(*mode);
    window_width = native_screen ? mode->width : width;
    window_height = native_screen ? mode->height : height;
    if (!window_size_supported(window_width, window_height)) {
        // The window system would abort or end the process on such a size:
        // fail as a window that was not made.
        print_line("ERROR: window size " + std::to_string(window_width) + "x" + std::to_string(window_height) +
                   " is outside 1..32767");
        glfwTerminate();
        return false;
    }
    window = glfwCreateWindow(window_width, window_height, window_title, windowed ? nullptr : monitor, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return false;
    }
    glfwMakeContextCurrent(window);
    glViewport(0, 0, window_width, window_height);
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_HIDDEN);

    // Load every entry point the driver offers, whatever extensions a core
    // context lists.
    glewExperimental = GL_TRUE;
    const GLenum glew_result = glewInit();
    if (glew_result != GLEW_OK) {
        show_error_box(reinterpret_cast<const char*>(glewGetErrorString(glew_result)));
        glfwDestroyWindow(window);
        window = nullptr;
        glfwTerminate();
        return false;
    }
    return true;
}

bool demo_engine::find_default_music(const demo_config& config, audio_asset& target)
{
    for (const audio_asset& candidate : config.assets.music) {
        if (candidate.name == config.default_music) {
            target = candidate;
            return true;
        }
    }
    return false;
}

bool demo_engine::run()
{
    if (!load_before_clock())
        return false;
    start_first_item();
    const std::int64_t start_time = wall_clock_nanoseconds();
    if (!on_start_script.empty() && !scripting.run(on_start_script.c_str()))
        return fail_run("SCRIPT CONFIG::ONSTART failed to execute");
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, key_callback);
    music.play();

    while (!glfwWindowShouldClose(window))
        run_frame(demo_time_seconds(start_time, wall_clock_nanoseconds()));
    return true;
}

// pre_load_all: every texture, then every pending item, and the first failure
// is fatal. Otherwise only the first item, whose failure the loop retries.
bool demo_engine::load_before_clock()
{
    if (!pre_load_all) {
        if (!timeline.pending.empty())
            timeline.pending.front().load(fs, scripting);
        return true;
    }
    for (texture_asset& texture : assets.textures) {
        if (!texture.load(fs))
            return fail_run("Fatal error: could not load all texture assets required for this demo!");
    }
    for (time_line_item& item : timeline.pending) {
        if (!item.load(fs, scripting))
            return fail_run("Fatal error: could not load all flow item required for this demo!");
    }
    return true;
}

// One frame at demo time `time`: the one value serves every step.
void demo_engine::run_frame(float time)
{
    add_due_items(timeline, time);
    draw_first_active(time);
    glfwSwapBuffers(window);
    glfwPollEvents();
    remove_expired_items(timeline, time);
}

// The first item's own onStart runs before the clock starts.
void demo_engine::start_first_item()
{
    if (!timeline.pending.empty())
        timeline.pending.front().start(window_width, window_height, scripting);
}

// Only the first active item is handled: loaded in one frame, started and
// rendered from the next. Both lists empty means the flow is over.
void demo_engine::draw_first_active(float time)
{
    if (timeline.active.empty()) {
        if (timeline.pending.empty())
            glfwSetWindowShouldClose(window, 1);
        return;
    }
    time_line_item& first = timeline.active.front();
    if (first.is_loaded()) {
        first.start(window_width, window_height, scripting);
        first.render(time, scripting);
    } else {
        first.load(fs, scripting);
    }
}

// A failed preparation step: the window goes first, then the box.
bool demo_engine::fail_run(const std::string& box_text)
{
    glfwDestroyWindow(window);
    window = nullptr;
    show_error_box(box_text);
    return false;
}

bool demo_engine::shutdown()
{
    unload();
    fs.close();
    music.unload();
    if (window != nullptr) {
        glfwDestroyWindow(window);
        window = nullptr;
    }
    glfwTerminate();
    return true;
}

void key_callback(GLFWwindow* window, int key, int /*scancode*/, int action, int /*mods*/)
{
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS)
        glfwSetWindowShouldClose(window, 1);
}

std::int64_t wall_clock_nanoseconds()
{
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
}

float demo_time_seconds(std::int64_t start_nanoseconds, std::int64_t now_nanoseconds)
{
    return static_cast<float>(now_nanoseconds - start_nanoseconds) * 1e-9f;
}

// Times are widened to double and written in the stream's default format.
std::string adding_line(const time_line_item& item, float time)
{
    std::ostringstream line;
    line << "- adding effect: " << item.name << "; start=" << static_cast<double>(item.start_time)
         << "; end=" << static_cast<double>(item.end) << " at time: " << static_cast<double>(time);
    return line.str();
}

std::string removing_line(const time_line_item& item)
{
    std::ostringstream line;
    line << "- removing effect: " << item.name << "; start=" << static_cast<double>(item.start_time)
         << "; end=" << static_cast<double>(item.end);
    return line.str();
}

void add_due_items(time_line& timeline, float time)
{
    auto item = timeline.pending.begin();
    while (item != timeline.pending.end()) {
        if (time >= item->start_time) {
            print_line(adding_line(*item, time));
            timeline.active.push_back(*item);
            item = timeline.pending.erase(item);
        } else {
            ++item;
        }
    }
}

void remove_expired_items(time_line& timeline, float time)
{
    auto item = timeline.active.begin();
    while (item != timeline.active.end()) {
        if (time >= item->end) {
            if (item->is_loaded())
                item->unload();
            print_line(removing_line(*item));
            item = timeline.active.erase(item);
        } else {
            ++item;
        }
    }
}
