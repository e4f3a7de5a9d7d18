// Image preflight: the verdict and the decoder's samples per pixel for tiny
// hand-made files of every format it walks, malformed where the decoder would
// write outside its tables, loop for ever or work far beyond the file, and
// well-formed (or left to the decoder's build) where it must let them through.
#include "data/image_preflight.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace image_files;

struct preflight_case {
    const char* name;
    bytes (*file)();
    const char* problem; // null when the file passes
    int channels;        // expected samples
    int bytes_per_sample;
};

void PrintTo(const preflight_case& c, std::ostream* out) { *out << c.name; }

const char* const too_many_codes = "a Huffman table of more than 256 codes";
const char* const too_many_scans = "JPEG scans that decode its blocks far more often than encoders do";
const char* const hdr_short = "the HDR pixel data ends early";
const char* const hdr_zero_run = "an HDR run of length 0";
const char* const gif_chains = "GIF codes that go on long past the end of the frame";

bytes huffman_segment(const bytes& tables) { return jpeg_segment(0xC4, tables); }

// 255 codes of 9 bits and two of 10: valid code lengths, one code too many.
bytes over_full_table(int table_class, int id)
{
    return jpeg_huffman_table(table_class, id, {0, 0, 0, 0, 0, 0, 0, 0, 255, 2}, 0);
}

bytes small_tables()
{
    return huffman_segment(concat({jpeg_huffman_table(0, 0, {0, 1}, 0), jpeg_huffman_table(1, 0, {0, 1}, 0)}));
}

// A grey baseline frame with table 0 of both classes defined before the scan.
bytes baseline_with(const bytes& before_frame, const bytes& before_scan, const bytes& after_scan)
{
    return concat({jpeg_start, before_frame, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1), small_tables(),
                   before_scan, jpeg_scan({0x00}, 0, 63, 0), bytes{0x00, 0x00}, after_scan, jpeg_end});
}

bytes grey_png_with(std::initializer_list<bytes> chunks)
{
    bytes out = png_file({png_header(4, 4, 8, 0)});
    out.resize(out.size() - 12); // the end chunk goes after the extra chunks
    for (const bytes& chunk : chunks)
        out.insert(out.end(), chunk.begin(), chunk.end());
    const bytes end = png_chunk("IEND", {});
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

// A chunk whose length field claims 2 GiB, followed by a few bytes.
bytes chunk_claiming_2_gib(const char* type)
{
    return concat({bytes{0x7F, 0xFF, 0xFF, 0xFF}, text(type), bytes(4, 0)});
}

const bytes hdr_two_rows = concat({hdr_scanline(8, 0x80), hdr_scanline(8, 0x80)});

// The header as bytes, NULs included.
template <std::size_t size>
bytes hdr_header(const char (&header)[size])
{
    return bytes(header, header + size - 1);
}

// A grey baseline JPEG of the given number of scans.
bytes jpeg_of_scans(int scans)
{
    bytes file = concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1), small_tables()});
    for (int i = 0; i < scans; ++i)
        file = concat({file, jpeg_scan({0x00}, 0, 63, 0), bytes{0x00, 0x00}});
    return concat({file, jpeg_end});
}

// A grey progressive JPEG: a DC scan, then AC scans of the given bands.
bytes progressive_jpeg_of_bands(int dc_scans, const std::vector<std::pair<int, int>>& bands)
{
    bytes file = concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC2, 8, 8, 1), small_tables()});
    for (int i = 0; i < dc_scans; ++i)
        file = concat({file, jpeg_scan({0x00}, 0, 0, 0), bytes{0x00}});
    for (const auto& [start, end] : bands)
        file = concat({file, jpeg_scan({0x00}, start, end, 0), bytes{0x00}});
    return concat({file, jpeg_end});
}

// GIF codes after a clear (4, with 2-bit roots): each code from 6 on is the
// one the decoder is about to add, so its chain is one longer than the last;
// then the end code (5).
std::vector<int> growing_chains(int last_code)
{
    std::vector<int> codes = {4, 0};
    for (int code = 6; code <= last_code; ++code)
        codes.push_back(code);
    codes.push_back(5);
    return codes;
}

