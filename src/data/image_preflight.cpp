// image_preflight: per-format walks that follow how stb_image reads a file
// from memory (bytes past the end read as 0), stopping where the decoder
// would give up by itself.
//
// What the build of the decoder closes (image_decoder.c), so that no walk
// here is needed for it: texels the decoder never writes (every block it
// allocates is zero-filled, and so are its automatic variables: short TGA,
// PNM and PIC data, BMP palette indices past the palette, JPEG scans that
// stop early or never come, tables and quantizers a JPEG never defines,
// state left by an earlier decode); memory (a budget per decode: image data
// that inflates without end, or a chunk that claims gigabytes); assertions
// (a failed decode); PIC's conversion of a buffer it has freed (the decoder
// is asked for RGBA); sizes above 16384 a side.
//
// What the walks keep, since no build option bounds it: the decoder's writes
// past a JPEG Huffman table of more than 256 codes; its work (JPEG scans that
// each go over every block, GIF prefix chains walked after the frame is full,
// HDR runs of length 0 that never end); a PNM header number past INT_MAX
// (undefined overflow in its reader); the one HDR pixel read into a variable
// whose initialisation a jump skips; and the samples it holds per pixel where
// the header tells less, for the size limit and the decode's budget.
//
// The decoder's work is then at most proportionate to the file's size plus
// the samples it decodes: each of its other loops either consumes bytes of
// the file or fills samples (PIC runs are cut at the end of their row, HDR
// runs at the end of their scanline, PSD runs at the end of their channel,
// TGA runs fill a pixel a step; inflating stops at the budget).
#include "data/image_preflight.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The largest texture side that GL implementations guarantee here, and the
// largest the decoder takes (its build's STBI_MAX_DIMENSIONS).
constexpr std::int64_t max_texels_a_side = 16384;

// Reads like stb_image's memory source: every byte past the end is 0.
struct byte_reader {
    const std::uint8_t* bytes; // the file
    std::size_t size;          // its length
    std::size_t pos = 0;       // next byte; at or past size means at the end

    bool at_end() const { return pos >= size; }
    std::uint64_t left() const { return at_end() ? 0 : size - pos; }
    std::uint8_t get8() { return at_end() ? 0 : bytes[pos++]; }
    std::uint32_t be16()
    {
        const std::uint32_t high = get8();
        return (high << 8) | get8();
    }
    std::uint32_t le16()
    {
        const std::uint32_t low = get8();
        return low | (std::uint32_t(get8()) << 8);
    }
    std::uint32_t be32()
    {
        const std::uint32_t high = be16();
        return (high << 16) | be16();
    }
    void skip(std::uint64_t count) { pos = count >= left() ? size : pos + static_cast<std::size_t>(count); }
};

enum class image_format { other, png, gif, psd, pic, jpeg, pnm, hdr };

