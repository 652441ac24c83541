// Zip archives written byte by byte, for the shapes no honest writer makes: lying sizes,
// shared local headers, directories that point past the archive, names with any bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostile {

struct Entry {
    std::string name;
    std::string data;                  // the uncompressed bytes
    bool deflate = false;              // else stored
    std::optional<std::string> packed; // the bytes stored as data (default: data, deflated)
    std::optional<uint32_t> size;      // declared uncompressed size (default: data's)
    std::optional<uint32_t> crc;       // declared CRC-32 (default: data's)
    uint16_t flags = 0;
    uint32_t unixMode = 0100644;    // 0: made on MS-DOS, no mode
    std::optional<uint32_t> offset; // the central header's local header offset
    bool writeLocal = true;         // false: only a central header (shares another's data)
};

struct Layout {
    int64_t directoryOffsetShift = 0; // added to the end record's directory offset
    std::optional<uint32_t> directorySize;
    std::optional<uint16_t> count; // the end record's entry count
};

std::string build(const std::vector<Entry>& entries, const Layout& layout = {});

std::string deflateRaw(const std::string& data);
uint32_t crcOf(const std::string& data);

// The uncompressed bytes `entries` declare, together.
uint64_t declaredTotal(const std::vector<Entry>& entries);

} // namespace hostile
