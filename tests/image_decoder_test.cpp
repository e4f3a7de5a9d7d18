// Image decoder: the program's build of stb_image and its allocator per
// decode: the budget a decode may not pass, what it holds at its peak for
// the hungriest layouts of every format, and the size limit of its header
// query. What a texture load makes of it is tested with the texture asset.
#include "data/image_decoder.h"
#include "data/image_preflight.h"
#include "support/image_files.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace image_files;

constexpr std::size_t mib = std::size_t(1) << 20;

// A PNG of zero rows, interlaced (Adam7): each pass's rows with their filter bytes.
bytes interlaced_png(int width, int height, int depth, int color_type, int channels)
{
    static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::size_t rows = 0;
    for (const auto& pass : passes) {
        const int pass_width = (width - pass[0] + pass[2] - 1) / pass[2];
        const int pass_height = (height - pass[1] + pass[3] - 1) / pass[3];
        if (pass_width > 0 && pass_height > 0)
            rows += std::size_t(pass_height) * (1 + std::size_t(pass_width) * channels * depth / 8);
    }
    bytes header = png_header(std::uint32_t(width), std::uint32_t(height), depth, color_type);
    const bytes fields(header.begin() + 8, header.begin() + 8 + 13);
    bytes interlaced = fields;
    interlaced.back() = 1;
    return png_file({png_chunk("IHDR", interlaced), png_data(bytes(rows, 0))});
}

// A JPEG frame of three full-resolution components and no scan: the decoder
// allocates its planes (and, progressive, its coefficients) for the frame.
bytes jpeg_frame_only(std::uint8_t marker, int side)
{
    return concat({jpeg_start, jpeg_quantization(), jpeg_frame(marker, side, side, 3), jpeg_end});
}

// A GIF whose screen and frame are side x side, with one code (a root) of data.
bytes gif_screen(int side) { return gif(side, side, 2, {4, 0, 5}); }

