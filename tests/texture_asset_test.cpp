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
#include <memory>
#include <stb_image.h>
#include <stb_image_write.h>
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

// Image headers written byte by byte: a few bytes may claim any size.
void append_le(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int at = 0; at < bytes; ++at)
        out.push_back(static_cast<uint8_t>(value >> (8 * at)));
}

// An uncompressed TGA header (grey for 8 bits per pixel, true colour
// otherwise) followed by `pixel_bytes` zero bytes of pixels.
std::vector<uint8_t> tga_file(int width, int height, int bits, size_t pixel_bytes = 0)
{
    std::vector<uint8_t> out = {0, 0, static_cast<uint8_t>(bits == 8 ? 3 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    append_le(out, static_cast<uint32_t>(width), 2);
    append_le(out, static_cast<uint32_t>(height), 2);
    out.push_back(static_cast<uint8_t>(bits));
    out.push_back(0);
    out.resize(out.size() + pixel_bytes, 0);
    return out;
}

// A GIF's logical screen descriptor and nothing after it.
std::vector<uint8_t> gif_file(int width, int height)
{
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    append_le(out, static_cast<uint32_t>(width), 2);
    append_le(out, static_cast<uint32_t>(height), 2);
    out.insert(out.end(), {0, 0, 0});
    return out;
}

// A 24-bit BMP (a negative height stores the rows top-down) with
// `pixel_bytes` zero bytes of pixels.
std::vector<uint8_t> bmp_file(int width, int height, size_t pixel_bytes = 0)
{
    std::vector<uint8_t> out = {'B', 'M'};
    append_le(out, static_cast<uint32_t>(54 + pixel_bytes), 4);
    append_le(out, 0, 4);
    append_le(out, 54, 4); // pixels follow the two headers
    append_le(out, 40, 4); // BITMAPINFOHEADER
    append_le(out, static_cast<uint32_t>(width), 4);
    append_le(out, static_cast<uint32_t>(height), 4);
    append_le(out, 1, 2);  // planes
    append_le(out, 24, 2); // bits per pixel
    out.resize(54, 0);     // no compression, the rest zero
    out.resize(out.size() + pixel_bytes, 0);
    return out;
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

struct refusal_case {
    const char* label;
    const char* path;
    std::vector<uint8_t> (*file)();
    std::string refusal; // what the ERROR line says after "ERROR: texture PATH is ", or empty when the image loads
};

void PrintTo(const refusal_case& c, std::ostream* out) { *out << c.label; }

std::string too_large(const char* size)
{
    return std::string(size) + ", more than 16384 texels a side or 256 MiB decoded";
}

std::string not_well_formed(const char* reason) { return std::string("not a well-formed image: ") + reason; }

const refusal_case refusals[] = {
    {"tga_bomb", "data/bomb.tga", [] { return tga_file(17746, 8253, 32); }, too_large("17746x8253")},
    {"gif_bomb", "data/bomb.gif", [] { return gif_file(65535, 65535); }, too_large("65535x65535")},
    {"bmp_bomb", "data/bomb.bmp", [] { return bmp_file(20000, 20000); }, too_large("20000x20000")},
    {"bmp_top_down_bomb", "data/bomb.bmp", [] { return bmp_file(100, -20000); }, too_large("100x20000")},
    {"one_texel_too_wide", "data/wide.tga", [] { return tga_file(16385, 1, 8); }, too_large("16385x1")},
    {"one_texel_too_tall", "data/tall.tga", [] { return tga_file(1, 16385, 8); }, too_large("1x16385")},
    {"more_than_256_mib", "data/big.tga", [] { return tga_file(16384, 4097, 32); }, too_large("16384x4097")},
    {"widest_allowed", "data/wide.tga", [] { return tga_file(16384, 1, 8, 16384); }, ""},
    {"bmp_top_down", "data/small.bmp", [] { return bmp_file(2, -2, 16); }, ""},
    // Headers that state fewer samples than the decoder holds: 256 MiB by
    // the header's count, more by the decoder's.
    {"grey_png_with_transparency", "data/big.png",
     [] {
         using namespace image_files;
         return png_file({png_header(16384, 16384, 8, 0), png_chunk("tRNS", {0, 0})});
     },
     too_large("16384x16384")},
    {"rgb_png_with_transparency", "data/big.png",
     [] {
         using namespace image_files;
         return png_file({png_header(16384, 4097, 8, 2), png_chunk("tRNS", std::vector<uint8_t>(6, 0))});
     },
     too_large("16384x4097")},
    {"sixteen_bit_grey_png", "data/big.png",
     [] { return image_files::png_file({image_files::png_header(16384, 16384, 16, 0)}); }, too_large("16384x16384")},
    {"cmyk_jpeg", "data/big.jpg",
     [] { return image_files::concat({image_files::jpeg_start, image_files::jpeg_frame(0xC0, 16384, 4097, 4)}); },
     too_large("16384x4097")},
    {"progressive_grey_jpeg", "data/big.jpg",
     [] { return image_files::concat({image_files::jpeg_start, image_files::jpeg_frame(0xC2, 16384, 8193, 1)}); },
     too_large("16384x8193")},
    // Files the packaged decoder does not survive: it writes past a Huffman
    // table, reads a table the file never defined, asks for 2 GiB, returns a
    // buffer it never filled, loops for ever, or dereferences a null buffer.
    {"jpeg_table_of_257_codes", "data/bad.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_segment(0xC4, jpeg_huffman_table(1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 255, 2}, 0)),
                        jpeg_end});
     },
     not_well_formed("a Huffman table of more than 256 codes")},
    {"jpeg_scan_with_undefined_table", "data/bad.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_frame(0xC0, 8, 8, 1), jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)),
                        jpeg_scan({0x02}, 0, 63, 0), std::vector<uint8_t>{0x3F, 0xFF, 0x00}, jpeg_end});
     },
     not_well_formed("a scan uses a Huffman table the file does not define")},
    {"png_data_claiming_2_gib", "data/bad.png",
     [] {
         using namespace image_files;
         return concat({text("\x89PNG\r\n\x1a\n"), png_header(4, 4, 8, 0),
                        std::vector<uint8_t>{0x7F, 0xFF, 0xFF, 0xFF, 'I', 'D', 'A', 'T', 0, 0, 0, 0}});
     },
     not_well_formed("a PNG image data chunk runs past the end of the file")},
    {"pnm_short_of_pixels", "data/bad.pgm", [] { return image_files::pnm("P5 3 2 255\n", 5); },
     not_well_formed("the PNM pixel data ends early")},
    {"hdr_run_of_length_0", "data/bad.hdr", [] { return image_files::hdr("-Y 1 +X 8", {2, 2, 0, 8, 0}); },
     not_well_formed("an HDR run of length 0")},
    {"pic_short_of_pixels", "data/bad.pic",
     [] { return image_files::pic(2, 2, {{0, 0xE0}}, std::vector<uint8_t>(11, 7)); },
     not_well_formed("PIC pixel data its decoder cannot read")},
};

