// script_source_cache: a map from text bytes to parsed scripts. The player
// runs a fixed set of texts, so a bound that is far above any demo's keeps
// them all; should it ever be reached the cache starts over rather than grow.
#include "scripting/script_source_cache.h"

#include "scripting/script_text.h"

namespace {

constexpr std::size_t max_cached_texts = 1024;
constexpr std::size_t max_cached_bytes = std::size_t(16) << 20; // 16 MiB of text

JSScriptRef parse(JSContextGroupRef group, const char* utf8, JSStringRef* message)
{
    JSStringRef source = script_text_create(utf8);
    JSScriptRef script = JSScriptCreateFromString(group, nullptr, 1, source, message, nullptr);
    JSStringRelease(source);
    return script;
}

} // namespace

script_source_cache::~script_source_cache()
{
    clear();
}

JSScriptRef script_source_cache::find(JSContextGroupRef group, const char* utf8, JSStringRef* message)
{
    *message = nullptr;
    std::string text(utf8);
    const auto found = scripts.find(text);
    if (found != scripts.end()) {
        JSScriptRetain(found->second);
        return found->second;
    }
    JSScriptRef script = parse(group, utf8, message);
    if (!script || text.size() > max_cached_bytes)
        return script;
    if (scripts.size() == max_cached_texts || cached_bytes + text.size() > max_cached_bytes)
        clear();
    cached_bytes += text.size();
    JSScriptRetain(script);
    scripts.emplace(std::move(text), script);
    return script;
}

void script_source_cache::clear()
{
    for (const auto& entry : scripts)
        JSScriptRelease(entry.second);
    scripts.clear();
    cached_bytes = 0;
}
