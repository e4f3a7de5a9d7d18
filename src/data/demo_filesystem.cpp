// demo_filesystem: packed "demo.dat" reader and loose-file reader.
// Depends on zlib's uncompress, the C runtime's file functions and print_line.
#include "data/demo_filesystem.h"

#include "platform/open_file_size.h"
#include "platform/print_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <zlib.h>

namespace {

constexpr char demo_dat_magic[4] = {'N', 'M', 'B', '3'};
constexpr uint64_t demo_dat_header_size = 8;   // magic and count
constexpr uint64_t demo_dat_record_size = 212; // size, compressed_size, reserved, name
constexpr size_t demo_dat_name_size = 200;
// Deflate cannot expand its input by more than about 1032 to 1, so a record
// claiming more than that is damaged (and would allocate without bound).
constexpr uint64_t max_inflate_ratio = 1032;

void report_not_valid()
{
    std::printf("\nERROR: demo.dat doesn't look valid!\n");
}

uint32_t read_le32(const unsigned char* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// An uninitialised buffer of size bytes for a read or an inflation that
// fills it whole; false when it cannot be allocated.
bool allocate_unfilled(std::unique_ptr<uint8_t[]>& bytes, uint32_t size)
{
    bytes.reset(new (std::nothrow) uint8_t[size]);
    return bytes != nullptr;
}

// Room for size bytes without filling it; false when it cannot be allocated.
bool reserve_bytes(std::vector<uint8_t>& bytes, uint64_t size)
{
    if (size > bytes.max_size())
        return false;
    try {
        bytes.reserve(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Appends up to size bytes read from file through a small buffer, so the
// result is written once instead of being zero-filled first. Bytes that a
// short read leaves unfilled are zero. bytes has room for size already.
void read_whole(std::FILE* file, std::vector<uint8_t>& bytes, size_t size)
{
    uint8_t chunk[1 << 16];
    while (bytes.size() < size) {
        const size_t got = std::fread(chunk, 1, std::min(sizeof chunk, size - bytes.size()), file);
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    bytes.resize(size);
}

} // namespace

// One entry of "demo.dat" in memory.
struct demo_file_entry {
    char name[demo_dat_name_size] = {}; // name from the record, NUL-terminated
    std::unique_ptr<uint8_t[]> data;     // inflated content, size bytes
    uint32_t size = 0;                   // content length after inflation
    std::unique_ptr<uint8_t[]> compressed; // the zlib stream, compressed_size bytes
    uint32_t compressed_size = 0;        // stream length
    uint32_t reserved = 0;               // third record field, never interpreted
    demo_file_entry* next = nullptr;     // following entry in file order
};

struct demo_filesystem_state {
    int32_t mode = demo_filesystem_not_opened; // a demo_filesystem_mode
    demo_file_entry* last = nullptr;           // last entry (packed mode only)
    demo_file_entry* first = nullptr;          // first entry (packed mode only)
    uint32_t count = 0;                        // entry count from the header
    std::FILE* file = nullptr;                 // "demo.dat" while open runs

    ~demo_filesystem_state() { release_entries(); }

    bool read_header();
    bool read_record(uint64_t file_size, uint64_t& data_size);
    bool inflate_entries();
    void append_entry(demo_file_entry* entry);
    void release_entries();
    const demo_file_entry* find_entry(const std::string& path) const;
};

// Reads the header and every record. Beyond the magic and a non-zero count,
// it checks that the records and their streams fit in the file before
// anything is allocated; any damage is reported and leaves no entries.
bool demo_filesystem_state::read_header()
{
    if (file == nullptr)
        return false;
    int64_t file_size = open_file_size(file);
    std::fseek(file, 0, SEEK_SET);
    unsigned char header[demo_dat_header_size];
    size_t got = std::fread(header, 1, sizeof header, file);
    if (got < sizeof demo_dat_magic || std::memcmp(header, demo_dat_magic, sizeof demo_dat_magic) != 0) {
        report_not_valid();
        return false;
    }
    if (got < sizeof header || file_size < 0) {
        report_not_valid();
        return false;
    }
    count = read_le32(header + 4);
    if (count == 0)
        return false;
    uint64_t data_start = demo_dat_header_size + demo_dat_record_size * count;
    uint64_t data_size = 0;
    bool valid = data_start <= static_cast<uint64_t>(file_size);
    for (uint32_t i = 0; valid && i < count; ++i)
        valid = read_record(static_cast<uint64_t>(file_size), data_size);
    if (valid && data_start + data_size > static_cast<uint64_t>(file_size))
        valid = false;
    if (!valid) {
        release_entries();
        report_not_valid();
        return false;
    }
    return true;
}

// Reads one record into a new entry at the end of the list and adds its
// stream length to data_size; false when the record is damaged.
bool demo_filesystem_state::read_record(uint64_t file_size, uint64_t& data_size)
{
    unsigned char record[demo_dat_record_size];
    if (std::fread(record, 1, sizeof record, file) != sizeof record)
        return false;
    demo_file_entry* entry = new (std::nothrow) demo_file_entry;
    if (entry == nullptr)
        return false;
    append_entry(entry);
    entry->size = read_le32(record);
    entry->compressed_size = read_le32(record + 4);
    entry->reserved = read_le32(record + 8);
    std::memcpy(entry->name, record + 12, demo_dat_name_size);
    if (std::memchr(entry->name, '\0', demo_dat_name_size) == nullptr)
        return false;
    if (entry->size > max_inflate_ratio * entry->compressed_size)
        return false;
    data_size += entry->compressed_size;
    return data_size <= file_size;
}

// Reads every entry's stream (the file is positioned at the data area once
// the records are read) and inflates it to exactly its recorded size.
bool demo_filesystem_state::inflate_entries()
{
    for (demo_file_entry* entry = first; entry != nullptr; entry = entry->next) {
        // Neither buffer is zero-filled: a short read or a short inflation
        // rejects the whole file, so no unfilled byte is ever read.
        if (!allocate_unfilled(entry->compressed, entry->compressed_size) ||
            !allocate_unfilled(entry->data, entry->size))
            return false;
        if (std::fread(entry->compressed.get(), 1, entry->compressed_size, file) != entry->compressed_size)
            return false;
        uLongf inflated = entry->size;
        int result = uncompress(entry->data.get(), &inflated, entry->compressed.get(), entry->compressed_size);
        if (result != Z_OK || inflated != entry->size)
            return false;
    }
    return true;
}

void demo_filesystem_state::append_entry(demo_file_entry* entry)
{
    if (first == nullptr)
        first = entry;
    else
        last->next = entry;
    last = entry;
}

void demo_filesystem_state::release_entries()
{
    demo_file_entry* entry = first;
    while (entry != nullptr) {
        demo_file_entry* next = entry->next;
        delete entry;
        entry = next;
    }
    first = nullptr;
    last = nullptr;
}

const demo_file_entry* demo_filesystem_state::find_entry(const std::string& path) const
{
    for (const demo_file_entry* entry = first; entry != nullptr; entry = entry->next) {
        size_t length = strnlen(entry->name, demo_dat_name_size);
        if (length == path.size() && std::memcmp(entry->name, path.data(), length) == 0)
            return entry;
    }
    return nullptr;
}

demo_filesystem::demo_filesystem() : state(new demo_filesystem_state) {}

// Entries that close did not release are freed here too, so an engine whose
// start-up failed before shutdown leaks nothing.
demo_filesystem::~demo_filesystem() = default;

bool demo_filesystem::open()
{
    print_line("----===== DEMO FILE SYSTEM (open)=====----- ");
    state->file = std::fopen("demo.dat", "rb");
    // A folder named "demo.dat" opens on some hosts but is no file.
    if (state->file != nullptr && open_file_size(state->file) < 0) {
        std::fclose(state->file);
        state->file = nullptr;
    }
    state->mode = demo_filesystem_loose;
    if (state->file != nullptr && state->read_header()) {
        if (state->inflate_entries()) {
            state->mode = demo_filesystem_packed;
        } else {
            state->release_entries();
            report_not_valid();
        }
    }
    if (state->file != nullptr) {
        std::fclose(state->file);
        state->file = nullptr;
    }
    return true;
}

bool demo_filesystem::close()
{
    if (state->mode == demo_filesystem_packed)
        state->release_entries();
    print_line("----===== DEMO FILE SYSTEM (close)=====----- ");
    return true;
}

std::vector<uint8_t> demo_filesystem::read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (state->mode == demo_filesystem_packed) {
        const demo_file_entry* entry = state->find_entry(path);
        if (entry != nullptr && entry->size > 0 && reserve_bytes(bytes, entry->size))
            bytes.assign(entry->data.get(), entry->data.get() + entry->size);
        return bytes;
    }
    if (!read_loose_file(path, UINT64_MAX, bytes))
        print_line("ERROR(FILE_NOT_FOUND):" + path);
    return bytes;
}

bool read_loose_file(const std::string& path, uint64_t max_size, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    // A NUL inside the path would silently open a shorter name.
    std::FILE* file = path.find('\0') == std::string::npos ? std::fopen(path.c_str(), "rb") : nullptr;
    const int64_t size = file != nullptr ? open_file_size(file) : -1;
    const bool readable = size >= 0 && static_cast<uint64_t>(size) <= max_size &&
                          reserve_bytes(bytes, static_cast<uint64_t>(size));
    if (readable)
        read_whole(file, bytes, static_cast<size_t>(size));
    if (file != nullptr)
        std::fclose(file);
    return readable;
}

std::string demo_filesystem::read_text(const std::string& path)
{
    std::vector<uint8_t> bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

int32_t demo_filesystem::get_mode() const
{
    return state->mode;
}
