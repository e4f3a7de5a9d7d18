// script_text: UTF-8 <-> UTF-16 for script sources, printed text and error
// texts. The engine's own UTF-8 conversions give up on the whole string at
// the first bad byte or lone surrogate; these replace just that unit.
#include "scripting/script_text.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t replacement_character = 0xFFFD;

bool is_continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at s (Unicode's table of valid
// byte ranges: no overlong forms, no surrogates, nothing past U+10FFFF), or 0.
size_t valid_sequence_length(const unsigned char* s, size_t left)
{
    const unsigned char lead = s[0];
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || s[1] < low || s[1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (!is_continuation(s[k]))
            return 0;
    return length;
}

uint32_t decode_sequence(const unsigned char* s, size_t length)
{
    static const unsigned char lead_mask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t code = s[0] & lead_mask[length];
    for (size_t k = 1; k < length; ++k)
        code = (code << 6) | (s[k] & 0x3F);
    return code;
}

void append_utf16(std::vector<JSChar>& out, uint32_t code)
{
    if (code < 0x10000) {
        out.push_back(static_cast<JSChar>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<JSChar>(0xD800 + (code >> 10)));
    out.push_back(static_cast<JSChar>(0xDC00 + (code & 0x3FF)));
}

void append_utf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool is_high_surrogate(JSChar unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(JSChar unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

JSStringRef script_text_create(const char* utf8)
{
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    const size_t size = std::strlen(utf8);
    std::vector<JSChar> units;
    units.reserve(size);
    for (size_t i = 0; i < size;) {
        const size_t length = valid_sequence_length(s + i, size - i);
        if (length == 0) {
            append_utf16(units, replacement_character);
            ++i;
            continue;
        }
        append_utf16(units, decode_sequence(s + i, length));
        i += length;
    }
    return JSStringCreateWithCharacters(units.data(), units.size());
}

std::string script_text_utf8(JSStringRef text)
{
    const JSChar* units = JSStringGetCharactersPtr(text);
    const size_t count = JSStringGetLength(text);
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const JSChar unit = units[i];
        if (is_high_surrogate(unit) && i + 1 < count && is_low_surrogate(units[i + 1])) {
            append_utf8(out, 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            append_utf8(out, replacement_character);
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

std::string script_text_of_value(JSContextRef ctx, JSValueRef value)
{
    JSValueRef exception = nullptr;
    JSStringRef text = JSValueToStringCopy(ctx, value, &exception);
    if (!text)
        return std::string();
    std::string bytes = script_text_utf8(text);
    JSStringRelease(text);
    return bytes;
}
