// demo_filesystem: packed and loose reads, their console lines, and damaged
// "demo.dat" files, which must fall back to loose files without crashing.
#include "data/demo_filesystem.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

namespace {

const std::string open_line = "----===== DEMO FILE SYSTEM (open)=====----- \n";
const std::string close_line = "----===== DEMO FILE SYSTEM (close)=====----- \n";
const std::string not_valid = "\nERROR: demo.dat doesn't look valid!\n";

std::vector<uint8_t> bytes_of(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

TEST(demo_filesystem, before_open_reads_loose_files)
{
    temp_dir dir;
    dir.write("data/a.txt", "loose");
    demo_filesystem fs;
    EXPECT_EQ(fs.get_mode(), demo_filesystem_not_opened);
    console_capture console;
    EXPECT_EQ(fs.read_text("data/a.txt"), "loose");
    EXPECT_EQ(console.take(), "");
}

TEST(demo_filesystem, without_demo_dat_uses_loose_files)
{
    temp_dir dir;
    dir.write("data/a.txt", "loose");
    demo_filesystem fs;
    console_capture console;
    EXPECT_TRUE(fs.open());
    EXPECT_EQ(console.take(), open_line);
    EXPECT_EQ(fs.get_mode(), demo_filesystem_loose);

    EXPECT_EQ(fs.read_file("data/a.txt"), bytes_of("loose"));
    EXPECT_EQ(console.take(), "");
    EXPECT_TRUE(fs.read_file("x.fs").empty());
    EXPECT_EQ(console.take(), "ERROR(FILE_NOT_FOUND):x.fs\n");

    EXPECT_TRUE(fs.close());
    EXPECT_EQ(console.take(), close_line);
    EXPECT_EQ(fs.get_mode(), demo_filesystem_loose);
}

TEST(demo_filesystem, loose_names_that_are_no_file_read_as_not_found)
{
    temp_dir dir;
    dir.write("data/a.txt", "loose");
    demo_filesystem fs;
    fs.open();
    console_capture console;
    EXPECT_TRUE(fs.read_file("data").empty());
    EXPECT_TRUE(fs.read_file("data/").empty());
    EXPECT_TRUE(fs.read_file(std::string("data/a.txt\0b", 12)).empty());
    EXPECT_TRUE(fs.read_file("").empty());
    EXPECT_EQ(console.take(), "ERROR(FILE_NOT_FOUND):data\n"
                              "ERROR(FILE_NOT_FOUND):data/\n"
                              "ERROR(FILE_NOT_FOUND):" + std::string("data/a.txt\0b", 12) + "\n"
                              "ERROR(FILE_NOT_FOUND):\n");
}

TEST(demo_filesystem, loose_empty_file_reads_empty_without_message)
{
    temp_dir dir;
    dir.write("empty.txt", "");
    demo_filesystem fs;
    fs.open();
    console_capture console;
    EXPECT_TRUE(fs.read_file("empty.txt").empty());
    EXPECT_EQ(console.take(), "");
}

TEST(demo_filesystem, packed_reads_entries_by_exact_name_only)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("data/demo.json", "{}");
    dat.add("data/Shader.fs", "void main(){}");
    dat.add("data/twice.txt", "first");
    dat.add("data/twice.txt", "second");
    dat.add("data/empty.txt", "");
    dat.add(std::string(199, 'n'), "long name");
    dat.entries[0].reserved = 0xdeadbeef;
    dat.write();
    dir.write("data/loose_only.txt", "on disk");
    dir.write("data/shader.fs", "on disk");

    demo_filesystem fs;
    console_capture console;
    fs.open();
    EXPECT_EQ(console.take(), open_line);
    ASSERT_EQ(fs.get_mode(), demo_filesystem_packed);

    struct lookup {
        std::string path;
        std::string expected;
    };
    const lookup lookups[] = {
        {"data/demo.json", "{}"},
        {"data/Shader.fs", "void main(){}"},
        {"data/shader.fs", ""},          // case differs; the loose file is not consulted
        {"data\\Shader.fs", ""},         // separator differs
        {"./data/Shader.fs", ""},        // nothing is normalised
        {"data/Shader.fs ", ""},         // longer than the name
        {"data/Shader.f", ""},           // a prefix of the name
        {std::string("data/demo.json\0", 15), ""},
        {"data/twice.txt", "first"},     // the first record answers
        {"data/empty.txt", ""},
        {"data/loose_only.txt", ""},
        {std::string(199, 'n'), "long name"},
    };
    for (const lookup& l : lookups)
        EXPECT_EQ(fs.read_text(l.path), l.expected) << l.path;
    EXPECT_EQ(console.take(), "");

    fs.close();
    EXPECT_EQ(console.take(), close_line);
    EXPECT_EQ(fs.get_mode(), demo_filesystem_packed);
    EXPECT_TRUE(fs.read_file("data/demo.json").empty());
}

TEST(demo_filesystem, read_gives_a_copy)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("a", "abc");
    dat.write();
    demo_filesystem fs;
    console_capture console;
    fs.open();
    std::vector<uint8_t> first = fs.read_file("a");
    first[0] = 'z';
    EXPECT_EQ(fs.read_text("a"), "abc");
    fs.close();
}

