// Texture asset: decoding in both file-system modes with the image's own
// channel count and row order, the failure paths, the size limits counted on
// the decoder's samples before decoding, the refusal of files the decoder
// does not survive, and who owns and frees the pixels.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A small image whose every byte differs, so a flip, a channel conversion
// or a row padding shows up in the comparison.
std::vector<uint8_t> test_pixels(int width, int height, int channels)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height * channels));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(17 + i * 7);
    return pixels;
}

// The write callback of stb_image_write: appends to a byte vector.
void append_to(void* context, void* bytes, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
}

std::vector<uint8_t> encode_png(int width, int height, int channels, const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> file;
    stbi_write_png_to_func(append_to, &file, width, height, channels, pixels.data(), width * channels);
    return file;
}

std::vector<uint8_t> held_pixels(const texture_asset& asset)
{
    const size_t size = static_cast<size_t>(asset.get_width() * asset.get_height() * asset.data->channels);
    return std::vector<uint8_t>(asset.get_pixels(), asset.get_pixels() + size);
}

// A temporary demo folder whose file system is opened in the chosen mode.
struct texture_folder {
    explicit texture_folder(bool packed) : packed(packed) {}
    ~texture_folder()
    {
        console_capture quiet;
        filesystem.close(); // packed entries are released only by close
    }

    void add(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        if (packed)
            archive.add(path, bytes);
        else
            folder.write(path, bytes);
    }

    demo_filesystem& open()
    {
        if (packed)
            archive.write();
        console_capture quiet;
        filesystem.open();
        return filesystem;
    }

    bool packed;
    temp_dir folder;
    demo_dat_writer archive;
    demo_filesystem filesystem;
};

struct image_case {
    const char* label;
    int channels;
};

void PrintTo(const image_case& c, std::ostream* out) { *out << c.label; }

const image_case images[] = {{"grey", 1}, {"grey_alpha", 2}, {"rgb", 3}, {"rgba", 4}};

class texture_decode : public testing::TestWithParam<std::tuple<image_case, bool>> {};

