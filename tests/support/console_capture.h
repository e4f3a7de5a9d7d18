// console_capture: records everything written to standard output, through
// the C++ stream and the C runtime alike, in the order it was written. It
// points file descriptor 1 at a temporary file for its lifetime.
#pragma once

#include <string>

class console_capture {
public:
    console_capture();
    ~console_capture();
    console_capture(const console_capture&) = delete;
    console_capture& operator=(const console_capture&) = delete;

    // Everything written since construction (or since the last take()),
    // removed from the record.
    std::string take();

private:
    int saved_stdout = -1; // duplicate of the real fd 1, restored on destruction
    int capture_fd = -1;   // the temporary file that fd 1 points at
    long consumed = 0;     // bytes of the file already handed out by take()
};
