// player_process: runs the built player (NIMBREL_PLAYER_PATH) the way a person
// would, with a demo folder as its current directory and an X display, and
// records its standard output, standard error and exit code. Depends on
// POSIX fork and exec; the player path comes from tests/CMakeLists.txt.
#pragma once

#include <string>
#include <vector>

class player_process {
public:
    // Starts the player in `folder` on `display` with the given command-line
    // arguments. SDL plays into its silent "dummy" driver unless
    // `environment` ("NAME=value" entries, applied last) says otherwise.
    player_process(const std::string& folder, const std::string& display,
                   const std::vector<std::string>& environment = {},
                   const std::vector<std::string>& arguments = {});
    // Kills the player when it still runs and removes the captured files.
    ~player_process();
    player_process(const player_process&) = delete;
    player_process& operator=(const player_process&) = delete;

    bool started() const { return pid > 0; }
    // Polls standard output until it contains `text`; false when the player
    // ended or timeout_ms passed first.
    bool wait_for_output(const std::string& text, int timeout_ms);
    // Waits for the player to end by itself; kills it after timeout_ms and
    // returns false then.
    bool wait_for_exit(int timeout_ms);
    bool running();

    std::string output() const; // standard output so far
    std::string errors() const; // standard error so far

    int exit_code = -1; // the exit status once it ended normally; -1 otherwise

private:
    bool reap(bool block);

    int pid = -1;             // the player's process id; -1 once reaped or when it did not start
    std::string capture_dir;  // temporary folder with the two captured streams
};

// The output with every number after "at time: " replaced by "<t>", so runs
// can be compared line by line.
std::string mask_times(const std::string& output);