TEST_P(texture_decode, keeps_channels_and_row_order)
{
    const auto [image, packed] = GetParam();
    const int width = 3; // an odd row length: rows stay packed back to back
    const int height = 2;
    const std::vector<uint8_t> pixels = test_pixels(width, height, image.channels);
    texture_folder demo(packed);
    demo.add("data/tex/image.png", encode_png(width, height, image.channels, pixels));
    demo_filesystem& filesystem = demo.open();
    ASSERT_EQ(filesystem.get_mode(), packed ? demo_filesystem_packed : demo_filesystem_loose);

    texture_asset asset;
    asset.path = "data/tex/image.png";
    console_capture console;
    ASSERT_TRUE(asset.load(filesystem));
    EXPECT_EQ(console.take(), "- loading texture: data/tex/image.png\n");
    EXPECT_TRUE(asset.loaded);
    EXPECT_EQ(asset.get_width(), width);
    EXPECT_EQ(asset.get_height(), height);
    EXPECT_EQ(asset.data->channels, image.channels);
    EXPECT_EQ(held_pixels(asset), pixels);
    EXPECT_EQ(asset.data->file_bytes.empty(), !packed);
    EXPECT_TRUE(asset.unload());
    EXPECT_FALSE(asset.loaded);
    EXPECT_EQ(asset.get_pixels(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(images, texture_decode, testing::Combine(testing::ValuesIn(images), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<image_case, bool>>& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_packed" : "_loose");
                         });

struct failure_case {
    const char* label;
    bool packed;
    const char* stored_path;  // where a file is stored, or null for none
    const char* stored_bytes; // its content
    const char* asked_path;
};

void PrintTo(const failure_case& c, std::ostream* out) { *out << c.label; }

const failure_case failures[] = {
    {"packed_missing_entry", true, "data/a.png", nullptr, "data/b.png"},
    {"packed_loose_file_ignored", true, nullptr, nullptr, "data/a.png"},
    {"packed_case_differs", true, "data/A.png", nullptr, "data/a.png"},
    {"packed_not_an_image", true, "data/a.png", "not an image", "data/a.png"},
    {"packed_empty_entry", true, "data/a.png", "", "data/a.png"},
    {"loose_missing_file", false, nullptr, nullptr, "data/a.png"},
    {"loose_not_an_image", false, "data/a.png", "not an image", "data/a.png"},
};

class texture_failure : public testing::TestWithParam<failure_case> {};

// A failed load leaves the asset empty and writes only its own line: the
// decoder opens loose files itself, so no file-not-found line appears.
TEST_P(texture_failure, fails_with_only_the_loading_line)
{
    const failure_case& c = GetParam();
    texture_folder demo(c.packed);
    const std::vector<uint8_t> image = encode_png(2, 2, 3, test_pixels(2, 2, 3));
    if (c.stored_path) {
        const std::string bytes = c.stored_bytes ? c.stored_bytes : std::string(image.begin(), image.end());
        demo.add(c.stored_path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    if (c.packed) {
        demo.archive.add("other", std::string("x")); // keeps the file valid when nothing else is stored
        demo.folder.write(c.asked_path, image);       // a loose file must never answer in packed mode
    }
    demo_filesystem& filesystem = demo.open();

    texture_asset asset;
    asset.path = c.asked_path;
    console_capture console;
    EXPECT_FALSE(asset.load(filesystem));
    EXPECT_EQ(console.take(), std::string("- loading texture: ") + c.asked_path + "\n");
    EXPECT_FALSE(asset.loaded);
    EXPECT_EQ(asset.get_pixels(), nullptr);
    EXPECT_EQ(asset.get_width(), 0);
    EXPECT_EQ(asset.get_height(), 0);
}

INSTANTIATE_TEST_SUITE_P(files, texture_failure, testing::ValuesIn(failures),
                         [](const testing::TestParamInfo<failure_case>& info) { return info.param.label; });

class texture_ownership : public testing::Test {
protected:
    void SetUp() override
    {
        demo.add("a.png", encode_png(2, 3, 4, test_pixels(2, 3, 4)));
        source.name = "logo";
        source.path = "a.png";
        console_capture quiet;
        ASSERT_TRUE(source.load(demo.open()));
    }

    texture_folder demo{false};
    texture_asset source;
};

TEST_F(texture_ownership, copy_shares_pixels_without_owning_them)
{
    unsigned char* const pixels = source.get_pixels();
    {
        texture_asset copy(source);
        EXPECT_EQ(copy.name, "logo");
        EXPECT_EQ(copy.path, "a.png");
        EXPECT_FALSE(copy.loaded);
        EXPECT_EQ(copy.get_pixels(), pixels);
        EXPECT_EQ(copy.get_width(), 2);
        EXPECT_EQ(copy.get_height(), 3);
        EXPECT_EQ(copy.data->channels, 4);
        EXPECT_TRUE(copy.data->file_bytes.empty());
        EXPECT_TRUE(copy.unload()); // not the owner: nothing is released
        EXPECT_EQ(copy.get_pixels(), pixels);
    }
    // The source still owns readable pixels after the copy is gone (ASan
    // reports a use after free here if either released them).
    EXPECT_TRUE(source.loaded);
    EXPECT_EQ(held_pixels(source), test_pixels(2, 3, 4));
    EXPECT_TRUE(source.unload());
    EXPECT_EQ(source.get_pixels(), nullptr);
}

TEST_F(texture_ownership, assignment_keeps_the_targets_flag)
{
    texture_asset target;
    target.operator=(source);
    EXPECT_EQ(target.name, "logo");
    EXPECT_FALSE(target.loaded);
    EXPECT_EQ(target.get_pixels(), source.get_pixels());
    EXPECT_TRUE(source.unload());
}

TEST_F(texture_ownership, list_growth_keeps_declarations)
{
    std::vector<texture_asset> list;
    for (int i = 0; i < 20; ++i) {
        texture_asset declaration;
        declaration.name = "t" + std::to_string(i);
        declaration.path = "p" + std::to_string(i);
        list.push_back(declaration);
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(list[static_cast<size_t>(i)].name, "t" + std::to_string(i));
        EXPECT_FALSE(list[static_cast<size_t>(i)].loaded);
    }
    EXPECT_TRUE(source.unload());
}

TEST(texture_asset, unload_when_not_loaded_is_true_and_changes_nothing)
{
    texture_asset asset;
    EXPECT_TRUE(asset.unload());
    EXPECT_TRUE(asset.unload());
    EXPECT_FALSE(asset.loaded);
    EXPECT_EQ(asset.get_pixels(), nullptr);
}

TEST(texture_asset, second_load_replaces_the_image)
{
    texture_folder demo(false);
    demo.add("a.png", encode_png(1, 1, 1, {9}));
    demo.add("b.png", encode_png(2, 1, 3, test_pixels(2, 1, 3)));
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    asset.path = "a.png";
    console_capture console;
    ASSERT_TRUE(asset.load(filesystem));
    asset.path = "b.png";
    ASSERT_TRUE(asset.load(filesystem)); // LeakSanitizer reports the first image if it was lost
    EXPECT_EQ(console.take(), "- loading texture: a.png\n- loading texture: b.png\n");
    EXPECT_EQ(held_pixels(asset), test_pixels(2, 1, 3));
    asset.unload();
}

// What a load of path gives, and what it writes to the console.
struct texture_load {
    bool loaded;
    std::string console;
};

texture_load load_texture(texture_asset& asset, demo_filesystem& filesystem, const char* path)
{
    asset.path = path;
    console_capture console;
    const bool loaded = asset.load(filesystem);
    return {loaded, console.take()};
}

using image_files::bytes;

// A grey 8x8 baseline JPEG scanned again and again: each scan is one more
// pass over every block.
bytes jpeg_of_scans(int scans)
{
    using namespace image_files;
    bytes file = concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1),
                         jpeg_segment(0xC4, concat({jpeg_huffman_table(0, 0, {0, 1}, 0),
                                                    jpeg_huffman_table(1, 0, {0, 1}, 0)}))});
    for (int i = 0; i < scans; ++i)
        file = concat({file, jpeg_scan({0x00}, 0, 63, 0), bytes{0x00, 0x00}});
    return concat({file, jpeg_end});
}

// A GIF of one pixel whose codes each extend the chain of the one before,
// to about 1000 links: the decoder walks every chain to its root, long after
// its one pixel is written.
bytes gif_of_growing_chains()
{
    std::vector<int> codes = {4, 0}; // clear, then a root
    for (int code = 6; code < 1006; ++code)
        codes.push_back(code); // the code the decoder is about to add: the last chain and one more link
    codes.push_back(5);
    return image_files::gif(1, 1, 2, codes);
}

// A one-pixel RGB PNG whose image data inflates to 8 MiB of zero rows: the
// decoder keeps growing its buffer for them before it looks at the size.
bytes png_inflating_past_its_size()
{
    using namespace image_files;
    return png_file({png_header(1, 1, 8, 2), png_data(bytes(8 << 20, 0))});
}

// The decoder compares header lines as C strings: a NUL byte at the start
// of a line ends the header there, and one inside a line ends its text. Its
// run-length data then starts with a run of length 0.
template <std::size_t size>
bytes hdr_with_nul(const char (&header)[size])
{
    return image_files::concat({bytes(header, header + size - 1), bytes{2, 2, 0, 8, 0}});
}

enum class verdict {
    loads,   // decoded, no line
    fails,   // not decoded, no line: the decoder refuses it
    refused, // not decoded, with its ERROR line
};

struct refusal_case {
    const char* label;
    const char* path;
    bytes (*file)();
    verdict expected;
    std::string refusal; // what the ERROR line says after "ERROR: texture PATH is "
};

void PrintTo(const refusal_case& c, std::ostream* out) { *out << c.label; }

refusal_case too_large(const char* label, const char* path, bytes (*file)(), const char* size)
{
    return {label, path, file, verdict::refused,
            std::string(size) + ", more than 16384 texels a side or 256 MiB decoded"};
}

refusal_case not_well_formed(const char* label, const char* path, bytes (*file)(), const char* reason)
{
    return {label, path, file, verdict::refused, std::string("not a well-formed image: ") + reason};
}

refusal_case over_budget(const char* label, const char* path, bytes (*file)(), const char* size, int mib)
{
    return {label, path, file, verdict::refused,
            std::string(size) + ", and its decoding needs more than " + std::to_string(mib) + " MiB"};
}

const refusal_case refusals[] = {
    too_large("tga_bomb", "data/bomb.tga", [] { return image_files::tga(17746, 8253, 32); }, "17746x8253"),
    too_large("gif_bomb", "data/bomb.gif", [] { return image_files::gif(65535, 65535); }, "65535x65535"),
    too_large("bmp_bomb", "data/bomb.bmp", [] { return image_files::bmp(20000, 20000, 24, {}, {}); }, "20000x20000"),
    too_large("bmp_top_down_bomb", "data/bomb.bmp", [] { return image_files::bmp(100, -20000, 24, {}, {}); },
              "100x20000"),
    too_large("one_texel_too_wide", "data/wide.tga", [] { return image_files::tga(16385, 1, 8); }, "16385x1"),
    too_large("one_texel_too_tall", "data/tall.tga", [] { return image_files::tga(1, 16385, 8); }, "1x16385"),
    too_large("more_than_256_mib", "data/big.tga", [] { return image_files::tga(16384, 4097, 32); }, "16384x4097"),
    {"widest_allowed", "data/wide.tga", [] { return image_files::tga(16384, 1, 8, 16384); }, verdict::loads, ""},
    {"bmp_top_down", "data/small.bmp", [] { return image_files::bmp(2, -2, 24, {}, bytes(16, 0)); }, verdict::loads,
     ""},
    // Headers that state fewer samples than the decoder holds: 256 MiB by
    // the header's count, more by the decoder's.
    too_large("grey_png_with_transparency", "data/big.png",
              [] {
                  using namespace image_files;
                  return png_file({png_header(16384, 16384, 8, 0), png_chunk("tRNS", {0, 0})});
              },
              "16384x16384"),
    too_large("rgb_png_with_transparency", "data/big.png",
              [] {
                  using namespace image_files;
                  return png_file({png_header(16384, 4097, 8, 2), png_chunk("tRNS", bytes(6, 0))});
              },
              "16384x4097"),
    too_large("sixteen_bit_grey_png", "data/big.png",
              [] { return image_files::png_file({image_files::png_header(16384, 16384, 16, 0)}); }, "16384x16384"),
    too_large("cmyk_jpeg", "data/big.jpg",
              [] { return image_files::concat({image_files::jpeg_start, image_files::jpeg_frame(0xC0, 16384, 4097, 4)}); },
              "16384x4097"),
    too_large("progressive_grey_jpeg", "data/big.jpg",
              [] { return image_files::concat({image_files::jpeg_start, image_files::jpeg_frame(0xC2, 16384, 8193, 1)}); },
              "16384x8193"),
    // Sides past the limit, which the decoder's own header query refuses.
    too_large("png_too_wide", "data/wide.png",
              [] { return image_files::png_file({image_files::png_header(16385, 1, 8, 0)}); }, "16385x1"),
    too_large("jpeg_too_tall", "data/tall.jpg",
              [] { return image_files::concat({image_files::jpeg_start, image_files::jpeg_frame(0xC0, 8, 16385, 1)}); },
              "8x16385"),
    // Files whose decode would write past a Huffman table, loop for ever, or
    // work far beyond what the file holds.
    not_well_formed("jpeg_table_of_257_codes", "data/bad.jpg",
                    [] {
                        using namespace image_files;
                        return concat({jpeg_start,
                                       jpeg_segment(0xC4, jpeg_huffman_table(1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 255, 2}, 0)),
                                       jpeg_end});
                    },
                    "a Huffman table of more than 256 codes"),
    not_well_formed("hdr_run_of_length_0", "data/bad.hdr",
                    [] { return image_files::hdr("-Y 1 +X 8", {2, 2, 0, 8, 0}); }, "an HDR run of length 0"),
    not_well_formed("hdr_header_line_starting_with_nul", "data/bad.hdr", [] { return hdr_with_nul("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\0x\n-Y 1 +X 8\n"); },
                    "an HDR run of length 0"),
    not_well_formed("hdr_header_line_with_nul_inside", "data/bad.hdr", [] { return hdr_with_nul("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\0x\n\n-Y 1 +X 8\n"); },
                    "an HDR run of length 0"),
    not_well_formed("jpeg_scanned_three_times", "data/bad.jpg", [] { return jpeg_of_scans(3); },
                    "JPEG scans that decode its blocks far more often than encoders do"),
    {"jpeg_scanned_twice", "data/scans.jpg", [] { return jpeg_of_scans(2); }, verdict::loads, ""},
    not_well_formed("gif_chains_walked_past_the_frame", "data/bad.gif", gif_of_growing_chains,
                    "GIF codes that go on long past the end of the frame"),
    not_well_formed("png_data_of_a_million_empty_blocks", "data/bad.png",
                    [] {
                        using namespace image_files;
                        return png_file({png_header(1, 1, 8, 0), png_data_after_empty_blocks(1000000, {0, 7})});
                    },
                    "PNG image data far larger than its image"),
    // Decodes that would hold far more than the image: data that inflates
    // past the image's size, a data chunk that claims 2 GiB.
    over_budget("png_inflating_past_its_size", "data/bad.png", png_inflating_past_its_size, "1x1", 1),
    over_budget("png_data_claiming_2_gib", "data/bad.png",
                [] {
                    using namespace image_files;
                    return concat({text("\x89PNG\r\n\x1a\n"), png_header(4, 4, 8, 0),
                                   bytes{0x7F, 0xFF, 0xFF, 0xFF, 'I', 'D', 'A', 'T', 0, 0, 0, 0}});
                },
                "4x4", 1),
    // The PIC decoder fails on pixel data it cannot read, where the packaged
    // build then converted the buffer it had just freed.
    {"pic_short_of_pixels", "data/bad.pic", [] { return image_files::pic(2, 2, {{0, 0xE0}}, bytes(11, 7)); },
     verdict::fails, ""},
    {"pic_run_past_its_row", "data/bad.pic", [] { return image_files::pic(2, 1, {{2, 0xF0}}, {0x82, 1, 2, 3, 4}); },
     verdict::fails, ""},
    {"pic_of_unknown_packet_type", "data/bad.pic", [] { return image_files::pic(1, 1, {{3, 0x80}}, {9}); },
     verdict::fails, ""},
};

class texture_refusal : public testing::TestWithParam<std::tuple<refusal_case, bool>> {};

// The bytes and the header are judged before anything is decoded, and the
// decode's memory as it goes: an image larger than the limits, malformed or
// needing more than its budget is refused with one line naming it, in
// either mode, without allocating what its header or data claim.
TEST_P(texture_refusal, refuses_what_the_decoder_must_not_decode)
{
    const auto& [c, packed] = GetParam();
    texture_folder demo(packed);
    demo.add(c.path, c.file());
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    const auto [loaded, console] = load_texture(asset, filesystem, c.path);
    std::string expected = std::string("- loading texture: ") + c.path + "\n";
    if (c.expected == verdict::refused)
        expected += std::string("ERROR: texture ") + c.path + " is " + c.refusal + "\n";
    EXPECT_EQ(console, expected);
    EXPECT_EQ(loaded, c.expected == verdict::loads);
    EXPECT_EQ(asset.loaded, loaded);
    EXPECT_EQ(asset.get_pixels() != nullptr, loaded);
    if (!loaded) {
        EXPECT_EQ(asset.get_width(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(images, texture_refusal, testing::Combine(testing::ValuesIn(refusals), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<refusal_case, bool>>& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_packed" : "_loose");
                         });

// stb_image decodes a BMP of no rows into a valid pointer; that image is a
// failed load, and what was decoded is freed (LeakSanitizer watches).
TEST(texture_asset, image_of_no_rows_is_a_failed_load)
{
    for (const bool packed : {false, true}) {
        texture_folder demo(packed);
        demo.add("data/flat.bmp", image_files::bmp(2, 0, 24, {}, {}));
        demo_filesystem& filesystem = demo.open();
        texture_asset asset;
        asset.path = "data/flat.bmp";
        console_capture console;
        EXPECT_FALSE(asset.load(filesystem)) << (packed ? "packed" : "loose");
        EXPECT_EQ(console.take(), "- loading texture: data/flat.bmp\n");
        EXPECT_FALSE(asset.loaded);
        EXPECT_EQ(asset.get_pixels(), nullptr);
        EXPECT_EQ(asset.get_height(), 0);
    }
}

// The loaded asset frees its pixels when it is destroyed, without unload;
// LeakSanitizer reports the image of the sanitizer build otherwise. Copies
// made from it free nothing (AddressSanitizer reports a double free).
TEST(texture_asset, destroying_the_owner_frees_its_pixels)
{
    texture_folder demo(false);
    demo.add("a.png", encode_png(4, 4, 3, test_pixels(4, 4, 3)));
    demo_filesystem& filesystem = demo.open();
    console_capture quiet;
    auto owner = std::make_unique<texture_asset>();
    owner->path = "a.png";
    ASSERT_TRUE(owner->load(filesystem));
    {
        texture_asset copy(*owner);
        texture_asset assigned;
        assigned = *owner;
        EXPECT_EQ(assigned.get_pixels(), owner->get_pixels());
    }
    EXPECT_EQ(held_pixels(*owner), test_pixels(4, 4, 3));
    owner.reset();
}

// Assigning onto an asset that holds its own image gives that image up
// instead of losing it, and the target then owns nothing.
TEST(texture_asset, assignment_onto_a_loaded_asset_releases_its_image)
{
    texture_folder demo(false);
    demo.add("a.png", encode_png(1, 1, 1, {9}));
    demo.add("b.png", encode_png(2, 1, 3, test_pixels(2, 1, 3)));
    demo_filesystem& filesystem = demo.open();
    console_capture quiet;
    texture_asset source;
    source.path = "b.png";
    ASSERT_TRUE(source.load(filesystem));
    {
        texture_asset target;
        target.path = "a.png";
        ASSERT_TRUE(target.load(filesystem));
        target = source;
        EXPECT_FALSE(target.loaded);
        EXPECT_EQ(target.get_pixels(), source.get_pixels());
    }
    EXPECT_EQ(held_pixels(source), test_pixels(2, 1, 3));
}

// A 3x2 16-bit grey PNG whose tRNS chunk gives it an alpha channel.
bytes sixteen_bit_png_with_transparency()
{
    using namespace image_files;
    bytes rows;
    for (int row = 0; row < 2; ++row) {
        rows.push_back(0); // no filter
        for (int column = 0; column < 3; ++column)
            rows.insert(rows.end(), {static_cast<uint8_t>(0x10 * (row * 3 + column)), 0x34});
    }
    return png_file({png_header(3, 2, 16, 0), png_chunk("tRNS", {0x10, 0x34}), png_data(rows)});
}

bytes encoded(int (*write)(stbi_write_func*, void*, int, int, int, const void*), int width, int height,
              int channels)
{
    bytes file;
    const bytes pixels = test_pixels(width, height, channels);
    write(append_to, &file, width, height, channels, pixels.data());
    return file;
}

bytes encoded_hdr(int width, int height)
{
    std::vector<float> pixels(static_cast<size_t>(width * height * 3));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0.05f * static_cast<float>(i % 17);
    bytes file;
    stbi_write_hdr_to_func(append_to, &file, width, height, 3, pixels.data());
    return file;
}

bytes encoded_jpeg()
{
    bytes file;
    const bytes pixels = test_pixels(13, 9, 3);
    stbi_write_jpg_to_func(append_to, &file, 13, 9, 3, pixels.data(), 90);
    return file;
}

// One of the real images of every format in tests/images (made by
// tests/images/make.sh).
bytes real_image(const std::string& name)
{
    std::ifstream in(std::string(NIMBREL_SOURCE_DIR) + "/tests/images/" + name, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct format_case {
    std::string label;
    std::string path;
    std::function<bytes()> file;
};

void PrintTo(const format_case& c, std::ostream* out) { *out << c.label; }

const format_case hand_made_formats[] = {
    {"jpeg", "data/a.jpg", encoded_jpeg},
    {"progressive_jpeg", "data/a.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC2, 8, 8, 1),
                        jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)), jpeg_scan({0x00}, 0, 0, 0),
                        bytes{0x00}, jpeg_end});
     }},
    {"sixteen_bit_png_with_transparency", "data/a.png", sixteen_bit_png_with_transparency},
    // The decoder copies an empty data chunk from a null buffer, undefined
    // behaviour of its own that the sanitizer build reports and goes past.
    {"png_with_an_empty_data_chunk", "data/a.png",
     [] {
         using namespace image_files;
         return png_file({png_header(2, 1, 8, 0), png_chunk("IDAT", {}), png_data({0, 7, 9})});
     }},
    {"bmp", "data/a.bmp", [] { return encoded(stbi_write_bmp_to_func, 5, 3, 4); }},
    {"tga", "data/a.tga", [] { return encoded(stbi_write_tga_to_func, 5, 3, 3); }},
    {"hdr_run_length", "data/a.hdr", [] { return encoded_hdr(9, 4); }},
    {"hdr_flat", "data/a.hdr", [] { return encoded_hdr(3, 2); }},
    {"pgm", "data/a.pgm", [] { return image_files::pnm("P5\n# grey\n3 2\n255\n", 6); }},
    {"pic_with_alpha", "data/a.pic",
     [] { return image_files::pic(2, 2, {{2, 0xF0}}, {0x81, 1, 2, 3, 4, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}); }},
    {"pic_without_alpha", "data/a.pic",
     [] { return image_files::pic(2, 2, {{1, 0xE0}}, {2, 1, 2, 3, 2, 4, 5, 6}); }},
};

// Every layout the decoder reads, as common encoders write it.
const char* const real_image_names[] = {
    "png_grey_1_bit.png",    "png_palette_4_bit.png",  "png_grey_8_bit.png",        "png_rgb_8_bit.png",
    "png_rgba_8_bit.png",    "png_rgb_16_bit.png",     "png_rgba_16_bit.png",       "png_palette_transparent.png",
    "png_rgb_interlaced.png", "jpeg_baseline_420.jpg", "jpeg_baseline_422.jpg",     "jpeg_baseline_444.jpg",
    "jpeg_grey.jpg",         "jpeg_progressive.jpg",   "jpeg_progressive_grey.jpg", "jpeg_restart_interval.jpg",
    "jpeg_cmyk.jpg",         "gif_single.gif",         "gif_two_frames.gif",        "gif_interlaced.gif",
    "gif_transparent.gif",   "bmp_4_bit.bmp",          "bmp_8_bit.bmp",             "bmp_24_bit.bmp",
    "bmp_32_bit.bmp",        "bmp_os2.bmp",            "tga_rgb.tga",               "tga_rgb_rle.tga",
    "tga_rgba.tga",          "psd_raw.psd",            "psd_rle.psd",               "pgm_8_bit.pgm",
    "ppm_8_bit.ppm",         "hdr_run_length.hdr",     "hdr_flat.hdr",
};

std::vector<format_case> formats()
{
    std::vector<format_case> cases(std::begin(hand_made_formats), std::end(hand_made_formats));
    for (const std::string name : real_image_names) {
        std::string label = name;
        std::replace(label.begin(), label.end(), '.', '_');
        cases.push_back({label, "data/" + name, [name] { return real_image(name); }});
    }
    return cases;
}

struct decoded_image {
    int width = 0;
    int height = 0;
    int channels = 0;
    bytes texels;
};

decoded_image held_image(const texture_asset& asset)
{
    return {asset.get_width(), asset.get_height(), asset.data->channels, held_pixels(asset)};
}

// What a texture load gives for the file, in a demo folder of either mode.
decoded_image load_file(const std::string& path, const bytes& file, bool packed)
{
    texture_folder demo(packed);
    demo.add(path, file);
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    const auto [loaded, console] = load_texture(asset, filesystem, path.c_str());
    EXPECT_TRUE(loaded) << path;
    EXPECT_EQ(console, "- loading texture: " + path + "\n");
    return loaded ? held_image(asset) : decoded_image();
}

bool operator==(const decoded_image& a, const decoded_image& b)
{
    return a.width == b.width && a.height == b.height && a.channels == b.channels && a.texels == b.texels;
}

std::ostream& operator<<(std::ostream& out, const decoded_image& image)
{
    return out << image.width << "x" << image.height << "x" << image.channels << " (" << image.texels.size()
               << " texels)";
}

class texture_formats : public testing::TestWithParam<std::tuple<format_case, bool>> {};

// Well-formed files of every format load as the packaged stb_image (libstb)
// decodes their bytes, channel count included.
TEST_P(texture_formats, decode_as_the_packaged_decoder_decodes_them)
{
    const auto& [c, packed] = GetParam();
    const bytes file = c.file();
    ASSERT_FALSE(file.empty());
    decoded_image expected;
    std::unique_ptr<unsigned char, void (*)(void*)> pixels(
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &expected.width, &expected.height,
                              &expected.channels, 0),
        stbi_image_free);
    ASSERT_NE(pixels, nullptr);
    expected.texels.assign(pixels.get(), pixels.get() + expected.width * expected.height * expected.channels);
    EXPECT_EQ(load_file(c.path, file, packed), expected);
}

INSTANTIATE_TEST_SUITE_P(files, texture_formats, testing::Combine(testing::ValuesIn(formats()), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<format_case, bool>>& info) {
                             return std::get<0>(info.param).label + (std::get<1>(info.param) ? "_packed" : "_loose");
                         });

struct pnm_case {
    const char* label;
    const char* header;
    bytes samples;
    decoded_image expected;
};

void PrintTo(const pnm_case& c, std::ostream* out) { *out << c.label; }

// Samples as stored (big-endian when 16-bit) and the texels they give.
const pnm_case pnm_samples[] = {
    {"grey_16_bit_full_range", "P5 2 1 65535\n", {0x12, 0x34, 0xAB, 0xCD}, {2, 1, 1, {0x12, 0xAB}}},
    {"colour_16_bit_full_range", "P6 1 1 65535\n", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, {1, 1, 3, {1, 3, 5}}},
    // Other ranges decode as the decoder always did: a 16-bit sample's
    // second byte, an 8-bit sample as it is, unscaled.
    {"grey_16_bit_of_1023", "P5 2 1 1023\n", {0x01, 0xFF, 0x03, 0x00}, {2, 1, 1, {0xFF, 0x00}}},
    {"grey_8_bit", "P5 2 1 255\n", {0x12, 0x34}, {2, 1, 1, {0x12, 0x34}}},
    {"grey_8_bit_of_100", "P5 2 1 100\n", {7, 99}, {2, 1, 1, {7, 99}}},
};

class texture_pnm : public testing::TestWithParam<pnm_case> {};

// A 16-bit PNM of full range shows the high byte of each big-endian sample,
// what an 8-bit PNM of the same picture shows.
TEST_P(texture_pnm, shows_the_texels_of_its_samples)
{
    const pnm_case& c = GetParam();
    EXPECT_EQ(load_file("data/a.pnm", image_files::concat({image_files::text(c.header), c.samples}), false),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(files, texture_pnm, testing::ValuesIn(pnm_samples),
                         [](const testing::TestParamInfo<pnm_case>& info) { return info.param.label; });

// ImageMagick writes the 16-bit form of an 8-bit picture with each sample v
// as v * 257: both load as the same picture.
TEST(texture_asset, sixteen_bit_pnm_of_an_8_bit_picture_shows_that_picture)
{
    for (const bool packed : {false, true}) {
        for (const std::string kind : {"pgm", "ppm"}) {
            const decoded_image eight_bit = load_file("data/a." + kind, real_image(kind + "_8_bit." + kind), packed);
            EXPECT_EQ(load_file("data/a." + kind, real_image(kind + "_16_bit." + kind), packed), eight_bit) << kind;
            EXPECT_EQ(eight_bit.texels.size(), size_t(35 * 23 * (kind == "pgm" ? 1 : 3)));
        }
    }
}

// The decoder does not read arithmetic coding: such a JPEG fails to load,
// with no line of its own, as any file the decoder refuses.
TEST(texture_asset, arithmetic_coded_jpeg_is_a_failed_load)
{
    texture_folder demo(false);
    demo.add("data/a.jpg", real_image("jpeg_arithmetic.jpg"));
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    const auto [loaded, console] = load_texture(asset, filesystem, "data/a.jpg");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(console, "- loading texture: data/a.jpg\n");
}

// Leaves freed heap blocks of many sizes, and a deep stretch of the stack
// below the caller, filled with the pattern: what a decode finds there if it
// reads memory it never wrote.
__attribute__((noinline)) void fill_stack_below(uint8_t pattern)
{
    volatile uint8_t area[256 * 1024];
    for (size_t i = 0; i < sizeof area; ++i)
        area[i] = pattern;
}

void leave_memory_filled_with(uint8_t pattern)
{
    std::vector<void*> blocks;
    for (size_t size = 16; size <= (256 << 10); size = size * 9 / 8 + 16) {
        for (int copy = 0; copy < 8; ++copy) {
            blocks.push_back(std::malloc(size));
            std::memset(blocks.back(), pattern, size);
        }
    }
    for (void* block : blocks)
        std::free(block);
    fill_stack_below(pattern);
}

struct unwritten_case {
    const char* label;
    const char* path;
    bytes (*file)();
    decoded_image expected;
};

void PrintTo(const unwritten_case& c, std::ostream* out) { *out << c.label; }

// A grey 16x8 baseline JPEG with a restart interval of one block, whose data
// stops after the first block with no restart marker: the decoder ends the
// scan there, leaving the second block unwritten.
bytes jpeg_stopping_at_restart()
{
    using namespace image_files;
    return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 16, 8, 1),
                   jpeg_segment(0xC4, concat({jpeg_huffman_table(0, 0, {0, 1}, 0), jpeg_huffman_table(1, 0, {0, 1}, 0)})),
                   jpeg_segment(0xDD, {0, 1}), jpeg_scan({0x00}, 0, 63, 0), bytes{0x00}, jpeg_end});
}

