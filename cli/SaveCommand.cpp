// Saving the whole archive: copied range by range (or, from a server that sends only whole
// files, with one plain GET) into a temporary file beside the target, which takes the
// target's name only once every byte has arrived. The target is settled, and an existing
// file asked about, before the archive's bytes travel.
#include "app/String.h"
#include "app/StringDisplay.h"
#include "cli/ArchiveSession.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Overwrite.h"
#include "cli/Progress.h"
#include "remote/Address.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Large ranges: each one is a request, and a request costs a round trip.
constexpr int64_t rangeSize = 16 * 1024 * 1024;

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : path_(target + ".XXXXXX") {
        fd_ = mkstemp(path_.data());
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!kept_)
            ::unlink(path_.c_str());
    }
    bool ok() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    bool write(const char* data, std::size_t n) { return writeAllBytes(fd_, data, n); }
    // Makes the file the target; false leaves the target untouched.
    bool commit(const std::string& target) {
        fchmod(fd_, 0644 & ~currentUmask());
        const bool ok = ::fsync(fd_) == 0 && ::close(fd_) == 0;
        fd_ = -1;
        kept_ = ok && std::rename(path_.c_str(), target.c_str()) == 0;
        return kept_;
    }

private:
    static mode_t currentUmask() {
        const mode_t mask = umask(0);
        umask(mask);
        return mask;
    }
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

// Empty when the copy succeeded, else why it did not.
using Outcome = std::string;

// Reads exactly n bytes of the current range; false when fewer came.
bool readRange(RangeStream* stream, char* buffer, std::size_t n) {
    while (stream && n > 0) {
        const std::size_t got = stream->read(buffer, n);
        if (got == 0)
            return false;
        buffer += got;
        n -= got;
    }
    return n == 0;
}

Outcome copyRanges(RemoteArchiveSource& source, RangeStream*& stream, TemporaryFile& file,
                   ProgressBar& bar) {
    // Several parts at once, each written in place, where the source offers it.
    const std::optional<bool> copied = source.copyWhole(file.fd(), [&](int64_t done) {
        bar.advanceTo(static_cast<uint64_t>(done));
        return !interrupted();
    });
    if (copied) {
        if (*copied)
            return {};
        if (interrupted())
            return "interrupted";
        return source.errorText().empty() ? "the server stopped serving" : source.errorText();
    }
    const int64_t length = source.length();
    std::vector<char> buffer(1 << 20);
    for (int64_t first = 0; first < length;) {
        const int64_t last = first + std::min(rangeSize, length - first);
        if (!source.requestRange(first, last, true))
            return source.errorText().empty() ? "the server stopped serving" : source.errorText();
        for (int64_t pos = first; pos < last;) {
            const auto n = static_cast<std::size_t>(
                std::min<int64_t>(last - pos, static_cast<int64_t>(buffer.size())));
            if (interrupted())
                return "interrupted";
            if (!readRange(stream, buffer.data(), n))
                return "the transfer ended after " + std::to_string(pos) + " of " +
                       std::to_string(length) + " bytes";
            if (!file.write(buffer.data(), n))
                return std::strerror(errno);
            pos += static_cast<int64_t>(n);
            bar.advanceTo(static_cast<uint64_t>(pos));
        }
        first = last;
    }
    return {};
}

// For a server that sends only whole files: one plain GET, checked against its length.
Outcome copyWhole(const std::string& url, TemporaryFile& file, ProgressBar& bar, uint64_t& saved) {
    HttpClient client;
    CancelOnInterrupt cancel([&client] { client.abort(); });
    if (!client.get(url))
        return client.errorText();
    if (client.status() != 200)
        return "the server answered with status " + std::to_string(client.status());
    const auto length = client.header("Content-Length");
    if (length)
        bar.setTotal(std::strtoull(length->c_str(), nullptr, 10));
    std::vector<char> buffer(1 << 20);
    saved = 0;
    while (const std::size_t got = client.read(buffer.data(), buffer.size())) {
        if (!file.write(buffer.data(), got))
            return std::strerror(errno);
        saved += got;
        bar.advanceTo(saved);
    }
    if (!client.bodyComplete() || (length && std::strtoull(length->c_str(), nullptr, 10) != saved))
        return client.errorText().empty()
                   ? "the transfer ended after " + std::to_string(saved) + " bytes"
                   : client.errorText();
    return {};
}

