// Texture asset: decoding in both file-system modes with the image's own
// channel count and row order, the failure paths, and who owns the pixels.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <string>
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

std::vector<uint8_t> encode_png(int width, int height, int channels, const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> file;
    auto append = [](void* context, void* bytes, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
    };
    stbi_write_png_to_func(append, &file, width, height, channels, pixels.data(), width * channels);
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

} // namespace
