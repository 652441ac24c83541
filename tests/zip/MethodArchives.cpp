#include "MethodArchives.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace mgtest {
namespace {

namespace fs = std::filesystem;

// Test processes run in parallel: one makes the archives while the others wait on the lock.
void makeOnce(const fs::path& folder) {
    fs::create_directories(folder.parent_path());
    const std::string lockPath = folder.string() + ".lock";
    const int lock = ::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock " + lockPath);
    std::error_code error;
    const auto made = fs::last_write_time(folder / "done", error);
    if (error || made < fs::last_write_time(MG_MAKE_METHOD_ARCHIVES)) {
        const fs::path fresh = folder.string() + ".new";
        fs::remove_all(fresh);
        const CommandResult result =
            runCommand({DebianPython, MG_MAKE_METHOD_ARCHIVES, fresh.string()});
        if (result.exitCode != 0) {
            ::close(lock);
            throw std::runtime_error("make_method_archives.py failed: " + result.output);
        }
        writeFile((fresh / "done").string(), "");
        fs::remove_all(folder);
        fs::rename(fresh, folder);
    }
    ::close(lock);
}

} // namespace

const std::string& methodArchiveFolder() {
    static const std::string folder = [] {
        makeOnce(MG_METHOD_ARCHIVE_DIR);
        return std::string(MG_METHOD_ARCHIVE_DIR);
    }();
    return folder;
}

std::vector<unsigned char> methodArchiveBytes(const std::string& name) {
    const std::string bytes = readFile(methodArchiveFolder() + "/" + name + ".zip");
    return {bytes.begin(), bytes.end()};
}

std::string plainContents(const std::string& name) {
    const std::string src = methodArchiveFolder() + "/src/";
    if (name == "both.bin")
        return readFile(src + "text.txt") + readFile(src + "repeat.bin");
    return readFile(src + name);
}

std::size_t centralHeaderOf(const std::vector<unsigned char>& bytes, const std::string& name) {
    auto le = [&bytes](std::size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | bytes[at + i];
        return std::size_t(v);
    };
    const std::size_t end = bytes.size() - 22;
    for (std::size_t at = le(end + 16, 4); at < end;
         at += 46 + le(at + 28, 2) + le(at + 30, 2) + le(at + 32, 2)) {
        if (std::string(bytes.begin() + long(at) + 46,
                        bytes.begin() + long(at + 46 + le(at + 28, 2))) == name)
            return at;
    }
    throw std::runtime_error("no central header for " + name);
}

MethodArchive::MethodArchive(std::vector<unsigned char> bytes) : source(std::move(bytes)) {
    archive.open(String("http://127.0.0.1/archive.zip"));
    if (archive.isClosed())
        throw std::runtime_error("the archive did not open");
}

uint16_t MethodArchive::indexOf(const std::string& name) {
    const int32_t index = archive.findEntry(name, true);
    if (index < 0)
        throw std::runtime_error("no entry " + name);
    return static_cast<uint16_t>(index);
}

} // namespace mgtest
