// demo_dat_writer: packed data file builder for tests, on zlib's compress.
#include "support/demo_dat_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <zlib.h>

namespace {

constexpr size_t name_field_size = 200;

void append_le32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

} // namespace

std::string demo_dat_writer::compress(const std::string& content)
{
    uLongf length = compressBound(static_cast<uLong>(content.size()));
    std::string stream(length, '\0');
    if (::compress(reinterpret_cast<Bytef*>(stream.data()), &length,
                   reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size())) != Z_OK) {
        std::fprintf(stderr, "demo_dat_writer: compress failed\n");
        std::abort();
    }
    stream.resize(length);
    return stream;
}

demo_dat_writer_entry& demo_dat_writer::add(const std::string& name, const std::string& content)
{
    demo_dat_writer_entry entry;
    entry.name = name;
    entry.content = content;
    entry.stream = compress(content);
    entry.size = static_cast<uint32_t>(content.size());
    entry.compressed_size = static_cast<uint32_t>(entry.stream.size());
    entries.push_back(entry);
    return entries.back();
}

demo_dat_writer_entry& demo_dat_writer::add(const std::string& name, const std::vector<uint8_t>& content)
{
    return add(name, std::string(content.begin(), content.end()));
}

size_t demo_dat_writer::data_offset() const
{
    return 8 + 212 * entries.size();
}

std::string demo_dat_writer::bytes() const
{
    std::string out = magic.substr(0, 4);
    out.resize(4, '\0');
    append_le32(out, count.value_or(static_cast<uint32_t>(entries.size())));
    for (const demo_dat_writer_entry& entry : entries) {
        append_le32(out, entry.size);
        append_le32(out, entry.compressed_size);
        append_le32(out, entry.reserved);
        std::string name = entry.name.substr(0, name_field_size);
        name.resize(name_field_size, entry.name_terminated ? '\0' : 'x');
        if (entry.name_terminated)
            name.back() = '\0';
        out += name;
    }
    for (const demo_dat_writer_entry& entry : entries)
        out += entry.stream;
    return out + trailing;
}

void demo_dat_writer::write(const std::string& path, std::optional<size_t> length) const
{
    std::string data = bytes();
    if (length && *length < data.size())
        data.resize(*length);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) {
        std::fprintf(stderr, "demo_dat_writer: cannot write %s\n", path.c_str());
        std::abort();
    }
}