bool has_text_at(const std::uint8_t* bytes, std::size_t size, std::size_t at, const char* text)
{
    const std::size_t length = std::strlen(text);
    return size >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

bool is_jpeg(const std::uint8_t* bytes, std::size_t size)
{
    std::size_t at = 0;
    while (at < size && bytes[at] == 0xFF)
        ++at;
    return at > 0 && at < size && bytes[at] == 0xD8;
}

// The decoder stb_image picks, tried in its order. BMP and TGA need no walk.
image_format format_of(const std::uint8_t* bytes, std::size_t size)
{
    if (has_text_at(bytes, size, 0, "\x89PNG\r\n\x1a\n"))
        return image_format::png;
    if (has_text_at(bytes, size, 0, "GIF87a") || has_text_at(bytes, size, 0, "GIF89a"))
        return image_format::gif;
    if (has_text_at(bytes, size, 0, "8BPS"))
        return image_format::psd;
    if (has_text_at(bytes, size, 0, "\x53\x80\xF6\x34") && has_text_at(bytes, size, 88, "PICT"))
        return image_format::pic;
    if (is_jpeg(bytes, size))
        return image_format::jpeg;
    if (has_text_at(bytes, size, 0, "P5") || has_text_at(bytes, size, 0, "P6"))
        return image_format::pnm;
    if (has_text_at(bytes, size, 0, "#?RADIANCE\n") || has_text_at(bytes, size, 0, "#?RGBE\n"))
        return image_format::hdr;
    return image_format::other;
}

// ---- PNG: the channels added by a tRNS chunk, the sample size, and image data of the image's size ----

// The decoder rebuilds its Huffman tables for every compressed block of the
// image data, about a microsecond for a block that may take ten bits: data
// of tiny blocks costs a second a megabyte however small the image. Deflate
// never makes rows more than a little larger than they are (stored blocks
// add 5 bytes in 65535, fixed codes at most an eighth), so the data may be
// at most twice the filtered rows, 16 bytes a row (the filter and partial
// bytes an interlaced image adds) and 64 KiB.
constexpr std::uint64_t png_data_allowance = 64 << 10;
constexpr std::uint64_t png_data_allowance_a_row = 16;

// The bytes of the filtered rows: a filter byte and the packed samples a row.
std::uint64_t png_row_bytes(std::uint32_t width, std::uint32_t height, int depth, int color_type)
{
    static const int stored_channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = color_type >= 0 && color_type < 7 ? stored_channels[color_type] : 4;
    const std::uint64_t bits = std::uint64_t(width) * std::uint64_t(channels) * std::uint64_t(depth);
    return std::uint64_t(height) * (1 + (bits + 7) / 8);
}

constexpr std::uint32_t png_chunk(const char (&name)[5])
{
    return (std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
           (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]));
}

// The decoder adds an alpha channel for a tRNS chunk, palette or not.
image_samples png_samples(int color_type, int depth, bool transparency)
{
    static const int channels_of_type[7] = {1, 0, 3, 3, 2, 0, 4};
    image_samples samples;
    samples.channels = color_type >= 0 && color_type < 7 ? channels_of_type[color_type] : 0;
    if (transparency && (color_type == 0 || color_type == 2 || color_type == 3))
        ++samples.channels;
    samples.bytes_per_sample = depth == 16 ? 2 : 1;
    return samples;
}

bool check_png(byte_reader in, image_samples& samples, const char*& problem)
{
    in.skip(8);
    bool header_seen = false, data_seen = false, transparency = false;
    std::uint32_t width = 0, height = 0;
    int depth = 0, color_type = 0;
    std::uint64_t data_bytes = 0;
    while (in.left() >= 8) {
        const std::uint32_t length = in.be32();
        const std::uint32_t type = in.be32();
        if (type == png_chunk("IHDR") && !header_seen && length == 13) {
            header_seen = true;
            width = in.be32();
            height = in.be32();
            depth = in.get8();
            color_type = in.get8();
            in.skip(3 + 4);
            continue;
        }
        if (!header_seen && type != png_chunk("CgBI"))
            break; // the decoder requires the header first
        data_seen = data_seen || type == png_chunk("IDAT");
        transparency = transparency || (type == png_chunk("tRNS") && !data_seen);
        if (type == png_chunk("IDAT"))
            data_bytes += std::min<std::uint64_t>(length, in.left());
        if (type == png_chunk("IEND") || length > in.left())
            break;
        in.skip(std::uint64_t(length) + 4);
    }
    if (!header_seen)
        return true;
    samples = png_samples(color_type, depth, transparency);
    samples.width = static_cast<int>(std::min<std::uint32_t>(width, INT_MAX));
    samples.height = static_cast<int>(std::min<std::uint32_t>(height, INT_MAX));
    if (data_bytes <= 2 * png_row_bytes(width, height, depth, color_type) + png_data_allowance_a_row * height +
                          png_data_allowance)
        return true;
    problem = "PNG image data far larger than its image";
    return false;
}

// ---- JPEG: Huffman tables that fit their arrays, and scans that go over each block a bounded number of times ----

constexpr std::uint8_t jpeg_no_marker = 0xFF;