// A grey 8x8 baseline JPEG whose one block has a DC difference of +1 but no
// quantization table: the decoder multiplies by whatever its table holds.
bytes jpeg_without_quantization()
{
    using namespace image_files;
    return concat({jpeg_start, jpeg_frame(0xC0, 8, 8, 1),
                   jpeg_segment(0xC4, concat({jpeg_huffman_table(0, 0, {0, 1}, 1), jpeg_huffman_table(1, 0, {0, 1}, 0)})),
                   jpeg_scan({0x00}, 0, 63, 0), bytes{0x20}, jpeg_end});
}

bytes repeated(std::initializer_list<bytes> parts, int times)
{
    bytes out;
    for (int i = 0; i < times; ++i)
        out = image_files::concat({out, image_files::concat(parts)});
    return out;
}

const unwritten_case unwritten[] = {
    // Pixel data the file does not hold: the decoder ignores the short read.
    {"tga_without_pixel_data", "data/a.tga", [] { return image_files::tga(2, 2, 24); }, {2, 2, 3, bytes(12, 0)}},
    {"pnm_short_of_pixel_data", "data/a.pgm", [] { return image_files::pnm("P5 3 2 255\n", 5); },
     {3, 2, 1, bytes(6, 0)}},
    // Index 5 of a palette of one entry: the decoder's palette is a stack array.
    {"bmp_index_past_its_palette", "data/a.bmp",
     [] { return image_files::bmp(2, 1, 8, {10, 20, 30, 0}, {0, 5, 0, 0}); }, {2, 1, 3, {30, 20, 10, 0, 0, 0}}},
    // A progressive JPEG with no scan: coefficients never decoded, so 0 (mid-grey after the transform).
    {"progressive_jpeg_without_a_scan", "data/a.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC2, 8, 8, 1), jpeg_end});
     },
     {8, 8, 1, bytes(64, 128)}},
    // The first block decoded (flat mid-grey), the second never written (0).
    {"jpeg_stopping_at_a_restart_interval", "data/a.jpg", jpeg_stopping_at_restart,
     {16, 8, 1, repeated({bytes(8, 128), bytes(8, 0)}, 8)}},
    // No quantization table: its values are 0, so is every coefficient.
    {"jpeg_without_a_quantization_table", "data/a.jpg", jpeg_without_quantization, {8, 8, 1, bytes(64, 128)}},
    // An AC table the file never defines: all zeros, whose first code ends the block.
    {"jpeg_scan_with_an_undefined_table", "data/a.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1),
                        jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)), jpeg_scan({0x02}, 0, 63, 0),
                        bytes{0x3F, 0xFF, 0x00}, jpeg_end});
     },
     {8, 8, 1, bytes(64, 128)}},
    {"progressive_jpeg_scan_with_an_undefined_table", "data/a.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC2, 8, 8, 1),
                        jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)), jpeg_scan({0x00}, 0, 0, 0),
                        bytes{0x00}, jpeg_scan({0x01}, 1, 63, 0), bytes{0x00}, jpeg_end});
     },
     {8, 8, 1, bytes(64, 128)}},
};

