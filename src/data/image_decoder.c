/* image_decoder: stb_image built with the allocator and assertion of a
 * decode scope. A scope lists the blocks its decode holds; when the decoder
 * asks for more than the budget, when the system has no memory, or when one
 * of its assertions fails, the scope frees every block and the decode
 * resumes, failed, where the scope was opened (longjmp: the decoder is C and
 * keeps all its state in those blocks and its own stack frames). The build
 * (CMake) zero-initialises automatic variables here, so that no stack array
 * of the decoder reaches the pixels either. */
#include "data/image_decoder.h"

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

static void* scope_malloc(size_t size);
static void* scope_realloc(void* block, size_t size);
static void scope_free(void* block);
static void scope_assertion_failed(void);

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO            /* every file is read into memory first */
#define STBI_MAX_DIMENSIONS 16384 /* the player's own limit a side */
#define STBI_MALLOC(size) scope_malloc(size)
#define STBI_REALLOC(block, size) scope_realloc(block, size)
#define STBI_FREE(block) scope_free(block)
#define STBI_ASSERT(condition) ((condition) ? (void)0 : scope_assertion_failed())
/* The header declares stbi_set_unpremultiply_on_load_thread and defines it
 * under another name: a static build would declare a function it never
 * defines. */
#define stbi__unpremultiply_on_load_thread stbi_set_unpremultiply_on_load_thread
#include <stb_image.h>

#ifndef STBI_THREAD_LOCAL
#define STBI_THREAD_LOCAL /* a compiler without thread-local storage: decode on one thread */
#endif

/* Put before every block: the scope's list, and the size that realloc and
 * the budget need. The union keeps the block aligned as malloc aligns. */
typedef union block_header {
    struct {
        union block_header* previous; /* the scope's next older block, or null */
        union block_header* next;     /* the scope's next newer block, or null */
        size_t size;                  /* bytes the decoder asked for */
    } link;
    max_align_t alignment;
} block_header;

typedef struct decode_scope {
    jmp_buf abandon;              /* where a failed decode resumes */
    block_header* newest;         /* the last block of the list of live blocks, or null */
    size_t live;                  /* bytes of the live blocks; never more than budget */
    size_t peak;                  /* the most live ever was */
    size_t budget;                /* the most live may be */
    image_decode_outcome failure; /* why the decode was abandoned */
} decode_scope;

/* The scope of the decode running on this thread: set by open_scope and
 * cleared by close_scope around every call into the decoder. */
static STBI_THREAD_LOCAL decode_scope* current_scope;

static void link_block(decode_scope* scope, block_header* header, size_t size)
{
    header->link.size = size;
    header->link.next = NULL;
    header->link.previous = scope->newest;
    if (scope->newest)
        scope->newest->link.next = header;
    scope->newest = header;
    scope->live += size;
    if (scope->live > scope->peak)
        scope->peak = scope->live;
}

static void unlink_block(decode_scope* scope, block_header* header)
{
    if (header->link.previous)
        header->link.previous->link.next = header->link.next;
    if (header->link.next)
        header->link.next->link.previous = header->link.previous;
    else
        scope->newest = header->link.previous;
    scope->live -= header->link.size;
}

static void free_all_blocks(decode_scope* scope)
{
    while (scope->newest) {
        block_header* header = scope->newest;
        unlink_block(scope, header);
        free(header);
    }
}

static _Noreturn void abandon_decode(decode_scope* scope, image_decode_outcome why)
{
    scope->failure = why;
    longjmp(scope->abandon, 1);
}

static block_header* header_of(void* block) { return (block_header*)block - 1; }

/* live never passes budget, so budget - live cannot wrap, and a size within
 * it plus a header cannot overflow (budgets are far below SIZE_MAX). */
