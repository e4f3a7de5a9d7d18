// image_preflight: what an image file's bytes show before stb_image decodes
// them: the structure its decoder will walk, and the samples it will hold per
// pixel. Pure functions over a byte span; no dependencies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The samples stb_image holds per pixel while it decodes, where its header
// query tells less than the decoder makes.
struct image_samples {
    int channels = 0;         // channels the decoder works in; 0 when the header's own count is right
    int bytes_per_sample = 1; // 2 for 16-bit samples and progressive JPEG coefficients, 4 for HDR's floats
};

// Walks the parts of the file that the packaged stb_image reads unsafely and
// fills samples for its format. False, with problem set to a short reason,
// when those parts are malformed in a way that would make the decoder write
// or read outside its buffers, loop for ever, allocate what the file cannot
// hold or return memory it never wrote. Bytes of no format it knows pass.
bool preflight_image(const std::uint8_t* bytes, std::size_t size, image_samples& samples, std::string& problem);
