// The conversion of decoded images into the three-byte, four-byte-aligned
// rows that the texture upload describes.
#include "effects/effect_gl_resources.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct rows_case {
    const char* name;
    int width;
    int height;
    int channels;
    std::vector<std::uint8_t> pixels;   // tightly packed, as decoded
    std::vector<std::uint8_t> expected; // RGB rows padded to four bytes
};

void PrintTo(const rows_case& c, std::ostream* os) { *os << c.name; }

class rgb_rows_test : public ::testing::TestWithParam<rows_case> {};

TEST_P(rgb_rows_test, converts_without_reading_past_the_pixels)
{
    const rows_case& c = GetParam();
    // A heap copy of exactly the decoded size lets the sanitizer catch a read past it.
    std::vector<std::uint8_t> exact(c.pixels);
    EXPECT_EQ(rgb_rows_for_upload(exact.data(), c.width, c.height, c.channels), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    images, rgb_rows_test,
    ::testing::Values(
        rows_case{"grey_odd_width", 3, 2, 1, {1, 2, 3, 4, 5, 6}, {1, 1, 1, 2, 2, 2, 3, 3, 3, 0, 0, 0, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0}},
        rows_case{"grey_alpha_drops_alpha", 1, 2, 2, {7, 200, 8, 201}, {7, 7, 7, 0, 8, 8, 8, 0}},
        rows_case{"rgb_unaligned_rows", 1, 2, 3, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 0, 4, 5, 6, 0}},
        rows_case{"rgb_aligned_rows", 4, 1, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        rows_case{"rgba_drops_alpha", 2, 1, 4, {1, 2, 3, 99, 4, 5, 6, 98}, {1, 2, 3, 4, 5, 6, 0, 0}}),
    [](const ::testing::TestParamInfo<rows_case>& info) { return std::string(info.param.name); });

TEST(rgb_rows, nothing_to_convert_gives_no_rows)
{
    const std::uint8_t pixel[4] = {1, 2, 3, 4};
    EXPECT_TRUE(rgb_rows_for_upload(nullptr, 4, 4, 3).empty());
    EXPECT_TRUE(rgb_rows_for_upload(pixel, 0, 1, 3).empty());
    EXPECT_TRUE(rgb_rows_for_upload(pixel, 1, -1, 3).empty());
    EXPECT_TRUE(rgb_rows_for_upload(pixel, 1, 1, 0).empty());
    EXPECT_TRUE(rgb_rows_for_upload(pixel, 1, 1, 5).empty());
}

} // namespace