// The file to write: `given` itself, or, when it names a folder (an existing one, or any
// name ending in "/", which is then made), the archive's own name inside it. Empty with
// `why` set when no safe name can be had.
std::string targetFor(const std::string& given, std::string archiveName, std::string& why) {
    std::error_code error;
    const bool folder = given.back() == '/' || std::filesystem::is_directory(given, error);
    if (!folder)
        return given;
    // The name comes from the server: one plain path component, no control bytes.
    for (char& c : archiveName)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '_';
    if (archiveName.empty() || archiveName == "." || archiveName == "..") {
        why = "the address names no file; give the file name to save to";
        return {};
    }
    std::filesystem::create_directories(given, error);
    if (error) {
        why = "cannot create the folder " + given + ": " + error.message();
        return {};
    }
    return given + (given.back() == '/' ? "" : "/") + archiveName;
}

int saveFailed(const std::string& file, const std::string& why) {
    fail("could not save " + escapeForTerminal(file) + ": " + escapeForTerminal(why));
    return exitcode::someFailed;
}

// Asks about an existing target. -1 when the save goes on, else the exit status.
int settleExisting(const std::string& target, OverwritePolicy policy) {
    OverwriteQuestion question(policy);
    switch (question.ask(target)) {
    case OverwriteAnswer::Yes:
    case OverwriteAnswer::YesToAll:
        return -1;
    case OverwriteAnswer::Cancel:
        return exitcode::someFailed;
    case OverwriteAnswer::No:
        break;
    }
    if (!question.skippedWithoutAsking())
        return exitcode::success;
    fail("exists: " + escapeForTerminal(target) + " (use -o to overwrite)");
    return exitcode::someFailed;
}

} // namespace

int runSave(const CliOptions& o) {
    ArchiveSession session;
    RangeStream* stream = nullptr;
    RemoteArchiveSource& source = session.source();
    source.setStorageFileSlot(&stream);
    const bool ranged = session.openForCopy(o.url);
    const bool wholeOnly = !ranged && source.protocol() == RemoteArchiveSource::Http &&
                           source.lastError() == SourceError::RangesNotServed;
    if (!ranged && !wholeOnly) {
        fail(session.error());
        return exitcode::cannotOpen;
    }
    std::string why;
    const std::string target = targetFor(
        o.names[0],
        ranged ? source.remoteFileName() : fileNameFromUrl(source.httpReader().effectiveUrl()),
        why);
    if (target.empty())
        return saveFailed(o.names[0], why);
    if (const int status = settleExisting(target, o.overwrite); status >= 0)
        return status;
    TemporaryFile file(target);
    if (!file.ok())
        return saveFailed(target, std::strerror(errno));
    PartialFile partial(file.path());
    uint64_t saved = ranged ? static_cast<uint64_t>(source.length()) : 0;
    ProgressBar bar(!o.quiet, escapeForTerminal(target), saved);
    const Outcome outcome = ranged ? copyRanges(source, stream, file, bar)
                                   : copyWhole(source.address().str(), file, bar, saved);
    bar.finish();
    if (interrupted())
        return exitcode::interrupted;
    if (!outcome.empty())
        return saveFailed(target, outcome);
    if (!file.commit(target))
        return saveFailed(target, std::strerror(errno));
    if (!o.quiet)
        std::printf("saved %s (%s bytes)\n", escapeForTerminal(target).c_str(),
                    std::to_string(saved).c_str());
    return exitcode::success;
}