// Every scan makes the decoder go over every block of its components, even a
// scan of no data: a baseline scan decodes all 64 coefficients of each block
// and transforms it, a progressive scan decodes (or refines) the band of
// coefficients it names. The work of the scans on a component is counted in
// coefficients a block, the band's width but at least 16 for the cost of a
// pass itself. A baseline encoder scans each component once (64); libjpeg's
// progressive scripts come to 208 at most and a search for the smallest file
// to about 300. A component may take twice a baseline encoder's passes, or
// 512 in a progressive file: no more than a few whole decodes of its blocks.
constexpr int jpeg_pass_floor = 16;
constexpr int max_baseline_scan_work = 2 * 64;
constexpr int max_progressive_scan_work = 512;

enum class walk_step { go_on, decoder_stops, refused };

struct jpeg_walk {
    byte_reader in;
    std::size_t frame_end = 0;     // where the frame header ends in the file
    int width = 0;                 // from the frame header
    int height = 0;
    int components = 0;
    std::uint8_t ids[4] = {};      // component ids, in frame order
    bool progressive = false;      // a progressive frame (SOF2)
    const char* problem = nullptr; // set when refused
};

// One 0xFF, any 0xFF fill bytes, then the code; no marker when the first byte is not 0xFF.
std::uint8_t read_jpeg_marker(byte_reader& in)
{
    std::uint8_t code = in.get8();
    if (code != 0xFF)
        return jpeg_no_marker;
    while (code == 0xFF)
        code = in.get8();
    return code;
}

bool is_frame_marker(std::uint8_t marker) { return marker == 0xC0 || marker == 0xC1 || marker == 0xC2; }

// The decoder's own test of a table's code lengths: no length oversubscribed.
bool code_lengths_fit(const int (&counts)[16])
{
    unsigned code = 0;
    for (int length = 1; length <= 16; ++length) {
        code += static_cast<unsigned>(counts[length - 1]);
        if (counts[length - 1] != 0 && code - 1 >= (1u << length))
            return false;
        code <<= 1;
    }
    return true;
}

// The packaged decoder builds a table from counts that may add up to 4080
// codes, writing past its 256 values and 257 sizes.
walk_step read_huffman_tables(jpeg_walk& walk)
{
    int left = static_cast<int>(walk.in.be16()) - 2;
    while (left > 0) {
        const std::uint8_t selector = walk.in.get8();
        if ((selector >> 4) > 1 || (selector & 15) > 3)
            return walk_step::decoder_stops;
        int counts[16];
        int codes = 0;
        for (int& count : counts)
            codes += count = walk.in.get8();
        if (codes > 256) {
            walk.problem = "a Huffman table of more than 256 codes";
            return walk_step::refused;
        }
        if (!code_lengths_fit(counts))
            return walk_step::decoder_stops;
        walk.in.skip(static_cast<std::uint64_t>(codes));
        left -= 17 + codes;
    }
    return left == 0 ? walk_step::go_on : walk_step::decoder_stops;
}

walk_step skip_quantization_tables(byte_reader& in)
{
    int left = static_cast<int>(in.be16()) - 2;
    while (left > 0) {
        const std::uint8_t selector = in.get8();
        if ((selector >> 4) > 1 || (selector & 15) > 3)
            return walk_step::decoder_stops;
        const int values = (selector >> 4) ? 128 : 64;
        in.skip(static_cast<std::uint64_t>(values));
        left -= values + 1;
    }
    return left == 0 ? walk_step::go_on : walk_step::decoder_stops;
}

// The segments the decoder reads outside a frame or scan header; any other
// marker ends its decoding.
walk_step read_segment(jpeg_walk& walk, std::uint8_t marker)
{
    if (marker == 0xC4)
        return read_huffman_tables(walk);
    if (marker == 0xDB)
        return skip_quantization_tables(walk.in);
    if (marker == 0xDD) { // restart interval
        if (walk.in.be16() != 4)
            return walk_step::decoder_stops;
        walk.in.skip(2);
        return walk_step::go_on;
    }
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) { // application data, comment
        const std::uint32_t length = walk.in.be16();
        if (length < 2)
            return walk_step::decoder_stops;
        walk.in.skip(length - 2);
        return walk_step::go_on;
    }
    return walk_step::decoder_stops;
}

