// Builds small archives byte by byte, with whatever sizes the central directory should claim:
// the list only reads the directory, so rows can show sizes no test could afford to serve.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coretest {

struct RawEntry {
    std::string name;
    std::string data;         // the bytes as stored, whatever the method
    int64_t claimedSize = -1; // uncompressed size in the directory; -1: data's size
    uint32_t externalAttributes = 0x20;
    int64_t crc = -1;        // -1: the data's CRC-32
    uint16_t method = 0;     // stored
    uint16_t flags = 0x0800; // UTF-8 names
};

std::vector<unsigned char> buildZip(const std::vector<RawEntry>& entries);

} // namespace coretest
