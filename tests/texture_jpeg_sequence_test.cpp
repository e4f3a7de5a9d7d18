// Texture asset: JPEGs decoded one after another in one process, as a demo
// loads its textures. The packaged decoder neither clears its state nor
// bounds a Huffman table's codes, so one file can break a table in freed
// memory that a later file's decode takes over.
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

// Nothing but AC table 2 with 669 codes, about 700 bytes: the decoder
// writes the values past the table's 256, over its own code limits.
bytes table_breaker()
{
    const std::vector<int> counts = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 159, 255, 255};
    return concat({jpeg_start, jpeg_segment(0xC4, jpeg_huffman_table(1, 2, counts, 0x41)), jpeg_end});
}

// A grey 8x8 JPEG whose scan uses AC table 2, which it never defines.
bytes stale_table_user()
{
    return concat({jpeg_start, jpeg_quantization(), jpeg_frame(0xC0, 8, 8, 1),
                   jpeg_segment(0xC4, jpeg_huffman_table(0, 0, {0, 1}, 0)), jpeg_scan({0x02}, 0, 63, 0),
                   bytes{0x3F}, bytes{0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, jpeg_end});
}

TEST(texture_jpeg_sequence, a_broken_table_never_reaches_a_later_decode)
{
    for (const bool packed : {false, true}) {
        temp_dir folder;
        demo_dat_writer archive;
        const std::vector<std::pair<std::string, bytes>> files = {{"data/first.jpg", table_breaker()},
                                                                  {"data/second.jpg", table_breaker()},
                                                                  {"data/third.jpg", stale_table_user()}};
        for (const auto& [path, content] : files) {
            if (packed)
                archive.add(path, content);
            else
                folder.write(path, content);
        }
        if (packed)
            archive.write();
        demo_filesystem filesystem;
        {
            console_capture quiet;
            filesystem.open();
        }
        std::string expected;
        console_capture console;
        for (const auto& [path, content] : files) {
            texture_asset asset;
            asset.path = path;
            EXPECT_FALSE(asset.load(filesystem)) << path;
            expected += "- loading texture: " + path + "\nERROR: texture " + path + " is not a well-formed image: " +
                        (path == "data/third.jpg" ? "a scan uses a Huffman table the file does not define"
                                                  : "a Huffman table of more than 256 codes") +
                        "\n";
        }
        EXPECT_EQ(console.take(), expected) << (packed ? "packed" : "loose");
        console_capture quiet;
        filesystem.close();
    }
}

} // namespace