walk_step read_frame(jpeg_walk& walk, std::uint8_t marker)
{
    byte_reader& in = walk.in;
    const std::uint32_t length = in.be16();
    const std::uint8_t precision = in.get8();
    const std::uint32_t height = in.be16(), width = in.be16();
    const int components = in.get8();
    if (length < 11 || precision != 8 || height == 0 || width == 0 ||
        (components != 1 && components != 3 && components != 4) || length != 8u + 3u * unsigned(components))
        return walk_step::decoder_stops;
    for (int i = 0; i < components; ++i) {
        walk.ids[i] = in.get8();
        const std::uint8_t sampling = in.get8();
        const std::uint8_t quantization = in.get8();
        if ((sampling >> 4) == 0 || (sampling >> 4) > 4 || (sampling & 15) == 0 || (sampling & 15) > 4 ||
            quantization > 3)
            return walk_step::decoder_stops;
    }
    walk.frame_end = in.pos;
    walk.width = static_cast<int>(width);
    walk.height = static_cast<int>(height);
    walk.components = components;
    walk.progressive = marker == 0xC2;
    return walk_step::go_on;
}

// The scan header as the decoder checks it, so that the walk stops where the decoder does.
walk_step read_scan(jpeg_walk& walk)
{
    byte_reader& in = walk.in;
    const std::uint32_t length = in.be16();
    const int count = in.get8();
    if (count < 1 || count > 4 || count > walk.components || length != 6u + 2u * unsigned(count))
        return walk_step::decoder_stops;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t id = in.get8();
        const std::uint8_t tables = in.get8();
        const std::uint8_t* const ids = walk.ids;
        if (std::find(ids, ids + walk.components, id) == ids + walk.components || (tables >> 4) > 3 ||
            (tables & 15) > 3)
            return walk_step::decoder_stops;
    }
    const int start = in.get8(), end = in.get8(), approximation = in.get8();
    const int high = approximation >> 4, low = approximation & 15;
    if (walk.progressive ? (start > 63 || end > 63 || start > end || high > 13 || low > 13)
                         : (start != 0 || high != 0 || low != 0))
        return walk_step::decoder_stops;
    return walk_step::go_on;
}

// The marker that ends a scan's entropy-coded data: 0xFF followed by neither
// a stuffed 0 nor a restart code.
std::uint8_t marker_after_scan_data(byte_reader& in)
{
    while (!in.at_end()) {
        if (in.get8() != 0xFF)
            continue;
        std::uint8_t code = in.get8();
        while (code == 0xFF)
            code = in.get8();
        if (code != 0x00 && (code < 0xD0 || code > 0xD7))
            return code;
    }
    return jpeg_no_marker;
}

// The markers up to the frame, where the decoder also skips junk between segments.
walk_step walk_jpeg_header(jpeg_walk& walk, std::uint8_t& marker)
{
    read_jpeg_marker(walk.in); // start of image, checked by format_of
    marker = read_jpeg_marker(walk.in);
    while (!is_frame_marker(marker)) {
        const walk_step step = read_segment(walk, marker);
        if (step != walk_step::go_on)
            return step;
        marker = read_jpeg_marker(walk.in);
        while (marker == jpeg_no_marker) {
            if (walk.in.at_end())
                return walk_step::decoder_stops;
            marker = read_jpeg_marker(walk.in);
        }
    }
    return read_frame(walk, marker);
}

// The segments and scans after the frame, up to the end of the image.
walk_step walk_jpeg_body(jpeg_walk& walk)
{
    std::uint8_t marker = read_jpeg_marker(walk.in);
    while (marker != 0xD9) {
        walk_step step = walk_step::go_on;
        if (marker == 0xDA) {
            step = read_scan(walk);
            if (step == walk_step::go_on) {
                marker = marker_after_scan_data(walk.in);
                continue;
            }
        } else if (marker == 0xDC) { // number of lines
            walk.in.skip(4);
        } else {
            step = read_segment(walk, marker);
        }
        if (step != walk_step::go_on)
            return step;
        marker = read_jpeg_marker(walk.in);
    }
    return walk_step::go_on;
}

