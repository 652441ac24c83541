// The extra field of a local or central header: a run of blocks, each a 2-byte id, a 2-byte
// length and that many bytes of data. Readers of particular blocks (ZIP64 sizes, the Unicode
// path, time stamps, and any later one) walk it with these helpers, which never read past
// the field whatever its bytes say.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zipextra {

constexpr uint16_t zip64Id = 0x0001;       // 64-bit sizes, offset and disk number
constexpr uint16_t ntfsId = 0x000A;        // NTFS times (100 ns ticks since 1601, UTC)
constexpr uint16_t unixTimeId = 0x5455;    // extended timestamp ("UT"): Unix seconds, UTC
constexpr uint16_t unicodePathId = 0x7075; // Info-ZIP Unicode path ("up")

// Calls `visit` for each whole block in order until it returns false. A block whose stated
// length runs past the field ends the walk (what follows cannot be trusted).
void forEachBlock(std::string_view extra,
                  const std::function<bool(uint16_t id, std::string_view data)>& visit);
// The data of the first block with `id`, or nothing.
std::optional<std::string_view> findBlock(std::string_view extra, uint16_t id);

// The fields of the ZIP64 block. Each is present in the block only where the header's 32-bit
// field holds its maximum (0xFFFFFFFF; 0xFFFF for the disk number), in this order.
struct Zip64Values {
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
    uint32_t diskStart = 0;
};
// Which of those the header says the block holds.
struct Zip64Wanted {
    bool uncompressedSize = false;
    bool compressedSize = false;
    bool localHeaderOffset = false;
    bool diskStart = false;
    bool any() const {
        return uncompressedSize || compressedSize || localHeaderOffset || diskStart;
    }
};
// Reads the wanted values from the ZIP64 block of `extra` into `values` (the others are left
// alone). False when a value is wanted and the block is too short for it. Without a block
// the values stay as they stand: a few writers store a maximum as a plain value, and the
// checks on sizes and offsets judge it then.
bool readZip64(std::string_view extra, const Zip64Wanted& wanted, Zip64Values& values);

// The name from the Unicode path block when it belongs to `rawName` (its CRC-32 of the raw
// name matches) and is well-formed UTF-8; a stale block (the name was changed by a tool that
// did not know the block) is ignored.
std::optional<std::string> unicodePath(std::string_view extra, std::string_view rawName);

// A modification time in UTC.
struct UtcTime {
    int64_t seconds = 0; // since 1970-01-01
    uint32_t nanoseconds = 0;
};
// From the extended timestamp block, else the NTFS block; nothing when neither gives one.
std::optional<UtcTime> modificationTime(std::string_view extra);

} // namespace zipextra
