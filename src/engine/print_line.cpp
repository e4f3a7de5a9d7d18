// print_line: console line helper shared by every subsystem.
#include "engine/print_line.h"

#include <iostream>

void print_line(const std::string& text)
{
    std::cout << text << std::endl;
}
