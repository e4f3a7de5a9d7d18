// gl_window's wait for the X display: a window asked for before its server
// accepts clients (one starting, or one resetting after its last client left)
// is made once the server is there, and one whose display never comes fails
// with GLFW's message when the wait is over, without waiting when DISPLAY
// names nothing.
#include "support/gl_window.h"
#include "support/scoped_env.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A display number that no server on this machine holds now. Starts high so
// that servers which pick the lowest free number stay out of its way.
int unused_display_number()
{
    for (int number = 400 + static_cast<int>(getpid() % 400);; ++number) {
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(lock.c_str(), F_OK) != 0 && access(socket.c_str(), F_OK) != 0)
            return number;
    }
}

// Xvfb on display :number, started by a child only after `delay`, so that
// the display cannot be reached at first; stopped on destruction.
class late_x_server {
public:
    late_x_server(int number, milliseconds delay)
    {
        const std::string display = ":" + std::to_string(number);
        pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            usleep(static_cast<useconds_t>(delay.count() * 1000));
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "64x48x24", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~late_x_server()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    late_x_server(const late_x_server&) = delete;
    late_x_server& operator=(const late_x_server&) = delete;

private:
    pid_t pid = -1;
};

milliseconds since(steady_clock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
}

TEST(gl_window_display_wait, window_is_made_once_a_late_server_accepts_clients)
{
    const int number = unused_display_number();
    const std::string display = ":" + std::to_string(number);
    scoped_env pointed("DISPLAY", display.c_str());
    const milliseconds delay(300);
    late_x_server server(number, delay);
    const auto start = steady_clock::now();
    gl_window window(std::chrono::seconds(20)); // Xvfb may start slowly on a busy machine
    const milliseconds waited = since(start);

    ASSERT_TRUE(window.ready()) << window.failure();
    EXPECT_GE(waited, delay) << "the display was there before its server started";
    EXPECT_EQ(window.failure(), "");
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(colours_near(window.pixel_from_top(0, 0), {0, 255, 0, 255}));
}

struct missing_display_case {
    const char* label;
    bool names_a_display; // false: DISPLAY unset
    const char* message;  // what the failure must hold; {display} stands for ":N"
    bool waits;           // true: tries until the wait is over
};

void PrintTo(const missing_display_case& c, std::ostream* out) { *out << c.label; }

class gl_window_missing_display : public testing::TestWithParam<missing_display_case> {};

TEST_P(gl_window_missing_display, fails_with_glfws_message)
{
    const missing_display_case& c = GetParam();
    const std::string display = ":" + std::to_string(unused_display_number());
    scoped_env pointed("DISPLAY", c.names_a_display ? display.c_str() : nullptr);
    const milliseconds wait(400);
    const auto start = steady_clock::now();
    gl_window window(wait);
    const milliseconds waited = since(start);

    EXPECT_FALSE(window.ready());
    std::string message = c.message;
    const size_t at = message.find("{display}");
    if (at != std::string::npos)
        message.replace(at, 9, display);
    EXPECT_NE(window.failure().find(message), std::string::npos) << window.failure();
    if (c.waits) {
        EXPECT_GE(waited, wait);
        EXPECT_LT(waited, wait + milliseconds(3000)) << "tried on after the wait";
    } else {
        EXPECT_LT(waited, wait) << "waited for a display that DISPLAY does not name";
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, gl_window_missing_display,
    testing::Values(missing_display_case{"never_served", true, "X11: Failed to open display {display}", true},
                    missing_display_case{"unset", false, "X11: The DISPLAY environment variable is missing",
                                         false}),
    [](const testing::TestParamInfo<missing_display_case>& info) { return std::string(info.param.label); });

} // namespace