const preflight_case cases[] = {
    // PNG: the channels tRNS adds, the sample size, and image data that fits.
    {"png_grey", [] { return grey_png_with({}); }, nullptr, 1, 1},
    {"png_grey_transparency", [] { return grey_png_with({png_chunk("tRNS", {0, 0})}); }, nullptr, 2, 1},
    {"png_rgb_transparency",
     [] { return png_file({png_header(4, 4, 8, 2), png_chunk("tRNS", bytes(6, 0))}); }, nullptr, 4, 1},
    {"png_grey_alpha", [] { return png_file({png_header(4, 4, 8, 4)}); }, nullptr, 2, 1},
    {"png_palette", [] { return png_file({png_header(4, 4, 8, 3), png_chunk("PLTE", bytes(6, 9))}); }, nullptr, 3, 1},
    {"png_palette_transparency",
     [] { return png_file({png_header(4, 4, 8, 3), png_chunk("PLTE", bytes(6, 9)), png_chunk("tRNS", {0})}); },
     nullptr, 4, 1},
    {"png_16_bit_transparency",
     [] { return png_file({png_header(4, 4, 16, 0), png_chunk("tRNS", {0, 0})}); }, nullptr, 2, 2},
    {"png_transparency_after_data",
     [] { return grey_png_with({png_data(bytes(20, 0)), png_chunk("tRNS", {0, 0})}); }, nullptr, 1, 1},
    // Left to the decode's memory budget.
    {"png_data_past_end", [] { return grey_png_with({chunk_claiming_2_gib("IDAT")}); }, nullptr, 1, 1},
    // Image data of at most twice the rows, 16 bytes a row and 64 KiB (4x4 grey: 20 bytes of rows).
    {"png_data_of_tiny_blocks_within_its_allowance",
     [] { return grey_png_with({png_data_after_empty_blocks(52000, bytes(20, 0))}); }, nullptr, 1, 1},
    {"png_data_of_tiny_blocks_past_its_allowance",
     [] { return grey_png_with({png_data_after_empty_blocks(53000, bytes(20, 0))}); },
     "PNG image data far larger than its image", 1, 1},
    {"png_text_past_end", [] { return grey_png_with({chunk_claiming_2_gib("tEXt")}); }, nullptr, 1, 1},
    // JPEG: Huffman tables that fit, wherever the decoder reads them, and are defined before a scan uses them.
    {"jpeg_small", small_jpeg, nullptr, 1, 1},
    {"jpeg_256_codes",
     [] {
         return baseline_with(huffman_segment(jpeg_huffman_table(1, 1, {0, 0, 0, 0, 0, 0, 0, 0, 255, 1}, 0)), {}, {});
     },
     nullptr, 1, 1},
    {"jpeg_257_codes", [] { return baseline_with(huffman_segment(over_full_table(1, 1)), {}, {}); }, too_many_codes, 0,
     1},
    {"jpeg_second_table_of_segment",
     [] {
         return baseline_with(huffman_segment(concat({jpeg_huffman_table(0, 2, {0, 1}, 0), over_full_table(0, 3)})), {},
                              {});
     },
     too_many_codes, 0, 1},
    {"jpeg_leading_fill_bytes",
     [] { return concat({bytes{0xFF}, baseline_with(huffman_segment(over_full_table(1, 1)), {}, {})}); },
     too_many_codes, 0, 1},
    {"jpeg_table_after_junk",
     [] {
         const bytes application_data = jpeg_segment(0xE0, text("JFIF")), junk = {0x12, 0x34};
         return baseline_with(concat({application_data, junk, huffman_segment(over_full_table(1, 1))}), {}, {});
     },
     too_many_codes, 0, 1},
    {"jpeg_table_bytes_inside_application_data",
     [] {
         const bytes table_bytes = concat({bytes{0xFF}, huffman_segment(over_full_table(1, 1))});
         return baseline_with(jpeg_segment(0xE1, table_bytes), {}, {});
     },
     nullptr, 1, 1},
    {"jpeg_table_after_frame", [] { return baseline_with({}, huffman_segment(over_full_table(1, 2)), {}); },
     too_many_codes, 1, 1},
    {"jpeg_table_after_scan", [] { return baseline_with({}, {}, huffman_segment(over_full_table(0, 1))); },
     too_many_codes, 1, 1},
    {"jpeg_table_after_stuffed_byte_and_restart",
     [] {
         const bytes stuffed_and_restart = {0xFF, 0x00, 0xFF, 0xD3};
         return baseline_with({}, {}, concat({stuffed_and_restart, huffman_segment(over_full_table(0, 1))}));
     },
     too_many_codes, 1, 1},
    // Tables never defined read as the zeros the decoder's state starts with.
    {"jpeg_undefined_ac_table",
     [] {
         return concat({jpeg_start, jpeg_frame(0xC0, 8, 8, 1), huffman_segment(jpeg_huffman_table(0, 0, {0, 1}, 0)),
                        jpeg_scan({0x01}, 0, 63, 0), bytes{0x00}, jpeg_end});
     },
     nullptr, 1, 1},
    {"jpeg_progressive_dc_refinement_uses_no_table",
     [] {
         return concat({jpeg_start, jpeg_frame(0xC2, 8, 8, 1), jpeg_scan({0x00}, 0, 0, 0x10), bytes{0x00}, jpeg_end});
     },
     nullptr, 1, 2},
    // Each scan goes over every block of its components: a baseline
    // component may be scanned twice, a progressive one take 512
    // coefficients a block (a scan's band, at least 16), wherever the
    // decoder finds the scans' markers after its frame.
    {"jpeg_scanned_twice", [] { return jpeg_of_scans(2); }, nullptr, 1, 1},
    {"jpeg_scanned_three_times", [] { return jpeg_of_scans(3); }, too_many_scans, 1, 1},
    {"jpeg_progressive_dc_and_7_whole_bands",
     [] { return progressive_jpeg_of_bands(1, std::vector<std::pair<int, int>>(7, {1, 63})); }, nullptr, 1, 2},
    {"jpeg_progressive_dc_and_8_whole_bands",
     [] { return progressive_jpeg_of_bands(1, std::vector<std::pair<int, int>>(8, {1, 63})); }, too_many_scans, 1, 2},
    {"jpeg_progressive_32_dc_scans", [] { return progressive_jpeg_of_bands(32, {}); }, nullptr, 1, 2},
    {"jpeg_progressive_33_dc_scans", [] { return progressive_jpeg_of_bands(33, {}); }, too_many_scans, 1, 2},
    {"jpeg_scan_markers_before_the_frame",
     [] {
         const bytes scan_markers = concat({jpeg_scan({0x00}, 0, 63, 0), jpeg_scan({0x00}, 0, 63, 0)});
         const bytes file = jpeg_of_scans(2);
         return concat({jpeg_start, jpeg_segment(0xE1, scan_markers), bytes(file.begin() + 2, file.end())});
     },
     nullptr, 1, 1},
    {"jpeg_scan_marker_in_application_data_after_the_frame",
     [] {
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1),
                        jpeg_segment(0xE1, jpeg_scan({0x00}, 0, 63, 0)), small_tables(), jpeg_scan({0x00}, 0, 63, 0),
                        bytes{0x00, 0x00}, jpeg_scan({0x00}, 0, 63, 0), bytes{0x00, 0x00}, jpeg_end});
     },
     too_many_scans, 1, 1},
    {"jpeg_cmyk_planes", [] { return concat({jpeg_start, jpeg_frame(0xC0, 8, 8, 4), jpeg_end}); }, nullptr, 4, 1},
    // PNM: header numbers that fit an int; short pixel data is left to the decoder's zero-filled buffer.
    {"pnm_exact", [] { return pnm("P5 3 2 255\n", 6); }, nullptr, 0, 1},
    {"pnm_short", [] { return pnm("P5 3 2 255\n", 5); }, nullptr, 0, 1},
    {"pnm_16_bit", [] { return pnm("P6\n# comment\n2 2\n65535\n", 24); }, nullptr, 0, 2},
    {"pnm_largest_width", [] { return pnm("P5 2147483647 0 255\n", 0); }, nullptr, 0, 1},
    {"pnm_width_past_int", [] { return pnm("P5 2147483648 1 255\n", 0); },
     "a PNM header number larger than 2147483647", 0, 1},
    // HDR: floats of three channels; run-length data that ends, with the
    // header read as the decoder reads it, as C strings.
    {"hdr_run_length", [] { return hdr("-Y 2 +X 8", hdr_two_rows); }, nullptr, 3, 4},
    {"hdr_run_of_length_0", [] { return hdr("-Y 1 +X 8", {2, 2, 0, 8, 0}); }, hdr_zero_run, 3, 4},
    {"hdr_run_length_ends_early", [] { return hdr("-Y 3 +X 8", hdr_two_rows); }, hdr_short, 3, 4},
    {"hdr_line_starting_with_nul",
     [] { return concat({hdr_header("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\0x\n-Y 1 +X 8\n"), bytes{2, 2, 0, 8, 0}}); },
     hdr_zero_run, 3, 4},
    {"hdr_line_with_nul_inside",
     [] { return concat({hdr_header("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\0x\n\n-Y 1 +X 8\n"), bytes{2, 2, 0, 8, 0}}); },
     hdr_zero_run, 3, 4},
    {"hdr_format_line_with_nul_before_its_text",
     [] { return concat({hdr_header("#?RADIANCE\n\0FORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 8\n"), bytes{2, 2, 0, 8, 0}}); },
     nullptr, 3, 4},
    {"hdr_flat", [] { return hdr("-Y 2 +X 4", bytes(32, 0x80)); }, nullptr, 3, 4},
    {"hdr_flat_short", [] { return hdr("-Y 2 +X 4", bytes(31, 0x80)); }, nullptr, 3, 4},
    {"hdr_flat_after_a_plain_scanline",
     [] { return hdr("-Y 2 +X 8", concat({bytes{1, 2, 3, 4}, bytes(15 * 4, 0x80)})); }, nullptr, 3, 4},
    {"hdr_flat_after_a_plain_scanline_short",
     [] { return hdr("-Y 2 +X 8", concat({bytes{1, 2, 3, 4}, bytes(4, 0x80)})); }, nullptr, 3, 4},
    {"hdr_plain_scanline_without_the_next_pixel",
     [] { return hdr("-Y 2 +X 8", concat({bytes{1, 2, 3, 4}, bytes(3, 0x80)})); }, hdr_short, 3, 4},
    // GIF: RGBA, and the prefix chains the decoder walks for its first
    // frame: the frame's pixels, one longest chain and 8 a byte of the file.
    {"gif_screen_only", [] { return gif(2, 2); }, nullptr, 4, 1},
    {"gif_chains_filling_the_frame", [] { return gif(100, 100, 2, growing_chains(145)); }, nullptr, 4, 1},
    {"gif_chains_past_a_frame_of_one_pixel", [] { return gif(1, 1, 2, growing_chains(1005)); }, gif_chains, 4, 1},
    {"gif_codes_a_little_past_a_frame_of_one_pixel", [] { return gif(1, 1, 2, growing_chains(133)); }, nullptr, 4, 1},
    // Formats decoded to RGBA, and bytes of no walked format.
    {"pic", [] { return pic(2, 2, {{0, 0xE0}}, bytes(12, 7)); }, nullptr, 4, 1},
    // Formats decoded to RGBA, and bytes of no walked format.
    {"psd", [] { return text("8BPS"); }, nullptr, 4, 1},
    {"other", [] { return text("not an image"); }, nullptr, 0, 1},
};

