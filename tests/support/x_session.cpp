// x_session: Xvfb started with -displayfd (it picks a free display and writes
// its number to a pipe), and the X tools run through fork and exec with
// DISPLAY pointing at it.
#include "support/x_session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads everything from fd until end of file.
std::string read_all(int fd)
{
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            out.append(buffer, static_cast<size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return out;
        }
    }
}

std::vector<char*> c_argv(const std::vector<std::string>& argv)
{
    std::vector<char*> out;
    for (const std::string& one : argv)
        out.push_back(const_cast<char*>(one.c_str()));
    out.push_back(nullptr);
    return out;
}

void redirect_to_null(int fd)
{
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, fd);
        close(null);
    }
}

// Parses a binary PPM (P6, maxval 255).
x_screenshot parse_ppm(const std::string& bytes)
{
    x_screenshot picture;
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    if (magic != "P6" || width <= 0 || height <= 0 || maxval != 255)
        return picture;
    in.get(); // the single blank after the header
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const size_t offset = static_cast<size_t>(in.tellg());
    if (bytes.size() < offset + size)
        return picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return picture;
}

// xwininfo writes an offset as "+12", "-12" or, left of the screen, "+-12".
int position(const std::string& text)
{
    const size_t digits = text.find_first_not_of('+');
    return digits == std::string::npos ? 0 : std::stoi(text.substr(digits));
}

} // namespace

std::array<uint8_t, 3> x_screenshot::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return {0, 0, 0};
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

x_session::x_session(int width, int height) : screen_width(width), screen_height(height)
{
    int report[2];
    if (pipe(report) != 0)
        return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd_text = std::to_string(report[1]);
    const std::vector<std::string> argv = {"Xvfb", "-displayfd", fd_text, "-screen", "0", screen,
                                           "-nolisten", "tcp", "-noreset"};
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        redirect_to_null(0);
        redirect_to_null(1);
        redirect_to_null(2);
        std::vector<char*> args = c_argv(argv);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return;
    }
    server_pid = child;
    // Xvfb writes the display number and a newline once it accepts clients.
    std::string number;
    char one = 0;
    while (read(report[0], &one, 1) == 1 && one != '\n')
        number.push_back(one);
    close(report[0]);
    if (!number.empty())
        display_name = ":" + number;
}

x_session::~x_session()
{
    if (server_pid > 0) {
        kill(server_pid, SIGTERM);
        int status = 0;
        waitpid(server_pid, &status, 0);
    }
}

bool x_session::run_tool(const std::vector<std::string>& argv, std::string* output) const
{
    int out_pipe[2];
    if (pipe(out_pipe) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(out_pipe[0]);
        dup2(out_pipe[1], 1);
        close(out_pipe[1]);
        redirect_to_null(0);
        redirect_to_null(2);
        setenv("DISPLAY", display_name.c_str(), 1);
        std::vector<char*> args = c_argv(argv);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    if (child < 0) {
        close(out_pipe[0]);
        return false;
    }
    const std::string text = read_all(out_pipe[0]);
    close(out_pipe[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (output != nullptr)
        *output = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

x_screenshot x_session::screenshot() const
{
    std::string ppm;
    if (!run_tool({"import", "-window", "root", "-depth", "8", "ppm:-"}, &ppm))
        return {};
    return parse_ppm(ppm);
}

std::vector<x_window> x_session::windows_named(const std::string& name) const
{
    std::vector<x_window> found;
    std::string tree;
    if (!run_tool({"xwininfo", "-root", "-tree"}, &tree))
        return found;
    // "     0x400007 "Error": ("Error" "Error")  280x124+0+0  +520+298"
    static const std::regex line(R"re(^\s*(0x[0-9a-fA-F]+) "(.*)":.*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+([+-]-?\d+)([+-]-?\d+)\s*$)re");
    std::istringstream lines(tree);
    std::string text;
    while (std::getline(lines, text)) {
        std::smatch match;
        if (!std::regex_match(text, match, line) || match[2] != name)
            continue;
        x_window window;
        window.id = match[1];
        window.name = match[2];
        window.width = std::stoi(match[3]);
        window.height = std::stoi(match[4]);
        window.x = position(match[5]);
        window.y = position(match[6]);
        found.push_back(window);
    }
    return found;
}

std::optional<x_window> x_session::wait_for_window(const std::string& name, int timeout_ms) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        const std::vector<x_window> found = windows_named(name);
        if (!found.empty())
            return found.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < until);
    return std::nullopt;
}

bool x_session::click(int x, int y) const
{
    return run_tool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

bool x_session::press_key(const x_window& window, const std::string& key) const
{
    const std::string x = std::to_string(window.x + window.width / 2);
    const std::string y = std::to_string(window.y + window.height / 2);
    return run_tool({"xdotool", "mousemove", x, y}) &&
           run_tool({"xdotool", "windowfocus", window.id}) && run_tool({"xdotool", "key", key});
}