void append_to(void* context, void* data, int size)
{
    auto* out = static_cast<bytes*>(context);
    out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

bytes hdr_image(int side)
{
    const std::vector<float> pixels(std::size_t(side) * side * 3, 0.5f);
    bytes file;
    stbi_write_hdr_to_func(append_to, &file, side, side, 3, pixels.data());
    return file;
}

// A raw RGBA PSD of zeros.
bytes psd_image(int side)
{
    bytes out = text("8BPS");
    out.insert(out.end(), {0, 1, 0, 0, 0, 0, 0, 0, 0, 4});
    for (int i = 0; i < 2; ++i)
        out.insert(out.end(), {0, 0, std::uint8_t(side >> 8), std::uint8_t(side)});
    out.insert(out.end(), {0, 8, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    out.resize(out.size() + std::size_t(side) * side * 4, 0);
    return out;
}

// The budget a texture load gives the file, from what its header states.
std::size_t budget_of(const bytes& file)
{
    image_samples samples;
    const char* problem = nullptr;
    image_size size;
    EXPECT_TRUE(preflight_image(file.data(), file.size(), samples, problem)) << problem;
    EXPECT_TRUE(image_decoder_info(file.data(), int(file.size()), &size.width, &size.height, &size.channels));
    return image_decode_budget(size, samples, file.size());
}

struct layout_case {
    const char* label;
    std::function<bytes()> file;
};

void PrintTo(const layout_case& c, std::ostream* out) { *out << c.label; }

// At 1024 a side the decoder's own state is small beside the image, and
// what it holds grows with the image: four times the samples and twice the
// file must cover it without the budget's 1 MiB for that state.
const layout_case hungriest_layouts[] = {
    {"png_16_bit_rgba_interlaced", [] { return interlaced_png(1024, 1024, 16, 6, 4); }},
    {"png_8_bit_grey_interlaced", [] { return interlaced_png(1024, 1024, 8, 0, 1); }},
    {"png_palette", [] { return png_file({png_header(1024, 1024, 8, 3), png_chunk("PLTE", bytes(6, 9)),
                                          png_chunk("tRNS", {0}), png_data(bytes(1024 * 1025, 0))}); }},
    {"jpeg_progressive", [] { return jpeg_frame_only(0xC2, 1024); }},
    {"jpeg_progressive_of_padded_sides", [] { return jpeg_frame_only(0xC2, 1001); }},
    {"jpeg_baseline", [] { return jpeg_frame_only(0xC0, 1024); }},
    {"gif", [] { return gif_screen(1024); }},
    {"hdr", [] { return hdr_image(1024); }},
    {"psd", [] { return psd_image(1024); }},
    {"pnm_16_bit", [] { return pnm("P6 1024 1024 65535\n", 1024 * 1024 * 6); }},
};

class image_decoder_peak : public testing::TestWithParam<layout_case> {};

TEST_P(image_decoder_peak, fits_the_budget_without_its_allowance)
{
    const bytes file = GetParam().file();
    const std::size_t budget = budget_of(file);
    const image_decode_result decoded = image_decoder_load(file.data(), int(file.size()), budget);
    ASSERT_EQ(decoded.outcome, image_decoded);
    EXPECT_EQ(decoded.width, 1024 - (std::string(GetParam().label).find("padded") != std::string::npos ? 23 : 0));
    EXPECT_LE(decoded.peak_bytes + mib, budget) << "peak " << decoded.peak_bytes << " of " << budget;
    image_decoder_free(decoded.pixels);
}

INSTANTIATE_TEST_SUITE_P(layouts, image_decoder_peak, testing::ValuesIn(hungriest_layouts),
                         [](const testing::TestParamInfo<layout_case>& info) { return info.param.label; });

// A decode that asks for more than its budget ends there: no pixels, and
// every block it held is freed (LeakSanitizer watches).
TEST(image_decoder, stops_at_its_budget_and_frees_what_it_held)
{
    const bytes file = interlaced_png(256, 256, 8, 2, 3);
    const image_decode_result full = image_decoder_load(file.data(), int(file.size()), 64 * mib);
    ASSERT_EQ(full.outcome, image_decoded);
    EXPECT_GE(full.peak_bytes, std::size_t(256 * 256 * 3));
    image_decoder_free(full.pixels);
    for (const std::size_t budget : {std::size_t(0), std::size_t(4096), full.peak_bytes - 1}) {
        const image_decode_result cut = image_decoder_load(file.data(), int(file.size()), budget);
        EXPECT_EQ(cut.outcome, image_over_budget) << budget;
        EXPECT_EQ(cut.pixels, nullptr);
        EXPECT_EQ(cut.width, 0);
        EXPECT_LE(cut.peak_bytes, budget);
    }
    const image_decode_result exact = image_decoder_load(file.data(), int(file.size()), full.peak_bytes);
    EXPECT_EQ(exact.outcome, image_decoded);
    image_decoder_free(exact.pixels);
}

// The header query takes sides up to the player's limit, 16384, and refuses
// larger ones, as every decode does.
TEST(image_decoder, header_query_refuses_sides_past_16384)
{
    int width = 0, height = 0, channels = 0;
    for (const int side : {16384, 16385}) {
        for (const bytes& file : {png_file({png_header(std::uint32_t(side), 1, 8, 0)}),
                                  concat({jpeg_start, jpeg_frame(0xC0, 1, side, 1)}), gif(side, 1)}) {
            EXPECT_EQ(image_decoder_info(file.data(), int(file.size()), &width, &height, &channels), side == 16384)
                << side;
        }
    }
}

TEST(image_decoder, refuses_bytes_of_no_format)
{
    const bytes file = text("not an image");
    const image_decode_result decoded = image_decoder_load(file.data(), int(file.size()), mib);
    EXPECT_EQ(decoded.outcome, image_not_decoded);
    EXPECT_EQ(decoded.pixels, nullptr);
    image_decoder_free(nullptr);
}

} // namespace
