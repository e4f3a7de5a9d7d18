// The built player run as a person runs it, on a private X display: a whole
// run's console protocol, Escape, a broken description with its error box,
// and the music captured through SDL's disk driver.
#include "support/player_process.h"
#include "support/temp_dir.h"
#include "support/test_demo.h"
#include "support/text_lines.h"
#include "support/x_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

const char* const window_title = "Nimbrel Demo Engine (v3.2 b.220916)";
const int run_limit_ms = 10000; // every demo here ends by itself long before

// Presses the "Error" box's OK button, which sits centred about 28 pixels
// above the box's bottom edge, and waits for the player to end. A box that
// was found but is not yet taking input (a loaded machine) gets another
// press, at the position the box has then; true once the player has ended.
bool press_ok_until_exit(const x_session& x, player_process& player)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::optional<x_window> box = x.wait_for_window("Error", 1000);
        if (!box.has_value())
            return player.wait_for_exit(5000);
        if (!x.click(box->x + box->width / 2, box->y + box->height - 28))
            return false;
        if (player.wait_for_exit(2000))
            return true;
    }
    return false;
}

const char* const start_lines = "Nimbrel Demo Engine - v3.2\n"
                                "----===== DEMO FILE SYSTEM (open)=====----- \n"
                                "Scripting Engine: 'print' function added\n"
                                "Scripting Engine: 'clearScreen' function added\n"
                                "Scripting Engine: 'getTime' function added\n"
                                "Scripting Engine: 'getGeometry' function added\n"
                                "Scripting Engine: 'setGeometry' function added\n"
                                "Scripting Engine: Initilized\n";
const char* const end_lines = "----===== DEMO FILE SYSTEM (close)=====----- \n"
                              "<eod>\n";

// A geometry item whose mesh covers the window.
std::string full_quad_geometry(const std::string& name, float start, float end, const std::string& fs_src)
{
    std::ostringstream entry;
    entry << R"({"start": )" << start << R"(, "end": )" << end << R"(, "effect": "geometry", "effectName": ")"
          << name << R"(", "vs_src": "data/base3.vs", "fs_src": ")" << fs_src << R"(",
        "vertices": [{"xyz": [-1, 1, 0], "rgb": [1, 1, 1], "uv": [0, 0]}, {"xyz": [1, 1, 0], "rgb": [1, 1, 1], "uv": [1, 0]},
                     {"xyz": [1, -1, 0], "rgb": [1, 1, 1], "uv": [1, 1]}, {"xyz": [-1, -1, 0], "rgb": [1, 1, 1], "uv": [0, 1]}],
        "elements": [0, 1, 2, 2, 3, 0]})";
    return entry.str();
}

test_demo two_item_demo()
{
    test_demo demo = test_demo::make(
        R"("onLoad": "print('config onLoad');", "onStart": "print('config onStart');")",
        "[{\"start\": 0, \"end\": 0.4, \"effect\": \"single_shader\", \"effectName\": \"red\", \"src\": \"data/red.fs\"},\n"
        " {\"start\": 0, \"end\": 9, \"effect\": \"sparkles\", \"effectName\": \"skipped\"},\n" +
            full_quad_geometry("mesh", 0.4f, 0.8f, "data/blue.fs") + "]");
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    demo.add("data/blue.fs", solid_colour_shader(0, 0, 1));
    return demo;
}

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        files.push_back(entry.path().string() + " " + std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
    std::sort(files.begin(), files.end());
    return files;
}

