// The error box: the recorder that tests install, and the fallback to
// standard error when no display can show a box.
#include "platform/error_box.h"
#include "support/console_capture.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

TEST(error_box, recorder_keeps_texts_in_order_and_writes_nothing)
{
    console_capture console;
    error_box_recorder boxes;
    show_error_box("SCRIPT SINGLE::ONLOAD failed to execute");
    show_error_box(std::string("a\0b", 3));
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{"SCRIPT SINGLE::ONLOAD failed to execute", std::string("a\0b", 3)}));
    EXPECT_EQ(console.take(), "");
}

TEST(error_box, nested_recorder_takes_over_and_gives_back)
{
    error_box_recorder outer;
    {
        error_box_recorder inner;
        show_error_box("inner");
        EXPECT_EQ(inner.texts, std::vector<std::string>{"inner"});
    }
    show_error_box("outer");
    EXPECT_EQ(outer.texts, std::vector<std::string>{"outer"});
}

// Redirects file descriptor 2 into a temporary file for its lifetime.
class stderr_capture {
public:
    stderr_capture()
    {
        std::fflush(stderr);
        char name[] = "/tmp/nimbrel-stderr-XXXXXX";
        fd = mkstemp(name);
        path = name;
        saved = dup(STDERR_FILENO);
        dup2(fd, STDERR_FILENO);
    }
    ~stderr_capture()
    {
        restore();
        close(fd);
        unlink(path.c_str());
    }
    std::string take()
    {
        restore();
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    void restore()
    {
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, STDERR_FILENO);
            close(saved);
            saved = -1;
        }
    }
    int fd = -1;
    int saved = -1;
    std::string path;
};

TEST(error_box, without_a_display_writes_the_text_to_standard_error)
{
    std::string written;
    console_capture console;
    {
        scoped_env no_x("DISPLAY", nullptr);
        scoped_env no_wayland("WAYLAND_DISPLAY", nullptr);
        stderr_capture errors;
        show_error_box("Invalid or corrupted demo config!");
        written = errors.take();
    }
    // SDL may add its own warnings; our line must be there whole.
    EXPECT_NE(written.find("Error: Invalid or corrupted demo config!\n"), std::string::npos) << written;
    EXPECT_EQ(console.take(), "");
}

} // namespace
