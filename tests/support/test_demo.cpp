// test_demo: demo folders for the end-to-end tests.
#include "support/test_demo.h"

#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <fstream>
#include <sstream>

const char* const full_screen_vertex_shader = R"(#version 420 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec2 uv;
out vec2 vertex_uv;
void main()
{
    vertex_uv = uv;
    gl_Position = vec4(position, 1.0);
}
)";

test_demo test_demo::make(const std::string& configuration, const std::string& flow,
                          const std::string& music_path, const std::string& music)
{
    test_demo demo;
    demo.add("data/base3.vs", full_screen_vertex_shader);
    demo.add(music_path, music.empty() ? example_music() : music);
    std::string members = "\"defaultMusic\": \"theme\"";
    if (!configuration.empty())
        members += ", " + configuration;
    demo.add("data/demo.json", "{\n\"configuration\": {" + members + "},\n"
                               "\"assets\": {\"music\": [{\"ref\": \"theme\", \"path\": \"" + music_path + "\"}]},\n"
                               "\"flow\": " + flow + "\n}\n");
    return demo;
}

void test_demo::write_loose(const temp_dir& folder) const
{
    for (const auto& [path, bytes] : files)
        folder.write(path, bytes);
}

void test_demo::write_packed(const temp_dir& folder) const
{
    demo_dat_writer writer;
    for (const auto& [path, bytes] : files)
        writer.add(path, bytes);
    folder.write("demo.dat", writer.bytes());
}

std::string solid_colour_shader(float red, float green, float blue)
{
    std::ostringstream text;
    text << "#version 420 core\nout vec4 outColor;\nvoid main()\n{\n    outColor = vec4(" << red << ", " << green
         << ", " << blue << ", 1.0);\n}\n";
    return text.str();
}

std::string example_music()
{
    std::ifstream in(std::string(NIMBREL_SOURCE_DIR) + "/examples/tour/data/music/theme.mp3", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

namespace {

void append_le(std::string& out, uint32_t value, int bytes)
{
    for (int at = 0; at < bytes; ++at)
        out.push_back(static_cast<char>((value >> (8 * at)) & 0xff));
}

} // namespace

std::string wav_file(const std::vector<int16_t>& samples, int rate)
{
    const uint32_t data_size = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    append_le(out, 36 + data_size, 4);
    out += "WAVEfmt ";
    append_le(out, 16, 4);                              // format chunk size
    append_le(out, 1, 2);                               // PCM
    append_le(out, 1, 2);                               // mono
    append_le(out, static_cast<uint32_t>(rate), 4);
    append_le(out, static_cast<uint32_t>(rate) * 2, 4); // bytes per second
    append_le(out, 2, 2);                               // bytes per frame
    append_le(out, 16, 2);                              // bits per sample
    out += "data";
    append_le(out, data_size, 4);
    for (const int16_t sample : samples)
        append_le(out, static_cast<uint16_t>(sample), 2);
    return out;
}
