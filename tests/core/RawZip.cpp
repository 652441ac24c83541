#include "RawZip.h"

#include <zlib.h>

namespace coretest {
namespace {

void put16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putBytes(std::vector<unsigned char>& out, const std::string& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

struct Sizes {
    uint32_t crc, packed, size;
};

Sizes sizesOf(const RawEntry& e) {
    const auto* bytes = reinterpret_cast<const Bytef*>(e.data.data());
    const uint32_t crc = e.crc >= 0 ? static_cast<uint32_t>(e.crc)
                                    : static_cast<uint32_t>(crc32(0, bytes, e.data.size()));
    const auto packed = static_cast<uint32_t>(e.data.size());
    const uint32_t size = e.claimedSize >= 0 ? static_cast<uint32_t>(e.claimedSize) : packed;
    return {crc, packed, size};
}

void putCommon(std::vector<unsigned char>& out, const RawEntry& e, const Sizes& s) {
    put16(out, 20); // version needed
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, 0);                        // time
    put16(out, (40 << 9) | (1 << 5) | 1); // 2020-01-01
    put32(out, s.crc);
    put32(out, s.packed);
    put32(out, s.size);
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, 0); // extra
}

} // namespace

std::vector<unsigned char> buildZip(const std::vector<RawEntry>& entries) {
    std::vector<unsigned char> out;
    std::vector<uint32_t> offsets;
    for (const RawEntry& e : entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        put32(out, 0x04034b50);
        putCommon(out, e, sizesOf(e));
        putBytes(out, e.name);
        putBytes(out, e.data);
    }
    const auto directory = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const RawEntry& e = entries[i];
        put32(out, 0x02014b50);
        put16(out, 20); // made by MS-DOS
        putCommon(out, e, sizesOf(e));
        put16(out, 0); // comment
        put16(out, 0); // disk
        put16(out, 0); // internal attributes
        put32(out, e.externalAttributes);
        put32(out, offsets[i]);
        putBytes(out, e.name);
    }
    const auto directorySize = static_cast<uint32_t>(out.size()) - directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, directorySize);
    put32(out, directory);
    put16(out, 0);
    return out;
}

} // namespace coretest
