#include "Manifest.h"

#include "CoreTestSupport.h"

#include <fstream>
#include <sstream>

namespace coretest {

std::vector<ManifestEntry> manifestOf(const std::string& archive) {
    std::ifstream in(archivesDir() + "/manifest.tsv");
    std::vector<ManifestEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, isDir, size, packed;
        std::string file;
        if (!std::getline(fields, file, '\t') || (file != archive && file != archive + ".zip"))
            continue;
        std::getline(fields, name, '\t');
        std::getline(fields, isDir, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, packed, '\t');
        entries.push_back(
            {name, isDir == "1" || isDir == "True", std::stoull(size), std::stoull(packed)});
    }
    return entries;
}

} // namespace coretest
