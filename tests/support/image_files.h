// image_files: hand-assembled image files for the decoder tests: PNG chunks
// with their CRCs and deflated rows, JPEG marker segments and a minimal
// decodable JPEG, GIF with LZW codes packed as the decoder reads them, and
// the layouts of BMP, TGA, PNM, Radiance HDR and Softimage PIC.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace image_files {

using bytes = std::vector<std::uint8_t>;

bytes concat(std::initializer_list<bytes> parts);
bytes text(const std::string& characters);

// PNG: a chunk with its length and CRC; the header chunk; one image data
// chunk holding the zlib stream of already filtered rows; a whole file of
// the signature, the chunks given and the end chunk.
bytes png_chunk(const std::string& type, const bytes& data);
bytes png_header(std::uint32_t width, std::uint32_t height, int depth, int color_type);
bytes png_data(const bytes& filtered_rows);
// An image data chunk whose zlib stream holds that many empty blocks of
// fixed codes (ten bits each) before the rows, in a stored block.
bytes png_data_after_empty_blocks(std::size_t empty_blocks, const bytes& filtered_rows);
bytes png_file(std::initializer_list<bytes> chunks);

// JPEG: a marker segment with its length; one table of a Huffman table
// segment (counts of codes per length from 1 bit, every value set to value);
// a frame of components 1..n sampled 1x1; a scan over components 1..n with
// one table selector (DC << 4 | AC) each; quantization table 0 of ones.
bytes jpeg_segment(std::uint8_t marker, const bytes& payload);
bytes jpeg_huffman_table(int table_class, int id, const std::vector<int>& counts, std::uint8_t value);
bytes jpeg_frame(std::uint8_t marker, int width, int height, int components);
bytes jpeg_scan(const std::vector<std::uint8_t>& selectors, int start, int end, int approximation);
bytes jpeg_quantization();
extern const bytes jpeg_start; // start of image
extern const bytes jpeg_end;   // end of image

// A decodable 8x8 grey baseline JPEG: DC and AC table 0 of one 2-bit code
// each, and entropy data of zeros (every block flat).
bytes small_jpeg();

// GIF of one frame covering the screen, with a global colour table of
// 2^root_bits entries (entry i is grey level i) and the given LZW codes,
// packed at the code sizes the decoder reads them, in sub-blocks. Without
// codes, only the screen descriptor (no colour table, nothing after it).
bytes gif(int width, int height, int root_bits = 0, const std::vector<int>& codes = {});

// BMP with a BITMAPINFOHEADER: bits per pixel, the palette as stored (4
// bytes an entry: blue, green, red, 0) and the pixel bytes as stored
// (bottom row first, rows padded to 4 bytes; a negative height stores them
// top-down).
bytes bmp(int width, int height, int bits, const bytes& palette, const bytes& pixels);

// An uncompressed TGA header (grey for 8 bits per pixel, true colour
// otherwise) followed by pixel_bytes zero bytes of pixels.
bytes tga(int width, int height, int bits, std::size_t pixel_bytes = 0);

// PNM: the header text followed by pixel_bytes bytes of fill.
bytes pnm(const std::string& header, std::size_t pixel_bytes, std::uint8_t fill = 0x40);

// Radiance HDR: the signature, format and size lines, then data. A
// run-length scanline of width pixels sets every component to value in runs
// of at most 127.
bytes hdr(const std::string& size_line, const bytes& data);
bytes hdr_scanline(int width, std::uint8_t value);

// Softimage PIC: header, one packet per (type, channel bits), then data.
struct pic_packet {
    std::uint8_t type;     // 0 raw, 1 pure run length, 2 mixed run length
    std::uint8_t channels; // 0x80 red, 0x40 green, 0x20 blue, 0x10 alpha
};
bytes pic(int width, int height, const std::vector<pic_packet>& packets, const bytes& data);

} // namespace image_files
