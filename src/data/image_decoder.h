/* image_decoder: the program's one build of stb_image (the header of Debian's
 * libstb-dev, compiled as C in image_decoder.c), decoding from memory with an
 * allocator of its own per decode: every block comes back zero-filled, the
 * bytes a decode holds at once may not pass its budget, and an assertion of
 * the decoder fails the decode instead of the program. Depends on stb_image
 * and the C library only. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How a decode ended. */
typedef enum image_decode_outcome {
    image_decoded = 0,       /* pixels hold the image */
    image_not_decoded = 1,   /* the decoder refused the bytes, or the system had no memory for it */
    image_over_budget = 2,   /* the decode would have held more than its budget */
    image_inconsistent = 3,  /* the decoder's own consistency check (an assertion) failed */
} image_decode_outcome;

typedef struct image_decode_result {
    unsigned char* pixels;        /* height rows of width * channels bytes, top row first, or null; free with image_decoder_free */
    int width;                    /* pixels per row; 0 without pixels */
    int height;                   /* rows; 0 without pixels */
    int channels;                 /* 8-bit components per pixel as the file stores them (1 to 4); 0 without pixels */
    size_t peak_bytes;            /* the most the decode held at once, its result included */
    image_decode_outcome outcome; /* why there are pixels or none */
} image_decode_result;

/* The size and channel count that the header of the bytes states, as the
 * decoder reads it: 1, or 0 when no format takes the bytes. */
int image_decoder_info(const unsigned char* bytes, int length, int* width, int* height, int* channels);

/* Decodes the bytes with the file's own channel count, never holding more
 * than budget bytes at once. A 16-bit PNM of full range (largest sample
 * value 65535) keeps the high byte of each big-endian sample. */
image_decode_result image_decoder_load(const unsigned char* bytes, int length, size_t budget);

/* Frees the pixels of a decode; null is ignored. */
void image_decoder_free(void* pixels);

#ifdef __cplusplus
}
#endif