class texture_unwritten_texels : public testing::TestWithParam<std::tuple<unwritten_case, bool>> {};

// Files the decoder takes without writing every texel: what it leaves is 0
// (each block it allocates and each variable of its own starts at 0), never
// what the heap or the stack held before. Each file is loaded after two
// different fillings of both.
TEST_P(texture_unwritten_texels, hold_zeros_not_what_memory_held_before)
{
    const auto& [c, packed] = GetParam();
    for (const uint8_t pattern : {0x5A, 0xC3}) {
        texture_folder demo(packed);
        demo.add(c.path, c.file());
        demo_filesystem& filesystem = demo.open();
        texture_asset asset;
        asset.path = c.path;
        console_capture console;
        leave_memory_filled_with(pattern);
        ASSERT_TRUE(asset.load(filesystem));
        EXPECT_EQ(console.take(), std::string("- loading texture: ") + c.path + "\n");
        EXPECT_EQ(held_image(asset), c.expected) << "after a filling of " << int(pattern);
        EXPECT_EQ(held_pixels(asset), c.expected.texels);
    }
}

INSTANTIATE_TEST_SUITE_P(files, texture_unwritten_texels,
                         testing::Combine(testing::ValuesIn(unwritten), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<unwritten_case, bool>>& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_packed" : "_loose");
                         });

} // namespace
