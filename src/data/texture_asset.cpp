// texture_asset: decoding an image from memory with stb_image, after its
// bytes pass the preflight and its header shows a size within the limits, and
// the ownership rules of its pixels. Depends on demo_filesystem (mode,
// packed and loose reads), image_preflight, print_line and stb_image.
#include "data/texture_asset.h"

#include "data/demo_filesystem.h"
#include "data/image_preflight.h"
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

// stb_image takes the length as an int; a larger or empty buffer cannot be decoded.
bool decodable_length(const std::vector<uint8_t>& bytes)
{
    return !bytes.empty() && bytes.size() <= INT_MAX;
}

// A header can claim a size that takes gigabytes and many seconds to decode
// from a file of a few bytes. The count is of the samples the decoder holds
// (its own channel count and sample size where the header tells less); sides
// are compared by magnitude, since a top-down BMP states a negative height.
bool within_limits(const image_size& size, const image_samples& samples)
{
    const int64_t width = std::llabs(size.width);
    const int64_t height = std::llabs(size.height);
    if (width > max_texels_a_side || height > max_texels_a_side)
        return false;
    const int header_channels = size.channels < 1 ? 1 : size.channels;
    const uint64_t channels = static_cast<uint64_t>(samples.channels > 0 ? samples.channels : header_channels);
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * channels *
                           static_cast<uint64_t>(samples.bytes_per_sample);
    return bytes <= max_decoded_bytes;
}

void report_too_large(const std::string& path, const image_size& size)
{
    print_line("ERROR: texture " + path + " is " + std::to_string(std::llabs(size.width)) + "x" +
               std::to_string(std::llabs(size.height)) + ", more than 16384 texels a side or 256 MiB decoded");
}

// Reads the header and decides; false (with its console line when refused)
// when the image is not to be decoded.
bool admit_image(const std::string& path, const std::vector<uint8_t>& bytes, image_size& size,
                 image_samples& samples)
{
    std::string problem;
    if (!preflight_image(bytes.data(), bytes.size(), samples, problem)) {
        print_line("ERROR: texture " + path + " is not a well-formed image: " + problem);
        return false;
    }
    if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &size.width, &size.height,
                               &size.channels))
        return false;
    if (!within_limits(size, samples)) {
        report_too_large(path, size);
        return false;
    }
    return true;
}

// The decoded image is checked again; an image of no width or no height
// counts as not decoded.
bool keep_decoded(const std::string& path, const image_size& size)
{
    if (size.width <= 0 || size.height <= 0)
        return false;
    if (within_limits(size, image_samples()))
        return true;
    report_too_large(path, size);
    return false;
}

// Decodes the image with its own channel count when it is admitted and kept.
unsigned char* decode_within_limits(const std::string& path, const std::vector<uint8_t>& bytes, image_size& size)
{
    image_samples samples;
    if (!decodable_length(bytes) || !admit_image(path, bytes, size, samples))
        return nullptr;
    unsigned char* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &size.width,
                                                  &size.height, &size.channels, 0);
    if (pixels != nullptr && !keep_decoded(path, size)) {
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
    std::vector<uint8_t> loose_bytes;
    const bool packed = filesystem.get_mode() == demo_filesystem_packed;
    if (packed)
        data->file_bytes = filesystem.read_file(path);
    else // a missing file prints no file-not-found line; one stb_image cannot take stays unread
        read_loose_file(path, INT_MAX, loose_bytes);
    image_size size;
    unsigned char* pixels = decode_within_limits(path, packed ? data->file_bytes : loose_bytes, size);
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
