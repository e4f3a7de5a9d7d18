// Console protocol basics: print_line and the capture fixture that the other
// console tests rely on.
#include "platform/print_line.h"
#include "support/console_capture.h"

#include <cstdio>
#include <gtest/gtest.h>

TEST(print_line, writes_text_and_one_line_end)
{
    console_capture console;
    print_line("- adding effect: intro");
    print_line("");
    EXPECT_EQ(console.take(), "- adding effect: intro\n\n");
}

TEST(print_line, keeps_order_with_c_runtime_output)
{
    console_capture console;
    print_line("first");
    std::printf("\nERROR: second\n");
    print_line("third");
    EXPECT_EQ(console.take(), "first\n\nERROR: second\nthird\n");
}

TEST(print_line, passes_bytes_unchanged)
{
    console_capture console;
    print_line(std::string("a\0b\r", 4));
    EXPECT_EQ(console.take(), std::string("a\0b\r\n", 5));
}
