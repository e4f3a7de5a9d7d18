// Texture asset: JPEGs decoded one after another in one process, as a demo
// loads its textures. One file's Huffman table of too many codes must never
// reach the decoder, and a later file that uses a table it never defines
// must not find what an earlier decode left in reused memory.
#include "data/demo_filesystem.h"
#include "data/texture_asset.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// Freed memory is handed out again at once, as the release build's allocator
// does; AddressSanitizer would otherwise keep it aside and hide the fault.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"; }
#endif

namespace {

using namespace image_files;

// Nothing but AC table 2 with 669 codes, about 700 bytes: the packaged
// decoder writes the values past the table's 256, over its own code limits.
bytes table_breaker()
{
    const std::vector<int> counts = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 159, 255, 255};
    return concat({jpeg_start, jpeg_segment(0xC4, jpeg_huffman_table(1, 2, counts, 0x41)), jpeg_end});
}

// A grey 8x8 JPEG whose scan uses AC table 2: defined here, when
// with_table_2, with one 1-bit code of value 0x41 (a run of 4 zeros, then a
// coefficient of one bit), so that its 32 zero bits of data give a DC of 0
// and 13 coefficients of -1; never defined otherwise.
bytes table_2_user(bool with_table_2)
{
    const bytes tables = concat({jpeg_huffman_table(0, 0, {0, 1}, 0),
                                 with_table_2 ? jpeg_huffman_table(1, 2, {1}, 0x41) : bytes{}});
    return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1), jpeg_segment(0xC4, tables),
                   jpeg_scan({0x02}, 0, 63, 0), bytes(4, 0x00), jpeg_end});
}

struct step {
    std::string path;
    bytes file;
    std::string refusal; // the ERROR line's reason, or empty when the file loads
};

TEST(texture_jpeg_sequence, an_earlier_file_never_reaches_a_later_decode)
{
    for (const bool packed : {false, true}) {
        const std::vector<step> steps = {
            {"data/alone.jpg", table_2_user(false), ""},
            {"data/defines.jpg", table_2_user(true), ""},
            {"data/first.jpg", table_breaker(), "a Huffman table of more than 256 codes"},
            {"data/second.jpg", table_breaker(), "a Huffman table of more than 256 codes"},
            {"data/third.jpg", table_2_user(false), ""},
        };
        temp_dir folder;
        demo_dat_writer archive;
        for (const step& s : steps) {
            if (packed)
                archive.add(s.path, s.file);
            else
                folder.write(s.path, s.file);
        }
        if (packed)
            archive.write();
        demo_filesystem filesystem;
        {
            console_capture quiet;
            filesystem.open();
        }
        std::string expected, printed;
        std::vector<bool> loaded;
        std::vector<std::vector<uint8_t>> texels;
        {
            console_capture console;
            for (const step& s : steps) {
                texture_asset asset;
                asset.path = s.path;
                loaded.push_back(asset.load(filesystem));
                if (asset.loaded)
                    texels.emplace_back(asset.get_pixels(), asset.get_pixels() + 64);
            }
            printed = console.take();
        }
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(loaded[i], steps[i].refusal.empty()) << steps[i].path;
            expected += "- loading texture: " + steps[i].path + "\n";
            if (!steps[i].refusal.empty())
                expected += "ERROR: texture " + steps[i].path + " is not a well-formed image: " + steps[i].refusal + "\n";
        }
        EXPECT_EQ(printed, expected) << (packed ? "packed" : "loose");
        // The undefined table reads as zeros, the end of every block: flat
        // mid-grey, before and after the other files alike.
        ASSERT_EQ(texels.size(), 3u);
        EXPECT_EQ(texels[0], std::vector<uint8_t>(64, 128));
        EXPECT_NE(texels[1], texels[0]);
        EXPECT_EQ(texels[2], texels[0]);
        console_capture quiet;
        filesystem.close();
    }
}

} // namespace
