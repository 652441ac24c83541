#include "remote/SwapFileSlice.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

bool SwapFileSlice::open(const std::string& path, int64_t offset, int64_t count) {
    close();
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    offset_ = offset;
    remaining_ = fd_ >= 0 ? std::max<int64_t>(count, 0) : 0;
    return fd_ >= 0;
}

std::size_t SwapFileSlice::read(void* buffer, std::size_t n) {
    std::size_t done = 0;
    while (fd_ >= 0 && remaining_ > 0 && done < n) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(remaining_, n - done));
        ssize_t got = ::pread(fd_, static_cast<char*>(buffer) + done, want, offset_);
        if (got <= 0) {
            remaining_ = 0;
            break;
        }
        done += static_cast<std::size_t>(got);
        offset_ += got;
        remaining_ -= got;
    }
    return done;
}

void SwapFileSlice::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    remaining_ = 0;
}
