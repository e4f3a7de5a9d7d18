// image_files: byte layouts of the test images; PNG CRCs and streams by zlib.
#include "support/image_files.h"

#include <algorithm>
#include <zlib.h>

namespace image_files {

namespace {

void append_be(bytes& out, std::uint32_t value, int count)
{
    for (int at = count - 1; at >= 0; --at)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * at)));
}

void append_le(bytes& out, std::uint32_t value, int count)
{
    for (int at = 0; at < count; ++at)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * at)));
}

// LZW codes packed least significant bit first, each at the size the
// decoder reads it: its table grows by one code after every code but the
// first after a clear, and the size with the table up to 12 bits.
bytes pack_gif_codes(int root_bits, const std::vector<int>& codes)
{
    const int clear = 1 << root_bits;
    int code_size = root_bits + 1, available = clear + 2, previous = -1;
    std::uint32_t bits = 0;
    int bit_count = 0;
    bytes packed;
    for (const int code : codes) {
        bits |= static_cast<std::uint32_t>(code) << bit_count;
        bit_count += code_size;
        for (; bit_count >= 8; bit_count -= 8, bits >>= 8)
            packed.push_back(static_cast<std::uint8_t>(bits));
        if (code == clear) {
            code_size = root_bits + 1;
            available = clear + 2;
            previous = -1;
            continue;
        }
        if (previous >= 0)
            ++available;
        if ((available & ((1 << code_size) - 1)) == 0 && available <= 0x0FFF)
            ++code_size;
        previous = code;
    }
    if (bit_count > 0)
        packed.push_back(static_cast<std::uint8_t>(bits));
    return packed;
}

} // namespace

const bytes jpeg_start = {0xFF, 0xD8};
const bytes jpeg_end = {0xFF, 0xD9};

bytes concat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

bytes text(const std::string& characters) { return bytes(characters.begin(), characters.end()); }

bytes png_chunk(const std::string& type, const bytes& data)
{
    bytes out;
    append_be(out, static_cast<std::uint32_t>(data.size()), 4);
    const bytes body = concat({text(type), data});
    out.insert(out.end(), body.begin(), body.end());
    append_be(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))), 4);
    return out;
}

bytes png_header(std::uint32_t width, std::uint32_t height, int depth, int color_type)
{
    bytes data;
    append_be(data, width, 4);
    append_be(data, height, 4);
    data.insert(data.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(color_type), 0, 0, 0});
    return png_chunk("IHDR", data);
}

bytes png_data(const bytes& filtered_rows)
{
    uLongf length = compressBound(static_cast<uLong>(filtered_rows.size()));
    bytes stream(length);
    compress(stream.data(), &length, filtered_rows.data(), static_cast<uLong>(filtered_rows.size()));
    stream.resize(length);
    return png_chunk("IDAT", stream);
}

bytes png_data_after_empty_blocks(std::size_t empty_blocks, const bytes& filtered_rows)
{
    bytes stream = {0x78, 0x01};
    std::uint32_t bits = 0;
    int bit_count = 0;
    const auto put_bits = [&](std::uint32_t value, int count) {
        bits |= value << bit_count;
        for (bit_count += count; bit_count >= 8; bit_count -= 8, bits >>= 8)
            stream.push_back(static_cast<std::uint8_t>(bits));
    };
    for (std::size_t i = 0; i < empty_blocks; ++i)
        put_bits(0b010, 3 + 7); // not final, fixed codes; the end-of-block code is seven zero bits
    put_bits(0b001, 3);         // final, stored
    if (bit_count > 0)
        put_bits(0, 8 - bit_count);
    const auto length = static_cast<std::uint32_t>(filtered_rows.size());
    stream.insert(stream.end(), {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(~length), static_cast<std::uint8_t>(~length >> 8)});
    stream.insert(stream.end(), filtered_rows.begin(), filtered_rows.end());
    append_be(stream, static_cast<std::uint32_t>(adler32(1, filtered_rows.data(), static_cast<uInt>(length))), 4);
    return png_chunk("IDAT", stream);
}

bytes png_file(std::initializer_list<bytes> chunks)
{
    bytes out = text("\x89PNG\r\n\x1a\n");
    for (const bytes& chunk : chunks)
        out.insert(out.end(), chunk.begin(), chunk.end());
    const bytes end = png_chunk("IEND", {});
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

bytes jpeg_segment(std::uint8_t marker, const bytes& payload)
{
    const auto length = static_cast<std::uint32_t>(payload.size() + 2);
    return concat({{0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)}, payload});
}

bytes jpeg_huffman_table(int table_class, int id, const std::vector<int>& counts, std::uint8_t value)
{
    bytes out = {static_cast<std::uint8_t>(table_class << 4 | id)};
    std::size_t values = 0;
    for (std::size_t length = 0; length < 16; ++length) {
        const int count = length < counts.size() ? counts[length] : 0;
        out.push_back(static_cast<std::uint8_t>(count));
        values += static_cast<std::size_t>(count);
    }
    out.insert(out.end(), values, value);
    return out;
}