// The work of one scan header on each component it names: its band's
// width, and a whole block's where the decoder takes the band as the whole
// block (baseline) or would refuse the header (counted all the same).
void add_scan_work(const jpeg_walk& walk, byte_reader in, int (&work)[4])
{
    in.skip(2); // length
    const int count = in.get8();
    std::uint8_t ids[4] = {};
    for (int i = 0; i < count && i < 4; ++i) {
        ids[i] = in.get8();
        in.skip(1); // table selectors
    }
    const int start = in.get8(), end = in.get8();
    const int band = walk.progressive && start <= end && end <= 63 ? std::max(end - start + 1, jpeg_pass_floor) : 64;
    const std::uint8_t* const frame_ids = walk.ids;
    for (int i = 0; i < count && i < 4; ++i) {
        const std::uint8_t* const named = std::find(frame_ids, frame_ids + walk.components, ids[i]);
        for (int c = 0; c < walk.components; ++c) {
            if (named == frame_ids + walk.components || named == frame_ids + c) // an unknown id: any component
                work[c] += band;
        }
    }
    if (count < 1 || count > 4) {
        for (int c = 0; c < walk.components; ++c)
            work[c] += 64;
    }
}

// Every scan the decoder reads starts at a start-of-scan marker that it
// finds as the bytes 0xFF 0xDA after its frame, whatever path led it there,
// and its header is the bytes that follow: taking every such pair in the
// file as a scan bounds the decoder's scans without following its paths.
bool within_jpeg_scan_work(const jpeg_walk& walk)
{
    int work[4] = {};
    const int most = walk.progressive ? max_progressive_scan_work : max_baseline_scan_work;
    for (std::size_t at = std::max<std::size_t>(walk.frame_end, 1); at < walk.in.size; ++at) {
        if (walk.in.bytes[at] != 0xDA || walk.in.bytes[at - 1] != 0xFF)
            continue;
        byte_reader header = walk.in;
        header.pos = at + 1;
        add_scan_work(walk, header, work);
        if (std::any_of(work, work + walk.components, [most](int units) { return units > most; }))
            return false;
    }
    return true;
}

bool check_jpeg(byte_reader in, image_samples& samples, const char*& problem)
{
    jpeg_walk walk{in};
    std::uint8_t marker = 0;
    walk_step step = walk_jpeg_header(walk, marker);
    const bool frame_read = step == walk_step::go_on;
    if (frame_read) {
        samples.channels = walk.components; // one full plane each, CMYK included
        samples.bytes_per_sample = walk.progressive ? 2 : 1;
        samples.width = walk.width;
        samples.height = walk.height;
        step = walk_jpeg_body(walk);
    }
    if (step == walk_step::refused) {
        problem = walk.problem;
        return false;
    }
    if (frame_read && !within_jpeg_scan_work(walk)) {
        problem = "JPEG scans that decode its blocks far more often than encoders do";
        return false;
    }
    return true;
}

// ---- GIF: the prefix chains the decoder walks for its first frame ----

// The decoder writes a code's pixels by walking its chain of prefixes back to
// a root, and goes on walking the chains of the codes that follow once the
// frame is full, writing nothing, up to the end of the data: long chains
// after a frame of one pixel take seconds per megabyte. Its steps are
// bounded by the frame's pixels, one longest chain (8192: the last code may
// overrun the frame) and 8 a byte of the file; a real file stays within the
// first two, since an encoder stops its codes when the frame is full.
constexpr std::uint64_t longest_gif_chain = 8192;
constexpr std::uint64_t gif_steps_per_file_byte = 8;

struct gif_frame {
    int canvas_width = 0;     // the logical screen's sides
    int canvas_height = 0;
    std::uint64_t pixels = 0; // of the first image descriptor's rectangle
    bool found = false;       // the decoder reaches the frame's data
};

void skip_gif_sub_blocks(byte_reader& in)
{
    for (std::uint8_t length = in.get8(); length != 0; length = in.get8())
        in.skip(length);
}

