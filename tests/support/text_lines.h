// text_lines: a text cut into its lines, for comparing console outputs and
// reading documents line by line. No dependencies.
#pragma once

#include <string>
#include <vector>

// The lines of text without their line feeds; a last line without one counts.
std::vector<std::string> lines_of(const std::string& text);
