// script_source_cache: a map from text bytes to engine strings. The player
// runs a fixed set of texts, so a bound that is far above any demo's keeps
// them all; should it ever be reached the cache starts over rather than grow.
#include "scripting/script_source_cache.h"

#include "scripting/script_text.h"

namespace {

constexpr std::size_t max_cached_texts = 1024;
constexpr std::size_t max_cached_bytes = std::size_t(16) << 20; // 16 MiB of text

} // namespace

script_source_cache::~script_source_cache()
{
    clear();
}

JSStringRef script_source_cache::find(const char* utf8)
{
    std::string text(utf8);
    const auto found = strings.find(text);
    if (found != strings.end())
        return JSStringRetain(found->second);
    JSStringRef string = script_text_create(utf8);
    if (text.size() > max_cached_bytes)
        return string;
    if (strings.size() == max_cached_texts || cached_bytes + text.size() > max_cached_bytes)
        clear();
    cached_bytes += text.size();
    strings.emplace(std::move(text), JSStringRetain(string));
    return string;
}

void script_source_cache::clear()
{
    for (const auto& entry : strings)
        JSStringRelease(entry.second);
    strings.clear();
    cached_bytes = 0;
}
