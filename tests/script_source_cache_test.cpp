// script_source_cache: a text is parsed once and found again by its bytes, a
// text that does not parse is reported each time and never kept, and the
// cache stays bounded however many different texts pass through it.
#include "scripting/script_source_cache.h"
#include "scripting/script_text.h"

#include <gtest/gtest.h>
#include <string>

namespace {

class script_source_cache_test : public testing::Test {
protected:
    ~script_source_cache_test() override
    {
        cache.clear(); // before the group goes
        JSContextGroupRelease(group);
    }

    // The cached script of text, released at once (the cache keeps its own).
    JSScriptRef find(const std::string& text)
    {
        JSStringRef message = nullptr;
        JSScriptRef script = cache.find(group, text.c_str(), &message);
        EXPECT_EQ(message, nullptr) << text;
        if (script)
            JSScriptRelease(script);
        return script;
    }

    JSContextGroupRef group = JSContextGroupCreate();
    script_source_cache cache;
};

TEST_F(script_source_cache_test, a_text_found_again_gives_the_same_script)
{
    const char* const texts[] = {"x = getTime();", "print('a\xff" "b')", "", "print('gr\xc3\xbc\xc3\x9f')"};
    for (const char* text : texts) {
        JSScriptRef first = find(text);
        ASSERT_NE(first, nullptr) << text;
        EXPECT_EQ(find(std::string(text)), first) << text; // same bytes, another pointer
    }
    EXPECT_EQ(cache.size(), 4u);
    EXPECT_NE(find("x = getTime(); "), find("x = getTime();")); // one byte apart
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
}

TEST_F(script_source_cache_test, a_text_that_does_not_parse_gives_the_message_each_time_and_is_not_kept)
{
    for (int round = 0; round < 2; ++round) {
        JSStringRef message = nullptr;
        EXPECT_EQ(cache.find(group, "1 +", &message), nullptr);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(script_text_utf8(message), "Unexpected end of script");
        JSStringRelease(message);
    }
    EXPECT_EQ(cache.size(), 0u);
}

TEST_F(script_source_cache_test, stays_bounded_by_count_and_by_size)
{
    for (int i = 0; i < 5000; ++i) {
        ASSERT_NE(find("var n = " + std::to_string(i) + ";"), nullptr);
        ASSERT_LE(cache.size(), 1024u);
    }
    // A text larger than the whole cache is parsed but not kept.
    cache.clear();
    EXPECT_NE(find(std::string(std::size_t(17) << 20, ' ')), nullptr);
    EXPECT_EQ(cache.size(), 0u);
    // Texts that add up past the size bound start it over.
    const std::string big(std::size_t(6) << 20, ' ');
    for (int i = 0; i < 3; ++i)
        find(big + std::to_string(i));
    EXPECT_LT(cache.size(), 3u);
}

} // namespace