TEST(player_run, writes_the_whole_console_protocol_and_exits_0)
{
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    two_item_demo().write_loose(folder);
    player_process player(folder.path(), x.display());
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(player.wait_for_exit(run_limit_ms)) << player.output();
    EXPECT_EQ(player.exit_code, 0);

    const std::string expected = std::string(start_lines) +
                                 "Config parsed successfully\n"
                                 "Assets parsed successfully [ AUDIO = 1 TEXTURES = 0 ]\n"
                                 "* Loading Effect (Single Shader): data/red.fs\n"
                                 "* Loading Effect (Geometry): mesh\n"
                                 "Demo Flow parsed successfully [ ITEMS = 2; EXPECTED demo time = 9s ]\n"
                                 "Scripting Engine: config onLoad\n"
                                 "- loading default music: theme\n"
                                 "Scripting Engine: config onStart\n"
                                 "- adding effect: red; start=0; end=0.4 at time: <t>\n"
                                 "- adding effect: mesh; start=0.4; end=0.8 at time: <t>\n"
                                 "- removing effect: red; start=0; end=0.4\n"
                                 "- removing effect: mesh; start=0.4; end=0.8\n" +
                                 end_lines;
    EXPECT_EQ(lines_of(mask_times(player.output())), lines_of(expected));

    // The times themselves: the first item arrives right after the clock
    // starts, the second once 0.4 s have passed.
    std::smatch match;
    const std::string output = player.output();
    static const std::regex first(R"(red; start=0; end=0\.4 at time: ([-0-9.e+]+)\n)");
    static const std::regex second(R"(mesh; start=0\.4; end=0\.8 at time: ([-0-9.e+]+)\n)");
    ASSERT_TRUE(std::regex_search(output, match, first));
    EXPECT_GE(std::stod(match[1]), 0.0);
    EXPECT_LT(std::stod(match[1]), 0.3);
    ASSERT_TRUE(std::regex_search(output, match, second));
    EXPECT_GE(std::stod(match[1]), 0.4);
    EXPECT_LT(std::stod(match[1]), 0.7);
}

