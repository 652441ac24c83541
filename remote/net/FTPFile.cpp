#include "remote/net/FTPFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace nsFTP {

namespace {

int openFlags(const char* mode) {
    switch (mode[0]) {
    case 'w':
        return O_WRONLY | O_CREAT | O_TRUNC;
    case 'a':
        return O_WRONLY | O_CREAT | O_APPEND;
    default:
        return O_RDONLY;
    }
}

} // namespace

CFile::~CFile() {
    close();
}

bool CFile::open(const std::string& path, const char* mode) {
    close();
    int fd = ::open(path.c_str(), openFlags(mode) | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    stream_ = ::fdopen(fd, mode);
    if (stream_ == nullptr)
        ::close(fd);
    return stream_ != nullptr;
}

void CFile::close() {
    if (stream_ != nullptr)
        std::fclose(stream_);
    stream_ = nullptr;
}

bool CFile::write(const char* data, std::size_t count) {
    return stream_ != nullptr && std::fwrite(data, 1, count, stream_) == count;
}

std::size_t CFile::read(char* buffer, std::size_t size) {
    return stream_ == nullptr ? 0 : std::fread(buffer, 1, size, stream_);
}

bool CFile::seekToEnd() {
    return stream_ != nullptr && std::fseek(stream_, 0, SEEK_END) == 0;
}

int64_t CFile::position() const {
    return stream_ == nullptr ? -1 : std::ftell(stream_);
}

} // namespace nsFTP
