// document_examples: a line-by-line reader of the headings, labels and
// fenced blocks of a Markdown document.
#include "support/document_examples.h"

#include "support/text_lines.h"

#include <vector>

namespace {

const std::string example_heading = "### Example: `";
const std::string file_label = "File `";
const std::string console_label = "Console output:";
const std::string fence = "```";

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The text between the prefix and the closing "`" (followed by `suffix`),
// or empty when the line is not of that form.
std::string quoted_name(const std::string& line, const std::string& prefix, const std::string& suffix)
{
    const std::string closing = "`" + suffix;
    if (!starts_with(line, prefix) || line.size() < prefix.size() + closing.size() + 1 ||
        line.compare(line.size() - closing.size(), closing.size(), closing) != 0)
        return std::string();
    return line.substr(prefix.size(), line.size() - prefix.size() - closing.size());
}

} // namespace

document_examples::document_examples(const std::string& markdown)
{
    std::map<std::string, std::string> shared_files; // file blocks outside every example
    std::string example;                             // the example being read; empty outside one
    std::string file;                                // path named by the last label, if any
    bool console = false;                            // the last label was the console's
    const std::vector<std::string> lines = lines_of(markdown);
    for (size_t at = 0; at < lines.size(); ++at) {
        const std::string& line = lines[at];
        if (starts_with(line, "## ") || starts_with(line, "### ")) {
            example = quoted_name(line, example_heading, "");
            if (!example.empty())
                examples[example];
            file.clear();
            console = false;
        } else if (starts_with(line, fence)) {
            std::string block;
            for (++at; at < lines.size() && lines[at] != fence; ++at)
                block += lines[at] + "\n";
            if (!file.empty())
                (example.empty() ? shared_files : examples[example].files)[file] = block;
            else if (console && !example.empty())
                examples[example].console = block;
            file.clear();
            console = false;
        } else if (!line.empty()) {
            file = quoted_name(line, file_label, ":");
            console = line == console_label;
        }
    }
    for (auto& [name, found] : examples)
        found.files.insert(shared_files.begin(), shared_files.end());
}

const document_example* document_examples::find(const std::string& name) const
{
    const auto found = examples.find(name);
    return found == examples.end() ? nullptr : &found->second;
}
