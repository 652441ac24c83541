#include "remote/LocalArchiveSource.h"

#include "remote/LocalAddress.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int64_t modifiedNanoseconds(const struct stat& st) {
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

LocalArchiveSource::~LocalArchiveSource() {
    closeRemoteFile();
}

bool LocalArchiveSource::connect(String& address) {
    closeRemoteFile();
    resetCancel();
    lastError_ = SourceError::None;
    errorText_.clear();
    std::optional<std::string> path = localPathOf(address.str());
    if (!path)
        return fail(SourceError::BadAddress, "Only files on this computer can be opened by a "
                                             "file:// address (file:///path/to/archive.zip).");
    path_ = *path;
    return true;
}

bool LocalArchiveSource::openRemoteFile(const String& address) {
    closeRemoteFile();
    lastError_ = SourceError::None;
    errorText_.clear();
    std::optional<std::string> path = localPathOf(address.str());
    if (!path)
        return fail(SourceError::BadAddress, "The address names no local file.");
    path_ = *path;
    fileName_ = path_.substr(path_.rfind('/') + 1);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0)
        return fail(SourceError::NoResponse, path_ + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return fail(SourceError::NoResponse, path_ + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail(SourceError::BadAddress, path_ + ": not a regular file");
    if (st.st_size == 0)
        return fail(SourceError::EmptyFile, path_ + ": the file is empty");
    length_ = st.st_size;
    modifiedNs_ = modifiedNanoseconds(st);
    slice_.serve(0, length_);
    fillSlot(&slice_);
    return true;
}

void LocalArchiveSource::closeRemoteFile() {
    slice_.close();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (storageFileSlot_ && *storageFileSlot_ == &slice_)
        *storageFileSlot_ = nullptr;
}

bool LocalArchiveSource::requestRange(int64_t first, int64_t last, bool) {
    if (activity_)
        activity_();
    // Until the range is known to be sound, the slot serves nothing.
    slice_.serve(0, 0);
    fillSlot(&slice_);
    if (cancelled_)
        return fail(SourceError::Cancelled, "Cancelled");
    if (fd_ < 0)
        return fail(SourceError::NoResponse, path_ + ": the file is not open");
    if (first < 0 || last < first)
        return fail(SourceError::RangeRefused, "The requested range is empty.");
    if (!unchangedSinceOpen())
        return fail(SourceError::FileChanged,
                    path_ + ": the file was changed on disk since it was opened.");
    slice_.serve(first, std::min<int64_t>(int64_t(last) + 1, length_));
    return true;
}

// Another length or modification time: another version of the file, whose bytes must not be
// mixed with the directory read from the first one.
bool LocalArchiveSource::unchangedSinceOpen() {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_size == length_ &&
           modifiedNanoseconds(st) == modifiedNs_;
}

bool LocalArchiveSource::fail(SourceError error, std::string text) {
    lastError_ = error;
    errorText_ = std::move(text);
    if (error != SourceError::Cancelled && error != SourceError::FileChanged &&
        error != SourceError::RangeRefused && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

void LocalArchiveSource::fillSlot(RangeStream* stream) {
    if (storageFileSlot_)
        *storageFileSlot_ = stream;
}

void LocalArchiveSource::Slice::serve(int64_t first, int64_t end) {
    pos_ = first;
    end_ = std::max(first, end);
    failure_.clear();
}

void LocalArchiveSource::Slice::close() {
    pos_ = end_ = 0;
    windowLength_ = 0;
}

std::size_t LocalArchiveSource::Slice::fromWindow(char* out, std::size_t n) {
    if (pos_ < windowStart_ || pos_ >= windowStart_ + int64_t(windowLength_))
        return 0;
    const auto offset = static_cast<std::size_t>(pos_ - windowStart_);
    const std::size_t count = std::min(n, windowLength_ - offset);
    std::memcpy(out, window_.data() + offset, count);
    return count;
}

// The window holds bytes of the version of the file that was opened: every request checks
// that the file is unchanged before the window serves it.
bool LocalArchiveSource::Slice::fillWindow() {
    window_.resize(WindowSize);
    windowLength_ = 0;
    for (;;) {
        const ssize_t got = ::pread(owner_.fd_, window_.data(), WindowSize, pos_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // Truncated under us, or a read error: a short read, which the engine reports.
            failure_ = got < 0 ? std::string(std::strerror(errno)) : "the file ended early";
            end_ = pos_;
            return false;
        }
        windowStart_ = pos_;
        windowLength_ = static_cast<std::size_t>(got);
        return true;
    }
}

std::size_t LocalArchiveSource::Slice::read(void* buffer, std::size_t n) {
    char* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (pos_ < end_ && done < n && !owner_.cancelled_) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(end_ - pos_, n - done));
        std::size_t got = fromWindow(out + done, want);
        if (got == 0 && want >= WindowSize) {
            const ssize_t direct = ::pread(owner_.fd_, out + done, want, pos_);
            if (direct < 0 && errno == EINTR)
                continue;
            if (direct <= 0) {
                failure_ = direct < 0 ? std::string(std::strerror(errno)) : "the file ended early";
                end_ = pos_;
                break;
            }
            got = static_cast<std::size_t>(direct);
        } else if (got == 0) {
            if (!fillWindow())
                break;
            continue;
        }
        done += got;
        pos_ += int64_t(got);
    }
    return done;
}