TEST(player_run, ignores_its_arguments_and_leaves_the_folder_as_it_was)
{
    // A second run in the same folder, given arguments, writes the same
    // protocol: arguments are not read and nothing is kept between runs.
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    two_item_demo().write_loose(folder);
    const std::vector<std::string> files_before = files_in(folder.path());
    const std::vector<std::string> arguments[2] = {{}, {"--windowed", "other/demo.json", "-h"}};
    std::string outputs[2];
    for (int run = 0; run < 2; ++run) {
        player_process player(folder.path(), x.display(), {}, arguments[run]);
        ASSERT_TRUE(player.wait_for_exit(run_limit_ms));
        EXPECT_EQ(player.exit_code, 0);
        outputs[run] = mask_times(player.output());
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(files_in(folder.path()), files_before);
}

TEST(player_run, escape_ends_the_run_without_removing_the_current_item)
{
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make(
        "", R"([{"start": 0, "end": 30, "effect": "single_shader", "effectName": "long", "src": "data/red.fs"}])");
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    demo.write_loose(folder);
    player_process player(folder.path(), x.display());
    ASSERT_TRUE(player.wait_for_output("- adding effect: long", run_limit_ms)) << player.output();
    const std::optional<x_window> window = x.wait_for_window(window_title, 3000);
    ASSERT_TRUE(window.has_value());
    ASSERT_TRUE(x.press_key(*window, "Escape"));
    ASSERT_TRUE(player.wait_for_exit(5000)) << "Escape did not end the run";
    EXPECT_EQ(player.exit_code, 0);
    const std::string output = player.output();
    EXPECT_EQ(output.find("- removing effect"), std::string::npos) << output;
    const std::string tail = std::string("- adding effect: long; start=0; end=30 at time: <t>\n") + end_lines;
    const std::string masked = mask_times(output);
    ASSERT_GE(masked.size(), tail.size());
    EXPECT_EQ(masked.substr(masked.size() - tail.size()), tail);
}

TEST(player_run, broken_description_shows_the_error_box_until_ok_is_pressed)
{
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make("", "[]");
    demo.add("data/demo.json", "{\"configuration\": {\"defaultMusic\": \"theme\"");
    demo.write_loose(folder);
    player_process player(folder.path(), x.display());
    const std::optional<x_window> box = x.wait_for_window("Error", run_limit_ms);
    ASSERT_TRUE(box.has_value()) << player.output() << player.errors();

    // The box is modal: the program waits and opens no player window.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(player.running());
    EXPECT_EQ(player.output().find("<eod>"), std::string::npos);
    EXPECT_TRUE(x.windows_named(window_title).empty());

    ASSERT_TRUE(press_ok_until_exit(x, player)) << "OK did not dismiss the box";
    EXPECT_EQ(player.exit_code, 0);
    const std::string output = player.output();
    EXPECT_EQ(output.substr(0, std::string(start_lines).size()), start_lines);
    ASSERT_GE(output.size(), 6u);
    EXPECT_EQ(output.substr(output.size() - 6), "<eod>\n");
    EXPECT_EQ(output.find("DEMO FILE SYSTEM (close)"), std::string::npos) << "shutdown runs only after init";
    EXPECT_EQ(output.find("- loading default music"), std::string::npos);
}

TEST(player_run, broken_description_names_its_box_text)
{
    // Without a display the box falls back to standard error, which shows
    // which text start-up gave it.
    temp_dir folder;
    test_demo demo = test_demo::make("", "[]");
    demo.add("data/demo.json", "[1, 2");
    demo.write_loose(folder);
    player_process player(folder.path(), ":none");
    ASSERT_TRUE(player.wait_for_exit(run_limit_ms));
    EXPECT_EQ(player.exit_code, 0);
    EXPECT_NE(player.errors().find("Error: Invalid or corrupted demo config!\n"), std::string::npos)
        << player.errors();
}

struct start_up_case {
    const char* label;
    const char* configuration; // configuration members after "defaultMusic"
    const char* music_path;    // path of the one music asset
    bool with_display;         // false: DISPLAY names no server
    const char* tail;          // how the console output ends
    const char* box;           // the box text on standard error, or "" for none
};

void PrintTo(const start_up_case& c, std::ostream* out) { *out << c.label; }

class player_start_up : public testing::TestWithParam<start_up_case> {};

// Every start-up failure ends with "<eod>" and exit code 0 without a run or a
// shutdown. Without a display the box text lands on standard error.
TEST_P(player_start_up, fails_with_its_report_and_exits_0)
{
    const start_up_case& c = GetParam();
    std::optional<x_session> x;
    if (c.with_display) {
        x.emplace();
        ASSERT_TRUE(x->ready());
    }
    temp_dir folder;
    test_demo demo = test_demo::make(
        c.configuration, R"([{"start": 0, "end": 1, "effect": "single_shader", "effectName": "red", "src": "data/red.fs"}])");
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    if (std::string(c.music_path) != "data/theme.mp3") {
        std::string& description = demo.files["data/demo.json"];
        description.replace(description.find("\"data/theme.mp3\""), 16, std::string("\"") + c.music_path + "\"");
    }
    demo.write_loose(folder);
    player_process player(folder.path(), c.with_display ? x->display() : ":none");
    ASSERT_TRUE(player.wait_for_exit(run_limit_ms)) << player.output();
    EXPECT_EQ(player.exit_code, 0);
    const std::string output = player.output();
    const std::string tail = c.tail;
    ASSERT_GE(output.size(), tail.size()) << output;
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
    EXPECT_EQ(output.find("DEMO FILE SYSTEM (close)"), std::string::npos);
    const std::string box = std::string(c.box).empty() ? "" : "Error: " + std::string(c.box) + "\n";
    if (box.empty())
        EXPECT_EQ(player.errors().find("Error: "), std::string::npos) << player.errors();
    else
        EXPECT_NE(player.errors().find(box), std::string::npos) << player.errors();
}

INSTANTIATE_TEST_SUITE_P(
    cases, player_start_up,
    testing::Values(
        start_up_case{"on_load_script_fails_without_a_box", R"("onLoad": "print('before'); throw new Error('no');")",
                      "data/theme.mp3", false, "Scripting Engine: before\nSCRIPT CONFIG::ONLOAD failed to execute\n<eod>\n",
                      ""},
        start_up_case{"default_music_not_declared", R"("defaultMusic": "other")", "data/theme.mp3", false,
                      "Demo Flow parsed successfully [ ITEMS = 1; EXPECTED demo time = 1s ]\n<eod>\n",
                      "Invalid Default Music setting"},
        start_up_case{"music_file_missing", "", "data/missing.mp3", false,
                      "- loading default music: theme\n<eod>\n", "Audio asset could not be loaded correctly!"},
        start_up_case{"no_window_system", "", "data/theme.mp3", false, "- loading default music: theme\n<eod>\n",
                      "glfwInit failed!"},
        // A size the window system refuses (GLFW asserts on a negative one, X
        // ends the process on a width of 65536) is refused before the window.
        start_up_case{"window_of_no_size", R"("nativeScreen": false, "width": 0, "height": 0)", "data/theme.mp3",
                      true, "- loading default music: theme\nERROR: window size 0x0 is outside 1..32767\n<eod>\n", ""},
        start_up_case{"window_of_no_width", R"("nativeScreen": false, "width": 0, "height": 480)", "data/theme.mp3",
                      true, "- loading default music: theme\nERROR: window size 0x480 is outside 1..32767\n<eod>\n",
                      ""},
        start_up_case{"window_of_negative_width", R"("nativeScreen": false, "width": -5, "height": 480)",
                      "data/theme.mp3", true,
                      "- loading default music: theme\nERROR: window size -5x480 is outside 1..32767\n<eod>\n", ""},
        start_up_case{"window_width_negative_in_32_bits", R"("nativeScreen": false, "width": 3000000000, "height": 480)",
                      "data/theme.mp3", true,
                      "- loading default music: theme\nERROR: window size -1294967296x480 is outside 1..32767\n<eod>\n",
                      ""},
        start_up_case{"window_width_65536", R"("nativeScreen": false, "width": 65536, "height": 480)", "data/theme.mp3",
                      true, "- loading default music: theme\nERROR: window size 65536x480 is outside 1..32767\n<eod>\n",
                      ""},
        start_up_case{"window_height_32768", R"("nativeScreen": false, "windowed": true, "width": 640, "height": 32768)",
                      "data/theme.mp3", true,
                      "- loading default music: theme\nERROR: window size 640x32768 is outside 1..32767\n<eod>\n", ""}),
    [](const testing::TestParamInfo<start_up_case>& info) { return std::string(info.param.label); });

struct run_failure_case {
    const char* label;
    const char* configuration; // configuration members after "defaultMusic"
    const char* flow;
    bool missing_texture; // declare a texture asset whose file does not exist
};

void PrintTo(const run_failure_case& c, std::ostream* out) { *out << c.label; }

class player_run_failure : public testing::TestWithParam<run_failure_case> {};

// A failed preparation of the run: the window is gone before the box shows,
// and after OK shutdown still runs and the program ends normally.
TEST_P(player_run_failure, closes_the_window_then_shows_the_box)
{
    const run_failure_case& c = GetParam();
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make(c.configuration, c.flow);
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    if (c.missing_texture) {
        std::string& description = demo.files["data/demo.json"];
        description.insert(description.find("\"assets\": {") + 11,
                           R"("textures": [{"ref": "gone", "path": "data/gone.png"}], )");
    }
    demo.write_loose(folder);
    player_process player(folder.path(), x.display());
    const std::optional<x_window> box = x.wait_for_window("Error", run_limit_ms);
    ASSERT_TRUE(box.has_value()) << player.output() << player.errors();
    EXPECT_TRUE(x.windows_named(window_title).empty()) << "the player window is still open under the box";
    EXPECT_EQ(player.output().find("- adding effect"), std::string::npos);
    ASSERT_TRUE(press_ok_until_exit(x, player)) << "OK did not dismiss the box";
    EXPECT_EQ(player.exit_code, 0);
    const std::string output = player.output();
    ASSERT_GE(output.size(), std::string(end_lines).size());
    EXPECT_EQ(output.substr(output.size() - std::string(end_lines).size()), end_lines) << output;
}

const char* const one_red_item =
    R"([{"start": 0, "end": 1, "effect": "single_shader", "effectName": "red", "src": "data/red.fs"}])";

INSTANTIATE_TEST_SUITE_P(
    cases, player_run_failure,
    testing::Values(run_failure_case{"on_start_script_fails", R"("onStart": "syntax error here")", one_red_item, false},
                    run_failure_case{"item_does_not_load",
                                     "", R"([{"start": 0, "end": 1, "effect": "single_shader", "src": "data/none.fs"}])", false},
                    run_failure_case{"texture_does_not_load", R"("preLoadAll": true)", one_red_item, true}),
    [](const testing::TestParamInfo<run_failure_case>& info) { return std::string(info.param.label); });

// Standard output is a file here, as fully buffered as a pipe or a log: every
// line written before an error box must be in it while the box waits, since
// the run may be stopped there.
struct box_wait_case {
    const char* label;
    const char* configuration; // configuration members after "defaultMusic"
    const char* flow;
    const char* last_line;     // the last line written before the box
};

void PrintTo(const box_wait_case& c, std::ostream* out) { *out << c.label; }

class player_box_wait : public testing::TestWithParam<box_wait_case> {};

TEST_P(player_box_wait, finds_the_lines_before_the_box_written)
{
    const box_wait_case& c = GetParam();
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    test_demo demo = test_demo::make(c.configuration, c.flow);
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    demo.write_loose(folder);
    player_process player(folder.path(), x.display());
    ASSERT_TRUE(x.wait_for_window("Error", run_limit_ms).has_value()) << player.output() << player.errors();
    const std::string output = player.output();
    const std::string last_line = c.last_line;
    ASSERT_GE(output.size(), last_line.size()) << output;
    EXPECT_EQ(output.substr(output.size() - last_line.size()), last_line) << output;
    ASSERT_TRUE(press_ok_until_exit(x, player)) << "OK did not dismiss the box";
}

INSTANTIATE_TEST_SUITE_P(
    cases, player_box_wait,
    testing::Values(
        box_wait_case{"printed_by_the_on_start_script", R"("onStart": "print('before the box'); throw 1;")",
                      one_red_item, "Scripting Engine: before the box\n"},
        box_wait_case{"parse_error_of_the_on_start_script", R"("onStart": "print('never'); 1 +")", one_red_item,
                      "SCRIPTING ENGINE ERROR:  - syntax error -  SyntaxError: Unexpected end of script\n"},
        box_wait_case{"printed_by_a_failing_before_render_trigger", "",
                      R"([{"start": 0, "end": 1, "effect": "single_shader", "effectName": "red", "src": "data/red.fs",
                          "triggers": {"beforeRender": "var failed; if (!failed) { failed = true; print('drawing'); throw 1; }"}}])",
                      "Scripting Engine: drawing\n"}),
    [](const testing::TestParamInfo<box_wait_case>& info) { return std::string(info.param.label); });

