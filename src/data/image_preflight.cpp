// image_preflight: per-format walks that mirror how the packaged stb_image
// reads a file from memory (bytes past the end read as 0), stopping where the
// decoder would give up by itself.
#include "data/image_preflight.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

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

// ---- PNG: the channels added by a tRNS chunk, and image data that fits ----

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

// The decoder grows its buffer to an image data chunk's stated length before
// it reads the chunk, so a few bytes can ask for 2 GiB.
bool check_png(byte_reader in, image_samples& samples, std::string& problem)
{
    in.skip(8);
    bool header_seen = false, data_seen = false, transparency = false;
    int depth = 0, color_type = 0;
    while (in.left() >= 8) {
        const std::uint32_t length = in.be32();
        const std::uint32_t type = in.be32();
        if (type == png_chunk("IHDR") && !header_seen && length == 13) {
            header_seen = true;
            in.skip(8);
            depth = in.get8();
            color_type = in.get8();
            in.skip(3 + 4);
            continue;
        }
        if (!header_seen && type != png_chunk("CgBI"))
            break; // the decoder requires the header first
        if (type == png_chunk("IDAT") && length > in.left()) {
            problem = "a PNG image data chunk runs past the end of the file";
            return false;
        }
        data_seen = data_seen || type == png_chunk("IDAT");
        transparency = transparency || (type == png_chunk("tRNS") && !data_seen);
        if (type == png_chunk("IEND") || length > in.left())
            break;
        in.skip(std::uint64_t(length) + 4);
    }
    if (header_seen)
        samples = png_samples(color_type, depth, transparency);
    return true;
}

// ---- JPEG: Huffman tables that fit their arrays and are defined before use ----

constexpr std::uint8_t jpeg_no_marker = 0xFF;

enum class walk_step { go_on, decoder_stops, refused };

struct jpeg_walk {
    byte_reader in;
    bool defined[2][4] = {};       // [DC 0 or AC 1][table id]: defined by a DHT segment so far
    int components = 0;            // from the frame header
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
        const int table_class = selector >> 4, id = selector & 15;
        if (table_class > 1 || id > 3)
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
        walk.defined[table_class][id] = true;
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
    walk.components = components;
    walk.progressive = marker == 0xC2;
    return walk_step::go_on;
}

