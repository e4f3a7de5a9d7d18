// texture_asset: one image decoded by stb_image into 8-bit pixels with the
// file's own channel count, from "demo.dat" bytes in packed mode or from the
// loose file otherwise. Depends on binary_asset, demo_filesystem and the
// program's build of stb_image (image_decoder).
#pragma once

#include "data/binary_asset.h"

#include <cstdint>
#include <memory>
#include <vector>

// The decoded image of a texture asset. A copy of the asset refers to the
// same pixels without owning them; only the owner frees them, by unload or
// when it is destroyed.
struct texture_asset_data {
    int32_t width = 0;                // pixels per row; 0 while no image is decoded
    int32_t height = 0;               // rows; 0 while no image is decoded
    int32_t channels = 0;             // 8-bit components per pixel as stored in the file (1 to 4); 0 while none
    unsigned char* pixels = nullptr;  // height rows of width * channels bytes, top row first; allocated by the decoder, freed by image_decoder_free
    std::vector<uint8_t> file_bytes;  // the image file as read by the last packed-mode load; never copied
};

class texture_asset : public binary_asset {
public:
    texture_asset();
    texture_asset(const texture_asset& other);
    texture_asset& operator=(const texture_asset& other);
    virtual ~texture_asset();

    // Decodes the image from its bytes (read here in loose mode); false when
    // it is missing, not decodable or of no width or height, and, with a
    // console line, when its bytes are malformed in a way the decoder does not
    // survive or would keep working on far beyond its size, when it is larger
    // than 16384 texels a side or 256 MiB of the samples the decoder holds,
    // counted before and again after decoding, or when its decoding needs
    // more memory than an image of its size may take.
    bool load(demo_filesystem& filesystem) override;
    bool unload() override;

    unsigned char* get_pixels() const;
    int32_t get_width() const;
    int32_t get_height() const;

    std::unique_ptr<texture_asset_data> data; // the asset's own block, made by every constructor
};
