#include "zip/ZipExtraField.h"

#include "zip/ZipBytes.h"
#include "zip/ZipNames.h"

#include <zlib.h>

using zipbytes::le16;
using zipbytes::le32;
using zipbytes::le64;

namespace zipextra {

namespace {

const unsigned char* bytesOf(std::string_view data) {
    return reinterpret_cast<const unsigned char*>(data.data());
}

// Seconds between 1601-01-01 and 1970-01-01, the epochs of NTFS and Unix times.
constexpr int64_t ntfsToUnixSeconds = 11644473600LL;
constexpr uint64_t ntfsTicksPerSecond = 10000000;

std::optional<UtcTime> fromUnixBlock(std::string_view data) {
    // Flags, then the times the flags name, modification time first (bit 0).
    if (data.size() < 5 || (static_cast<unsigned char>(data[0]) & 1) == 0)
        return std::nullopt;
    // A signed 32-bit count of seconds, as Info-ZIP writes it.
    return UtcTime{static_cast<int32_t>(le32(bytesOf(data) + 1)), 0};
}

std::optional<UtcTime> fromNtfsBlock(std::string_view data) {
    // 4 reserved bytes, then attributes (tag, size, data); tag 1 holds modification, access
    // and creation times of 8 bytes each.
    std::size_t pos = 4;
    while (pos + 4 <= data.size()) {
        const uint16_t tag = le16(bytesOf(data) + pos);
        const uint16_t size = le16(bytesOf(data) + pos + 2);
        pos += 4;
        if (size > data.size() - pos)
            break;
        if (tag == 1 && size >= 24) {
            const uint64_t ticks = le64(bytesOf(data) + pos);
            if (ticks == 0)
                return std::nullopt;
            return UtcTime{static_cast<int64_t>(ticks / ntfsTicksPerSecond) - ntfsToUnixSeconds,
                           static_cast<uint32_t>(ticks % ntfsTicksPerSecond) * 100};
        }
        pos += size;
    }
    return std::nullopt;
}

} // namespace

void forEachBlock(std::string_view extra,
                  const std::function<bool(uint16_t id, std::string_view data)>& visit) {
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const uint16_t id = le16(bytesOf(extra) + pos);
        const uint16_t size = le16(bytesOf(extra) + pos + 2);
        pos += 4;
        if (size > extra.size() - pos)
            return;
        if (!visit(id, extra.substr(pos, size)))
            return;
        pos += size;
    }
}

std::optional<std::string_view> findBlock(std::string_view extra, uint16_t id) {
    std::optional<std::string_view> found;
    forEachBlock(extra, [&](uint16_t blockId, std::string_view data) {
        if (blockId != id)
            return true;
        found = data;
        return false;
    });
    return found;
}

bool readZip64(std::string_view extra, const Zip64Wanted& wanted, Zip64Values& values) {
    if (!wanted.any())
        return true;
    const std::optional<std::string_view> block = findBlock(extra, zip64Id);
    if (!block)
        return true;
    const unsigned char* p = bytesOf(*block);
    std::size_t pos = 0;
    auto take = [&](bool isWanted, std::size_t width, auto& target) {
        if (!isWanted)
            return true;
        if (pos + width > block->size())
            return false;
        target = width == 8 ? le64(p + pos) : le32(p + pos);
        pos += width;
        return true;
    };
    return take(wanted.uncompressedSize, 8, values.uncompressedSize) &&
           take(wanted.compressedSize, 8, values.compressedSize) &&
           take(wanted.localHeaderOffset, 8, values.localHeaderOffset) &&
           take(wanted.diskStart, 4, values.diskStart);
}

std::optional<std::string> unicodePath(std::string_view extra, std::string_view rawName) {
    const std::optional<std::string_view> block = findBlock(extra, unicodePathId);
    // Version 1, the CRC-32 of the raw name, then the UTF-8 name.
    if (!block || block->size() < 6 || (*block)[0] != 1)
        return std::nullopt;
    const uint32_t crc = static_cast<uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(rawName.data()), static_cast<uInt>(rawName.size())));
    const std::string_view name = block->substr(5);
    if (le32(bytesOf(*block) + 1) != crc || !zipnames::isValidUtf8(name) ||
        name.find('\0') != std::string_view::npos)
        return std::nullopt;
    return std::string(name);
}

std::optional<UtcTime> modificationTime(std::string_view extra) {
    if (const auto block = findBlock(extra, unixTimeId))
        if (const auto time = fromUnixBlock(*block))
            return time;
    if (const auto block = findBlock(extra, ntfsId))
        return fromNtfsBlock(*block);
    return std::nullopt;
}

} // namespace zipextra
