// open_file_size: 64-bit sizes of open files, and no size for a folder.
#include "platform/open_file_size.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(open_file_size, sizes_small_and_beyond_2_gib_files)
{
    temp_dir dir;
    dir.write("small", "12345");
    // A sparse file: no disk space, but a length past every 32-bit position.
    const uint64_t big = (uint64_t{3} << 30) + 17;
    dir.write("big", "");
    std::filesystem::resize_file("big", big);

    std::FILE* file = std::fopen("small", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(open_file_size(file), 5);
    std::fclose(file);

    file = std::fopen("big", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(open_file_size(file), static_cast<int64_t>(big));
    std::fclose(file);
}

TEST(open_file_size, folder_has_no_size)
{
    temp_dir dir;
    dir.write("sub/f", "x");
    std::FILE* file = std::fopen("sub", "rb");
    if (file == nullptr)
        GTEST_SKIP() << "this host does not open folders as files";
    EXPECT_EQ(open_file_size(file), -1);
    std::fclose(file);
    EXPECT_EQ(open_file_size(nullptr), -1);
}
