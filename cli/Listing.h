// The archive's entries as text: a table like `unzip -l` with the viewer's columns, or one
// tab-separated line per file for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CZipArchive;

struct ListedEntry {
    std::string fullName; // "/" separators, as stored (escaped when shown)
    std::string name;     // last component
    std::string path;     // folder part with a trailing "/", or empty
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    uint16_t method = 0;
    std::string modified;   // YYYY-MM-DDTHH:MM:SS
    std::string methodText; // "deflate", "LZMA (AES-256)"
    bool encrypted = false;
};

// The file entries (folders skipped, as the viewer lists them), in archive order.
std::vector<ListedEntry> collectFileEntries(CZipArchive& archive);

// Encrypted entries get " *" after their name and a note under the totals; `withMethod` adds
// a Method column before the path.
std::string formatTable(const std::vector<ListedEntry>& entries, bool withMethod = false);
std::string formatTsv(const std::vector<ListedEntry>& entries);