static void* scope_malloc(size_t size)
{
    decode_scope* scope = current_scope;
    block_header* header;
    if (size > scope->budget - scope->live)
        abandon_decode(scope, image_over_budget);
    header = (block_header*)calloc(1, sizeof(block_header) + size);
    if (!header)
        abandon_decode(scope, image_not_decoded);
    link_block(scope, header, size);
    return header + 1;
}

/* The bytes a block grows by are zero-filled like a new block's. */
static void* scope_realloc(void* block, size_t size)
{
    decode_scope* scope = current_scope;
    block_header* header;
    block_header* moved;
    size_t old_size;
    if (!block)
        return scope_malloc(size);
    header = header_of(block);
    old_size = header->link.size;
    if (size > old_size && size - old_size > scope->budget - scope->live)
        abandon_decode(scope, image_over_budget);
    unlink_block(scope, header);
    moved = (block_header*)realloc(header, sizeof(block_header) + size);
    if (!moved) {
        link_block(scope, header, old_size); /* still valid: freed with the rest */
        abandon_decode(scope, image_not_decoded);
    }
    if (size > old_size)
        memset((unsigned char*)(moved + 1) + old_size, 0, size - old_size);
    link_block(scope, moved, size);
    return moved + 1;
}

static void scope_free(void* block)
{
    block_header* header;
    if (!block)
        return;
    header = header_of(block);
    unlink_block(current_scope, header);
    free(header);
}

static void scope_assertion_failed(void) { abandon_decode(current_scope, image_inconsistent); }

/* One call into the decoder and what it gives back. */
typedef struct decode_job {
    const unsigned char* bytes; /* the file */
    int length;                 /* its length */
    int width;                  /* as the decoder states it */
    int height;
    int channels;
    unsigned char* pixels;      /* the decoded image, or null */
    int found;                  /* image_decoder_info's answer */
} decode_job;

/* Runs work in a new scope; 0 when the scope abandoned the decode. The job
 * and the scope belong to the caller, so longjmp leaves them intact. */
static int run_guarded(decode_scope* scope, void (*work)(decode_job*), decode_job* job)
{
    if (setjmp(scope->abandon) != 0)
        return 0;
    work(job);
    return 1;
}

static void open_scope(decode_scope* scope, size_t budget)
{
    memset(scope, 0, sizeof *scope);
    scope->budget = budget;
    current_scope = scope;
}

/* Hands pixels (a block of the scope) to the caller and frees whatever else
 * the decoder left; false when pixels is not a block of the scope. */
static int close_scope(decode_scope* scope, unsigned char* pixels)
{
    block_header* header;
    int found = pixels == NULL;
    for (header = scope->newest; header && !found; header = header->link.previous)
        found = header + 1 == (block_header*)pixels;
    if (found && pixels)
        unlink_block(scope, header_of(pixels));
    free_all_blocks(scope);
    current_scope = NULL;
    return found;
}

/* ---- what the decoder is asked, per format ---- */

/* A PNM header number as the decoder reads it, stopped from growing past
 * what the decision below needs (the decoder's own reader overflows). */
static int pnm_number(stbi__context* s, char* c)
{
    int value = 0;
    while (!stbi__at_eof(s) && stbi__pnm_isdigit(*c)) {
        if (value <= 65535)
            value = value * 10 + (*c - '0');
        *c = (char)stbi__get8(s);
    }
    return value;
}

/* The decoder reads 16-bit PNM samples as stored (big-endian) and then takes
 * the high byte of each as if it were in the machine's order: a picture of
 * full range is decoded through the 16-bit entry point instead. */
static int is_full_range_16_bit_pnm(const decode_job* job)
{
    stbi__context s;
    char c;
    stbi__start_mem(&s, job->bytes, job->length);
    if (!stbi__pnm_test(&s))
        return 0;
    c = (char)stbi__get8(&s);
    stbi__pnm_skip_whitespace(&s, &c);
    pnm_number(&s, &c); /* width */
    stbi__pnm_skip_whitespace(&s, &c);
    pnm_number(&s, &c); /* height */
    stbi__pnm_skip_whitespace(&s, &c);
    return pnm_number(&s, &c) == 65535;
}

