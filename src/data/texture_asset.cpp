// texture_asset: decoding an image with stb_image, after its header shows a
// size within the limits, and the ownership rules of its pixels. Depends on
// demo_filesystem (mode and packed reads), print_line and stb_image.
#include "data/texture_asset.h"

#include "data/demo_filesystem.h"
#include "platform/print_line.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <stb_image.h>

namespace {

// The largest texture side that GL implementations guarantee here.
constexpr int64_t max_texels_a_side = 16384;
constexpr uint64_t max_decoded_bytes = uint64_t(256) << 20;

// An image's size as its header states it, or as the decoder produced it.
struct image_size {
    int width = 0;    // pixels per row
    int height = 0;   // rows
    int channels = 0; // 8-bit components per pixel
};

// The image bytes of a packed-mode load, or null for the loose file at path.
struct image_source {
    const std::vector<uint8_t>* bytes; // "demo.dat" content; null in loose mode
    const std::string& path;           // the loose file, opened by the decoder itself
};

// stb_image takes the length as an int; a larger or empty buffer cannot be decoded.
bool decodable_length(const std::vector<uint8_t>& bytes)
{
    return !bytes.empty() && bytes.size() <= INT_MAX;
}

// Reads only the header; false when it cannot be read.
bool read_image_size(const image_source& source, image_size& size)
{
    if (source.bytes == nullptr)
        return stbi_info(source.path.c_str(), &size.width, &size.height, &size.channels) != 0;
    return decodable_length(*source.bytes) &&
           stbi_info_from_memory(source.bytes->data(), static_cast<int>(source.bytes->size()), &size.width,
                                 &size.height, &size.channels) != 0;
}

// A header can claim a size that takes gigabytes and many seconds to decode
// from a file of a few bytes. Sides are compared by magnitude: a top-down
// BMP states a negative height.
bool within_limits(const image_size& size)
{
    const int64_t width = std::llabs(size.width);
    const int64_t height = std::llabs(size.height);
    if (width > max_texels_a_side || height > max_texels_a_side)
        return false;
    const uint64_t channels = static_cast<uint64_t>(size.channels < 1 ? 1 : size.channels);
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * channels <= max_decoded_bytes;
}

void report_too_large(const std::string& path, const image_size& size)
{
    print_line("ERROR: texture " + path + " is " + std::to_string(std::llabs(size.width)) + "x" +
               std::to_string(std::llabs(size.height)) + ", more than 16384 texels a side or 256 MiB decoded");
}

// The decoded pixels with the file's own channel count, or null.
unsigned char* decode_image(const image_source& source, image_size& size)
{
    if (source.bytes == nullptr)
        return stbi_load(source.path.c_str(), &size.width, &size.height, &size.channels, 0);
    return stbi_load_from_memory(source.bytes->data(), static_cast<int>(source.bytes->size()), &size.width,
                                 &size.height, &size.channels, 0);
}

// Decodes the image when its header is readable and within the limits; an
// image of no width or no height counts as not decoded.
unsigned char* decode_within_limits(const image_source& source, image_size& size)
{
    if (!read_image_size(source, size))
        return nullptr;
    if (!within_limits(size)) {
        report_too_large(source.path, size);
        return nullptr;
    }
    unsigned char* pixels = decode_image(source, size);
    if (pixels != nullptr && (size.width <= 0 || size.height <= 0)) {
        stbi_image_free(pixels);
        pixels = nullptr;
    }
    return pixels;
}

} // namespace

texture_asset::texture_asset() : data(std::make_unique<texture_asset_data>()) {}

texture_asset::texture_asset(const texture_asset& other)
    : binary_asset(other), data(std::make_unique<texture_asset_data>())
{
    data->width = other.data->width;
    data->height = other.data->height;
    data->channels = other.data->channels;
    data->pixels = other.data->pixels;
}

texture_asset& texture_asset::operator=(const texture_asset& other)
{
    if (this == &other)
        return *this;
    // A loaded target gives up its own image first: it would otherwise lose
    // it and later free pixels that belong to other.
    unload();
    binary_asset::operator=(other);
    data->width = other.data->width;
    data->height = other.data->height;
    data->channels = other.data->channels;
    data->pixels = other.data->pixels;
    return *this;
}

// The owner (the asset whose own load decoded the pixels) frees them; a copy
// only refers to them and frees nothing.
texture_asset::~texture_asset()
{
    texture_asset::unload();
}

bool texture_asset::load(demo_filesystem& filesystem)
{
    // A second load would otherwise lose the first image.
    if (loaded)
        unload();
    print_line("- loading texture: " + path);
    const bool packed = filesystem.get_mode() == demo_filesystem_packed;
    if (packed)
        data->file_bytes = filesystem.read_file(path);
    image_size size;
    unsigned char* pixels = decode_within_limits({packed ? &data->file_bytes : nullptr, path}, size);
    data->pixels = pixels;
    data->width = pixels ? size.width : 0;
    data->height = pixels ? size.height : 0;
    data->channels = pixels ? size.channels : 0;
    loaded = pixels != nullptr;
    return loaded;
}

bool texture_asset::unload()
{
    if (loaded && data->pixels)
        stbi_image_free(data->pixels);
    if (loaded)
        data->pixels = nullptr;
    loaded = false;
    return true;
}

unsigned char* texture_asset::get_pixels() const { return data->pixels; }

int32_t texture_asset::get_width() const { return data->width; }

int32_t texture_asset::get_height() const { return data->height; }
