// script_source_cache: the parsed scripts of texts already run, so a
// trigger's text, which never changes after load, is converted from UTF-8
// and parsed once rather than every frame. Depends on JavaScriptCore's script
// interface (script_engine_private) and script_text.
#pragma once

#include "scripting/script_engine_private.h"

#include <cstddef>
#include <string>
#include <unordered_map>

class script_source_cache {
public:
    script_source_cache() = default;
    ~script_source_cache();
    script_source_cache(const script_source_cache&) = delete;
    script_source_cache& operator=(const script_source_cache&) = delete;

    // The parsed script of a NUL-terminated UTF-8 text for the engine of
    // group, parsed on its first use; the caller releases it. Null when the
    // text does not parse: message is then the parser's (null when it gave
    // none), for the caller to release, and nothing is kept, so a later run
    // of the text parses and reports it again.
    JSScriptRef find(JSContextGroupRef group, const char* utf8, JSStringRef* message);
    // Releases every cached script; done before the engine stops.
    void clear();
    // How many texts are cached.
    std::size_t size() const { return scripts.size(); }

private:
    std::unordered_map<std::string, JSScriptRef> scripts; // text bytes -> its script, retained once here
    std::size_t cached_bytes = 0;                         // sum of the cached texts' sizes
};