// The header and blocks before the first frame's data, as the decoder reads
// them; found is false where it gives up first.
gif_frame find_gif_frame(byte_reader& in)
{
    gif_frame frame;
    in.skip(6);
    const std::uint32_t width = in.le16(), height = in.le16();
    frame.canvas_width = static_cast<int>(width);
    frame.canvas_height = static_cast<int>(height);
    const std::uint8_t flags = in.get8();
    in.skip(2);
    if (flags & 0x80)
        in.skip(3u * (2u << (flags & 7)));
    for (;;) {
        const std::uint8_t tag = in.get8();
        if (tag == 0x2C) { // image descriptor
            const std::uint32_t x = in.le16(), y = in.le16(), w = in.le16(), h = in.le16();
            const std::uint8_t local_flags = in.get8();
            if (x + w > width || y + h > height)
                return frame;
            if (local_flags & 0x80)
                in.skip(3u * (2u << (local_flags & 7)));
            else if (!(flags & 0x80))
                return frame; // no colour table
            frame.pixels = std::uint64_t(w) * h;
            frame.found = true;
            return frame;
        }
        if (tag != 0x21) // the end of the stream, or a block the decoder does not know
            return frame;
        if (in.get8() == 0xF9) { // graphic control: a fixed block, or one the decoder skips alone
            const std::uint8_t length = in.get8();
            in.skip(length);
            if (length != 4)
                continue;
        }
        skip_gif_sub_blocks(in);
    }
}

// The decoder's LZW loop over the frame's data, summing the length of every
// chain it walks; false as soon as the sum passes allowed.
bool gif_chains_within(byte_reader& in, std::uint64_t allowed)
{
    const int root_bits = in.get8();
    if (root_bits > 12)
        return true; // the decoder refuses the data
    const std::uint32_t clear = 1u << root_bits;
    static_assert(longest_gif_chain == 8192, "the decoder's table holds 8192 codes");
    std::vector<std::uint32_t> depth(longest_gif_chain + 1, 1); // chain length per code; roots 1
    std::uint32_t code_size = root_bits + 1, code_mask = (1u << code_size) - 1, available = clear + 2;
    std::uint32_t bits = 0, valid_bits = 0, block_left = 0;
    std::int64_t previous = -1;
    bool cleared = false;
    std::uint64_t steps = 0;
    for (;;) {
        if (valid_bits < code_size) {
            if (block_left == 0) {
                block_left = in.get8();
                if (block_left == 0)
                    return true;
            }
            --block_left;
            bits |= std::uint32_t(in.get8()) << valid_bits;
            valid_bits += 8;
            continue;
        }
        const std::uint32_t code = bits & code_mask;
        bits >>= code_size;
        valid_bits -= code_size;
        if (code == clear) {
            code_size = root_bits + 1;
            code_mask = (1u << code_size) - 1;
            available = clear + 2;
            previous = -1;
            cleared = true;
        } else if (code == clear + 1) {
            return true; // the end code: the rest is skipped
        } else if (code > available || !cleared) {
            return true; // the decoder refuses the data
        } else {
            if (previous >= 0) {
                if (++available > longest_gif_chain)
                    return true; // too many codes: refused
                depth[available - 1] = depth[static_cast<std::size_t>(previous)] + 1;
            } else if (code == available) {
                return true; // refused
            }
            steps += depth[code];
            if (steps > allowed)
                return false;
            if ((available & code_mask) == 0 && available <= 0x0FFF) {
                ++code_size;
                code_mask = (1u << code_size) - 1;
            }
            previous = code;
        }
    }
}

bool check_gif(byte_reader in, image_samples& samples, const char*& problem)
{
    samples.channels = 4; // RGBA whatever the file holds
    const gif_frame frame = find_gif_frame(in);
    samples.width = frame.canvas_width;
    samples.height = frame.canvas_height;
    if (!frame.found)
        return true;
    const std::uint64_t allowed = frame.pixels + longest_gif_chain + gif_steps_per_file_byte * in.size;
    if (gif_chains_within(in, allowed))
        return true;
    problem = "GIF codes that go on long past the end of the frame";
    return false;
}

