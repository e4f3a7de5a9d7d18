// demo_filesystem: the one source of every file the player reads. Open picks,
// once, between the packed "demo.dat" (all entries inflated into memory) and
// loose files read from the current directory. Depends on zlib and the C runtime.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Values of demo_filesystem::get_mode.
enum demo_filesystem_mode : int32_t {
    demo_filesystem_not_opened = 0, // open has not run: reads go to loose files
    demo_filesystem_loose = 1,      // "demo.dat" missing or not valid
    demo_filesystem_packed = 2,     // every read is answered from "demo.dat"
};

struct demo_filesystem_state;

class demo_filesystem {
public:
    demo_filesystem();
    virtual ~demo_filesystem();
    demo_filesystem(const demo_filesystem&) = delete;
    demo_filesystem& operator=(const demo_filesystem&) = delete;

    // Writes the opening line and fixes the mode; always true.
    bool open();
    // Releases the packed entries and writes the closing line; always true.
    bool close();
    // The whole content of one file; empty when it is not found.
    std::vector<uint8_t> read_file(const std::string& path);
    // read_file's bytes as a string, unchanged.
    std::string read_text(const std::string& path);
    int32_t get_mode() const;

private:
    std::unique_ptr<demo_filesystem_state> state; // made by the constructor
};

// Reads the loose file at path whole into bytes, as read_file does in loose
// mode, but writes no console line: for a reader with its own report. False,
// with bytes empty, when the file cannot be opened or sized, is larger than
// max_size bytes or cannot be held.
bool read_loose_file(const std::string& path, uint64_t max_size, std::vector<uint8_t>& bytes);