std::vector<int16_t> read_samples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> samples;
    int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample))
        samples.push_back(sample);
    return samples;
}

TEST(player_run, music_starts_after_the_configuration_on_start_script)
{
    const int rate = 44100;
    std::vector<int16_t> music(static_cast<size_t>(rate) * 2);
    for (size_t at = 0; at < music.size(); ++at)
        music[at] = static_cast<int16_t>(1000 + static_cast<int>(at % 1200)); // never silent
    x_session x;
    ASSERT_TRUE(x.ready());
    temp_dir folder;
    // onStart keeps the clock running for half a second before the music;
    // the flow's second and a half leaves the music a second of it, ample
    // for the quarter second checked below on a busy machine.
    test_demo demo = test_demo::make(
        R"("onStart": "var until = Date.now() + 500; while (Date.now() < until) {} print('onStart done');")",
        R"([{"start": 0, "end": 1.5, "effect": "single_shader", "effectName": "red", "src": "data/red.fs"}])",
        "data/theme.wav", wav_file(music, rate));
    demo.add("data/red.fs", solid_colour_shader(1, 0, 0));
    demo.write_loose(folder);

    const std::string capture = folder.path() + "/played.raw";
    player_process player(folder.path(), x.display(),
                          {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture});
    ASSERT_TRUE(player.wait_for_exit(run_limit_ms)) << player.output();
    EXPECT_EQ(player.exit_code, 0);
    EXPECT_NE(player.output().find("Scripting Engine: onStart done\n- adding effect: red"), std::string::npos);

    const std::vector<int16_t> played = read_samples(capture);
    size_t silent = 0;
    while (silent < played.size() && played[silent] == 0)
        ++silent;
    // The paused device wrote silence from init until play, which came after
    // the half second of onStart.
    EXPECT_GE(silent, static_cast<size_t>(rate * 0.45)) << "music started before onStart ended";
    ASSERT_GT(played.size(), silent + rate / 4) << "too little music was played";
    const std::vector<int16_t> heard(played.begin() + static_cast<std::ptrdiff_t>(silent),
                                     played.begin() + static_cast<std::ptrdiff_t>(silent + rate / 4));
    const std::vector<int16_t> opening(music.begin(), music.begin() + rate / 4);
    EXPECT_EQ(heard, opening) << "the music is not played from its start";
}

} // namespace
