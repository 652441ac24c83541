// Extracting and testing whole entries.
#include "zip/ZipArchive.h"

#include "app/String.h"
#include "zip/ZipEntryState.h"
#include "zip/ZipNames.h"
#include "zip/crypto/Decryptor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using Detail = CZipException::Detail;

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now; false when the system reports a failed write at close.
    bool closeNow() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string trimTrailingSlashes(std::string text) {
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// The name as a message can carry it: a NUL would end the message early and control bytes
// would reach the terminal, so both are written as \xNN.
std::string printableName(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

[[noreturn]] void refuseName(const std::string& name, const std::string& reason) {
    throw CZipException(CZipException::generic,
                        "refused to extract \"" + printableName(name) + "\": " + reason, {},
                        Detail::unsafeName);
}

[[noreturn]] void cannotCreate(const std::string& what, const std::string& path, int error) {
    throw CZipFileException(CZipFileException::Cause::cannotCreate,
                            "cannot " + what + " " + path + ": " + std::strerror(error), path,
                            error);
}

// Re-raises the current engine error with a note that the partial file is gone.
[[noreturn]] void rethrowWithNote(const char* note) {
    try {
        throw;
    } catch (const CZipException& e) {
        throw CZipException(e.code(), std::string(e.what()) + note, e.path(), e.detail());
    } catch (const CZipFileException& e) {
        throw CZipFileException(e.cause(), std::string(e.what()) + note, e.path(), e.osError());
    }
}

void createParentFolders(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error)
        cannotCreate("create the folder", parent.string(), error.value());
}

// Opens the file an entry goes to, with its folders, without emptying an existing one. The
// open is tried first: when the folder and file are new or plain, as for nearly every entry
// of a bulk extraction, nothing else touches the file system.
int openDestination(const std::string& destination, bool& created) {
    constexpr int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
    bool foldersMade = false;
    bool linkRemoved = false;
    for (;;) {
        int fd = ::open(destination.c_str(), flags | O_CREAT | O_EXCL, 0644);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST)
            fd = ::open(destination.c_str(), flags);
        if (fd >= 0)
            return fd;
        if ((errno == ENOENT || errno == ENOTDIR) && !foldersMade) {
            createParentFolders(destination);
            foldersMade = true;
            continue;
        }
        // Never write through a link that stands where the file goes.
        struct stat existing {};
        if (errno == ELOOP && !linkRemoved && ::lstat(destination.c_str(), &existing) == 0 &&
            S_ISLNK(existing.st_mode)) {
            ::unlink(destination.c_str());
            linkRemoved = true;
            continue;
        }
        cannotCreate("create", destination, errno);
    }
}

} // namespace

std::string CZipArchive::destinationPath(uint32_t index, const std::string& folder, bool keepPath,
                                         const std::string& newName) const {
    CZipFileHeader header;
    if (!getEntryInfo(header, index))
        throw CZipException(CZipException::generic, "no such entry", storage_.currentPath(),
                            Detail::noArchive);
    const std::string name = newName.empty() ? header.name() : newName;
    std::string relative = trimTrailingSlashes(name);
    if (!keepPath)
        relative = std::string(zipnames::lastComponent(relative));
    if (const std::string reason = zipnames::unsafeNameReason(relative); !reason.empty())
        refuseName(name, reason);
    if (relative == "." || relative == "/")
        refuseName(name, "the name names no file");
    std::string base = folder;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + "/" + relative;
}

bool CZipArchive::extractFolder(const CZipFileHeader& header, const std::string& destination) {
    std::error_code error;
    std::filesystem::create_directories(destination, error);
    if (error || !std::filesystem::is_directory(destination)) {
        lastError_ = "cannot create the folder " + destination;
        return false;
    }
    // The owner keeps full access so that the entries inside can still be written.
    if (header.madeOnUnix() && (header.unixMode() & 0777) != 0)
        ::chmod(destination.c_str(), (header.unixMode() & 0777) | 0700);
    return true;
}

