#include "ZipTestArchives.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

namespace mgtest {
namespace {

namespace fs = std::filesystem;

bool upToDate(const fs::path& manifestPath) {
    std::error_code error;
    const auto made = fs::last_write_time(manifestPath, error);
    if (error)
        return false;
    return made >= fs::last_write_time(MG_MAKE_ARCHIVES);
}

// Test processes run in parallel: one makes the archives while the others wait on the lock.
void makeArchivesOnce(const fs::path& folder) {
    fs::create_directories(folder.parent_path());
    const std::string lockPath = folder.string() + ".lock";
    const int lock = ::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock " + lockPath);
    if (!upToDate(folder / "manifest.tsv")) {
        const fs::path fresh = folder.string() + ".new";
        fs::remove_all(fresh);
        const CommandResult result = runCommand({DebianPython, MG_MAKE_ARCHIVES, fresh.string()});
        if (result.exitCode != 0) {
            ::close(lock);
            throw std::runtime_error("make_archives.py failed: " + result.output);
        }
        fs::remove_all(folder);
        fs::rename(fresh, folder);
    }
    ::close(lock);
}

std::vector<ManifestEntry> readManifest() {
    std::ifstream in(archiveFolder() + "/manifest.tsv");
    std::vector<ManifestEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t'))
            fields.push_back(field);
        if (fields.size() != 9)
            continue;
        entries.push_back({fields[0], fields[1], fields[2] == "1", std::stoull(fields[3]),
                           std::stoull(fields[4]),
                           static_cast<uint32_t>(std::stoul(fields[5], nullptr, 16)),
                           std::stoi(fields[6]), fields[7], fields[8]});
    }
    return entries;
}

} // namespace

const std::string& archiveFolder() {
    static const std::string folder = [] {
        makeArchivesOnce(MG_ZIP_ARCHIVE_DIR);
        return std::string(MG_ZIP_ARCHIVE_DIR);
    }();
    return folder;
}

std::vector<unsigned char> archiveBytes(const std::string& name) {
    std::ifstream in(archiveFolder() + "/" + name + ".zip", std::ios::binary);
    if (!in)
        throw std::runtime_error("no archive " + name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::vector<ManifestEntry>& manifest() {
    static const std::vector<ManifestEntry> entries = readManifest();
    return entries;
}

std::vector<ManifestEntry> manifestOf(const std::string& archive) {
    std::vector<ManifestEntry> result;
    for (const ManifestEntry& entry : manifest())
        if (entry.archive == archive)
            result.push_back(entry);
    return result;
}

uint32_t crcOfFile(const std::string& path) {
    const std::string bytes = readFile(path);
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

} // namespace mgtest

#include <gtest/gtest.h>

void mgtest::ArchiveUnderTest::openOrFail() {
    ASSERT_NO_THROW(open());
    ASSERT_FALSE(archive.isClosed());
}