TEST(demo_filesystem, texts_come_back_byte_for_byte_in_both_modes)
{
    const std::string text("line\r\nwith\0nul\r\n\xff\x80 end", 22);
    for (bool packed : {false, true}) {
        temp_dir dir;
        if (packed) {
            demo_dat_writer dat;
            dat.add("data/t.txt", text);
            dat.write();
        } else {
            dir.write("data/t.txt", text);
        }
        demo_filesystem fs;
        console_capture console;
        fs.open();
        EXPECT_EQ(fs.get_mode(), packed ? demo_filesystem_packed : demo_filesystem_loose);
        EXPECT_EQ(fs.read_text("data/t.txt"), text);
        EXPECT_EQ(fs.read_file("data/t.txt"), bytes_of(text));
        fs.close();
    }
}

TEST(demo_filesystem, large_entry_inflates_exactly)
{
    std::string big;
    for (unsigned i = 0; i < 300000; ++i)
        big.push_back(static_cast<char>((i * 7919) % 251));
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("big.bin", big);
    dat.add("small", "s");
    dat.trailing = "ignored tail";
    dat.write();
    demo_filesystem fs;
    console_capture console;
    fs.open();
    ASSERT_EQ(fs.get_mode(), demo_filesystem_packed);
    EXPECT_TRUE(fs.read_text("big.bin") == big); // EXPECT_EQ would diff 300 kB
    EXPECT_EQ(fs.read_text("small"), "s");
    EXPECT_EQ(console.take(), open_line);
}

// Open without close: the destructor still frees the entries (the leak
// checker catches it otherwise).
TEST(demo_filesystem, destructor_frees_entries_left_open)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("a", "abc");
    dat.add("b", "def");
    dat.write();
    console_capture console;
    demo_filesystem fs;
    fs.open();
    EXPECT_EQ(fs.read_text("b"), "def");
}

TEST(demo_filesystem, header_rejections_fall_back_to_loose_files)
{
    struct rejection {
        const char* what;
        std::function<void(demo_dat_writer&)> change;
        bool message;
    };
    const rejection rejections[] = {
        {"other magic", [](demo_dat_writer& d) { d.magic = "NMB2"; }, true},
        {"lower-case magic", [](demo_dat_writer& d) { d.magic = "nmb3"; }, true},
        {"count zero", [](demo_dat_writer& d) { d.count = 0; }, false},
        {"count zero, no records", [](demo_dat_writer& d) { d.count = 0; d.entries.clear(); }, false},
    };
    for (const rejection& r : rejections) {
        temp_dir dir;
        dir.write("data/demo.json", "loose");
        demo_dat_writer dat;
        dat.add("data/demo.json", "packed");
        r.change(dat);
        dat.write();
        demo_filesystem fs;
        console_capture console;
        fs.open();
        EXPECT_EQ(console.take(), open_line + (r.message ? not_valid : "")) << r.what;
        EXPECT_EQ(fs.get_mode(), demo_filesystem_loose) << r.what;
        EXPECT_EQ(fs.read_text("data/demo.json"), "loose") << r.what;
        fs.close();
    }
}

