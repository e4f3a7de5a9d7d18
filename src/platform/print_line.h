// print_line: the one way the player writes a console line: the text, a
// newline and a flush, through the standard output stream.
#pragma once

#include <string>

void print_line(const std::string& text);
