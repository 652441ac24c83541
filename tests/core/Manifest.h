// Reads manifest.tsv of the test archives: what Python's zipfile sees in each archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coretest {

struct ManifestEntry {
    std::string name;
    bool isDirectory = false;
    uint64_t size = 0;
    uint64_t packed = 0;
};

std::vector<ManifestEntry> manifestOf(const std::string& archive);

} // namespace coretest