TEST(demo_filesystem, damaged_files_are_not_valid)
{
    struct damage {
        const char* what;
        std::function<void(demo_dat_writer&)> change;
        std::function<size_t(const demo_dat_writer&)> length; // cut the file here; null keeps it whole
    };
    auto cut = [](size_t n) { return [n](const demo_dat_writer&) { return n; }; };
    const damage damages[] = {
        {"empty file", nullptr, cut(0)},
        {"ends inside the magic", nullptr, cut(2)},
        {"ends inside the count", nullptr, cut(6)},
        {"ends after the header", nullptr, cut(8)},
        {"ends inside the first record", nullptr, cut(8 + 100)},
        {"ends inside the second record", nullptr, cut(8 + 212 + 5)},
        {"ends at the data area", nullptr, [](const demo_dat_writer& d) { return d.data_offset(); }},
        {"ends inside the last stream", nullptr,
         [](const demo_dat_writer& d) { return d.bytes().size() - 1; }},
        {"count beyond the records", [](demo_dat_writer& d) { d.count = 3; }, nullptr},
        {"count of billions", [](demo_dat_writer& d) { d.count = 0xffffffffu; }, nullptr},
        {"name without NUL", [](demo_dat_writer& d) { d.entries[1].name_terminated = false; }, nullptr},
        {"size larger than inflated", [](demo_dat_writer& d) { d.entries[0].size += 1; }, nullptr},
        {"size smaller than inflated", [](demo_dat_writer& d) { d.entries[0].size -= 1; }, nullptr},
        {"size beyond any inflation", [](demo_dat_writer& d) { d.entries[1].size = 0xffffffffu; }, nullptr},
        {"compressed size beyond the file", [](demo_dat_writer& d) { d.entries[1].compressed_size = 0xffffffffu; },
         nullptr},
        {"compressed size zero", [](demo_dat_writer& d) { d.entries[0].compressed_size = 0; }, nullptr},
        {"empty entry without a stream",
         [](demo_dat_writer& d) {
             auto& e = d.entries[0];
             e.stream.clear();
             e.size = 0;
             e.compressed_size = 0;
         },
         nullptr},
        {"stream bytes corrupted", [](demo_dat_writer& d) { d.entries[0].stream[3] ^= 0x55; }, nullptr},
        {"checksum corrupted", [](demo_dat_writer& d) { d.entries[1].stream.back() ^= 1; }, nullptr},
        {"raw deflate without zlib header",
         [](demo_dat_writer& d) {
             auto& e = d.entries[0];
             e.stream = e.stream.substr(2);
             e.compressed_size = static_cast<uint32_t>(e.stream.size());
         },
         nullptr},
    };
    for (const damage& d : damages) {
        temp_dir dir;
        dir.write("data/demo.json", "loose");
        demo_dat_writer dat;
        dat.add("data/demo.json", "packed description, long enough to compress");
        dat.add("data/base3.vs", "void main() {}");
        if (d.change)
            d.change(dat);
        if (d.length)
            dat.write("demo.dat", d.length(dat));
        else
            dat.write();
        demo_filesystem fs;
        console_capture console;
        fs.open();
        EXPECT_EQ(console.take(), open_line + not_valid) << d.what;
        EXPECT_EQ(fs.get_mode(), demo_filesystem_loose) << d.what;
        EXPECT_EQ(fs.read_text("data/demo.json"), "loose") << d.what;
        EXPECT_TRUE(fs.read_text("data/base3.vs").empty()) << d.what;
        fs.close();
    }
}

TEST(demo_filesystem, folder_named_demo_dat_is_ignored)
{
    temp_dir dir;
    dir.write("demo.dat/inside", "x");
    dir.write("data/demo.json", "loose");
    demo_filesystem fs;
    console_capture console;
    fs.open();
    EXPECT_EQ(console.take(), open_line);
    EXPECT_EQ(fs.get_mode(), demo_filesystem_loose);
    EXPECT_EQ(fs.read_text("data/demo.json"), "loose");
}

// Loose files are read in pieces; one of several pieces comes back whole.
TEST(demo_filesystem, large_loose_file_reads_exactly)
{
    std::string big;
    for (unsigned i = 0; i < 300001; ++i)
        big.push_back(static_cast<char>((i * 7919) % 251));
    temp_dir dir;
    dir.write("big.bin", big);
    demo_filesystem fs;
    console_capture console;
    fs.open();
    EXPECT_TRUE(fs.read_text("big.bin") == big); // EXPECT_EQ would diff 300 kB
}

// A sysfs file states a size of a page but holds a few bytes: the read is
// short, the array keeps the stated size and the unfilled tail is zero.
TEST(demo_filesystem, short_loose_read_leaves_zeros)
{
    const std::string path = "/sys/devices/system/cpu/online";
    std::ifstream in(path);
    std::string content;
    if (!std::getline(in, content))
        GTEST_SKIP() << path << " cannot be read here";
    content += "\n";
    demo_filesystem fs;
    const std::vector<uint8_t> bytes = fs.read_file(path);
    ASSERT_GT(bytes.size(), content.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(content.size())), content);
    EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(content.size()), bytes.end(),
                            [](uint8_t byte) { return byte == 0; }));
}
