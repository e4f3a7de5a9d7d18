// image_decode_fuzz: the image path of a texture load alone, over one input
// as an image file: the preflight, the decoder's header query, the size
// limits and the decode under the budget the texture load gives it; no GL,
// no file system, no script engine. Besides the sanitizers it checks that a
// decoded image has sides within the limits and 1 to 4 channels, that the
// decode held no more than its budget, and it reads every byte of the
// pixels, so that MemorySanitizer reports a texel the decoder never wrote.
// Built by tests/fuzz/build.sh.
#include "data/image_decoder.h"
#include "data/image_preflight.h"

#include <climits>
#include <cstddef>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#include <sanitizer/msan_interface.h>
#define IMAGE_FUZZ_MSAN 1
#endif
#endif

namespace {

// Every byte is read; under MemorySanitizer an uninitialised one is reported
// with the place it came from.
void read_every_byte(const unsigned char* pixels, std::size_t size)
{
#ifdef IMAGE_FUZZ_MSAN
    __msan_check_mem_is_initialized(pixels, size);
#endif
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += pixels[i];
    volatile unsigned sink = sum;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > INT_MAX)
        return 0;
    image_samples samples;
    const char* problem = nullptr;
    if (!preflight_image(data, size, samples, problem))
        return 0;
    image_size header;
    if (!image_decoder_info(data, static_cast<int>(size), &header.width, &header.height, &header.channels) ||
        !image_within_limits(header, samples))
        return 0;
    const std::size_t budget = image_decode_budget(header, samples, size);
    const image_decode_result decoded = image_decoder_load(data, static_cast<int>(size), budget);
    if (decoded.peak_bytes > budget)
        __builtin_trap();
    if (!decoded.pixels)
        return 0;
    const image_size got = {decoded.width, decoded.height, decoded.channels};
    if (got.width < 0 || got.height < 0 || got.channels < 1 || got.channels > 4 ||
        !image_within_limits(got, image_samples()))
        __builtin_trap();
    // An image of no rows or columns is decoded into a block of no bytes;
    // the texture load counts it as not decoded.
    read_every_byte(decoded.pixels, static_cast<std::size_t>(got.width) * static_cast<std::size_t>(got.height) *
                                        static_cast<std::size_t>(got.channels));
    image_decoder_free(decoded.pixels);
    return 0;
}