class texture_refusal : public testing::TestWithParam<std::tuple<refusal_case, bool>> {};

// The bytes and the header are judged before anything is decoded: an image
// larger than the limits or malformed is refused with one line naming it, in
// either mode, without allocating what its header claims.
TEST_P(texture_refusal, refuses_what_the_decoder_must_not_decode)
{
    const auto& [c, packed] = GetParam();
    texture_folder demo(packed);
    demo.add(c.path, c.file());
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    const auto [loaded, console] = load_texture(asset, filesystem, c.path);
    std::string expected = std::string("- loading texture: ") + c.path + "\n";
    if (!c.refusal.empty())
        expected += std::string("ERROR: texture ") + c.path + " is " + c.refusal + "\n";
    EXPECT_EQ(console, expected);
    EXPECT_EQ(loaded, c.refusal.empty());
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
        demo.add("data/flat.bmp", bmp_file(2, 0));
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
std::vector<uint8_t> sixteen_bit_png_with_transparency()
{
    using namespace image_files;
    std::vector<uint8_t> rows;
    for (int row = 0; row < 2; ++row) {
        rows.push_back(0); // no filter
        for (int column = 0; column < 3; ++column)
            rows.insert(rows.end(), {static_cast<uint8_t>(0x10 * (row * 3 + column)), 0x34});
    }
    return png_file({png_header(3, 2, 16, 0), png_chunk("tRNS", {0x10, 0x34}), png_data(rows)});
}

std::vector<uint8_t> encoded(int (*write)(stbi_write_func*, void*, int, int, int, const void*), int width,
                             int height, int channels)
{
    std::vector<uint8_t> file;
    const std::vector<uint8_t> pixels = test_pixels(width, height, channels);
    write(append_to, &file, width, height, channels, pixels.data());
    return file;
}

std::vector<uint8_t> encoded_hdr(int width, int height)
{
    std::vector<float> pixels(static_cast<size_t>(width * height * 3));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0.05f * static_cast<float>(i % 17);
    std::vector<uint8_t> file;
    stbi_write_hdr_to_func(append_to, &file, width, height, 3, pixels.data());
    return file;
}

std::vector<uint8_t> encoded_jpeg()
{
    std::vector<uint8_t> file;
    const std::vector<uint8_t> pixels = test_pixels(13, 9, 3);
    stbi_write_jpg_to_func(append_to, &file, 13, 9, 3, pixels.data(), 90);
    return file;
}

struct format_case {
    const char* label;
    const char* path;
    std::vector<uint8_t> (*file)();
};

void PrintTo(const format_case& c, std::ostream* out) { *out << c.label; }

const format_case formats[] = {
    {"jpeg", "data/a.jpg", encoded_jpeg},
    {"progressive_jpeg", "data/a.jpg",
     [] {
         using namespace image_files;
         return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC2, 8, 8, 1),
                        jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)), jpeg_scan({0x00}, 0, 0, 0),
                        std::vector<uint8_t>{0x00}, jpeg_end});
     }},
    {"sixteen_bit_png_with_transparency", "data/a.png", sixteen_bit_png_with_transparency},
    {"bmp", "data/a.bmp", [] { return encoded(stbi_write_bmp_to_func, 5, 3, 4); }},
    {"tga", "data/a.tga", [] { return encoded(stbi_write_tga_to_func, 5, 3, 3); }},
    {"hdr_run_length", "data/a.hdr", [] { return encoded_hdr(9, 4); }},
    {"hdr_flat", "data/a.hdr", [] { return encoded_hdr(3, 2); }},
    {"pgm", "data/a.pgm", [] { return image_files::pnm("P5\n# grey\n3 2\n255\n", 6); }},
    {"sixteen_bit_ppm", "data/a.ppm", [] { return image_files::pnm("P6 2 2 65535\n", 24); }},
    {"pic", "data/a.pic",
     [] { return image_files::pic(2, 2, {{2, 0xF0}}, {0x81, 1, 2, 3, 4, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}); }},
};

