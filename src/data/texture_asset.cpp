// texture_asset: decoding an image with stb_image and the ownership rules
// of its pixels. Depends on demo_filesystem (mode and packed reads),
// print_line and stb_image.
#include "data/texture_asset.h"

#include "data/demo_filesystem.h"
#include "platform/print_line.h"

#include <climits>
#include <stb_image.h>

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
    binary_asset::operator=(other);
    data->width = other.data->width;
    data->height = other.data->height;
    data->channels = other.data->channels;
    data->pixels = other.data->pixels;
    return *this;
}

// The pixels are not freed here: they may be shared with copies, and the
// owner releases them only through unload.
texture_asset::~texture_asset() = default;

bool texture_asset::load(demo_filesystem& filesystem)
{
    // A second load would otherwise lose the first image.
    if (loaded)
        unload();
    print_line("- loading texture: " + path);
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* pixels = nullptr;
    if (filesystem.get_mode() == demo_filesystem_packed) {
        data->file_bytes = filesystem.read_file(path);
        // stb_image takes the length as an int; a larger file cannot be decoded.
        if (!data->file_bytes.empty() && data->file_bytes.size() <= INT_MAX)
            pixels = stbi_load_from_memory(data->file_bytes.data(),
                                           static_cast<int>(data->file_bytes.size()),
                                           &width, &height, &channels, 0);
    } else {
        pixels = stbi_load(path.c_str(), &width, &height, &channels, 0);
    }
    data->pixels = pixels;
    data->width = pixels ? width : 0;
    data->height = pixels ? height : 0;
    data->channels = pixels ? channels : 0;
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
