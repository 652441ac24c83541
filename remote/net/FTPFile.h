// The local file of a transfer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace nsFTP {

class CFile {
public:
    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Modes as for fopen: "wb" empties or creates, "ab" appends, "rb" reads. Files are made
    // private (0600) and a symbolic link in place of the file is refused, so a planted link
    // in a shared folder cannot redirect the write.
    bool open(const std::string& path, const char* mode);
    void close();
    bool isOpen() const { return stream_ != nullptr; }

    // True when every byte was written.
    virtual bool write(const char* data, std::size_t count);
    // The count read; 0 at the end or on failure.
    virtual std::size_t read(char* buffer, std::size_t size);

    bool seekToEnd();
    int64_t position() const;

private:
    std::FILE* stream_ = nullptr;
};

} // namespace nsFTP
