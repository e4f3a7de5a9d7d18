// demo_dat_writer: builds a packed "demo.dat" for tests from (name, bytes)
// pairs, each stream made with zlib's compress. Every header and record field
// can be changed before writing, and the result cut short, to make damaged files.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// One file of the packed data file; the fields start out consistent with
// content and may be changed to damage the record.
struct demo_dat_writer_entry {
    std::string name;             // stored in the 200-byte name field
    std::string content;          // the file's bytes
    std::string stream;           // zlib stream of content (written to the data area)
    uint32_t size = 0;            // recorded inflated length (content's length)
    uint32_t compressed_size = 0; // recorded stream length (stream's length)
    uint32_t reserved = 0;        // third record field
    bool name_terminated = true;  // false: the name field is filled to its end with no NUL
};

class demo_dat_writer {
public:
    // Adds a file; the reference stays valid while the writer lives.
    demo_dat_writer_entry& add(const std::string& name, const std::string& content);
    demo_dat_writer_entry& add(const std::string& name, const std::vector<uint8_t>& content);

    // The whole file: header, records, streams, then trailing.
    std::string bytes() const;
    // Writes bytes() (cut to its first `length` bytes when given) to path.
    void write(const std::string& path = "demo.dat",
               std::optional<size_t> length = std::nullopt) const;

    // Offset of the data area (just after the last record written).
    size_t data_offset() const;

    // zlib's compress of content.
    static std::string compress(const std::string& content);

    std::string magic = "NMB3";          // the first four bytes (padded or cut to four)
    std::optional<uint32_t> count;       // recorded count; the number of entries unless set
    std::string trailing;                // bytes after the last stream
    std::deque<demo_dat_writer_entry> entries; // in record order
};