class texture_formats : public testing::TestWithParam<std::tuple<format_case, bool>> {};

// Well-formed files of the formats the preflight walks load as stb_image
// decodes their bytes by itself, channel count included.
TEST_P(texture_formats, decode_as_the_decoder_decodes_them_alone)
{
    const auto& [c, packed] = GetParam();
    const std::vector<uint8_t> file = c.file();
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> expected(
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels, 0),
        stbi_image_free);
    ASSERT_NE(expected, nullptr);
    texture_folder demo(packed);
    demo.add(c.path, file);
    demo_filesystem& filesystem = demo.open();
    texture_asset asset;
    const auto [loaded, console] = load_texture(asset, filesystem, c.path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(console, std::string("- loading texture: ") + c.path + "\n");
    EXPECT_EQ(asset.get_width(), width);
    EXPECT_EQ(asset.get_height(), height);
    EXPECT_EQ(asset.data->channels, channels);
    const size_t size = static_cast<size_t>(width * height * channels);
    EXPECT_EQ(held_pixels(asset), std::vector<uint8_t>(expected.get(), expected.get() + size));
    asset.unload();
}

INSTANTIATE_TEST_SUITE_P(files, texture_formats, testing::Combine(testing::ValuesIn(formats), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<format_case, bool>>& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_packed" : "_loose");
                         });

} // namespace
