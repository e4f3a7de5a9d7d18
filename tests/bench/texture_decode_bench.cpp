// texture_decode_bench: one texture_asset load (read, checks and decode) and
// unload of a 4096 x 4096 RGB image from a loose file, as a PNG and as a
// baseline JPEG, the largest textures a demo commonly ships. The images are
// made once by stb_image_write from a smooth pattern with some grain, so that
// both encoders meet content like a photograph's. Run by hand:
// build-release/tests/texture_decode_bench
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "support/console_capture.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>
#include <stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int side = 4096;

std::vector<uint8_t> photo_like_pixels()
{
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * 3);
    uint32_t seed = 1;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 29) - 4;
            const double u = x / double(side), v = y / double(side);
            const double shade[3] = {0.5 + 0.5 * std::sin(u * 9 + v * 3), 0.5 + 0.5 * std::cos(v * 7 - u * 2),
                                     0.5 + 0.5 * std::sin((u + v) * 5)};
            for (int c = 0; c < 3; ++c) {
                const int value = static_cast<int>(shade[c] * 230) + grain + 12;
                pixels[(static_cast<size_t>(y) * side + x) * 3 + c] = static_cast<uint8_t>(value);
            }
        }
    }
    return pixels;
}

void append_to(void* context, void* bytes, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
}

// The two files, written into a folder that stays the current directory
// while the benchmarks run.
struct bench_images {
    bench_images()
    {
        const std::vector<uint8_t> pixels = photo_like_pixels();
        std::vector<uint8_t> png, jpeg;
        stbi_write_png_to_func(append_to, &png, side, side, 3, pixels.data(), side * 3);
        stbi_write_jpg_to_func(append_to, &jpeg, side, side, 3, pixels.data(), 85); // baseline, 4:2:0
        folder.write("big.png", png);
        folder.write("big.jpg", jpeg);
    }

    temp_dir folder;
};

const bench_images& images()
{
    static const bench_images made;
    return made;
}

void load_texture(benchmark::State& state, const char* path)
{
    images();
    demo_filesystem filesystem;
    console_capture quiet;
    filesystem.open(); // no "demo.dat" here: loose files
    texture_asset asset;
    asset.path = path;
    for (auto _ : state) {
        if (!asset.load(filesystem)) {
            state.SkipWithError("the texture did not load");
            break;
        }
        benchmark::DoNotOptimize(asset.get_pixels());
        asset.unload();
    }
    quiet.take();
}

void png_4096(benchmark::State& state) { load_texture(state, "big.png"); }
void baseline_jpeg_4096(benchmark::State& state) { load_texture(state, "big.jpg"); }

} // namespace

BENCHMARK(png_4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(baseline_jpeg_4096)->Unit(benchmark::kMillisecond)->UseRealTime();
