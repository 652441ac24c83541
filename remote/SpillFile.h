// A private temporary file that holds bytes fetched ahead of their reader (the range
// cache's overflow, a plan's parallel segments): made on first use, removed when closed.
#pragma once

#include <string>

class SpillFile {
public:
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Makes "<folder>/<prefix>~XXXXXX.tmp" (folder empty: $TMPDIR, else /tmp), readable and
    // writable by this user alone, unless it is open already. False when it cannot be made.
    bool open(const std::string& folder, const std::string& prefix);
    // Closes and removes the file.
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};
