// example_assets: makes the music and the texture of the example demo from
// nothing but arithmetic: a twenty-second MP3 tune (libsndfile with its MP3
// encoder) and a 256 x 256 RGB PNG (stb_image_write). Run by
// scripts/make-example-assets with the demo's data folder as its argument.
#include <sndfile.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int sample_rate = 44100;
constexpr int channels = 2;
constexpr double seconds = 20.0;
constexpr double beat = 0.5; // 120 beats a minute
constexpr double pi = 3.14159265358979323846;

double note_hz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Deterministic noise for the hi-hat.
double noise(uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / double(1u << 24) * 2.0 - 1.0;
}

// One bar (four beats) per chord: A minor, F, C, G, as MIDI root and triad.
struct chord { int root; int third; int fifth; };
const chord progression[] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};

std::vector<float> render_tune()
{
    const int frames = int(seconds * sample_rate);
    std::vector<float> out(size_t(frames) * channels, 0.0f);
    uint32_t seed = 12345;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / sample_rate;
        const int beat_index = int(t / beat);
        const double in_beat = t - beat_index * beat;
        const chord& c = progression[(beat_index / 4) % 4];

        // Kick on every beat: a falling sine with a quick decay.
        const double kick = std::sin(2 * pi * (50.0 * in_beat + 60.0 * (1 - std::exp(-in_beat * 30)) / 30))
                            * std::exp(-in_beat * 9);
        // Hi-hat on the off-beat.
        const double off = in_beat - beat / 2;
        const double hat = off >= 0 ? noise(seed) * std::exp(-off * 60) * 0.25 : 0.0;
        // Bass: the chord root an octave down, a soft saw per beat.
        const double bass_phase = std::fmod(t * note_hz(c.root - 12), 1.0);
        const double bass = (bass_phase * 2 - 1) * std::exp(-in_beat * 3) * 0.35;
        // Pad: the triad as sines.
        const double pad = (std::sin(2 * pi * note_hz(c.root) * t) + std::sin(2 * pi * note_hz(c.third) * t)
                            + std::sin(2 * pi * note_hz(c.fifth) * t)) * 0.07;
        // Arpeggio in sixteenths over the triad, an octave up.
        const int step = int(t / (beat / 4));
        const int arp_notes[] = {c.root + 12, c.third + 12, c.fifth + 12, c.third + 12};
        const double in_step = t - step * (beat / 4);
        const double arp = (std::sin(2 * pi * note_hz(arp_notes[step % 4]) * t) > 0 ? 1 : -1)
                           * std::exp(-in_step * 18) * 0.08;

        double fade = 1.0;
        if (t < 0.05)
            fade = t / 0.05;
        if (t > seconds - 1.5)
            fade = std::max(0.0, (seconds - t) / 1.5);
        const double mono = (kick * 0.6 + bass + pad) * fade;
        const double pan = 0.5 + 0.4 * std::sin(2 * pi * t / 4); // the arpeggio wanders left and right
        out[size_t(i) * 2] = float((mono + hat * 0.8 + arp * (1 - pan)) * 0.7);
        out[size_t(i) * 2 + 1] = float((mono + hat + arp * pan) * 0.7);
    }
    return out;
}

bool write_mp3(const std::string& path, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = channels;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    int mode = SF_BITRATE_MODE_CONSTANT;
    double level = 0.7; // about 96 kbit/s: small enough to commit, clean enough to enjoy
    sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    const sf_count_t frames = sf_count_t(samples.size() / channels);
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

// A 256 x 256 RGB image: a colour wheel of rings over a checker board, with
// a bright frame, so that filtering, wrapping and orientation all show.
bool write_texture(const std::string& path)
{
    constexpr int size = 256;
    std::vector<uint8_t> pixels(size * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
            const double r = std::sqrt(u * u + v * v), a = std::atan2(v, u);
            const bool checker = ((x / 32) + (y / 32)) % 2 == 0;
            double red = checker ? 0.15 : 0.05, green = red, blue = checker ? 0.25 : 0.1;
            if (r < 0.8) {
                const double ring = 0.5 + 0.5 * std::cos(r * 28);
                red = (0.5 + 0.5 * std::cos(a)) * ring;
                green = (0.5 + 0.5 * std::cos(a + 2.094)) * ring;
                blue = (0.5 + 0.5 * std::cos(a + 4.189)) * ring;
            }
            if (y < 16) // top band, so an upside-down texture is easy to spot
                red = 1.0, green = 0.85, blue = 0.2;
            if (x < 4 || y < 4 || x >= size - 4 || y >= size - 4)
                red = green = blue = 1.0;
            uint8_t* p = &pixels[size_t(y * size + x) * 3];
            p[0] = uint8_t(std::lround(std::clamp(red, 0.0, 1.0) * 255));
            p[1] = uint8_t(std::lround(std::clamp(green, 0.0, 1.0) * 255));
            p[2] = uint8_t(std::lround(std::clamp(blue, 0.0, 1.0) * 255));
        }
    }
    return stbi_write_png(path.c_str(), size, size, 3, pixels.data(), size * 3) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <data folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    if (!write_mp3(folder + "/music/theme.mp3", render_tune()))
        return 1;
    if (!write_texture(folder + "/textures/rings.png"))
        return 1;
    std::printf("wrote %s/music/theme.mp3 and %s/textures/rings.png\n", folder.c_str(), folder.c_str());
    return 0;
}
