// The run loop's GL-free parts: demo time from the wall clock, the console
// lines of arriving and leaving items, the add and remove passes of the time
// line, the choice of the default music and the window sizes asked of the
// window system.
#include "engine/demo_engine.h"
#include "engine/time_line.h"
#include "support/console_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

time_line_item item(const std::string& name, float start, float end)
{
    time_line_item made;
    made.name = name;
    made.start_time = start;
    made.end = end;
    return made;
}

std::vector<std::string> names(const std::vector<time_line_item>& items)
{
    std::vector<std::string> out;
    for (const auto& one : items)
        out.push_back(one.name);
    return out;
}

TEST(demo_time_seconds, converts_the_nanosecond_difference)
{
    EXPECT_EQ(demo_time_seconds(5, 5), 0.0f);
    EXPECT_FLOAT_EQ(demo_time_seconds(0, 1'500'000'000), 1.5f);
    EXPECT_FLOAT_EQ(demo_time_seconds(0, 16'666'667), 1.0f / 60.0f);
    // A clock set back gives a negative time rather than wrapping.
    EXPECT_FLOAT_EQ(demo_time_seconds(2'000'000'000, 1'000'000'000), -1.0f);
}

TEST(demo_time_seconds, keeps_precision_at_todays_epoch)
{
    // Converting each reading to float first would lose whole minutes here.
    const std::int64_t start = 1'700'000'000'123'456'789;
    EXPECT_FLOAT_EQ(demo_time_seconds(start, start + 250'000'000), 0.25f);
    const std::int64_t now = wall_clock_nanoseconds();
    EXPECT_GT(now, start);
    EXPECT_GE(wall_clock_nanoseconds(), now);
}

struct line_case {
    const char* label;
    const char* name;
    float start;
    float end;
    float time;
    const char* adding;
    const char* removing;
};

void PrintTo(const line_case& c, std::ostream* out) { *out << c.label; }

class item_lines : public testing::TestWithParam<line_case> {};

TEST_P(item_lines, use_the_streams_default_format)
{
    const line_case& c = GetParam();
    const time_line_item one = item(c.name, c.start, c.end);
    EXPECT_EQ(adding_line(one, c.time), c.adding);
    EXPECT_EQ(removing_line(one), c.removing);
}

INSTANTIATE_TEST_SUITE_P(
    cases, item_lines,
    testing::Values(
        line_case{"whole_numbers", "plasma", 0.0f, 7.0f, 0.0f,
                  "- adding effect: plasma; start=0; end=7 at time: 0",
                  "- removing effect: plasma; start=0; end=7"},
        line_case{"fractions_six_digits", "a b", 10.5f, 12.25f, 1.0f / 60.0f,
                  "- adding effect: a b; start=10.5; end=12.25 at time: 0.0166667",
                  "- removing effect: a b; start=10.5; end=12.25"},
        line_case{"float_widened_not_rounded_first", "x", 0.1f, 2.2f, 123456.7f,
                  "- adding effect: x; start=0.1; end=2.2 at time: 123457",
                  "- removing effect: x; start=0.1; end=2.2"},
        line_case{"scientific_for_large_and_small", "big", 1e6f, 2.5e7f, 1e-5f,
                  "- adding effect: big; start=1e+06; end=2.5e+07 at time: 1e-05",
                  "- removing effect: big; start=1e+06; end=2.5e+07"},
        line_case{"no_effect_name", "", -1.0f, 0.0f, 0.5f,
                  "- adding effect: ; start=-1; end=0 at time: 0.5",
                  "- removing effect: ; start=-1; end=0"}),
    [](const testing::TestParamInfo<line_case>& info) { return std::string(info.param.label); });

TEST(add_due_items, moves_every_due_item_in_pending_order)
{
    time_line timeline;
    timeline.active.push_back(item("running", 0, 10));
    timeline.pending = {item("a", 1, 5), item("later", 3, 5), item("b", 2, 5), item("c", 2, 5)};
    console_capture console;
    add_due_items(timeline, 2.0f);
    EXPECT_EQ(console.take(), "- adding effect: a; start=1; end=5 at time: 2\n"
                              "- adding effect: b; start=2; end=5 at time: 2\n"
                              "- adding effect: c; start=2; end=5 at time: 2\n");
    EXPECT_EQ(names(timeline.active), (std::vector<std::string>{"running", "a", "b", "c"}));
    EXPECT_EQ(names(timeline.pending), (std::vector<std::string>{"later"}));
}

TEST(add_due_items, keeps_the_flags_of_a_preloaded_item)
{
    time_line timeline;
    timeline.pending.push_back(item("first", 0, 1));
    timeline.pending.front().loaded = true;
    timeline.pending.front().started = true;
    console_capture console;
    add_due_items(timeline, 0.0f);
    ASSERT_EQ(timeline.active.size(), 1u);
    EXPECT_TRUE(timeline.active.front().is_loaded());
    EXPECT_TRUE(timeline.active.front().started);
}

TEST(add_due_items, moves_nothing_when_a_time_is_not_a_number)
{
    time_line timeline;
    timeline.pending = {item("nan_start", nan, 5), item("due", 0, 5)};
    console_capture console;
    add_due_items(timeline, 1.0f);
    EXPECT_EQ(names(timeline.active), (std::vector<std::string>{"due"}));
    add_due_items(timeline, nan);
    EXPECT_EQ(names(timeline.pending), (std::vector<std::string>{"nan_start"}));
    EXPECT_EQ(console.take(), "- adding effect: due; start=0; end=5 at time: 1\n");
}

TEST(add_due_items, does_nothing_before_the_first_start)
{
    time_line timeline;
    timeline.pending = {item("a", 1, 2)};
    console_capture console;
    add_due_items(timeline, 0.999f);
    EXPECT_TRUE(timeline.active.empty());
    EXPECT_EQ(console.take(), "");
}

TEST(remove_expired_items, takes_every_expired_item_out_in_list_order)
{
    time_line timeline;
    timeline.active = {item("a", 0, 2), item("stays", 0, 9), item("b", 1, 1.5f), item("nan_end", 0, nan)};
    timeline.active[0].loaded = true;
    timeline.pending = {item("pending", 0, 1)};
    console_capture console;
    remove_expired_items(timeline, 2.0f);
    EXPECT_EQ(console.take(), "- removing effect: a; start=0; end=2\n"
                              "- removing effect: b; start=1; end=1.5\n");
    EXPECT_EQ(names(timeline.active), (std::vector<std::string>{"stays", "nan_end"}));
    EXPECT_EQ(names(timeline.pending), (std::vector<std::string>{"pending"}));
}

TEST(time_line_passes, an_item_ending_before_it_starts_arrives_and_leaves_in_one_frame)
{
    time_line timeline;
    timeline.pending = {item("blink", 1, 0.5f)};
    console_capture console;
    add_due_items(timeline, 1.0f);
    remove_expired_items(timeline, 1.0f);
    EXPECT_EQ(console.take(), "- adding effect: blink; start=1; end=0.5 at time: 1\n"
                              "- removing effect: blink; start=1; end=0.5\n");
    EXPECT_TRUE(timeline.active.empty());
    EXPECT_TRUE(timeline.pending.empty());
}

audio_asset music(const std::string& name, const std::string& path)
{
    audio_asset asset;
    asset.name = name;
    asset.path = path;
    return asset;
}

struct music_case {
    const char* label;
    std::string wanted;  // "defaultMusic"
    bool found;
    const char* path;    // the chosen asset's path, or the target's own when not found
};

void PrintTo(const music_case& c, std::ostream* out) { *out << c.label; }

class find_default_music : public testing::TestWithParam<music_case> {};

TEST_P(find_default_music, copies_the_first_asset_of_that_name)
{
    const music_case& c = GetParam();
    demo_config config;
    config.default_music = c.wanted;
    config.assets.music = {music("intro", "intro.mp3"), music("theme", "first.mp3"), music("", "unnamed.mp3"),
                           music("theme", "second.mp3"), music(std::string("nul\0x", 5), "nul.mp3")};
    audio_asset target = music("before", "before.mp3");
    EXPECT_EQ(demo_engine::find_default_music(config, target), c.found);
    EXPECT_EQ(target.path, c.path);
    EXPECT_EQ(target.name, c.found ? c.wanted : std::string("before"));
    EXPECT_FALSE(target.loaded);
}

INSTANTIATE_TEST_SUITE_P(
    cases, find_default_music,
    testing::Values(music_case{"first_of_two", "theme", true, "first.mp3"},
                    music_case{"empty_name_matches_empty_ref", "", true, "unnamed.mp3"},
                    music_case{"whole_bytes_compared", std::string("nul\0x", 5), true, "nul.mp3"},
                    music_case{"prefix_is_no_match", "nul", false, "before.mp3"},
                    music_case{"case_matters", "Theme", false, "before.mp3"}),
    [](const testing::TestParamInfo<music_case>& info) { return std::string(info.param.label); });

TEST(find_default_music, fails_without_music_assets)
{
    demo_config config;
    audio_asset target;
    EXPECT_FALSE(demo_engine::find_default_music(config, target));
    EXPECT_EQ(target.name, "");
}

TEST(window_size_supported, accepts_1_to_32767_on_either_axis)
{
    struct size_case {
        std::int32_t width;
        std::int32_t height;
        bool supported;
    };
    const size_case cases[] = {{1, 1, true},      {640, 480, true},     {32767, 32767, true}, {0, 480, false},
                               {640, 0, false},   {-5, 480, false},     {640, -1, false},     {32768, 480, false},
                               {640, 32768, false}, {65536, 480, false}, {INT32_MIN, 480, false}};
    for (const size_case& c : cases)
        EXPECT_EQ(window_size_supported(c.width, c.height), c.supported) << c.width << "x" << c.height;
}

} // namespace
