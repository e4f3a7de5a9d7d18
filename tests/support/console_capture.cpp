// console_capture: fd-level capture of standard output for console tests.
#include "support/console_capture.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

console_capture::console_capture()
{
    std::cout.flush();
    std::fflush(stdout);
    char path[] = "/tmp/nimbrel-console-XXXXXX";
    capture_fd = mkstemp(path);
    if (capture_fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    unlink(path);
    saved_stdout = dup(STDOUT_FILENO);
    dup2(capture_fd, STDOUT_FILENO);
}

console_capture::~console_capture()
{
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    close(capture_fd);
}

std::string console_capture::take()
{
    std::cout.flush();
    std::fflush(stdout);
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = pread(capture_fd, buffer, sizeof buffer, consumed);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
        consumed += n;
    }
    return text;
}
