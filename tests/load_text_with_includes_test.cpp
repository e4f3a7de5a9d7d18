// load_text_with_includes: the include join, line handling of "#include "
// lines, the loose-mode console lines, the trims and read_file_to_string.
#include "data/load_text_with_includes.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

// Expands `including` from a packed file holding the given entries.
std::string expand_packed(const std::string& including,
                          const std::vector<std::pair<std::string, std::string>>& files)
{
    temp_dir dir;
    demo_dat_writer dat;
    for (const auto& file : files)
        dat.add(file.first, file.second);
    dat.write();
    console_capture console;
    demo_filesystem fs;
    fs.open();
    std::string text = load_text_with_includes(including, fs);
    fs.close();
    return text;
}

} // namespace

// Packed entries are found only by their exact name, so each row proves the
// exact target that the join produced.
TEST(load_text_with_includes, include_join)
{
    struct join {
        std::string including;
        std::string name;
        std::string target;
    };
    const join joins[] = {
        {"data/fx/main.fs", "common.glsl", "data/fx/common.glsl"},
        {"main.fs", "common.glsl", "common.glsl"},
        {"data\\fx\\main.fs", "lib\\common.glsl", "data/fx/lib/common.glsl"},
        {"data/fx/main.fs", "../common.glsl", "data/fx/../common.glsl"},
        {"data/fx/main.fs", "./common.glsl", "data/fx/./common.glsl"},
        {"/demo/main.fs", "common.glsl", "/demo/common.glsl"},
        {"data/fx/main.fs", "/common.glsl", "/common.glsl"},
        {"data/fx/main.fs", "\\lib\\common.glsl", "/lib/common.glsl"},
        {"/main.fs", "common.glsl", "/common.glsl"},
        {"//main.fs", "common.glsl", "//common.glsl"},
        {"data//fx//main.fs", "common.glsl", "data//fx/common.glsl"},
        {"data/fx/", "common.glsl", "data/fx/common.glsl"},
        {"C:\\demo\\main.fs", "/common.glsl", "C:/common.glsl"},
        {"c:/demo/main.fs", "\\common.glsl", "c:/common.glsl"},
        {"C:\\demo\\main.fs", "common.glsl", "C:/demo/common.glsl"},
        {"C:/main.fs", "common.glsl", "C:/common.glsl"},
        {"C:main.fs", "common.glsl", "C:common.glsl"},
        {"data/main.fs", "D:/lib/common.glsl", "D:/lib/common.glsl"},
        {"data/main.fs", "d:\\lib\\common.glsl", "d:/lib/common.glsl"},
        {"data/main.fs", "D:common.glsl", "data/D:common.glsl"},
        {"1:/main.fs", "common.glsl", "1:/common.glsl"},
        {"data/main.fs", "\"common.glsl\"", "data/\"common.glsl\""},
        {"data/main.fs", "<common.glsl>", "data/<common.glsl>"},
        {"data/main.fs", "my common.glsl", "data/my common.glsl"},
        {"data/main.fs", "\xc3\xa9t\xff.glsl", "data/\xc3\xa9t\xff.glsl"},
    };
    for (const join& j : joins) {
        std::string text = expand_packed(j.including, {{j.including, "#include " + j.name + "\n"}, {j.target, "T"}});
        EXPECT_EQ(text, "T\n") << j.including << " + " << j.name << " -> " << j.target;
    }
}

