// The archives of every method and encryption made by tests/support/make_method_archives.py
// (7-Zip, Info-ZIP, Python's zipfile, the xz and zstd tools), made once per build folder.
#pragma once

#include "memory/MemorySource.h"
#include "zip/ZipArchive.h"

#include <string>
#include <vector>

namespace mgtest {

// The folder holding <name>.zip and src/ with the plain files.
const std::string& methodArchiveFolder();
std::vector<unsigned char> methodArchiveBytes(const std::string& name);
// What the entry `name` must read as: src/'s file of that name ("both.bin" is two of them).
std::string plainContents(const std::string& name);

// Where the central header of the entry `name` starts in an archive without a comment.
std::size_t centralHeaderOf(const std::vector<unsigned char>& bytes, const std::string& name);

// An archive (or changed bytes of one) served from memory, opened.
struct MethodArchive {
    explicit MethodArchive(const std::string& name) : MethodArchive(methodArchiveBytes(name)) {}
    explicit MethodArchive(std::vector<unsigned char> bytes);
    uint16_t indexOf(const std::string& name);

    MemorySource source;
    CZipArchive archive{source};
};

} // namespace mgtest
