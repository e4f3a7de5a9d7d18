// print_line: console line helper shared by every subsystem; it sits below
// all of them so that none reaches up into another to write a line.
#include "platform/print_line.h"

#include <iostream>

void print_line(const std::string& text)
{
    std::cout << text << std::endl;
}
