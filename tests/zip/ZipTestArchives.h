// The archives made by tests/support/make_archives.py, made once per build folder and shared
// by every test process, and what Python's zipfile reads in them.
#pragma once

#include "memory/MemorySource.h"
#include "zip/ZipArchive.h"

#include <string>
#include <vector>

namespace mgtest {

struct ManifestEntry {
    std::string archive;
    std::string name;
    bool isDirectory = false;
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    int method = 0;
    std::string time; // YYYY-MM-DDTHH:MM:SS
    std::string mode; // octal Unix mode, or "-"
};

// The folder holding <name>.zip and manifest.tsv (made on first use).
const std::string& archiveFolder();
std::vector<unsigned char> archiveBytes(const std::string& name);
const std::vector<ManifestEntry>& manifest();
std::vector<ManifestEntry> manifestOf(const std::string& archive);
uint32_t crcOfFile(const std::string& path);

// A generated archive served from memory, with the engine over it.
class ArchiveUnderTest {
public:
    explicit ArchiveUnderTest(const std::string& name) : source(archiveBytes(name)) {}
    // Opens it as the open job does; exceptions propagate.
    void open() { archive.open(String("http://127.0.0.1/archive.zip")); }
    // Opens it and fails the test unless it opened.
    void openOrFail();
    int32_t indexOf(const std::string& name) { return archive.findEntry(name, true); }

    MemorySource source;
    CZipArchive archive{source};
};

} // namespace mgtest