// The packaged decoder does not clear its state between images: a table the
// file never defines is whatever an earlier decode left in reused memory.
walk_step read_scan(jpeg_walk& walk)
{
    byte_reader& in = walk.in;
    const std::uint32_t length = in.be16();
    const int count = in.get8();
    if (count < 1 || count > 4 || count > walk.components || length != 6u + 2u * unsigned(count))
        return walk_step::decoder_stops;
    int dc[4], ac[4];
    for (int i = 0; i < count; ++i) {
        const std::uint8_t id = in.get8();
        const std::uint8_t tables = in.get8();
        const std::uint8_t* const ids = walk.ids;
        if (std::find(ids, ids + walk.components, id) == ids + walk.components || (tables >> 4) > 3 ||
            (tables & 15) > 3)
            return walk_step::decoder_stops;
        dc[i] = tables >> 4;
        ac[i] = tables & 15;
    }
    const int start = in.get8(), end = in.get8(), approximation = in.get8();
    const int high = approximation >> 4, low = approximation & 15;
    if (walk.progressive ? (start > 63 || end > 63 || start > end || high > 13 || low > 13)
                         : (start != 0 || high != 0 || low != 0))
        return walk_step::decoder_stops;
    const bool uses_dc = !walk.progressive || (start == 0 && high == 0);
    const bool uses_ac = !walk.progressive || start > 0;
    for (int i = 0; i < count; ++i) {
        if ((uses_dc && !walk.defined[0][dc[i]]) || (uses_ac && !walk.defined[1][ac[i]])) {
            walk.problem = "a scan uses a Huffman table the file does not define";
            return walk_step::refused;
        }
    }
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

bool check_jpeg(byte_reader in, image_samples& samples, std::string& problem)
{
    jpeg_walk walk{in};
    std::uint8_t marker = 0;
    walk_step step = walk_jpeg_header(walk, marker);
    if (step == walk_step::go_on) {
        samples.channels = walk.components; // one full plane each, CMYK included
        samples.bytes_per_sample = walk.progressive ? 2 : 1;
        step = walk_jpeg_body(walk);
    }
    if (step != walk_step::refused)
        return true;
    problem = walk.problem;
    return false;
}

// ---- PNM: header numbers that fit an int, and pixel data that is all there ----

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

// False when the number does not fit the decoder's int.
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

// The decoder returns a pixel buffer it never filled when the data ends early.
bool check_pnm(byte_reader in, image_samples& samples, std::string& problem)
{
    in.skip(1);
    const int channels = in.get8() == '6' ? 3 : 1;
    std::uint8_t c = in.get8();
    std::int64_t numbers[3] = {}; // width, height, largest sample value
    for (std::int64_t& number : numbers) {
        skip_pnm_space(in, c);
        if (!read_pnm_number(in, c, number)) {
            problem = "a PNM header number larger than 2147483647";
            return false;
        }
    }
    if (numbers[2] > 65535)
        return true; // the decoder refuses it
    samples.bytes_per_sample = numbers[2] > 255 ? 2 : 1;
    const std::uint64_t needed = std::uint64_t(numbers[0]) * std::uint64_t(numbers[1]) * std::uint64_t(channels) *
                                 std::uint64_t(samples.bytes_per_sample);
    if (needed > in.left()) {
        problem = "the PNM pixel data ends early";
        return false;
    }
    return true;
}

// ---- HDR: run-length data that ends, and flat data that is all there ----

// One header line as the decoder reads it: at most 1023 characters kept.
std::string read_hdr_line(byte_reader& in)
{
    std::string line;
    std::uint8_t c = in.get8();
    while (!in.at_end() && c != '\n') {
        line += static_cast<char>(c);
        if (line.size() == 1023) {
            while (!in.at_end() && in.get8() != '\n') {
            }
            break;
        }
        c = in.get8();
    }
    return line;
}

// The header up to the size line; false when the decoder would refuse it.
bool read_hdr_size(byte_reader& in, int& width, int& height)
{
    const std::string signature = read_hdr_line(in);
    if (signature != "#?RADIANCE" && signature != "#?RGBE")
        return false;
    bool format_seen = false;
    for (std::string line = read_hdr_line(in); !line.empty(); line = read_hdr_line(in))
        format_seen = format_seen || line == "FORMAT=32-bit_rle_rgbe";
    const std::string size_line = read_hdr_line(in);
    if (!format_seen || size_line.compare(0, 3, "-Y ") != 0)
        return false;
    char* rest = nullptr;
    height = static_cast<int>(std::strtol(size_line.c_str() + 3, &rest, 10));
    while (*rest == ' ')
        ++rest;
    if (std::strncmp(rest, "+X ", 3) != 0)
        return false;
    width = static_cast<int>(std::strtol(rest + 3, nullptr, 10));
    const std::int64_t floats = std::int64_t(width) * height * 3;
    return width >= 0 && height >= 0 && width <= (1 << 24) && height <= (1 << 24) && floats * 4 <= INT_MAX;
}

bool flat_hdr_data_fits(const byte_reader& in, std::uint64_t pixels, std::string& problem)
{
    if (pixels * 4 <= in.left())
        return true;
    problem = "the HDR pixel data ends early";
    return false;
}

// One component of one run-length scanline. The decoder loops for ever on a
// count of 0, which is also what it reads once the data has ended.
walk_step walk_hdr_runs(byte_reader& in, int width, std::string& problem)
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

bool check_hdr(byte_reader in, image_samples& samples, std::string& problem)
{
    samples.channels = 3; // floats first, then 8-bit
    samples.bytes_per_sample = 4;
    int width = 0, height = 0;
    if (!read_hdr_size(in, width, height))
        return true;
    if (width < 8 || width >= 32768)
        return flat_hdr_data_fits(in, std::uint64_t(width) * std::uint64_t(height), problem);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t first = in.get8(), second = in.get8(), length_high = in.get8();
        if (first != 2 || second != 2 || (length_high & 0x80)) {
            // The decoder then reads the rest of the image, from its second pixel, as flat data.
            in.skip(1);
            return flat_hdr_data_fits(in, std::uint64_t(width) * std::uint64_t(height) - 1, problem);
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

// ---- PIC: pixel data the decoder can read to the end ----

struct pic_packet {
    std::uint8_t type;    // 0 raw, 1 pure run length, 2 mixed run length
    int values_per_pixel; // bytes each pixel of the packet reads
};

// The decoder's test before each value byte: there must be one left.
bool read_pic_values(byte_reader& in, std::uint64_t count)
{
    if (count > in.left())
        return false;
    in.skip(count);
    return true;
}

// A count byte, after which the decoder insists that the data goes on.
bool read_pic_count(byte_reader& in, int& count)
{
    count = in.get8();
    return !in.at_end();
}

bool read_pic_packet_row(byte_reader& in, const pic_packet& packet, int width)
{
    const int values = packet.values_per_pixel;
    if (packet.type == 0)
        return read_pic_values(in, std::uint64_t(width) * std::uint64_t(values));
    if (packet.type > 2)
        return false;
    for (int left = width; left > 0;) {
        int count = 0;
        if (!read_pic_count(in, count))
            return false;
        if (packet.type == 1) {
            count = count > left ? left : count;
        } else if (count >= 128) {
            count = count == 128 ? static_cast<int>(in.be16()) : count - 127;
        } else {
            ++count;
            if (count > left || !read_pic_values(in, std::uint64_t(count) * std::uint64_t(values)))
                return false;
            left -= count;
            continue;
        }
        if (count > left || !read_pic_values(in, static_cast<std::uint64_t>(values)))
            return false;
        left -= count;
    }
    return true;
}

// When its pixel reader fails, the packaged decoder converts a null buffer
// and crashes, unless the image has alpha.
bool check_pic(byte_reader in, image_samples& samples, std::string& problem)
{
    samples.channels = 4; // its buffer is RGBA whatever the file holds
    in.skip(92);
    const int width = static_cast<int>(in.be16()), height = static_cast<int>(in.be16());
    if (in.at_end() || std::int64_t(width) * height * 4 > INT_MAX)
        return true; // the decoder refuses it before reading pixels
    in.skip(8);
    pic_packet packets[10];
    int count = 0;
    bool chained = true, readable = true;
    while (chained && readable) {
        readable = count < 10;
        if (!readable)
            break;
        chained = in.get8() != 0;
        const std::uint8_t bits = in.get8();
        packets[count].type = in.get8();
        const std::uint8_t channels = in.get8();
        packets[count++].values_per_pixel = ((channels >> 7) & 1) + ((channels >> 6) & 1) + ((channels >> 5) & 1) +
                                            ((channels >> 4) & 1);
        readable = !in.at_end() && bits == 8;
    }
    for (int row = 0; readable && row < height; ++row)
        for (int i = 0; readable && i < count; ++i)
            readable = read_pic_packet_row(in, packets[i], width);
    if (readable)
        return true;
    problem = "PIC pixel data its decoder cannot read";
    return false;
}

} // namespace

bool preflight_image(const std::uint8_t* bytes, std::size_t size, image_samples& samples, std::string& problem)
{
    samples = image_samples();
    const byte_reader in{bytes, size};
    switch (format_of(bytes, size)) {
    case image_format::png:
        return check_png(in, samples, problem);
    case image_format::jpeg:
        return check_jpeg(in, samples, problem);
    case image_format::pnm:
        return check_pnm(in, samples, problem);
    case image_format::hdr:
        return check_hdr(in, samples, problem);
    case image_format::pic:
        return check_pic(in, samples, problem);
    case image_format::gif:
    case image_format::psd:
        samples.channels = 4; // both decode to RGBA whatever the file holds
        return true;
    case image_format::other:
        break;
    }
    return true;
}
