// script_source_cache: the engine strings of script texts already run, so a
// trigger's text, which never changes after load, is converted from UTF-8
// once rather than every frame. Depends on JavaScriptCore and script_text.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <cstddef>
#include <string>
#include <unordered_map>

class script_source_cache {
public:
    script_source_cache() = default;
    ~script_source_cache();
    script_source_cache(const script_source_cache&) = delete;
    script_source_cache& operator=(const script_source_cache&) = delete;

    // The engine string of a NUL-terminated UTF-8 text, converted on its
    // first use; the caller releases it.
    JSStringRef find(const char* utf8);
    // Releases every cached string.
    void clear();
    // How many texts are cached.
    std::size_t size() const { return strings.size(); }

private:
    std::unordered_map<std::string, JSStringRef> strings; // text bytes -> its string, retained once here
    std::size_t cached_bytes = 0;                         // sum of the cached texts' sizes
};