bool CZipArchive::extractEntry(uint32_t index, const std::string& folder, bool keepPath,
                               const std::string& newName, const ProgressCallback& callback,
                               void* userValue, uint32_t bufferSize) {
    lastError_.clear();
    if (bufferSize == 0 || folder.empty()) {
        lastError_ = "no destination folder or buffer";
        return false;
    }
    if (isClosed() || index >= centralDir_.count()) {
        lastError_ = "no such entry";
        return false;
    }
    const CZipFileHeader& header = *centralDir_.entry(index);
    const std::string destination = destinationPath(index, folder, keepPath, newName);
    if (header.isDirectory())
        return extractFolder(header, destination);
    // The file is opened before anything is fetched: a destination that cannot be written
    // costs no download. An existing file keeps its bytes until the entry's data flows.
    bool created = false;
    FileDescriptor file(openDestination(destination, created));
    try {
        if (!openEntry(index)) {
            lastError_ = "another entry is being read";
            if (created)
                ::unlink(destination.c_str());
            return false;
        }
    } catch (...) {
        if (created)
            ::unlink(destination.c_str());
        throw;
    }
    if (!created && ::ftruncate(file.get(), 0) != 0) {
        abandonEntry();
        cannotCreate("write", destination, errno);
    }
    bool stopped = false;
    int result = closeNothingOpen;
    try {
        stopped = !copyToFile(file.get(), callback, userValue, bufferSize);
        if (!file.closeNow())
            cannotCreate("write", destination, errno);
        result = closeEntry(destination, false);
    } catch (...) {
        abandonEntry();
        ::unlink(destination.c_str());
        rethrowWithNote("; the partial file was deleted");
    }
    if (result == closeIncomplete) {
        ::unlink(destination.c_str());
        lastError_ = stopped ? "stopped; the partial file was deleted"
                             : "the entry's data ended early; the partial file was deleted";
        return false;
    }
    if (result == closeNothingOpen)
        lastError_ = "the file's modification time could not be set";
    else if (result == closeAttributesFailed)
        lastError_ = "the file's permissions could not be set";
    return result == closeComplete;
}

// False when the callback stopped the copy.
bool CZipArchive::copyToFile(int fd, const ProgressCallback& callback, void* userValue,
                             uint32_t bufferSize) {
    // Not zero-filled: a large buffer zeroed for each of many small entries cost more than
    // reading them.
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(bufferSize);
    uint64_t done = 0;
    uint32_t n = 0;
    do {
        n = readEntryData(buffer.get(), bufferSize);
        if (!writeAllBytes(fd, buffer.get(), n))
            cannotCreate("write", "the extracted file", errno);
        done += n;
        if (callback && !callback(nullptr, done, userValue))
            return false;
    } while (n == bufferSize);
    return true;
}

bool CZipArchive::readWholeEntry(const ProgressCallback& callback, void* userValue,
                                 uint32_t bufferSize, uint32_t& crc) {
    const auto scratch = std::make_unique_for_overwrite<unsigned char[]>(bufferSize);
    crc = 0;
    uint64_t done = 0;
    uint32_t n = 0;
    do {
        n = readEntryData(scratch.get(), bufferSize);
        crc = crc32(crc, scratch.get(), n);
        done += n;
        if (callback && !callback(nullptr, done, userValue))
            return false;
    } while (n == bufferSize);
    return true;
}

bool CZipArchive::testEntry(uint32_t index, const ProgressCallback& callback, void* userValue,
                            uint32_t bufferSize) {
    lastError_.clear();
    if (bufferSize == 0) {
        lastError_ = "no buffer";
        return false;
    }
    if (isClosed() || index >= centralDir_.count())
        throw std::invalid_argument("no such entry");
    const CZipFileHeader& header = *centralDir_.entry(index);
    if (header.isDirectory()) {
        if (header.compressedSize == 0 && header.uncompressedSize == 0)
            return true;
        throw CZipException(CZipException::generic, "the folder entry holds data",
                            storage_.currentPath(), Detail::folderHasData);
    }
    if (!openEntry(index)) {
        lastError_ = "another entry is being read";
        return false;
    }
    try {
        uint32_t crc = 0;
        const bool complete = readWholeEntry(callback, userValue, bufferSize, crc);
        const int result = closeEntry({}, false);
        if (!complete || result != closeComplete) {
            lastError_ = !complete ? "stopped" : "the entry's data ended early";
            return false;
        }
        return !zipcrypto::crcIsChecked(header) || crc == header.crc32;
    } catch (...) {
        abandonEntry();
        throw;
    }
}
