// The shared fixtures: temp_dir's folder and cwd handling, and the layout
// that demo_dat_writer produces.
#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
}

uint32_t le32_at(const std::string& bytes, size_t offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

} // namespace

TEST(temp_dir, is_cwd_while_alive_and_removed_after)
{
    std::string before = fs::current_path().string();
    std::string folder;
    {
        temp_dir dir;
        folder = dir.path();
        EXPECT_EQ(fs::current_path().string(), folder);
        dir.write("a/b/c.txt", std::string("x\0y", 3));
        dir.write("top.bin", std::vector<uint8_t>{1, 2, 3});
        EXPECT_EQ(slurp("a/b/c.txt"), std::string("x\0y", 3));
        EXPECT_EQ(slurp("top.bin"), "\x01\x02\x03");
        dir.write("top.bin", "shorter");
        EXPECT_EQ(slurp("top.bin"), "shorter");
    }
    EXPECT_EQ(fs::current_path().string(), before);
    EXPECT_FALSE(fs::exists(folder));
}

TEST(temp_dir, each_is_unique)
{
    temp_dir a;
    temp_dir b;
    EXPECT_NE(a.path(), b.path());
}

TEST(demo_dat_writer, writes_header_records_and_streams)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("data/demo.json", "{\"flow\":[]}");
    dat.add("x", std::vector<uint8_t>{0, 1, 2}).reserved = 7;
    dat.write();
    std::string bytes = slurp("demo.dat");
    ASSERT_EQ(bytes, dat.bytes());
    EXPECT_EQ(bytes.substr(0, 4), "NMB3");
    EXPECT_EQ(le32_at(bytes, 4), 2u);
    EXPECT_EQ(le32_at(bytes, 8), 11u);
    EXPECT_EQ(le32_at(bytes, 8 + 212 + 8), 7u);
    EXPECT_EQ(bytes.substr(8 + 12, 15), std::string("data/demo.json\0", 15));
    ASSERT_EQ(dat.data_offset(), 8u + 2 * 212);

    // The first stream inflates back to its content.
    uint32_t compressed = le32_at(bytes, 12);
    std::string out(11, '\0');
    uLongf out_length = out.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &out_length,
                         reinterpret_cast<const Bytef*>(bytes.data() + dat.data_offset()), compressed),
              Z_OK);
    EXPECT_EQ(out, "{\"flow\":[]}");
    EXPECT_EQ(bytes.size(), dat.data_offset() + dat.entries[0].stream.size() + dat.entries[1].stream.size());
}

TEST(demo_dat_writer, damage_controls)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("n", "c").name_terminated = false;
    dat.magic = "AB";
    dat.count = 9;
    dat.trailing = "tail";
    std::string bytes = dat.bytes();
    EXPECT_EQ(bytes.substr(0, 4), std::string("AB\0\0", 4));
    EXPECT_EQ(le32_at(bytes, 4), 9u);
    EXPECT_EQ(bytes.substr(8 + 12, 200), "n" + std::string(199, 'x'));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "tail");
    dat.write("cut.dat", 5);
    EXPECT_EQ(slurp("cut.dat"), bytes.substr(0, 5));
}