// ---- PNM: header numbers that fit an int ----

bool is_pnm_space(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The decoder's header scan: whitespace and '#' comments between the numbers.
void skip_pnm_space(byte_reader& in, std::uint8_t& c)
{
    for (;;) {
        while (!in.at_end() && is_pnm_space(c))
            c = in.get8();
        if (in.at_end() || c != '#')
            return;
        while (!in.at_end() && c != '\n' && c != '\r')
            c = in.get8();
    }
}

// False when the number does not fit the decoder's int: its reader's
// overflow is undefined.
bool read_pnm_number(byte_reader& in, std::uint8_t& c, std::int64_t& value)
{
    value = 0;
    while (!in.at_end() && c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return false;
        c = in.get8();
    }
    return true;
}

bool check_pnm(byte_reader in, image_samples& samples, const char*& problem)
{
    in.skip(2);
    std::uint8_t c = in.get8();
    std::int64_t numbers[3] = {}; // width, height, largest sample value
    for (std::int64_t& number : numbers) {
        skip_pnm_space(in, c);
        if (!read_pnm_number(in, c, number)) {
            problem = "a PNM header number larger than 2147483647";
            return false;
        }
    }
    samples.bytes_per_sample = numbers[2] > 255 ? 2 : 1;
    return true;
}

// ---- HDR: run-length data that ends ----

// The decoder's header lines: at most 1023 characters kept, then read as C
// strings, so a NUL byte ends a line's text where it stands.
constexpr std::size_t hdr_line_buffer = 1024;

void read_hdr_line(byte_reader& in, char (&line)[hdr_line_buffer])
{
    std::size_t length = 0;
    std::uint8_t c = in.get8();
    while (!in.at_end() && c != '\n') {
        line[length++] = static_cast<char>(c);
        if (length == hdr_line_buffer - 1) {
            while (!in.at_end() && in.get8() != '\n') {
            }
            break;
        }
        c = in.get8();
    }
    line[length] = 0;
}

// The header up to the size line, with the decoder's own string functions;
// false when it would refuse the header.
bool read_hdr_size(byte_reader& in, int& width, int& height)
{
    char line[hdr_line_buffer];
    read_hdr_line(in, line);
    if (std::strcmp(line, "#?RADIANCE") != 0 && std::strcmp(line, "#?RGBE") != 0)
        return false;
    bool format_seen = false;
    for (read_hdr_line(in, line); line[0] != 0; read_hdr_line(in, line))
        format_seen = format_seen || std::strcmp(line, "FORMAT=32-bit_rle_rgbe") == 0;
    read_hdr_line(in, line);
    if (!format_seen || std::strncmp(line, "-Y ", 3) != 0)
        return false;
    char* rest = nullptr;
    height = static_cast<int>(std::strtol(line + 3, &rest, 10));
    while (*rest == ' ')
        ++rest;
    if (std::strncmp(rest, "+X ", 3) != 0)
        return false;
    width = static_cast<int>(std::strtol(rest + 3, nullptr, 10));
    const std::int64_t floats = std::int64_t(width) * height * 3;
    return width >= 0 && height >= 0 && width <= max_texels_a_side && height <= max_texels_a_side &&
           floats * 4 <= INT_MAX;
}

// One component of one run-length scanline. The decoder loops for ever on a
// count of 0, which is also what it reads once the data has ended.
walk_step walk_hdr_runs(byte_reader& in, int width, const char*& problem)
{
    int done = 0;
    while (done < width) {
        const bool ended = in.at_end();
        int count = in.get8();
        if (count > 128) {
            count -= 128;
            in.skip(1);
        } else if (count == 0) {
            problem = ended ? "the HDR pixel data ends early" : "an HDR run of length 0";
            return walk_step::refused;
        } else {
            in.skip(static_cast<std::uint64_t>(count));
        }
        if (count > width - done)
            return walk_step::decoder_stops;
        done += count;
    }
    return walk_step::go_on;
}

bool check_hdr(byte_reader in, image_samples& samples, const char*& problem)
{
    samples.channels = 3; // floats first, then 8-bit
    samples.bytes_per_sample = 4;
    int width = 0, height = 0;
    if (!read_hdr_size(in, width, height) || width < 8 || width >= 32768)
        return true; // refused, or flat data, which is read pixel by pixel
    for (int row = 0; row < height; ++row) {
        const std::uint8_t first = in.get8(), second = in.get8(), length_high = in.get8();
        if (first != 2 || second != 2 || (length_high & 0x80)) {
            // The decoder then reads the rest of the image as flat data, from
            // a jump into the flat loop past the declaration of the pixel it
            // reads first, which a compiler may then leave uninitialised
            // (Clang does): that pixel must be in the file.
            in.skip(1);
            if (in.left() >= 4)
                return true;
            problem = "the HDR pixel data ends early";
            return false;
        }
        if (((unsigned(length_high) << 8) | in.get8()) != unsigned(width))
            return true;
        for (int component = 0; component < 4; ++component) {
            const walk_step step = walk_hdr_runs(in, width, problem);
            if (step != walk_step::go_on)
                return step != walk_step::refused;
        }
    }
    return true;
}

constexpr std::uint64_t max_decoded_bytes = std::uint64_t(256) << 20;

// The bytes of the samples the decoder holds for an image of these sides
// (its own channel count and sample size where the header tells less).
std::uint64_t sample_bytes(std::int64_t width, std::int64_t height, const image_size& size,
                           const image_samples& samples)
{
    const int header_channels = size.channels < 1 ? 1 : size.channels;
    const std::uint64_t channels = static_cast<std::uint64_t>(samples.channels > 0 ? samples.channels : header_channels);
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * channels *
           static_cast<std::uint64_t>(samples.bytes_per_sample);
}

} // namespace

