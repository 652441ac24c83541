// An owned block of bytes with a 32-bit length: names, extra fields, comments, the input
// buffer of an open entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CZipAutoBuffer {
public:
    CZipAutoBuffer() = default;
    explicit CZipAutoBuffer(uint32_t size, bool zeroMemory = false);
    CZipAutoBuffer(const CZipAutoBuffer& other);
    CZipAutoBuffer& operator=(const CZipAutoBuffer& other);
    CZipAutoBuffer(CZipAutoBuffer&& other) noexcept;
    CZipAutoBuffer& operator=(CZipAutoBuffer&& other) noexcept;
    ~CZipAutoBuffer() = default;

    // Keeps the block when its size is already `size` (zeroing it on request); otherwise
    // frees it and allocates a new one. Size 0 leaves no block. Returns the block.
    char* allocate(uint32_t size, bool zeroMemory = false);
    void release();
    // Replaces the contents by a copy of `n` bytes.
    void assign(const void* bytes, uint32_t n);
    void assign(std::string_view text) { assign(text.data(), static_cast<uint32_t>(text.size())); }

    char* data() { return data_.get(); }
    const char* data() const { return data_.get(); }
    uint32_t size() const { return size_; }
    bool isAllocated() const { return data_ != nullptr; }
    std::string_view view() const { return {data_.get(), size_}; }
    std::string str() const { return std::string(view()); }

private:
    std::unique_ptr<char[]> data_;
    uint32_t size_ = 0;
};
