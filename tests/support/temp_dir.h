// temp_dir: a unique temporary folder that is the current directory for the
// fixture's lifetime; files are written into it by relative path. On
// destruction the old current directory is restored and the folder removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    // Absolute path of the folder.
    const std::string& path() const { return folder; }

    // Writes bytes to relative_path inside the folder, making its parent
    // folders; an existing file is replaced.
    void write(const std::string& relative_path, const std::string& bytes) const;
    void write(const std::string& relative_path, const std::vector<uint8_t>& bytes) const;

private:
    std::string folder;   // the temporary folder, absolute
    std::string previous; // the current directory before construction
};
