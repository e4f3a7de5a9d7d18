// player_process: fork and exec of the player with its streams sent to files,
// polled with waitpid.
#include "support/player_process.h"

#include <chrono>
#include <csignal>
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

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void point_at(int fd, const std::string& path, int flags)
{
    const int file = open(path.c_str(), flags, 0644);
    if (file >= 0) {
        dup2(file, fd);
        close(file);
    }
}

} // namespace

player_process::player_process(const std::string& folder, const std::string& display,
                               const std::vector<std::string>& environment,
                               const std::vector<std::string>& arguments)
{
#ifdef NIMBREL_PLAYER_PATH
    std::string pattern = (std::filesystem::temp_directory_path() / "nimbrel-player-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return;
    capture_dir = pattern;
    const std::string out_path = capture_dir + "/stdout";
    const std::string err_path = capture_dir + "/stderr";
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        point_at(0, "/dev/null", O_RDONLY);
        point_at(1, out_path, O_WRONLY | O_CREAT | O_TRUNC);
        point_at(2, err_path, O_WRONLY | O_CREAT | O_TRUNC);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const std::string& entry : environment)
            putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv = {const_cast<char*>(NIMBREL_PLAYER_PATH)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    pid = child > 0 ? child : -1;
#else
    (void)folder;
    (void)display;
    (void)environment;
    (void)arguments;
#endif
}

player_process::~player_process()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        reap(true);
    }
    if (!capture_dir.empty()) {
        std::error_code error;
        std::filesystem::remove_all(capture_dir, error);
    }
}

bool player_process::reap(bool block)
{
    int status = 0;
    const pid_t done = waitpid(pid, &status, block ? 0 : WNOHANG);
    if (done != pid)
        return false;
    pid = -1;
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool player_process::running()
{
    return pid > 0 && !reap(false);
}

bool player_process::wait_for_output(const std::string& text, int timeout_ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (output().find(text) != std::string::npos)
            return true;
        if (!running() || std::chrono::steady_clock::now() >= until)
            return output().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool player_process::wait_for_exit(int timeout_ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (running()) {
        if (std::chrono::steady_clock::now() >= until) {
            kill(pid, SIGKILL);
            reap(true);
            exit_code = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string player_process::output() const
{
    return capture_dir.empty() ? std::string() : read_file(capture_dir + "/stdout");
}

std::string player_process::errors() const
{
    return capture_dir.empty() ? std::string() : read_file(capture_dir + "/stderr");
}

std::string mask_times(const std::string& output)
{
    static const std::regex time(R"(at time: [-+0-9.eE]+(inf|nan)?)");
    return std::regex_replace(output, time, "at time: <t>");
}