TEST(load_text_with_includes, lines)
{
    struct expansion {
        const char* what;
        std::string text;
        std::string expected;
    };
    const expansion expansions[] = {
        {"empty text", "", ""},
        {"single line feed", "\n", "\n"},
        {"last line gets a line feed", "a\nb", "a\nb\n"},
        {"empty lines kept", "a\n\n\nb\n", "a\n\n\nb\n"},
        {"carriage returns kept", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"NUL bytes kept", std::string("x\0y\n", 4), std::string("x\0y\n", 4)},
        {"include", "a\n#include inc.glsl\nb\n", "a\nINC\nb\n"},
        {"include ending in carriage return", "#include inc.glsl\r\n", "INC\n"},
        {"white space around the name", "#include \t  inc.glsl \t \n", "INC\n"},
        {"include on the last line", "#include inc.glsl", "INC\n"},
        {"included text ending in a line feed", "#include lf.glsl\n", "LF\n\n"},
        {"included includes are not expanded", "#include nested.glsl\n", "#include inc.glsl\n"},
        {"missing include becomes empty", "a\n#include missing.glsl\nb", "a\n\nb\n"},
        {"empty name", "#include \n", "\n"},
        {"only white space after the prefix", "#include \t \r\n", "\n"},
        {"prefix without its blank", "#include\n", "#include\n"},
        {"tab in place of the blank", "#include\tinc.glsl\n", "#include\tinc.glsl\n"},
        {"blank before the hash", " #include inc.glsl\n", " #include inc.glsl\n"},
        {"capital letter", "#Include inc.glsl\n", "#Include inc.glsl\n"},
        {"upper case", "#INCLUDE inc.glsl\n", "#INCLUDE inc.glsl\n"},
        {"directive glued to the name", "#includeinc.glsl\n", "#includeinc.glsl\n"},
    };
    for (const expansion& e : expansions) {
        std::string text = expand_packed("data/main.fs", {{"data/main.fs", e.text},
                                                          {"data/inc.glsl", "INC"},
                                                          {"data/lf.glsl", "LF\n"},
                                                          {"data/nested.glsl", "#include inc.glsl"}});
        EXPECT_EQ(text, e.expected) << e.what;
    }
}

TEST(load_text_with_includes, loose_files_and_their_console_lines)
{
    temp_dir dir;
    dir.write("data/fx/main.fs", "#include lib\\common.glsl\n#include missing.glsl\n#include \nend\n");
    dir.write("data/fx/lib/common.glsl", "float f();");
    demo_filesystem fs;
    console_capture console;
    fs.open();
    console.take();

    EXPECT_EQ(load_text_with_includes("data/fx/main.fs", fs), "float f();\n\n\nend\n");
    EXPECT_EQ(console.take(), "ERROR(FILE_NOT_FOUND):data/fx/missing.glsl\n"
                              "ERROR(FILE_NOT_FOUND):data/fx/\n");

    EXPECT_EQ(load_text_with_includes("data/nothing.fs", fs), "");
    EXPECT_EQ(console.take(), "ERROR(FILE_NOT_FOUND):data/nothing.fs\n");
}

TEST(load_text_with_includes, packed_mode_writes_nothing_for_missing_files)
{
    temp_dir dir;
    demo_dat_writer dat;
    dat.add("data/main.fs", "#include missing.glsl\n");
    dat.write();
    demo_filesystem fs;
    console_capture console;
    fs.open();
    console.take();
    EXPECT_EQ(load_text_with_includes("data/main.fs", fs), "\n");
    EXPECT_EQ(load_text_with_includes("data/other.fs", fs), "");
    EXPECT_EQ(console.take(), "");
    fs.close();
}

TEST(trim, removes_c_locale_white_space_only)
{
    struct trim_case {
        std::string input;
        std::string left;
        std::string right;
    };
    const trim_case cases[] = {
        {"", "", ""},
        {" \t\n\v\f\r", "", ""},
        {"\t\n\v\f\r x y \r\n", "x y \r\n", "\t\n\v\f\r x y"},
        {"\xa0x\x85", "\xa0x\x85", "\xa0x\x85"},
        {std::string("\0x\0", 3), std::string("\0x\0", 3), std::string("\0x\0", 3)},
    };
    for (const trim_case& c : cases) {
        std::string left = c.input;
        ltrim(left);
        EXPECT_EQ(left, c.left);
        std::string right = c.input;
        rtrim(right);
        EXPECT_EQ(right, c.right);
    }
}

TEST(read_file_to_string, reads_loose_files_from_disk_only)
{
    temp_dir dir;
    const std::string text("a\r\n\0b", 5);
    dir.write("data/t.txt", text);
    dir.write("data/sub/f", "x");
    demo_dat_writer dat;
    dat.add("data/t.txt", "packed");
    dat.add("data/packed_only.txt", "packed");
    dat.write();
    console_capture console;
    EXPECT_EQ(read_file_to_string("data/t.txt"), text);
    EXPECT_EQ(read_file_to_string("data/packed_only.txt"), "");
    EXPECT_EQ(read_file_to_string("data/sub"), "");
    EXPECT_EQ(read_file_to_string(std::string("data/t.txt\0z", 12)), "");
    EXPECT_EQ(console.take(), "");
}
