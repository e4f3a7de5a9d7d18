// document_examples: the complete example demos of a Markdown document, read
// from its fenced code blocks, so that a test can play exactly what the
// document shows. Depends on nothing but the standard library.
#pragma once

#include <map>
#include <string>

// One example: the files of its demo folder and the console output the
// document shows for it.
struct document_example {
    std::map<std::string, std::string> files; // relative path to content
    std::string console;                      // the player's whole standard output
};

// Layout read: an example is the section under a heading "### Example:
// `name`", up to the next heading of level 2 or 3. In it, a line
// "File `path`:" names the file that the next fenced block holds, and a line
// "Console output:" marks the block of the console output. File blocks
// outside every example belong to all of them (an example's own file of the
// same path wins). Only blank lines may stand between a label and its block.
class document_examples {
public:
    explicit document_examples(const std::string& markdown);

    // The example of that name, or null when the document has none.
    const document_example* find(const std::string& name) const;

private:
    std::map<std::string, document_example> examples; // by the name in the heading
};