class image_preflight_test : public testing::TestWithParam<preflight_case> {};

TEST_P(image_preflight_test, judges_the_file_and_counts_its_samples)
{
    const preflight_case& c = GetParam();
    const bytes file = c.file();
    image_samples samples;
    const char* problem = nullptr;
    const bool passed = preflight_image(file.data(), file.size(), samples, problem);
    EXPECT_EQ(passed, c.problem == nullptr);
    EXPECT_STREQ(problem, c.problem);
    EXPECT_EQ(samples.channels, c.channels);
    EXPECT_EQ(samples.bytes_per_sample, c.bytes_per_sample);
}

INSTANTIATE_TEST_SUITE_P(files, image_preflight_test, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<preflight_case>& info) { return info.param.name; });

// Every prefix of well-formed files: a cut file is judged without reading
// past its end (AddressSanitizer watches).
TEST(image_preflight, every_prefix_of_a_file_is_judged_within_its_bytes)
{
    for (const bytes& file : {small_jpeg(), hdr("-Y 2 +X 8", hdr_two_rows), pnm("P5 3 2 255\n", 6),
                              gif(100, 100, 2, growing_chains(145)), grey_png_with({png_data(bytes(20, 0))})}) {
        for (std::size_t size = 0; size <= file.size(); ++size) {
            const bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
            image_samples samples;
            const char* problem = nullptr;
            preflight_image(prefix.data(), prefix.size(), samples, problem);
        }
    }
}

// The decoder's own header query refuses sides past 16384; the walks that
// read a header keep its sides for the size line.
TEST(image_preflight, keeps_the_sides_the_header_states)
{
    const struct {
        const char* label;
        bytes file;
    } files[] = {
        {"png", png_file({png_header(20000, 3, 8, 0)})},
        {"jpeg", concat({jpeg_start, jpeg_frame(0xC0, 20000, 3, 1)})},
        {"gif", gif(20000, 3)},
    };
    for (const auto& f : files) {
        image_samples samples;
        const char* problem = nullptr;
        EXPECT_TRUE(preflight_image(f.file.data(), f.file.size(), samples, problem)) << f.label;
        EXPECT_EQ(samples.width, 20000) << f.label;
        EXPECT_EQ(samples.height, 3) << f.label;
    }
}

} // namespace
