// Saving the whole archive: copied range by range into a temporary file beside the target,
// which takes the target's name only once every byte has arrived.
#include "app/String.h"
#include "cli/ArchiveSession.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Large ranges: each one is a request, and a request costs a round trip.
constexpr int32_t rangeSize = 16 * 1024 * 1024;

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

int saveFailed(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "marrowglen-cli: could not save %s: %s\n", file.c_str(), why.c_str());
    return exitcode::someFailed;
}

} // namespace

int runSave(const CliOptions& o) {
    const std::string& target = o.names[0];
    ArchiveSession session;
    RangeStream* stream = nullptr;
    RemoteArchiveSource& source = session.source();
    source.setStorageFileSlot(&stream);
    if (!session.openForCopy(o.url)) {
        std::fprintf(stderr, "marrowglen-cli: %s\n", session.error().c_str());
        return exitcode::cannotOpen;
    }
    TemporaryFile file(target);
    if (!file.ok())
        return saveFailed(target, std::strerror(errno));
    const int32_t length = source.length();
    ProgressBar bar(!o.quiet, target, static_cast<uint64_t>(length));
    // Several parts at once, each written in place, where the source offers it.
    const std::optional<bool> copied = source.copyWhole(file.fd(), [&](int64_t done) {
        bar.advanceTo(static_cast<uint64_t>(done));
        return !interrupted();
    });
    if (copied && !*copied)
        return interrupted()
                   ? exitcode::interrupted
                   : saveFailed(target, source.errorText().empty() ? "the server stopped serving"
                                                                   : source.errorText());
    std::vector<char> buffer(1 << 20);
    for (int32_t first = copied ? length : 0; first < length;) {
        const int32_t last = first + std::min(rangeSize, length - first);
        if (!source.requestRange(first, last, true))
            return saveFailed(target, source.errorText().empty() ? "the server stopped serving"
                                                                 : source.errorText());
        for (int32_t pos = first; pos < last;) {
            const auto n = static_cast<std::size_t>(std::min<int32_t>(last - pos, buffer.size()));
            if (interrupted())
                return exitcode::interrupted;
            if (!readRange(stream, buffer.data(), n))
                return saveFailed(target, "the transfer ended after " + std::to_string(pos) +
                                              " of " + std::to_string(length) + " bytes");
            if (!file.write(buffer.data(), n))
                return saveFailed(target, std::strerror(errno));
            pos += static_cast<int32_t>(n);
            bar.advanceTo(static_cast<uint64_t>(pos));
        }
        first = last;
    }
    bar.finish();
    if (!file.commit(target))
        return saveFailed(target, std::strerror(errno));
    if (!o.quiet)
        std::printf("saved %s (%s bytes)\n", target.c_str(), std::to_string(length).c_str());
    return exitcode::success;
}
