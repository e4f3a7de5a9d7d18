// script_source_cache: a text is converted once and found again by its
// bytes, converted as script_text does, and the cache stays bounded however
// many different texts pass through it.
#include "scripting/script_source_cache.h"
#include "scripting/script_text.h"

#include <gtest/gtest.h>
#include <string>

namespace {

bool same_string(JSStringRef a, JSStringRef b)
{
    return JSStringIsEqual(a, b);
}

TEST(script_source_cache, a_text_found_again_gives_the_same_characters)
{
    script_source_cache cache;
    const char* const texts[] = {"x = getTime();", "print('a\xff" "b')", "", "print('gr\xc3\xbc\xc3\x9f')"};
    for (const char* text : texts) {
        JSStringRef expected = script_text_create(text);
        JSStringRef first = cache.find(text);
        JSStringRef again = cache.find(std::string(text).c_str()); // same bytes, another pointer
        EXPECT_TRUE(same_string(first, expected)) << text;
        EXPECT_TRUE(same_string(again, expected)) << text;
        JSStringRelease(expected);
        JSStringRelease(first);
        JSStringRelease(again);
    }
    EXPECT_EQ(cache.size(), 4u);
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
}

TEST(script_source_cache, stays_bounded_by_count_and_by_size)
{
    script_source_cache cache;
    for (int i = 0; i < 5000; ++i) {
        const std::string text = "var n = " + std::to_string(i) + ";";
        JSStringRef string = cache.find(text.c_str());
        EXPECT_EQ(script_text_utf8(string), text);
        JSStringRelease(string);
        ASSERT_LE(cache.size(), 1024u);
    }
    // A text larger than the whole cache is converted but not kept.
    cache.clear();
    const std::string huge(std::size_t(17) << 20, ' ');
    JSStringRef string = cache.find(huge.c_str());
    EXPECT_EQ(JSStringGetLength(string), huge.size());
    JSStringRelease(string);
    EXPECT_EQ(cache.size(), 0u);
    // Texts that add up past the size bound start it over.
    const std::string big(std::size_t(6) << 20, ' ');
    for (int i = 0; i < 3; ++i) {
        JSStringRelease(cache.find((big + std::to_string(i)).c_str()));
    }
    EXPECT_LT(cache.size(), 3u);
}

} // namespace