static int is_pic(const decode_job* job)
{
    stbi__context s;
    stbi__start_mem(&s, job->bytes, job->length);
    return stbi__pic_test(&s);
}

static void load_high_bytes_of_16_bit(decode_job* job)
{
    stbi_us* samples = stbi_load_16_from_memory(job->bytes, job->length, &job->width, &job->height, &job->channels, 0);
    size_t count, i;
    if (!samples)
        return;
    count = (size_t)job->width * (size_t)job->height * (size_t)job->channels;
    job->pixels = (unsigned char*)scope_malloc(count);
    for (i = 0; i < count; ++i)
        job->pixels[i] = ((const unsigned char*)samples)[2 * i]; /* as in the file: high byte first */
    scope_free(samples);
}

/* The PIC decoder converts its RGBA buffer to the file's channels even when
 * reading the pixels failed and the buffer is gone; asking for RGBA skips
 * that conversion, and a picture without alpha drops it here instead. */
static void load_pic(decode_job* job)
{
    unsigned char* rgba = stbi_load_from_memory(job->bytes, job->length, &job->width, &job->height, &job->channels, 4);
    size_t count, i;
    if (!rgba || job->channels == 4) {
        job->pixels = rgba;
        return;
    }
    count = (size_t)job->width * (size_t)job->height;
    job->pixels = (unsigned char*)scope_malloc(count * 3);
    for (i = 0; i < count; ++i)
        memcpy(job->pixels + 3 * i, rgba + 4 * i, 3);
    scope_free(rgba);
}

static void load_pixels(decode_job* job)
{
    if (is_full_range_16_bit_pnm(job))
        load_high_bytes_of_16_bit(job);
    else if (is_pic(job))
        load_pic(job);
    else
        job->pixels = stbi_load_from_memory(job->bytes, job->length, &job->width, &job->height, &job->channels, 0);
}

static void read_info(decode_job* job)
{
    job->found = stbi_info_from_memory(job->bytes, job->length, &job->width, &job->height, &job->channels);
}

/* ---- the interface ---- */

/* Reading a header takes no more than the decoder's own state (its largest,
 * the GIF decoder's, is under 40 KiB). */
static const size_t info_budget = (size_t)1 << 20;

int image_decoder_info(const unsigned char* bytes, int length, int* width, int* height, int* channels)
{
    decode_scope scope;
    decode_job job;
    memset(&job, 0, sizeof job);
    job.bytes = bytes;
    job.length = length;
    open_scope(&scope, info_budget);
    if (!run_guarded(&scope, read_info, &job))
        job.found = 0;
    close_scope(&scope, NULL);
    if (!job.found)
        return 0;
    *width = job.width;
    *height = job.height;
    *channels = job.channels;
    return 1;
}

image_decode_result image_decoder_load(const unsigned char* bytes, int length, size_t budget)
{
    decode_scope scope;
    decode_job job;
    image_decode_result result;
    memset(&job, 0, sizeof job);
    memset(&result, 0, sizeof result);
    job.bytes = bytes;
    job.length = length;
    open_scope(&scope, budget);
    if (!run_guarded(&scope, load_pixels, &job)) {
        job.pixels = NULL;
        result.outcome = scope.failure;
    } else {
        result.outcome = job.pixels ? image_decoded : image_not_decoded;
    }
    result.peak_bytes = scope.peak;
    if (!close_scope(&scope, job.pixels)) {
        job.pixels = NULL;
        result.outcome = image_inconsistent;
    }
    if (job.pixels) {
        result.pixels = job.pixels;
        result.width = job.width;
        result.height = job.height;
        result.channels = job.channels;
    }
    return result;
}

void image_decoder_free(void* pixels)
{
    if (pixels)
        free(header_of(pixels));
}
