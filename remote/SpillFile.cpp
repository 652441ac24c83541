#include "remote/SpillFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

bool SpillFile::open(const std::string& folder, const std::string& prefix) {
    if (fd_ >= 0)
        return true;
    std::string name = folder;
    if (name.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        name = tmp && *tmp ? tmp : "/tmp";
    }
    if (name.back() != '/')
        name += '/';
    name += prefix + "~XXXXXX.tmp";
    // Unique and private (mode 0600): nobody else can feed bytes into what is read back.
    fd_ = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (fd_ < 0)
        return false;
    path_ = name;
    return true;
}

void SpillFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    fd_ = -1;
    path_.clear();
}
