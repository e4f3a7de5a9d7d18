// temp_dir: temporary current-directory fixture, built on std::filesystem
// and mkdtemp.
#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

temp_dir::temp_dir()
{
    previous = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "nimbrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    fs::current_path(folder);
}

temp_dir::~temp_dir()
{
    std::error_code error;
    fs::current_path(previous, error);
    fs::remove_all(folder, error);
}

void temp_dir::write(const std::string& relative_path, const std::string& bytes) const
{
    fs::path target = fs::path(folder) / relative_path;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "temp_dir: cannot write %s\n", target.c_str());
        std::abort();
    }
}

void temp_dir::write(const std::string& relative_path, const std::vector<uint8_t>& bytes) const
{
    write(relative_path, std::string(bytes.begin(), bytes.end()));
}