// A header can claim a size that takes gigabytes and many seconds to decode
// from a file of a few bytes. Sides are taken by magnitude.
bool image_within_limits(const image_size& size, const image_samples& samples)
{
    const std::int64_t width = std::llabs(size.width);
    const std::int64_t height = std::llabs(size.height);
    if (width > max_texels_a_side || height > max_texels_a_side)
        return false;
    return sample_bytes(width, height, size, samples) <= max_decoded_bytes;
}

// Four times the image's samples, twice the file and 1 MiB. The samples
// count once for the result and up to three times more for the decoder's
// work beside it: a PNG's inflated rows (in a buffer that may have doubled to
// fit them) and, interlaced, a pass; a progressive JPEG's planes beside its
// coefficients; GIF, HDR and the rest less. They are counted over sides
// rounded up to 32, the widest block group whose padding a JPEG decode
// holds. The file counts twice for a PNG's gathered image data, in a buffer
// that doubles as it grows; 1 MiB covers each decoder's own state (tables,
// palettes, a scanline). So the largest images allowed decode, and data that
// inflates without end stops at a few times what its header promised.
std::size_t image_decode_budget(const image_size& size, const image_samples& samples, std::size_t file_size)
{
    const auto padded = [](int side) { return (std::llabs(side) + 31) / 32 * 32; };
    const std::uint64_t budget = 4 * sample_bytes(padded(size.width), padded(size.height), size, samples) +
                                 2 * static_cast<std::uint64_t>(file_size) + (std::uint64_t(1) << 20);
    return static_cast<std::size_t>(std::min<std::uint64_t>(budget, SIZE_MAX));
}

bool preflight_image(const std::uint8_t* bytes, std::size_t size, image_samples& samples, const char*& problem)
{
    samples = image_samples();
    const byte_reader in{bytes, size};
    switch (format_of(bytes, size)) {
    case image_format::png:
        return check_png(in, samples, problem);
    case image_format::jpeg:
        return check_jpeg(in, samples, problem);
    case image_format::gif:
        return check_gif(in, samples, problem);
    case image_format::pnm:
        return check_pnm(in, samples, problem);
    case image_format::hdr:
        return check_hdr(in, samples, problem);
    case image_format::psd:
    case image_format::pic:
        samples.channels = 4; // both decode to RGBA whatever the file holds
        return true;
    case image_format::other:
        break;
    }
    return true;
}
