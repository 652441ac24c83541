// The archive's entries as text: a table like `unzip -l` with the viewer's columns, or one
// tab-separated line per file for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CZipArchive;

struct ListedEntry {
    std::string fullName; // "/" separators
    std::string name;     // last component
    std::string path;     // folder part with a trailing "/", or empty
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    uint16_t method = 0;
    std::string modified; // YYYY-MM-DDTHH:MM:SS
};

// The file entries (folders skipped, as the viewer lists them), in archive order.
std::vector<ListedEntry> collectFileEntries(CZipArchive& archive);

std::string formatTable(const std::vector<ListedEntry>& entries);
std::string formatTsv(const std::vector<ListedEntry>& entries);

// The text with control bytes (below 0x20, and 0x7F) written as \xNN: archive names are
// untrusted and must not steer the terminal, nor cut a line short at a NUL.
std::string printable(const std::string& text);

// "1,234,567"
std::string withThousandsSeparators(uint64_t value);
// "96 %": percent compressed, truncated toward zero.
std::string rateText(uint64_t packed, uint64_t size);
