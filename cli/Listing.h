// The archive's entries as text: a table like `unzip -l` with the viewer's columns, or one
// tab-separated line per file for scripts.
#pragma once

#include <cstdint>
#include <functional>
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

using TextSink = std::function<void(const std::string& text)>;

// The file entries (folders skipped, as the viewer lists them), in archive order.
void forEachFileEntry(CZipArchive& archive, const std::function<void(const ListedEntry&)>& visit);

// The text goes to `sink` in pieces as it is made. Encrypted entries get " *" after their
// name and a note under the totals; `withMethod` adds a Method column before the path.
void writeTable(CZipArchive& archive, bool withMethod, const TextSink& sink);
void writeTsv(CZipArchive& archive, const TextSink& sink);
