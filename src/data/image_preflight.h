// image_preflight: what an image file's bytes show before stb_image decodes
// them: the structure its decoder will walk, the samples it will hold, and
// from those the size limits and the memory budget of the decode. Pure
// functions; no dependencies.
#pragma once

#include <cstddef>
#include <cstdint>

// The samples stb_image holds while it decodes, where its header query tells
// less than the decoder makes or, past its size limit, nothing.
struct image_samples {
    int channels = 0;         // channels the decoder works in; 0 when the header's own count is right
    int bytes_per_sample = 1; // 2 for 16-bit samples and progressive JPEG coefficients, 4 for HDR's floats
    int width = 0;            // the sides the header states, where a walk reads them (PNG, JPEG, GIF); else 0
    int height = 0;
};

// Walks what the build of the decoder cannot bound (image_preflight.cpp
// lists both) and fills samples for the file's format. False, with problem
// pointing at a short reason (a string literal), when the file would make
// the decoder write outside its tables, loop for ever, work far beyond the
// file's size and samples, or read a header number it overflows on. Bytes
// of no format it knows pass.
bool preflight_image(const std::uint8_t* bytes, std::size_t size, image_samples& samples, const char*& problem);

// An image's size as its header states it, or as the decoder produced it.
struct image_size {
    int width = 0;    // pixels per row
    int height = 0;   // rows; negative for a top-down BMP
    int channels = 0; // 8-bit components per pixel
};

// False when the image is larger than 16384 texels a side or than 256 MiB
// of the samples the decoder holds for it.
bool image_within_limits(const image_size& size, const image_samples& samples);

// The most a decode of the image may hold at once, in bytes.
std::size_t image_decode_budget(const image_size& size, const image_samples& samples, std::size_t file_size);