bytes jpeg_frame(std::uint8_t marker, int width, int height, int components)
{
    bytes payload = {8};
    append_be(payload, static_cast<std::uint32_t>(height), 2);
    append_be(payload, static_cast<std::uint32_t>(width), 2);
    payload.push_back(static_cast<std::uint8_t>(components));
    for (int id = 1; id <= components; ++id)
        payload.insert(payload.end(), {static_cast<std::uint8_t>(id), 0x11, 0});
    return jpeg_segment(marker, payload);
}

bytes jpeg_scan(const std::vector<std::uint8_t>& selectors, int start, int end, int approximation)
{
    bytes payload = {static_cast<std::uint8_t>(selectors.size())};
    for (std::size_t i = 0; i < selectors.size(); ++i)
        payload.insert(payload.end(), {static_cast<std::uint8_t>(i + 1), selectors[i]});
    payload.insert(payload.end(), {static_cast<std::uint8_t>(start), static_cast<std::uint8_t>(end),
                                   static_cast<std::uint8_t>(approximation)});
    return jpeg_segment(0xDA, payload);
}

bytes jpeg_quantization()
{
    bytes payload(65, 1);
    payload[0] = 0;
    return jpeg_segment(0xDB, payload);
}

bytes small_jpeg()
{
    return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1),
                   jpeg_segment(0xC4, concat({jpeg_huffman_table(0, 0, {0, 1}, 0),
                                              jpeg_huffman_table(1, 0, {0, 1}, 0)})),
                   jpeg_scan({0x00}, 0, 63, 0), bytes{0x00, 0x00}, jpeg_end});
}

bytes gif(int width, int height, int root_bits, const std::vector<int>& codes)
{
    bytes out = text("GIF89a");
    append_le(out, static_cast<std::uint32_t>(width), 2);
    append_le(out, static_cast<std::uint32_t>(height), 2);
    if (codes.empty()) {
        out.insert(out.end(), {0, 0, 0});
        return out;
    }
    const int colours = 1 << root_bits;
    out.insert(out.end(), {static_cast<std::uint8_t>(0x80 | (root_bits - 1)), 0, 0});
    for (int i = 0; i < colours; ++i)
        out.insert(out.end(), 3, static_cast<std::uint8_t>(i));
    out.push_back(0x2C); // image descriptor: the whole screen, no colour table of its own
    append_le(out, 0, 4);
    append_le(out, static_cast<std::uint32_t>(width), 2);
    append_le(out, static_cast<std::uint32_t>(height), 2);
    out.insert(out.end(), {0, static_cast<std::uint8_t>(root_bits)});
    const bytes packed = pack_gif_codes(root_bits, codes);
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, packed.size() - at);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(at),
                   packed.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

bytes bmp(int width, int height, int bits, const bytes& palette, const bytes& pixels)
{
    const auto offset = static_cast<std::uint32_t>(54 + palette.size());
    bytes out = text("BM");
    append_le(out, offset + static_cast<std::uint32_t>(pixels.size()), 4);
    append_le(out, 0, 4);
    append_le(out, offset, 4);
    append_le(out, 40, 4); // BITMAPINFOHEADER
    append_le(out, static_cast<std::uint32_t>(width), 4);
    append_le(out, static_cast<std::uint32_t>(height), 4);
    append_le(out, 1, 2); // planes
    append_le(out, static_cast<std::uint32_t>(bits), 2);
    out.resize(54, 0); // no compression, the rest zero
    return concat({out, palette, pixels});
}

bytes tga(int width, int height, int bits, std::size_t pixel_bytes)
{
    bytes out = {0, 0, static_cast<std::uint8_t>(bits == 8 ? 3 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    append_le(out, static_cast<std::uint32_t>(width), 2);
    append_le(out, static_cast<std::uint32_t>(height), 2);
    out.insert(out.end(), {static_cast<std::uint8_t>(bits), 0});
    out.resize(out.size() + pixel_bytes, 0);
    return out;
}

bytes pnm(const std::string& header, std::size_t pixel_bytes, std::uint8_t fill)
{
    bytes out = text(header);
    out.insert(out.end(), pixel_bytes, fill);
    return out;
}

bytes hdr(const std::string& size_line, const bytes& data)
{
    return concat({text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + size_line + "\n"), data});
}

bytes hdr_scanline(int width, std::uint8_t value)
{
    bytes out = {2, 2};
    append_be(out, static_cast<std::uint32_t>(width), 2);
    for (int component = 0; component < 4; ++component) {
        for (int left = width; left > 0; left -= 127) {
            const int run = left < 127 ? left : 127;
            out.insert(out.end(), {static_cast<std::uint8_t>(128 + run), value});
        }
    }
    return out;
}

bytes pic(int width, int height, const std::vector<pic_packet>& packets, const bytes& data)
{
    bytes out = {0x53, 0x80, 0xF6, 0x34};
    out.resize(88, 0);
    const bytes tag = text("PICT");
    out.insert(out.end(), tag.begin(), tag.end());
    append_be(out, static_cast<std::uint32_t>(width), 2);
    append_be(out, static_cast<std::uint32_t>(height), 2);
    out.resize(out.size() + 8, 0); // ratio, fields, padding
    for (std::size_t i = 0; i < packets.size(); ++i)
        out.insert(out.end(), {static_cast<std::uint8_t>(i + 1 < packets.size()), 8, packets[i].type,
                               packets[i].channels});
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

} // namespace image_files
