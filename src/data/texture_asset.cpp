// texture_asset: decoding an image from memory with the program's build of
// stb_image, after its bytes pass the preflight and its header shows a size
// within the limits, under a memory budget made from that size; and the
// ownership rules of its pixels. Depends on demo_filesystem (mode, packed
// and loose reads), image_preflight, image_decoder and print_line.
#include "data/texture_asset.h"

#include "data/demo_filesystem.h"
#include "data/image_decoder.h"
#include "data/image_preflight.h"
#include "platform/print_line.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// stb_image takes the length as an int; a larger or empty buffer cannot be decoded.
bool decodable_length(const std::vector<uint8_t>& bytes)
{
    return !bytes.empty() && bytes.size() <= INT_MAX;
}

std::string size_text(const image_size& size)
{
    return std::to_string(std::llabs(size.width)) + "x" + std::to_string(std::llabs(size.height));
}

void report_too_large(const std::string& path, const image_size& size)
{
    print_line("ERROR: texture " + path + " is " + size_text(size) +
               ", more than 16384 texels a side or 256 MiB decoded");
}

void report_over_budget(const std::string& path, const image_size& size, std::size_t budget)
{
    print_line("ERROR: texture " + path + " is " + size_text(size) + ", and its decoding needs more than " +
               std::to_string(budget >> 20) + " MiB");
}

// Reads the header and decides; false (with its console line when refused)
// when the image is not to be decoded.
bool admit_image(const std::string& path, const std::vector<uint8_t>& bytes, image_size& size,
                 image_samples& samples)
{
    const char* problem = nullptr;
    if (!preflight_image(bytes.data(), bytes.size(), samples, problem)) {
        print_line("ERROR: texture " + path + " is not a well-formed image: " + problem);
        return false;
    }
    if (!image_decoder_info(bytes.data(), static_cast<int>(bytes.size()), &size.width, &size.height,
                            &size.channels)) {
        // The decoder's header query refuses sides past the limit itself; the walks read them.
        const image_size stated = {samples.width, samples.height, 0};
        if (samples.width > 0 && samples.height > 0 && !image_within_limits(stated, samples))
            report_too_large(path, stated);
        return false;
    }
    if (!image_within_limits(size, samples)) {
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
    if (image_within_limits(size, image_samples()))
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
    const std::size_t budget = image_decode_budget(size, samples, bytes.size());
    const image_decode_result decoded = image_decoder_load(bytes.data(), static_cast<int>(bytes.size()), budget);
    if (decoded.outcome == image_over_budget)
        report_over_budget(path, size, budget);
    if (!decoded.pixels)
        return nullptr;
    size = {decoded.width, decoded.height, decoded.channels};
    if (keep_decoded(path, size))
        return decoded.pixels;
    image_decoder_free(decoded.pixels);
    return nullptr;
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
    else // a missing file prints no file-not-found line; one the decoder cannot take stays unread
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
        image_decoder_free(data->pixels);
    if (loaded)
        data->pixels = nullptr;
    loaded = false;
    return true;
}

unsigned char* texture_asset::get_pixels() const { return data->pixels; }

int32_t texture_asset::get_width() const { return data->width; }

int32_t texture_asset::get_height() const { return data->height; }
