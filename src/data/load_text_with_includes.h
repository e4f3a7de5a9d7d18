// load_text_with_includes: reads a text through demo_filesystem and replaces
// each line that begins with "#include " by the named file's text, one level
// deep. The include join works on byte strings, the same on every host.
#pragma once

#include "data/demo_filesystem.h"

#include <string>

// The text of path with its include lines expanded; never fails.
std::string load_text_with_includes(const std::string& path, demo_filesystem& fs);

// Remove C-locale white space (bytes 9 to 13 and 32) at the start / end of s.
void ltrim(std::string& s);
void rtrim(std::string& s);

// The whole content of a loose file, read from disk directly (never from
// "demo.dat"); empty when the file cannot be opened or sized.
std::string read_file_to_string(const std::string& path);
