// error_box: the modal "Error" box with one OK button (MessageBoxA on Windows,
// SDL2's simple message box on Linux, a line on standard error without a
// display), and a recorder that tests install in its place.
#pragma once

#include <string>
#include <vector>

// Shows the box with the given text and returns once it has been dismissed.
// Writes nothing to standard output.
void show_error_box(const std::string& text);

// While one exists, show_error_box records its texts here instead of showing
// a box, so tests never block. Recorders nest: the newest one records.
class error_box_recorder {
public:
    error_box_recorder();
    ~error_box_recorder();
    error_box_recorder(const error_box_recorder&) = delete;
    error_box_recorder& operator=(const error_box_recorder&) = delete;

    std::vector<std::string> texts; // every box text since construction, in order

private:
    error_box_recorder* previous = nullptr; // the recorder this one replaced, restored on destruction
};
