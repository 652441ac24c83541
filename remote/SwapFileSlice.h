// A part of the ftp swap file served again: when a range lies inside the range the swap file
// already holds (the end record inside the tail just fetched), it is read from there instead
// of being downloaded a second time.
#pragma once

#include "remote/RangeStream.h"

#include <cstdint>
#include <string>

class SwapFileSlice : public RangeStream {
public:
    SwapFileSlice() = default;
    ~SwapFileSlice() override { close(); }
    SwapFileSlice(const SwapFileSlice&) = delete;
    SwapFileSlice& operator=(const SwapFileSlice&) = delete;

    // Serves `count` bytes of the file from `offset`. False when the file cannot be opened.
    bool open(const std::string& path, int64_t offset, int64_t count);
    std::size_t read(void* buffer, std::size_t n) override;
    void close() override;
    std::string path() const override { return path_; }

private:
    int fd_ = -1;
    int64_t offset_ = 0;
    int64_t remaining_ = 0;
    std::string path_;
};
