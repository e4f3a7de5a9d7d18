// error_box: the platform branches behind show_error_box. Windows uses
// MessageBoxA; Linux uses SDL2, falling back to standard error when SDL
// cannot show a box (no display).
#include "platform/error_box.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <SDL2/SDL.h>
#endif

namespace {

error_box_recorder* active_recorder = nullptr; // the test recorder in place, or null

void show_platform_box(const std::string& text)
{
#ifdef _WIN32
    MessageBoxA(nullptr, text.c_str(), "Error", MB_OK);
#else
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text.c_str(), nullptr) != 0) {
        std::fprintf(stderr, "Error: %s\n", text.c_str());
        std::fflush(stderr);
    }
#endif
}

} // namespace

void show_error_box(const std::string& text)
{
    // The box may wait for minutes: every console line written before it
    // must already be in a piped log, even if the run is stopped there.
    std::cout.flush();
    std::fflush(stdout);
    if (active_recorder != nullptr) {
        active_recorder->texts.push_back(text);
        return;
    }
    show_platform_box(text);
}

error_box_recorder::error_box_recorder()
    : previous(active_recorder)
{
    active_recorder = this;
}

error_box_recorder::~error_box_recorder()
{
    active_recorder = previous;
}
