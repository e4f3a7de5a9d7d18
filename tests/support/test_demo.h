// test_demo: the files of a small demo for the end-to-end tests, written into
// a folder either as loose files or packed into "demo.dat", with the pieces
// most tests share: the full-screen vertex shader, a solid-colour fragment
// shader, the example's MP3 and a generated WAV. Depends on temp_dir and
// demo_dat_writer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class temp_dir;

class test_demo {
public:
    // A demo with "data/base3.vs", the music asset "theme" (the example's
    // MP3 unless other bytes and a path are given), the given "configuration"
    // members (JSON text without braces, joined after "defaultMusic") and
    // "flow" array (JSON text).
    static test_demo make(const std::string& configuration, const std::string& flow,
                          const std::string& music_path = "data/theme.mp3", const std::string& music = "");

    void add(const std::string& path, const std::string& bytes) { files[path] = bytes; }
    void write_loose(const temp_dir& folder) const;
    void write_packed(const temp_dir& folder) const;

    std::map<std::string, std::string> files; // relative path to content
};

// "data/base3.vs": passes the quad through in clip space.
extern const char* const full_screen_vertex_shader;
// A fragment shader that writes one opaque colour (components 0 to 1).
std::string solid_colour_shader(float red, float green, float blue);
// The example demo's music file.
std::string example_music();
// A mono 16-bit PCM WAV file of the given samples.
std::string wav_file(const std::vector<int16_t>& samples, int rate);
