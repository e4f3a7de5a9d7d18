// load_text_with_includes: "#include " expansion and the include join of
// '/'- or '\'-separated names with optional drive letters. Depends on
// demo_filesystem for every read and on <fstream> for read_file_to_string.
#include "data/load_text_with_includes.h"

#include <algorithm>
#include <fstream>

namespace {

const std::string include_prefix = "#include ";

bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_separator(char c)
{
    return c == '/' || c == '\\';
}

// True when s begins with a drive: an ASCII letter and a colon.
bool has_drive(const std::string& s)
{
    return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'));
}

// path without its last component and the separators before it; a root
// ("/", "C:/") or a drive alone ("C:") is kept whole.
std::string directory_of(const std::string& path)
{
    size_t root_end = has_drive(path) ? 2 : 0;
    while (root_end < path.size() && is_separator(path[root_end]))
        ++root_end;
    size_t last = path.find_last_of("/\\");
    if (last == std::string::npos || last < root_end)
        return path.substr(0, root_end);
    size_t end = last;
    while (end > root_end && is_separator(path[end - 1]))
        --end;
    return path.substr(0, end);
}

// The include join of the including name and an include name; nothing is
// normalised.
std::string include_join(const std::string& path, const std::string& name)
{
    if (!name.empty() && is_separator(name[0]))
        return (has_drive(path) ? path.substr(0, 2) : std::string()) + name;
    if (has_drive(name) && name.size() > 2 && is_separator(name[2]))
        return name;
    std::string directory = directory_of(path);
    if (directory.empty())
        return name;
    bool drive_alone = directory.size() == 2 && has_drive(directory);
    if (is_separator(directory.back()) || drive_alone)
        return directory + name;
    return directory + "/" + name;
}

// The text to put in place of one include line of the file path.
std::string included_text(const std::string& line, const std::string& path, demo_filesystem& fs)
{
    std::string name = line.substr(include_prefix.size());
    ltrim(name);
    rtrim(name);
    std::string target = include_join(path, name);
    std::replace(target.begin(), target.end(), '\\', '/');
    return fs.read_text(target);
}

} // namespace

void ltrim(std::string& s)
{
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), [](char c) { return !is_space(c); }));
}

void rtrim(std::string& s)
{
    s.erase(std::find_if(s.rbegin(), s.rend(), [](char c) { return !is_space(c); }).base(), s.end());
}

std::string load_text_with_includes(const std::string& path, demo_filesystem& fs)
{
    const std::string text = fs.read_text(path);
    std::string result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.compare(0, include_prefix.size(), include_prefix) == 0)
            result += included_text(line, path, fs);
        else
            result += line;
        result += '\n';
        start = end + 1;
    }
    return result;
}

std::string read_file_to_string(const std::string& path)
{
    // A NUL inside the path would silently open a shorter name.
    if (path.find('\0') != std::string::npos)
        return std::string();
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return std::string();
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > std::string().max_size())
        return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}
